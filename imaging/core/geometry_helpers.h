// Point, line and rectangle tests for hit testing and the selection and vector tools.
#pragma once

#include "platform/graphics/geometry.h"

#include <cstdint>

namespace Daduvudez {

double _DistPoint2Point(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Distance to the infinite line through the two points; to the point itself when they coincide.
double _DistPoint2Line(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Distance to the segment; 1000000.0 when the nearer end is more than 45000 away in x or y.
double _DistPoint2Seg(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Smallest distance to the polyline after mapping each vertex to the screen with the origin,
// zoom and offset; 1000000.0 with fewer than two vertices.
double _DistPoint2Polyline(int32_t x, int32_t y, const TPoint* points, int32_t count, int32_t originX,
                           int32_t originY, int32_t offsetX, int32_t offsetY, double zoomX, double zoomY);

bool _InRect(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// As _InRect with the corners in any order.
bool _InRectO(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Whether the rectangles overlap, edges included; the second one's corners must be ordered.
bool _RectXRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                int32_t y4);
// 2 when every corner of the second rectangle lies inside the first, 1 when some do, 0 when none.
int32_t _RectPRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
                   int32_t y4);
// Widens the rectangle so that it includes the point.
void KVSetplim(TRect& rect, int32_t x, int32_t y);
// The same for a rectangle the caller may not want: nothing happens without one.
void KVSetplim(TRect* rect, int32_t x, int32_t y);
// Arc cosine in radians, 0..pi: 0 for 1 and pi for -1 (arguments are cut to -1..1).
double KVArcCos(double x);
// The turning angle at P2 between the directions P1->P2 and P2->P3, 0..pi; 0 when two points
// coincide.
double KVAngle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3);
// Constrains a polygon-selection point to the horizontal, vertical or diagonal through the reference.
void _CastPolySelCC(int32_t refX, int32_t refY, int32_t& x, int32_t& y);

} // namespace Daduvudez
