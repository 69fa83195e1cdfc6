// Common controls: the track bar, the progress bar and the header control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/controls.h"

enum TTrackBarOrientation : uint8_t
{
    trHorizontal,
    trVertical
};

enum TTickStyle : uint8_t
{
    tsNone,
    tsAuto,
    tsManual
};

enum TTickMark : uint8_t
{
    tmBottomRight,
    tmTopLeft,
    tmBoth
};

// A slider. OnChange fires whenever Position changes, by the user or by the program (the class
// library's track bar does the same); a position is clamped to Min .. Max.
class TTrackBar : public TWinControl
{
public:
    explicit TTrackBar(TComponent* AOwner);

    int32_t Min() const { return FMin; }
    void SetMin(int32_t Value);
    int32_t Max() const { return FMax; }
    void SetMax(int32_t Value);
    void SetRange(int32_t AMin, int32_t AMax);
    int32_t Position() const { return FPosition; }
    void SetPosition(int32_t Value);
    // Distance between tick marks.
    int32_t Frequency() const { return FFrequency; }
    void SetFrequency(int32_t Value);
    // Step of Page Up and Page Down, and of a click beside the thumb.
    int32_t PageSize() const { return FPageSize; }
    void SetPageSize(int32_t Value);
    // Step of the arrow keys.
    int32_t LineSize() const { return FLineSize; }
    void SetLineSize(int32_t Value);
    TTrackBarOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TTrackBarOrientation Value);
    TTickStyle TickStyle() const { return FTickStyle; }
    void SetTickStyle(TTickStyle Value);
    TTickMark TickMarks() const { return FTickMarks; }
    void SetTickMarks(TTickMark Value);
    // The thumb's extent across the track, in pixels (20 draws the style's own thumb).
    int32_t ThumbLength() const { return FThumbLength; }
    void SetThumbLength(int32_t Value);

    TNotifyEvent OnChange;

    // Internal: the widget's position moved.
    void WidgetMoved(int32_t Value);

protected:
    virtual void Changed();
    void KeyDown(uint16_t& Key, TShiftState Shift) override;

private:
    void ApplyRange();
    void ApplyTicks();

    int32_t FMin = 0;
    int32_t FMax = 10;
    int32_t FPosition = 0;
    int32_t FFrequency = 1;
    int32_t FPageSize = 2;
    int32_t FLineSize = 1;
    TTrackBarOrientation FOrientation = trHorizontal;
    TTickStyle FTickStyle = tsAuto;
    TTickMark FTickMarks = tmBottomRight;
    int32_t FThumbLength = 20;
    bool FApplying = false;
};

class TProgressBar : public TWinControl
{
public:
    explicit TProgressBar(TComponent* AOwner);

    int32_t Min() const { return FMin; }
    void SetMin(int32_t Value);
    int32_t Max() const { return FMax; }
    void SetMax(int32_t Value);
    // Clamped to Min .. Max.
    int32_t Position() const { return FPosition; }
    void SetPosition(int32_t Value);
    int32_t Step() const { return FStep; }
    void SetStep(int32_t Value) { FStep = Value; }
    void StepIt() { SetPosition(FPosition + FStep); }
    void StepBy(int32_t Delta) { SetPosition(FPosition + Delta); }
    bool Smooth() const { return FSmooth; }
    void SetSmooth(bool Value) { FSmooth = Value; }

private:
    void Apply();

    int32_t FMin = 0;
    int32_t FMax = 100;
    int32_t FPosition = 0;
    int32_t FStep = 10;
    bool FSmooth = false;
};

class THeaderControl;

enum THeaderSectionStyle : uint8_t
{
    hsText,
    hsOwnerDraw
};

// One section of a header control.
class THeaderSection
{
public:
    THeaderSection(THeaderControl* Header, int32_t Index) : FHeader(Header), FIndex(Index) {}

    int32_t Index() const { return FIndex; }
    std::string Text() const;
    void SetText(const std::string& Value);
    int32_t Width() const;
    void SetWidth(int32_t Value);
    int32_t Left() const;
    int32_t Right() const { return Left() + Width(); }
    int32_t MinWidth() const;
    void SetMinWidth(int32_t Value);
    int32_t MaxWidth() const;
    void SetMaxWidth(int32_t Value);
    // A clickable section fires OnSectionClick.
    bool AllowClick() const;
    void SetAllowClick(bool Value);
    // An automatically sized section takes the room that the other sections leave.
    bool AutoSize() const;
    void SetAutoSize(bool Value);
    TAlignment Alignment() const;
    void SetAlignment(TAlignment Value);
    THeaderSectionStyle Style() const { return hsText; }

private:
    friend class THeaderControl;
    THeaderControl* FHeader;
    int32_t FIndex;
};

class THeaderSections
{
public:
    explicit THeaderSections(THeaderControl* Header) : FHeader(Header) {}

    THeaderSection* Add();
    int32_t Count() const;
    // Raises EListError when Index is out of range.
    THeaderSection* Items(int32_t Index) const;
    THeaderSection* operator[](int32_t Index) const { return Items(Index); }
    void Clear();

private:
    THeaderControl* FHeader;
};

using TSectionNotifyEvent = std::function<void(THeaderControl* HeaderControl, THeaderSection* Section)>;

// Column headers above a list. OnSectionResize fires when the user resizes a section, not when
// the program sets a width.
class THeaderControl : public TWinControl
{
public:
    explicit THeaderControl(TComponent* AOwner);
    ~THeaderControl() override;

    THeaderSections* Sections() { return &FSections; }
    // Sections can be dragged into another order by the user.
    bool DragReorder() const;
    void SetDragReorder(bool Value);

    TSectionNotifyEvent OnSectionResize;
    TSectionNotifyEvent OnSectionClick;

    // Internal: the sections and the widget.
    struct TSectionData
    {
        std::string Text;
        int32_t Width = 50;
        int32_t MinWidth = 0;
        int32_t MaxWidth = 10000;
        bool AllowClick = true;
        bool AutoSize = false;
        TAlignment Alignment = taLeftJustify;
        std::unique_ptr<THeaderSection> Section;
    };
    std::vector<TSectionData>& SectionData() { return FData; }
    void SectionsChanged();
    void ApplyWidths();
    void UserResized(int32_t Index, int32_t NewWidth);
    void UserClicked(int32_t Index);

protected:
    void Resize() override;

private:
    THeaderSections FSections;
    std::vector<TSectionData> FData;
    bool FApplying = false;
};
