// Where the windows of a JPEG 2000 picture end that the reader decodes one after another when its
// tiles are too large to decode whole, or its JP2 boxes ask for the picture decoded whole.
#pragma once

#include "imaging/codecs/j2k/detail/declared_layout.h"
#include "imaging/codecs/j2k/detail/sample_writer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kvj2000::detail {

// Bands of whole rows of tiles where the budget holds some, else bands of rows, else windows of
// rows and parts of them; within a band, runs of whole tiles where the budget holds some.
struct TWindowGrid
{
    TPictureArea Picture;
    TGridAxis Across;
    TGridAxis Down;
    uint32_t Rows = 1;
    uint32_t Columns = 1;

    // The windows, row of windows after row of windows.
    std::vector<TPictureArea> Windows() const;

private:
    static uint32_t Next(uint32_t at, uint32_t length, const TGridAxis& tiles, uint32_t end);
};

// The grid of windows of the picture, of which the library decodes the components `decoded`.
// Bands of whole rows where the budget gives them LeastWindowRows rows or more. A wider picture is
// cut across as well, into windows that the library decodes in the fewest rows of windows, which
// keeps the code-blocks that windows of a row share from one to the next and decodes those that
// rows of windows share again: in memory, windows as tall as the picture, or as tall as the budget
// allows at LeastWindowRows columns; in a file, which the bitmap takes a row at a time, windows of
// LeastWindowRows rows, whose rows it keeps in hand across the row of windows. Where the bitmap
// will be is not known before a JP2 file's palette has chosen it: those of a file.
TWindowGrid WindowsFor(const TDeclaredLayout& layout, const std::vector<size_t>& decoded,
                       const TPictureArea& picture, bool inMemory);

} // namespace Kvj2000::detail
