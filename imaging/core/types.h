// The shared types of the Korvane imaging library: pixel formats, colours, storage places,
// resampling filters and the progress record that codecs and workers report through.
#pragma once

#include <cstdint>
#include <functional>

class TObject;

// A colour of three bytes in memory order blue, green, red: a kv24RGB pixel and a palette entry.
struct TRGB
{
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
    friend bool operator==(const TRGB&, const TRGB&) = default;
};
static_assert(sizeof(TRGB) == 3, "TRGB is packed as three bytes");

enum TKVPixelFormat : uint8_t { kvnull, kv1g, kv8p, kv8g, kv16g, kv24RGB, kv32f };

enum TKVLocation : uint8_t { kvMemory, kvFile, kvTBitmap };

// Whether mapped rows of a file-backed bitmap are read in and written back; kvdRead is bit 0.
enum TKVDataAccessFlag : uint8_t { kvdRead = 1, kvdWrite = 2 };
using TKVDataAccess = uint8_t;
constexpr TKVDataAccess kvdReadWrite = kvdRead | kvdWrite;

enum TKVDitherMethod : uint8_t { kvOrdered, kvThreshold };
enum TKVHAlign : uint8_t { kvhLeft, kvhCenter, kvhRight };
enum TKVVAlign : uint8_t { kvvTop, kvvCenter, kvvBottom };

enum TResampleFilter : uint8_t {
    rfNone,
    rfTriangle,
    rfHermite,
    rfBell,
    rfBSpline,
    rfLanczos3,
    rfMitchell,
    rfNearest,
    rfLinear,
    rfFastLinear,
    rfBilinear,
    rfBicubic
};

// Progress in percent, raised by codecs and workers with the record's Sender.
using TKVProgressEvent = std::function<void(TObject* Sender, int32_t per)>;

// Passed by reference to codecs and processing workers. Codecs set *Aborting on failure and
// poll it; workers call OnProgress only when it is set.
struct TProgressRec
{
    TKVProgressEvent OnProgress;
    TObject* Sender = nullptr;
    int32_t Counter = 0; // the plane being transformed, in the frequency-domain transform
    int32_t Value = 0;   // the number of planes there; free for other workers
    int32_t Total = 0;
    double PerRow = 0;   // percent per row or unit
    bool* Aborting = nullptr;
};
