// Byte-level helpers of the GIF codec.
#include "imaging/codecs/gif/gif_blocks.h"

#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <algorithm>

namespace Giffilter::detail {

namespace {

uint16_t Word(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

} // namespace

bool ReadByte(TStream& stream, uint8_t& value)
{
    return stream.Read(&value, 1) == 1;
}

bool ReadScreenDescriptor(TStream& stream, ScreenDescriptor& screen)
{
    uint8_t raw[13];
    if (stream.Read(raw, 13) != 13)
        return false;
    std::copy(raw, raw + 6, screen.Signature);
    screen.Width = Word(raw + 6);
    screen.Height = Word(raw + 8);
    screen.Packed = raw[10];
    screen.Background = raw[11];
    screen.Aspect = raw[12];
    return true;
}

bool ReadImageDescriptor(TStream& stream, ImageDescriptor& image)
{
    uint8_t raw[9];
    if (stream.Read(raw, 9) != 9)
        return false;
    image.Left = Word(raw);
    image.Top = Word(raw + 2);
    image.Width = Word(raw + 4);
    image.Height = Word(raw + 6);
    image.Packed = raw[8];
    return true;
}

bool ReadColourTable(TStream& stream, int32_t bits, ColourTable& table)
{
    table.fill(TRGB{});
    const int32_t count = 1 << bits;
    uint8_t raw[256 * 3];
    int64_t got = stream.Read(raw, count * 3);
    for (int32_t i = 0; i < count && (i + 1) * 3 <= got; i++)
        table[size_t(i)] = TRGB{raw[i * 3 + 2], raw[i * 3 + 1], raw[i * 3]};
    return got == count * 3;
}

void SkipSubBlocks(TStream& stream)
{
    const int64_t size = stream.Size();
    uint8_t length = 0;
    while (ReadByte(stream, length) && length != 0) {
        int64_t next = stream.Position() + length;
        if (next >= size) {
            stream.SetPosition(size);
            return;
        }
        stream.SetPosition(next);
    }
}

void ReadSubBlocks(TStream& stream, std::string& text)
{
    uint8_t length = 0;
    char buffer[255];
    while (ReadByte(stream, length) && length != 0) {
        int64_t got = stream.Read(buffer, length);
        text.append(buffer, size_t(std::max<int64_t>(got, 0)));
        if (got < length)
            return;
    }
}

bool CopySubBlocks(TStream& source, TStream& dest, bool& aborting)
{
    uint8_t length = 0;
    uint8_t buffer[255];
    for (;;) {
        if (!ReadByte(source, length))
            return false;
        if (length == 0) {
            PutByte(dest, aborting, 0);
            return true;
        }
        int64_t got = source.Read(buffer, length);
        if (got < length) {
            // Cut at the end of the source.
            if (got > 0) {
                PutByte(dest, aborting, uint8_t(got));
                Put(dest, aborting, buffer, got);
            }
            return false;
        }
        PutByte(dest, aborting, length);
        Put(dest, aborting, buffer, length);
    }
}

void Put(TStream& stream, bool& aborting, const void* buffer, int64_t count)
{
    Daduvudez::SafeStreamWrite(&stream, aborting, buffer, count);
}

void PutByte(TStream& stream, bool& aborting, uint8_t value)
{
    Put(stream, aborting, &value, 1);
}

void PutWord(TStream& stream, bool& aborting, uint16_t value)
{
    uint8_t raw[2] = {uint8_t(value), uint8_t(value >> 8)};
    Put(stream, aborting, raw, 2);
}

void Report(TProgressRec& progress, int32_t percent)
{
    if (progress.OnProgress)
        progress.OnProgress(progress.Sender, percent);
}

} // namespace Giffilter::detail
