// The 4032 x 3024 picture the processing benchmarks work on: the binary PPM (P6) named by
// KV_BENCH_IMAGE, so that the peer scripts can time other programs on the same picture, or without
// it a synthetic picture of smooth shapes and fine noise.
#pragma once

#include "imaging/core/daduvudez.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace benchpicture {

constexpr int32_t kWidth = 4032;
constexpr int32_t kHeight = 3024;

// Reads a binary 8-bit PPM; nullptr when the file is not one.
inline std::unique_ptr<TKVBitmap> ReadPpm(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int32_t width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    if (!in || magic != "P6" || maxValue != 255 || width < 1 || height < 1 || width > 65536 || height > 65536)
        return nullptr;
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->Allocate(width, height, kv24RGB);
    std::string row(static_cast<size_t>(width) * 3, '\0');
    for (int32_t y = 0; y < height; ++y) {
        if (!in.read(row.data(), static_cast<std::streamsize>(row.size())))
            return nullptr;
        uint8_t* out = bitmap->GetScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            out[x * 3] = static_cast<uint8_t>(row[x * 3 + 2]);
            out[x * 3 + 1] = static_cast<uint8_t>(row[x * 3 + 1]);
            out[x * 3 + 2] = static_cast<uint8_t>(row[x * 3]);
        }
    }
    return bitmap;
}

inline std::unique_ptr<TKVBitmap> Synthetic()
{
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->Allocate(kWidth, kHeight, kv24RGB);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bitmap->GetScanLine(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) & 15) - 8;
            const double u = x / 300.0, v = y / 250.0;
            const int r = static_cast<int>(128 + 90 * std::sin(u) * std::cos(v)) + noise;
            const int g = static_cast<int>(128 + 90 * std::sin(u * 0.7 + v)) + noise;
            const int b = static_cast<int>(128 + 90 * std::cos(u - v * 1.3)) + noise;
            row[x * 3] = static_cast<uint8_t>(std::clamp(b, 0, 255));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
        }
    }
    return bitmap;
}

inline TKVBitmap& Source()
{
    static std::unique_ptr<TKVBitmap> source = [] {
        const char* path = std::getenv("KV_BENCH_IMAGE");
        if (path == nullptr)
            return Synthetic();
        // Another picture than the one the peers were timed on would make every ratio a lie.
        std::unique_ptr<TKVBitmap> bitmap = ReadPpm(path);
        if (!bitmap) {
            std::fprintf(stderr, "KV_BENCH_IMAGE %s is not a binary 8-bit PPM\n", path);
            std::exit(1);
        }
        return bitmap;
    }();
    return *source;
}

} // namespace benchpicture
