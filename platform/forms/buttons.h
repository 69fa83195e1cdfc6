// Buttons with pictures: the bitmap button with its standard kinds, and the speed button, which
// can be flat and can stay down as part of a group.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/forms/std_controls.h"

class TBitmap;

enum TBitBtnKind : uint8_t
{
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};

enum TButtonLayout : uint8_t
{
    blGlyphLeft,
    blGlyphRight,
    blGlyphTop,
    blGlyphBottom
};

// A button with a glyph. A glyph's bottom-left pixel is its transparent colour; a glyph of
// NumGlyphs images side by side shows the first.
class TBitBtn : public TButton
{
public:
    explicit TBitBtn(TComponent* AOwner);
    ~TBitBtn() override;

    // A standard kind sets the caption, ModalResult, and Default or Cancel: bkOK "OK" (mrOk,
    // default), bkCancel "Cancel" (mrCancel, cancel), bkYes "&Yes", bkNo "&No", bkAbort "Abort",
    // bkRetry "&Retry", bkIgnore "&Ignore", bkAll "&All", bkClose "&Close" (closes the form),
    // bkHelp "&Help".
    TBitBtnKind Kind() const { return FKind; }
    void SetKind(TBitBtnKind Value);
    TBitmap* Glyph() const { return FGlyph.get(); }
    void SetGlyph(TBitmap* Value);
    int32_t NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int32_t Value);
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout Value);

    void Click() override;

private:
    void GlyphChanged();

    std::unique_ptr<TBitmap> FGlyph;
    TBitBtnKind FKind = bkCustom;
    int32_t FNumGlyphs = 1;
    TButtonLayout FLayout = blGlyphLeft;
};

// A button that a click does not give the focus (the Tab key does), flat when Flat is set. With a GroupIndex
// other than 0 it stays down when clicked; of the buttons of one parent sharing a GroupIndex only one is
// down, and AllowAllUp lets the user raise the last one.
class TSpeedButton : public TGraphicControl
{
public:
    explicit TSpeedButton(TComponent* AOwner);
    ~TSpeedButton() override;

    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    TBitmap* Glyph() const { return FGlyph.get(); }
    void SetGlyph(TBitmap* Value);
    int32_t NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int32_t Value);
    int32_t GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int32_t Value);
    bool Down() const { return FDown; }
    void SetDown(bool Value);
    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool Value);
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout Value);

    void Click() override;

protected:
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;

private:
    void GlyphChanged();
    void ApplyDown();
    void UserClicked();

    std::unique_ptr<TBitmap> FGlyph;
    bool FFlat = false;
    int32_t FNumGlyphs = 1;
    int32_t FGroupIndex = 0;
    bool FDown = false;
    bool FAllowAllUp = false;
    TButtonLayout FLayout = blGlyphLeft;
};
