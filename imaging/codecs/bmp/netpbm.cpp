// Netpbm images: P1 to P6 read into kv1g (bilevel) or kv24RGB, P4, P5 and P6 written. Header
// comments travel in the parameters' InfoStrings.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/detail/buffered_reader.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace Bmpfilt {

namespace {

using Codecs::detail::TBufferedReader;

// Longer words are numbers far beyond any image or garbage; longer comments are cut.
constexpr size_t MaxWordLength = 32;
constexpr size_t MaxCommentLength = 4096;
// The probe gives up after this many bytes of header.
constexpr int64_t ProbeLimit = 1 << 20;
constexpr int64_t NotANumber = -1;
constexpr int64_t HugeNumber = int64_t(1) << 40;

bool IsWordByte(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A word of letters and digits (its first other byte consumed), or "#" and the trimmed text of a
// comment up to the end of its line. Empty at the end of the data.
template <typename NextByte> void ReadToken(NextByte&& next, std::string& token)
{
    token.clear();
    int c;
    do {
        c = next();
        if (c < 0) {
            return;
        }
    } while (!IsWordByte(c) && c != '#');
    if (c == '#') {
        std::string text;
        while ((c = next()) >= 0 && c != '\n' && c != '\r') {
            if (text.size() < MaxCommentLength) {
                text += char(c);
            }
        }
        // Blanks (anything up to a space) around the text are dropped.
        const auto blank = [](char ch) { return static_cast<unsigned char>(ch) <= ' '; };
        const auto first = std::find_if_not(text.begin(), text.end(), blank);
        const auto last = std::find_if_not(text.rbegin(), std::string::reverse_iterator(first), blank).base();
        token.push_back('#');
        token.append(first, last);
        return;
    }
    token += char(c);
    while ((c = next()) >= 0 && IsWordByte(c)) {
        if (token.size() < MaxWordLength) {
            token += char(c);
        }
    }
}

// A decimal number, saturated at HugeNumber; NotANumber for anything else.
int64_t ParseNumber(const std::string& token)
{
    if (token.empty()) {
        return NotANumber;
    }
    int64_t value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') {
            return NotANumber;
        }
        value = std::min(value * 10 + (c - '0'), HugeNumber);
    }
    return value;
}

bool IsComment(const std::string& token)
{
    return !token.empty() && token[0] == '#';
}

struct TPxmHeader
{
    char Kind = 0; // '1' .. '6', 0 when the magic is unknown
    int64_t Width = NotANumber;
    int64_t Height = NotANumber;
    int64_t MaxValue = NotANumber;

    bool Bilevel() const { return Kind == '1' || Kind == '4'; }
};

char KindOf(const std::string& magic)
{
    return magic.size() == 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6' ? magic[1] : 0;
}

// Reads the magic, width, height and (except for bilevel files) the maximum value; comments
// met on the way go to comments when given.
void ReadHeader(TBufferedReader& in, TPxmHeader& header, TStrings* comments)
{
    std::string token;
    int field = 0;
    const int fields = 4;
    while (field < fields) {
        ReadToken([&] { return in.Get(); }, token);
        if (token.empty()) {
            return;
        }
        if (IsComment(token)) {
            if (comments != nullptr) {
                comments->Add(token.substr(1));
            }
            continue;
        }
        switch (field++) {
        case 0:
            header.Kind = KindOf(token);
            if (header.Bilevel()) {
                header.MaxValue = 1;
            }
            break;
        case 1:
            header.Width = ParseNumber(token);
            break;
        case 2:
            header.Height = ParseNumber(token);
            if (header.Bilevel()) {
                return;
            }
            break;
        default:
            header.MaxValue = ParseNumber(token);
            break;
        }
    }
}

