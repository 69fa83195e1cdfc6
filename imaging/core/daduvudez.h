// The imaging core's public surface: the bitmap model and its storage, the pixel, colour and
// geometry helpers, containers and stream helpers that every imaging subsystem shares.
#pragma once

#include "imaging/core/bit_utils.h"
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/colour_spaces.h"
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/draw_dib.h"
#include "imaging/core/file_buffer.h"
#include "imaging/core/file_utils.h"
#include "imaging/core/geometry_helpers.h"
#include "imaging/core/hash_table.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/kvlists.h"
#include "imaging/core/mask.h"
#include "imaging/core/message_table.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/core/quantizer.h"
#include "imaging/core/stream_utils.h"
#include "imaging/core/types.h"
#include "imaging/core/video_frames.h"
#include "imaging/core/window_helpers.h"
#include "imaging/core/work_bitmap.h"
