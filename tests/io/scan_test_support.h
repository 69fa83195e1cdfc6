// Helpers of the scanner tests: the scanner library's test device behind a configuration of the
// test's own, and scanimage's picture of the same scan to compare with.
#pragma once

#include "tests/support/temp_folder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TKVBitmap;

namespace kviotest {

// Points the scanner library at two test devices ("test:0", "test:1") scanning a grid at 50 dpi.
// The library reads where its configuration is only once in a process, so the configuration is
// made once and kept until the end; the object checks that no use of the library outlived the
// test before it.
class TTestScanners
{
public:
    TTestScanners();
    const std::string& ConfigDir() const;
};

// Runs the user-interface loop until done() or two minutes have passed. A scan of the test device
// takes a few hundred milliseconds at rest, and may take twenty times that with a sanitizer on a
// busy machine: only a hang takes two minutes.
bool PumpUntil(const std::function<bool()>& done);

// A PNM picture: P4 (1 bit, 1 = black), P5 (grey) or P6 (colour), 8 or 16 bits a sample.
struct TPnm
{
    char Kind = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t MaxValue = 0;
    std::vector<uint8_t> Data;
};

// scanimage's scan of test:0 with these options, read as PNM; Kind 0 when it failed.
TPnm ScanImage(const std::string& options);

// Whether the bitmap holds the picture's pixels: kv1g for P4 (our 1 is white), kv24RGB for the
// others, 16-bit samples compared by their high byte. Why says where they differ.
bool SameAsPnm(TKVBitmap& bitmap, const TPnm& pnm, std::string& why);

} // namespace kviotest