class PxmReader
{
public:
    PxmReader(TBufferedReader& in, TKVBitmap& bitmap, const TPxmHeader& header, TProgressRec& progress)
        : FIn(in), FBitmap(bitmap), FHeader(header), FProgress(progress), FWidth(int32_t(header.Width)),
          FHeight(int32_t(header.Height)), FMaxValue(int32_t(header.MaxValue)),
          FRowLen(Daduvudez::_BitmapRowLen(FWidth, header.Bilevel() ? 1 : 24))
    {
    }

    void Run()
    {
        // The first row is decoded before the bitmap is made: data without a whole first row is
        // no picture, and the bitmap stays as it was.
        std::vector<uint8_t> first(static_cast<size_t>(FRowLen));
        if (!DecodeRow(first.data())) {
            CodecSetAborting(FProgress);
            return;
        }
        FBitmap.Allocate(FWidth, FHeight, FHeader.Bilevel() ? kv1g : kv24RGB);
        CodecProgressBegin(FProgress, FHeight);
        std::memcpy(FBitmap.GetScanLine(0), first.data(), first.size());
        CodecProgressRows(FProgress, 1);
        // Data that ends early fails; the rows it does not reach stay black as allocated, with no
        // work for each of them.
        for (int32_t y = 1; y < FHeight && !CodecAborted(FProgress); ++y) {
            if (!DecodeRow(FBitmap.GetScanLine(y))) {
                CodecSetAborting(FProgress);
                return;
            }
            CodecProgressRows(FProgress, 1);
        }
    }

private:
    // A sample brought to 0..255; samples above the maximum count as the maximum.
    uint8_t Scale(int64_t value) const
    {
        value = std::clamp<int64_t>(value, 0, FMaxValue);
        return uint8_t(FMaxValue == 255 ? value : value * 255 / FMaxValue);
    }

    // False when the data ended inside the row (the row's missing pixels are black).
    bool DecodeRow(uint8_t* row)
    {
        std::memset(row, 0, size_t(FRowLen));
        switch (FHeader.Kind) {
        case '1':
            return PlainBits(row);
        case '2':
        case '3':
            return PlainSamples(reinterpret_cast<TRGB*>(row), FHeader.Kind == '3' ? 3 : 1);
        case '4':
            return RawBits(row);
        default:
            return RawSamples(reinterpret_cast<TRGB*>(row), FHeader.Kind == '6' ? 3 : 1);
        }
    }

