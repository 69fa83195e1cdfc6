// Imscan: the TWAIN client. Its states, capabilities and transfers run over the scanner library:
// the source manager is the library, a source one of its devices, the source's own dialog the
// device's settings dialog, and pages are read on a worker while the user-interface thread runs.
#pragma once

#include "imaging/io/twain_params.h"
#include "platform/forms/messages.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TIOParamsVals;
class TKVBitmap;
class TWinControl;
struct TProgressRec;

namespace Imscan {

// Called for every page of a modeless or multi-page acquisition, on the user-interface thread.
// The client fills the record the callback leaves in Params with the page's values afterwards;
// when the acquisition was given a record of its own, that one holds them already during the call.
using TKVTWMultiCallBack = std::function<void(TKVBitmap* Bitmap, TIOParamsVals*& Params)>;
using TKVTWCloseCallBack = std::function<void()>;

// The hidden control through which a modeless acquisition delivers its pages; its destruction
// ends the acquisition.
class TKVProxyWin;

// Modal acquisition: true when an image was transferred (every page, with MultiPage, through
// PageCallBack). A failed call leaves its code and text in Params.LastError and LastErrorStr.
bool KVTW_Acquire(TKVBitmap* Bitmap, bool MultiPage, const TKVTWMultiCallBack& PageCallBack,
                  TKVTWainParams& Params, TIOParamsVals* IOParams, TProgressRec& Progress,
                  TKVTWainShared& Shared, HWND Window);
// Starts a modeless acquisition whose proxy is a hidden child of Parent; nil when it could not.
// The close callback runs when the source closes by itself, not after KVTWAINAcquireClose.
TKVProxyWin* KVTWAINAcquireOpen(const TKVTWCloseCallBack& CloseCallBack,
                                const TKVTWMultiCallBack& PageCallBack, TKVTWainParams& Params,
                                TKVTWainShared& Shared, TIOParamsVals* IOParams, TWinControl* Parent);
void KVTWAINAcquireClose(TKVProxyWin*& Handle);

// The source-selection dialog, starting at Name; on true Name is the chosen source's product name.
bool KVTW_SelectImageSource(std::string& Name, TKVTWainShared& Shared, HWND Window);
// Appends the identity of every source.
void KVTW_GetSourceList(std::vector<TKVTWIdentity>& List, TKVTWainShared& Shared, HWND Window);
// The product name of the default source: the one $SANE_DEFAULT_DEVICE names, else the first.
bool KVTW_GetDefaultSource(TKVTWainShared& Shared, HWND Window, std::string& Name);
// Reads the selected source's capabilities into Caps, after sending the settings when Set is true.
bool KVTW_GetCapabilities(TKVTWainParams& Params, TKVTWSourceCaps& Caps, bool Set, HWND Window,
                          TKVTWainShared& Shared);
// Unloads the source manager for real.
void KVTW_FreeResources(TKVTWainShared& Shared, HWND Window);

// The text of a TWAIN condition code.
std::string KVTW_ConditionText(int32_t Code);

} // namespace Imscan
