// The settings objects that the views read for their scroll bars and the mouse wheel.
#pragma once

#include "platform/core/classes.h"

#include <cstdint>

enum TKVMouseWheelAction : uint8_t
{
    kvmwNone,
    kvmwVScroll,
    kvmwZoom
};
enum TKVMouseWheelStepKind : uint8_t
{
    kvmwAbsolute,
    kvmwPercentage
};
enum TKVMouseWheelZoomAnchor : uint8_t
{
    kvmwCenter,
    kvmwMouse
};

// A step of -1 is the view's default: one zoomed pixel for a line, one client page for a page.
class TKVScrollBarParams : public TObject
{
public:
    int32_t LineStep = -1;
    int32_t PageStep = -1;
    // Follow the thumb while it is dragged.
    bool Tracking = true;
};

class TKVMouseWheelParams : public TObject
{
public:
    bool Reverse = false;
    TKVMouseWheelAction WheelAction = kvmwZoom;
    TKVMouseWheelStepKind StepKind = kvmwPercentage;
    int32_t StepValue = 8;
    TKVMouseWheelZoomAnchor ZoomAnchor = kvmwCenter;
};
