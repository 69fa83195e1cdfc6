// The graphics layer in one include: geometry, colours, GDI records, global memory, palettes,
// bitmaps, pictures, canvases, packed DIBs and the GDI-style raster functions.
#pragma once

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/dib.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/gdi_records.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/global_memory.h"
#include "platform/graphics/palette.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/raster.h"
