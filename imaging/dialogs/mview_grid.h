// The thumbnail grid's arithmetic: the column count, each cell's place, the grid's extent and the
// hit tests, computed from the cell and border sizes alone, without a window.
#pragma once

#include "platform/graphics/geometry.h"

#include <cstdint>

enum TKVMDisplayMode : uint8_t
{
    mdGrid,
    mdSingle
};

struct TKVMGrid
{
    // Cells are at least 1 x 1 and borders not negative (the view refuses other settings), so
    // the steps below are never 0.
    int32_t ThumbWidth = 100;
    int32_t ThumbHeight = 100;
    int32_t HorizBorder = 4;
    int32_t VertBorder = 4;
    // 0: every image in one row; -1: as many columns as fit ClientWidth; n > 0: n columns.
    int32_t GridWidth = 0;
    TKVMDisplayMode DisplayMode = mdGrid;
    int32_t ClientWidth = 0;
    int32_t ClientHeight = 0;

    int32_t StepX() const { return ThumbWidth + HorizBorder; }
    int32_t StepY() const { return ThumbHeight + VertBorder; }
    // GridWidth, or for -1 the columns that fit the client width (integer division toward 0).
    int32_t Columns() const { return GridWidth != -1 ? GridWidth : (ClientWidth - HorizBorder) / StepX(); }
    // Rows of whole cells that fit the client height.
    int32_t RowsPerPage() const { return (ClientHeight - VertBorder) / StepY(); }

    // The cell of the image that sits at (row, column) of the layout, in grid pixels: borders
    // around cells in mdGrid, none in mdSingle (every image at (0, 0)).
    TPoint CellOrigin(int32_t Row, int32_t Col) const
    {
        TPoint p{StepX() * Col, StepY() * Row};
        if (DisplayMode == mdGrid) {
            p.X += HorizBorder;
            p.Y += VertBorder;
        }
        return p;
    }

    // Walks the layout of Count images in order, calling Place(index, row, col, origin), and
    // returns the extent of the whole grid.
    template <class F> TSize Layout(int32_t Count, F&& Place) const
    {
        const int32_t columns = Columns();
        int32_t col = 0;
        int32_t row = 0;
        int32_t width = 0;
        int32_t height = 0;
        for (int32_t i = 0; i < Count; ++i) {
            const TPoint p = CellOrigin(row, col);
            Place(i, row, col, p);
            width = width > p.X ? width : p.X;
            height = height > p.Y ? height : p.Y;
            ++col;
            if (DisplayMode == mdSingle || col == columns) {
                col = 0;
                if (DisplayMode != mdSingle) {
                    ++row;
                }
            }
        }
        return TSize{width + StepX(), height + StepY()};
    }

    // The list index of a grid place (places past the last image are not checked here).
    int32_t ImageAtGridPos(int32_t Row, int32_t Col) const { return Col + Row * Columns(); }
    // The column and row under a client point, for a scroll position.
    int32_t ColumnAt(int32_t X, int32_t ViewX) const { return (X + ViewX) / StepX(); }
    int32_t RowAt(int32_t Y, int32_t ViewY) const { return (Y + ViewY) / StepY(); }
    // The thumbnail rectangle of a cell on the client area (right and bottom exclusive).
    TRect CellRect(const TPoint& Origin, int32_t ViewX, int32_t ViewY) const
    {
        const int32_t x = Origin.X - ViewX;
        const int32_t y = Origin.Y - ViewY;
        return TRect{x, y, x + ThumbWidth, y + ThumbHeight};
    }
    // Where an image dropped at the client point goes: the place under it, capped at Count.
    int32_t InsertingPoint(int32_t X, int32_t Y, int32_t ViewX, int32_t ViewY, int32_t Count) const
    {
        const int32_t columns = Columns();
        int32_t c = ColumnAt(X, ViewX);
        if (columns > 0 && columns < c) {
            c = columns;
        }
        const int32_t index = c + RowAt(Y, ViewY) * columns;
        return index < Count ? index : Count;
    }
};
