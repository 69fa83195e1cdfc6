// The changing elements of a fax row: the list a row is decoded into, which then serves as the
// next row's reference, and from which the row's bits are written once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Tifccitt::detail {

// The changing elements of a row as it is decoded, kept in locals (a view of a TChanges) while
// the row is: where each run ends and the next begins, the imaginary pixel before the row being
// white, so that even entries start black runs and odd ones white runs. A run of no pixels leaves
// its changing elements as any other run does, two at one position, where the next row's b1 and b2
// may lie. Positions[-1] is -1, before every pixel.
struct TChangeWriter
{
    int32_t* Positions;
    int32_t Count;
    int32_t Width;

    // A run ends at x and one of the other colour begins there; none begins at the width.
    void Change(int32_t x)
    {
        if (x < Width) {
            Positions[Count++] = x;
        }
    }

    // The colour turns at x, where codes name pixels rather than runs: a turn back where the last
    // run began undoes that turn, so that the run goes on.
    void Turn(int32_t x)
    {
        if (Positions[Count - 1] == x) {
            --Count;
        } else {
            Change(x);
        }
    }

    // Pixels [from, to) are black, in a row whose colour at from is white.
    void Black(int32_t from, int32_t to)
    {
        if (from < to) {
            Turn(from);
            Turn(to);
        }
    }

    // Whether n more changes may stand where the last one does. A row keeps its runs of no pixels
    // until it holds as many changes as pixels and EmptySlack more: no coder needs more, and past
    // them the row is corrupt. So a row never holds more than 2 x Width + EmptySlack changes.
    static constexpr int32_t EmptySlack = 64;
    bool RoomForEmpty(int32_t n) const { return int64_t(Count) + n <= int64_t(Width) + EmptySlack; }
};

// The changing elements of a row, decoded into it and then serving as the next row's reference;
// its bits are written out once. It holds capacity elements, the -1 before them and the three
// that seal them: a row has no more changes than TChangeWriter keeps for its width, and a code of
// one bit or more makes two at the most.
class TChanges
{
public:
    TChanges(int32_t width, int32_t capacity)
        : FStorage(new int32_t[size_t(std::min(MostKept(width), int64_t(capacity))) + Sentinels + 1]),
          FPositions(FStorage.get() + 1), FWidth(width)
    {
        FStorage[0] = -1;
    }

    // The most changes that a row coded in `bytes` bytes can have: two for each bit, and the two
    // of a code that runs past the data's end, whose missing bits read as zeros.
    static int32_t MostIn(int64_t bytes)
    {
        return int32_t(std::min<int64_t>(std::max<int64_t>(bytes, 0) * 16 + 2, INT32_MAX - 8));
    }

    TChangeWriter Writer() { return TChangeWriter{FPositions, 0, FWidth}; }
    void Keep(const TChangeWriter& writer) { FCount = writer.Count; }

    // The changing elements of a row of bits, found a word at a time.
    void FromLine(const uint8_t* line);

    // Makes the list the reference for the next row: the width follows the changes three times,
    // so that b1 and b2 past the last change are the width.
    const int32_t* Seal()
    {
        for (int32_t i = 0; i < Sentinels; ++i) {
            FPositions[size_t(FCount + i)] = FWidth;
        }
        return FPositions;
    }

    // Whether two changes stand at one position: the row left runs of no pixels, which its bits do
    // not show.
    bool HasEmptyRuns() const;

    // The row's bits, 1 for white: a white row, and the words that hold changes or lie inside black
    // runs written over it from the left. Pad bits past the width are white.
    void Render(uint8_t* row) const;

private:
    static constexpr int32_t Sentinels = 3;

    static int64_t MostKept(int32_t width) { return 2 * int64_t(width) + TChangeWriter::EmptySlack; }

    std::unique_ptr<int32_t[]> FStorage;
    int32_t* FPositions;
    int32_t FCount = 0;
    int32_t FWidth;
};

} // namespace Tifccitt::detail
