// Region arithmetic and transforms of the metafile player: clip regions as sorted runs of pixels
// per row, combined the five ways GDI combines regions.
#include "platform/graphics/detail/metafile_player.h"

#include <algorithm>
#include <cmath>

#include "platform/core/rounding.h"

namespace GraphicsDetail {

// Device coordinates are kept well inside the canvas's integer range.
constexpr double CoordinateLimit = double(1 << 28);

double ClampedCoordinate(double v)
{
    if (std::isnan(v)) {
        return 0;
    }
    return std::clamp(v, -CoordinateLimit, CoordinateLimit);
}

namespace {

// The spans of one row of a region, as half-open intervals.
using TIntervals = std::vector<std::pair<int32_t, int32_t>>;

std::shared_ptr<TRegionObject> RegionOfRows(const std::vector<std::pair<int32_t, TIntervals>>& rows)
{
    auto region = std::make_shared<TRegionObject>();
    bool first = true;
    for (const auto& [y, intervals] : rows) {
        for (const auto& [x0, x1] : intervals) {
            if (x0 >= x1) {
                continue;
            }
            region->Spans.push_back({y, x0, x1});
            if (first) {
                region->Bounds = Rect(x0, y, x1, y + 1);
                first = false;
            } else {
                region->Bounds.Left = std::min(region->Bounds.Left, x0);
                region->Bounds.Right = std::max(region->Bounds.Right, x1);
                region->Bounds.Top = std::min(region->Bounds.Top, y);
                region->Bounds.Bottom = std::max(region->Bounds.Bottom, y + 1);
            }
        }
    }
    return region;
}

TIntervals CombineRow(const TIntervals& a, const TIntervals& b, TRegionMode mode)
{
    // Sweep over the edges of both rows, keeping whether each side covers the current stretch.
    std::vector<std::pair<int32_t, int32_t>> edges; // position, +1/-1 for a, +2/-2 for b
    for (const auto& [x0, x1] : a) {
        edges.push_back({x0, 1});
        edges.push_back({x1, -1});
    }
    for (const auto& [x0, x1] : b) {
        edges.push_back({x0, 2});
        edges.push_back({x1, -2});
    }
    std::sort(edges.begin(), edges.end());
    TIntervals result;
    int32_t inA = 0, inB = 0;
    bool open = false;
    int32_t openedAt = 0;
    size_t i = 0;
    while (i < edges.size()) {
        const int32_t x = edges[i].first;
        while (i < edges.size() && edges[i].first == x) {
            const int32_t e = edges[i].second;
            if (e == 1 || e == -1) {
                inA += e;
            } else {
                inB += e / 2;
            }
            ++i;
        }
        bool covered = false;
        switch (mode) {
        case rmAnd:
            covered = inA > 0 && inB > 0;
            break;
        case rmOr:
            covered = inA > 0 || inB > 0;
            break;
        case rmXor:
            covered = (inA > 0) != (inB > 0);
            break;
        case rmDiff:
            covered = inA > 0 && inB == 0;
            break;
        case rmCopy:
            covered = inB > 0;
            break;
        }
        if (covered && !open) {
            open = true;
            openedAt = x;
        } else if (!covered && open) {
            open = false;
            result.push_back({openedAt, x});
        }
    }
    return result;
}

std::vector<std::pair<int32_t, TIntervals>> RowsOf(const TRegionObject& region)
{
    std::vector<std::pair<int32_t, TIntervals>> rows;
    for (const TRegionObject::TSpan& span : region.Spans) {
        if (rows.empty() || rows.back().first != span.Y) {
            rows.push_back({span.Y, {}});
        }
        rows.back().second.push_back({span.X0, span.X1});
    }
    return rows;
}

} // namespace

// ---- Transforms and regions ----

TXformD TXformD::After(const TXformD& first) const
{
    TXformD r;
    r.M11 = first.M11 * M11 + first.M12 * M21;
    r.M12 = first.M11 * M12 + first.M12 * M22;
    r.M21 = first.M21 * M11 + first.M22 * M21;
    r.M22 = first.M21 * M12 + first.M22 * M22;
    r.Dx = first.Dx * M11 + first.Dy * M21 + Dx;
    r.Dy = first.Dx * M12 + first.Dy * M22 + Dy;
    return r;
}

bool TXformD::AxisAligned() const
{
    const double scale = std::max({std::fabs(M11), std::fabs(M22), 1e-12});
    return std::fabs(M12) <= scale * 1e-9 && std::fabs(M21) <= scale * 1e-9;
}

bool TXformD::Invertible() const
{
    return std::isfinite(M11 * M22 - M12 * M21) && std::fabs(M11 * M22 - M12 * M21) > 1e-12;
}

double TXformD::ScaleX() const
{
    return std::hypot(M11, M12);
}

double TXformD::ScaleY() const
{
    return std::hypot(M21, M22);
}

std::shared_ptr<TRegionObject> RegionOfRects(const std::vector<TRectD>& rects, const TRect& within)
{
    // The runs of each row within the bounds, then merged where they touch or overlap.
    const int32_t rowCount = std::max(within.Height(), 0);
    std::vector<TIntervals> runs(static_cast<size_t>(rowCount));
    for (const TRectD& r : rects) {
        const int32_t x0 = std::max(Round(ClampedCoordinate(std::min(r.Left, r.Right))), within.Left);
        const int32_t x1 = std::min(Round(ClampedCoordinate(std::max(r.Left, r.Right))), within.Right);
        const int32_t y0 = std::max(Round(ClampedCoordinate(std::min(r.Top, r.Bottom))), within.Top);
        const int32_t y1 = std::min(Round(ClampedCoordinate(std::max(r.Top, r.Bottom))), within.Bottom);
        for (int32_t y = y0; y < y1 && x0 < x1; ++y) {
            runs[size_t(y - within.Top)].push_back({x0, x1});
        }
    }
    std::vector<std::pair<int32_t, TIntervals>> rows;
    for (int32_t i = 0; i < rowCount; ++i) {
        TIntervals& row = runs[size_t(i)];
        if (row.empty()) {
            continue;
        }
        std::sort(row.begin(), row.end());
        TIntervals merged = {row.front()};
        for (const auto& run : row) {
            if (run.first <= merged.back().second) {
                merged.back().second = std::max(merged.back().second, run.second);
            } else {
                merged.push_back(run);
            }
        }
        rows.push_back({within.Top + i, std::move(merged)});
    }
    return RegionOfRows(rows);
}

std::shared_ptr<TRegionObject> RegionOfPolygons(const std::vector<std::vector<TPointD>>& figures,
                                                bool winding, const TRect& within)
{
    // A pixel is inside when its centre is, by the fill rule over the edges of every figure; only
    // the rows within the bounds are looked at, however far the figures reach.
    struct TEdge
    {
        TPointD From, To;
    };
    std::vector<TEdge> edges;
    for (const std::vector<TPointD>& figure : figures) {
        for (size_t i = 0; i < figure.size() && figure.size() > 2; ++i) {
            const TPointD& a = figure[i];
            const TPointD& b = figure[(i + 1) % figure.size()];
            edges.push_back({{ClampedCoordinate(a.X), ClampedCoordinate(a.Y)},
                             {ClampedCoordinate(b.X), ClampedCoordinate(b.Y)}});
        }
    }
    std::vector<std::pair<int32_t, TIntervals>> rows;
    std::vector<std::pair<double, int32_t>> crossings;
    for (int32_t y = within.Top; y < within.Bottom && !edges.empty(); ++y) {
        const double centre = y + 0.5;
        crossings.clear();
        for (const TEdge& e : edges) {
            if ((e.From.Y <= centre) == (e.To.Y <= centre)) {
                continue;
            }
            const double t = (centre - e.From.Y) / (e.To.Y - e.From.Y);
            crossings.push_back({e.From.X + t * (e.To.X - e.From.X), e.To.Y > e.From.Y ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end());
        TIntervals row;
        int32_t inside = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            inside += winding ? crossings[i].second : 1;
            if (winding ? inside == 0 : inside % 2 == 0) {
                continue;
            }
            // The pixels whose centres lie between this crossing and the next.
            const int32_t x0 =
                std::max(Round(ClampedCoordinate(std::ceil(crossings[i].first - 0.5))), within.Left);
            const int32_t x1 =
                std::min(Round(ClampedCoordinate(std::ceil(crossings[i + 1].first - 0.5))), within.Right);
            if (x0 < x1) {
                if (!row.empty() && row.back().second >= x0) {
                    row.back().second = std::max(row.back().second, x1);
                } else {
                    row.push_back({x0, x1});
                }
            }
        }
        if (!row.empty()) {
            rows.push_back({y, std::move(row)});
        }
    }
    return RegionOfRows(rows);
}

std::shared_ptr<TRegionObject> CombineRegions(const TRegionObject* a, const TRegionObject* b,
                                              TRegionMode mode)
{
    const auto rowsA = a ? RowsOf(*a) : std::vector<std::pair<int32_t, TIntervals>>();
    const auto rowsB = b ? RowsOf(*b) : std::vector<std::pair<int32_t, TIntervals>>();
    std::vector<std::pair<int32_t, TIntervals>> rows;
    size_t i = 0, j = 0;
    const TIntervals none;
    while (i < rowsA.size() || j < rowsB.size()) {
        int32_t y = 0;
        const TIntervals* rowA = &none;
        const TIntervals* rowB = &none;
        if (j >= rowsB.size() || (i < rowsA.size() && rowsA[i].first < rowsB[j].first)) {
            y = rowsA[i].first;
            rowA = &rowsA[i++].second;
        } else if (i >= rowsA.size() || rowsB[j].first < rowsA[i].first) {
            y = rowsB[j].first;
            rowB = &rowsB[j++].second;
        } else {
            y = rowsA[i].first;
            rowA = &rowsA[i++].second;
            rowB = &rowsB[j++].second;
        }
        TIntervals combined = CombineRow(*rowA, *rowB, mode);
        if (!combined.empty()) {
            rows.push_back({y, std::move(combined)});
        }
    }
    return RegionOfRows(rows);
}

std::shared_ptr<TRegionObject> OffsetRegion(const TRegionObject& region, int32_t dx, int32_t dy)
{
    auto moved = std::make_shared<TRegionObject>(region);
    for (TRegionObject::TSpan& span : moved->Spans) {
        span.Y += dy;
        span.X0 += dx;
        span.X1 += dx;
    }
    OffsetRect(moved->Bounds, dx, dy);
    return moved;
}

} // namespace GraphicsDetail
