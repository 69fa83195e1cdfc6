// Internals of the TWAIN client: the trace log, the condition codes, one acquisition's state
// record with the TWAIN states it walks over the scanner library, the capability mapping and the
// hand-over of a scanned page.
#pragma once

#include "imaging/io/detail/sane_scanner.h"
#include "imaging/io/imscan.h"

#include <memory>
#include <string>

namespace Imscan::detail {

using Korvaneio::detail::IsDuplexSource;
using Korvaneio::detail::IsFeederSource;
using Korvaneio::detail::TSaneDevice;
using Korvaneio::detail::TScannedPage;

void Log(const std::string& message);
void SetLogFileName(const std::string& name);
std::string LogFileName();

// The TWAIN condition code that stands for a scanner library status (0 for success).
int32_t ConditionOf(SANE_Status status);

// One acquisition, modal or modeless: the TWAIN state (1 nothing loaded .. 7 transferring), the
// open source and what the negotiation found.
class TAcquisition
{
public:
    TAcquisition(TKVTWainParams& params, TKVTWainShared& shared);
    // Tears down what is still up; the source manager stays loaded.
    ~TAcquisition();
    TAcquisition(const TAcquisition&) = delete;
    TAcquisition& operator=(const TAcquisition&) = delete;

    // States 1 to 4: loads and opens the manager and opens the selected source (the default
    // source when no source is selected); false, with the steps done undone, when one fails.
    bool OpenSource();
    // Sends the settings to the source (only the transfer mode in compatibility mode).
    void Negotiate();
    // State 5: the source's own dialog when VisibleDialog; false when the user cancelled it.
    bool Enable();
    // Back to state 3.
    void TearDown();
    // A failed call: its condition code and text go to the parameters and the log.
    void Fail(const char* caller, int32_t code);

    // The transfer: reads pages and hands each to Deliver; false when it failed or was stopped.
    bool MultiPageFeed() const;
    void PageDpi(int32_t& dpiX, int32_t& dpiY) const;

    TKVTWainParams& Params;
    TKVTWainShared& Shared;
    int32_t State = 1;
    // 0 native, 1 memory (buffered), 2 file.
    int32_t TransferMode = 1;
    TSaneDevice Device;
    TKVTWIdentity Source;
};

// Sends the settings of the parameters to the open source.
void SetCapabilities(TAcquisition& acquisition);
// Reads the open source's capabilities.
void ReadCapabilities(const TSaneDevice& device, TKVTWSourceCaps& caps);

// Hands scanned pages over: through a BMP file in file transfer mode, into the per-image
// parameters, then into the target bitmap or to the per-page callback.
class TPageDelivery
{
public:
    TPageDelivery(TKVBitmap* target, const TKVTWMultiCallBack& callBack, TIOParamsVals* ioParams,
                  int32_t transferMode)
        : FTarget(target), FCallBack(callBack), FIOParams(ioParams), FTransferMode(transferMode)
    {
    }
    // False when the page could not be handed over.
    bool Deliver(TScannedPage& page);
    int32_t Delivered() const { return FDelivered; }

private:
    bool ThroughFile(TScannedPage& page);

    TKVBitmap* FTarget;
    TKVTWMultiCallBack FCallBack;
    TIOParamsVals* FIOParams;
    int32_t FTransferMode;
    int32_t FDelivered = 0;
};

} // namespace Imscan::detail
