// The order in which GIF image data stores the rows of a frame: straight down, or in the four
// interlace passes. Shared by the LZW coders and the reader, which converts only the rows the
// data reached.
#pragma once

#include <cstdint>

namespace Giffilter::detail {

class TGifRowOrder
{
public:
    TGifRowOrder(int32_t height, bool interlaced) : FHeight(height), FInterlaced(interlaced) {}

    int32_t Row() const { return FRow; }
    bool Done() const { return FRow >= FHeight; }

    void Next()
    {
        if (!FInterlaced) {
            FRow++;
            return;
        }
        static constexpr int32_t passStart[4] = {0, 4, 2, 1};
        static constexpr int32_t passStep[4] = {8, 8, 4, 2};
        FRow += passStep[FPass];
        while (FRow >= FHeight && FPass < 3) {
            FPass++;
            FRow = passStart[FPass];
        }
    }

private:
    int32_t FHeight;
    bool FInterlaced;
    int32_t FRow = 0;
    int FPass = 0;
};

} // namespace Giffilter::detail