    // "0" is white, "1" black; every other byte is ignored.
    bool PlainBits(uint8_t* row)
    {
        for (int32_t x = 0; x < FWidth;) {
            const int c = FIn.Get();
            if (c < 0) {
                return false;
            }
            if (c == '0') {
                row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
            if (c == '0' || c == '1') {
                ++x;
            }
        }
        return true;
    }

    bool PlainSamples(TRGB* pixels, int channels)
    {
        std::string token;
        uint8_t sample[3] = {};
        for (int32_t x = 0; x < FWidth; ++x) {
            for (int i = 0; i < channels; ++i) {
                ReadToken([&] { return FIn.Get(); }, token);
                if (token.empty()) {
                    return false;
                }
                sample[i] = Scale(std::max<int64_t>(ParseNumber(token), 0));
            }
            pixels[x] =
                channels == 3 ? TRGB{sample[2], sample[1], sample[0]} : TRGB{sample[0], sample[0], sample[0]};
        }
        return true;
    }

    // Stored bit 1 is black: the row is read, then inverted.
    bool RawBits(uint8_t* row)
    {
        const int64_t bytes = (int64_t(FWidth) + 7) / 8;
        const int64_t got = FIn.Read(row, bytes);
        for (int64_t i = 0; i < FRowLen; ++i) {
            row[i] = uint8_t(~row[i]);
        }
        if (got < bytes) {
            std::memset(row + got, 0, size_t(FRowLen - got));
        }
        return got == bytes;
    }

    // One byte a sample up to a maximum of 255, two bytes (most significant first) above.
    bool RawSamples(TRGB* pixels, int channels)
    {
        const int sampleBytes = FMaxValue > 255 ? 2 : 1;
        const int64_t bytes = int64_t(FWidth) * channels * sampleBytes;
        FRaw.resize(size_t(bytes));
        const int64_t got = FIn.Read(FRaw.data(), bytes);
        const int64_t whole = got / (channels * sampleBytes);
        const uint8_t* p = FRaw.data();
        auto sample = [&] {
            int64_t value = sampleBytes == 2 ? (p[0] << 8 | p[1]) : p[0];
            p += sampleBytes;
            return Scale(value);
        };
        for (int64_t x = 0; x < whole; ++x) {
            if (channels == 3) {
                const uint8_t r = sample(), g = sample(), b = sample();
                pixels[x] = TRGB{b, g, r};
            } else {
                const uint8_t v = sample();
                pixels[x] = TRGB{v, v, v};
            }
        }
        return got == bytes;
    }

    TBufferedReader& FIn;
    TKVBitmap& FBitmap;
    const TPxmHeader& FHeader;
    TProgressRec& FProgress;
    int32_t FWidth;
    int32_t FHeight;
    int32_t FMaxValue;
    int64_t FRowLen;
    std::vector<uint8_t> FRaw;
};

// Comment lines become "\n# text\n" each; a line break inside a text would end the comment.
std::string CommentBlock(const TStrings& lines)
{
    std::string block;
    for (int32_t i = 0; i < lines.Count(); ++i) {
        std::string text = lines.Strings(i);
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
        block += "\n# " + text + "\n";
    }
    return block;
}

// The fewest bytes one row can take: a character a pixel of plain bits, a digit and a separator
// a plain sample, the stored bytes of a binary row.
int64_t SmallestRow(const TPxmHeader& header)
{
    const int64_t width = header.Width, sampleBytes = header.MaxValue > 255 ? 2 : 1;
    switch (header.Kind) {
    case '1':
        return width;
    case '2':
        return 2 * width - 1;
    case '3':
        return 6 * width - 1;
    case '4':
        return (width + 7) / 8;
    case '5':
        return width * sampleBytes;
    default:
        return 3 * width * sampleBytes;
    }
}

} // namespace

void PXMReadToken(TStream& Stream, std::string& Token)
{
    ReadToken(
        [&] {
            uint8_t byte = 0;
            return Stream.Read(&byte, 1) == 1 ? int(byte) : -1;
        },
        Token);
}

bool TryPXM(TStream& Stream)
{
    const int64_t start = Stream.Position();
    TBufferedReader in(Stream, ProbeLimit, 4096);
    TPxmHeader header;
    // The magic must come first; only comments may stand between the numbers.
    std::string token;
    int tokens = 0;
    int field = 0;
    bool bilevel = false;
    while (tokens < 501 && field < (bilevel ? 3 : 4)) {
        ReadToken([&] { return in.Get(); }, token);
        ++tokens;
        if (token.empty()) {
            break;
        }
        if (IsComment(token)) {
            continue;
        }
        if (field == 0) {
            header.Kind = KindOf(token);
            if (header.Kind == 0) {
                break;
            }
            bilevel = header.Bilevel();
        } else if (field == 1) {
            header.Width = ParseNumber(token);
        } else if (field == 2) {
            header.Height = ParseNumber(token);
        }
        ++field;
    }
    Stream.SetPosition(start);
    return header.Kind != 0 && field == (bilevel ? 3 : 4) && header.Width >= 1 && header.Height > 0;
}

void PXMReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly)
{
    Params.InfoStrings.Clear();
    const int64_t start = Stream.Position();
    TBufferedReader in(Stream);
    TPxmHeader header;
    ReadHeader(in, header, &Params.InfoStrings);
    const bool sizeOk =
        header.Width >= 1 && header.Height >= 1 && header.Width <= INT32_MAX && header.Height <= INT32_MAX;
    // A maximum of 0 would divide by zero; Netpbm allows at most 65535.
    if (!sizeOk || header.Kind == 0 || header.MaxValue < 1 || header.MaxValue > 65535) {
        in.Restore();
        CodecSetAborting(Progress);
        return;
    }
    Params.FreeColorMap();
    Params.Width = int32_t(header.Width);
    Params.Height = int32_t(header.Height);
    Params.DpiX = Kvview::gSystemDPIX;
    Params.DpiY = Kvview::gSystemDPIY;
    Params.BitsPerSample = header.Bilevel() ? 1 : 8;
    Params.SamplesPerPixel = header.Kind == '3' || header.Kind == '6' ? 3 : 1;
    if (ParamsOnly) {
        in.Restore();
        return;
    }
    // Memory follows the data: a header that promises rows the stream cannot hold one of makes
    // no picture.
    const int64_t left = Stream.Size() - start - in.Consumed();
    if (header.Width * header.Height > KVCodecMaxPixels || left < SmallestRow(header)) {
        in.Restore();
        CodecSetAborting(Progress);
        return;
    }
    PxmReader(in, Bitmap, header, Progress).Run();
    in.Restore();
}

void PXMWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    const TKVPixelFormat format = Bitmap.GetPixelFormat();
    const int32_t bits = Params.BitsPerSample, samples = Params.SamplesPerPixel;
    char kind = 0;
    if ((bits == 1 && samples == 1) || format == kv1g) {
        kind = '4';
    } else if (bits == 8 && samples == 1) {
        kind = '5';
    } else if ((bits == 8 && samples == 3) || format == kv24RGB) {
        kind = '6';
    }
    const int32_t width = Bitmap.GetWidth(), height = Bitmap.GetHeight();
    // Writing nothing would look like success.
    if (kind == 0 || width <= 0 || height <= 0) {
        aborting = true;
        return;
    }
    // The form decides the rows it takes: kv1g for P4, kv24RGB for P5 and P6.
    const TKVPixelFormat rowFormat = kind == '4' ? kv1g : kv24RGB;
    std::unique_ptr<TKVBitmap> converted;
    TKVBitmap* image = &Bitmap;
    if (format != rowFormat) {
        converted = std::make_unique<TKVBitmap>();
        converted->Assign(&Bitmap);
        converted->ConvertToPixelFormat(rowFormat);
        image = converted.get();
    }
    std::string header = std::string("P") + kind + " " + CommentBlock(Params.InfoStrings) + IntToStr(width) +
                         " " + IntToStr(height) + (kind == '4' ? "" : " 255") + "\n";
    Daduvudez::SafeStreamWrite(&Stream, aborting, header.data(), int64_t(header.size()));

    const int64_t rowBytes = kind == '4'   ? (int64_t(width) + 7) / 8
                             : kind == '5' ? width
                                           : int64_t(width) * 3;
    std::vector<uint8_t> out(static_cast<size_t>(rowBytes));
    CodecProgressBegin(Progress, height);
    for (int32_t y = 0; y < height && !aborting; ++y) {
        const uint8_t* row = image->GetScanLine(y);
        const auto* pixels = reinterpret_cast<const TRGB*>(row);
        if (kind == '4') {
            for (int64_t i = 0; i < rowBytes; ++i) {
                out[size_t(i)] = uint8_t(~row[i]);
            }
            ClearPadBits(out.data(), width);
        } else if (kind == '5') {
            for (int32_t x = 0; x < width; ++x) {
                out[size_t(x)] = uint8_t((pixels[x].r * 21 + pixels[x].g * 71 + pixels[x].b * 8) / 100);
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                out[size_t(x) * 3] = pixels[x].r;
                out[size_t(x) * 3 + 1] = pixels[x].g;
                out[size_t(x) * 3 + 2] = pixels[x].b;
            }
        }
        Daduvudez::SafeStreamWrite(&Stream, aborting, out.data(), rowBytes);
        CodecProgressRows(Progress, 1);
    }
}

} // namespace Bmpfilt
