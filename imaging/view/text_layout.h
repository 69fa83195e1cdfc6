// The multi-font text of a memo: characters that each carry a shared, reference-counted format,
// the line layout that fits them into a box, and the editing operations on them. The text
// control edits through it and the vector layer draws memos with it, without a window.
#pragma once

#include "platform/graphics/canvas.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TKVAlignment : uint8_t
{
    kvjLeft,
    kvjRight,
    kvjCenter,
    kvjJustify
};

// The format of characters: font, colours, background style and paragraph alignment.
struct TKVCharInfo
{
    // Its stored form is 280 bytes: count, length-prefixed name, height, styles, 3 reserved bytes,
    // colour, background, brush style, alignment and 2 reserved bytes.
    static constexpr int32_t StoredSize = 280;

    int32_t RefCount = 0; // characters using it
    std::string FontName; // at most 255 bytes
    int32_t FontHeight = 0;
    TFontStyles FontStyle;
    TColor FontColor = clBlack;
    TColor BackColor = clWhite;
    TBrushStyle BrushStyle = bsClear;
    TKVAlignment Align = kvjLeft;

    // Every field but the reference count is equal.
    bool SameFormat(const TKVCharInfo& other) const;
    // Writes the stored form, reserved bytes 0.
    void Store(uint8_t* out) const;
    // Reads a stored form; reserved bytes are ignored.
    static TKVCharInfo Load(const uint8_t* in);
};

// A memo's characters with one format index per byte of Text into CharInfos.
struct TKVTextMemo
{
    std::string Text;
    std::vector<int32_t> Formats;
    std::vector<TKVCharInfo> CharInfos;
};

// What one laid-out character needs for drawing and for moving the caret by position.
struct TKVCharPlace
{
    int32_t Width = -1; // -1: not measured since the last change
    int32_t Height = 0;
    int32_t Ascent = 0;
    int32_t X = -1; // in the text area, unscaled; -1 when not laid out
    int32_t LineY = -1;
    int32_t Line = -1;
};

class TKVTextLayout
{
public:
    TKVTextLayout();
    ~TKVTextLayout();
    TKVTextLayout(const TKVTextLayout&) = delete;
    TKVTextLayout& operator=(const TKVTextLayout&) = delete;

    // The characters and their formats (the memo object lends them while it is edited or drawn).
    TKVTextMemo Memo;

    // Defaults of new characters, the memo's border and its fill.
    TFont Font;
    TBrush TextBrush;
    TPen BorderPen;
    TBrush BackgroundBrush;
    TKVAlignment Alignment = kvjLeft;
    // Layout happens unscaled; drawing is scaled by Zoom.
    double Zoom = 1.0;
    // Set while a transparency mask is drawn: the canvas keeps the colours it was given.
    bool MaskMode = false;
    // Every character in Font and Alignment.
    bool FontLocked = false;
    bool AutoSize = false;
    int32_t LineSpace = 0;
    // 0: line heights from the fonts; else every character is this tall.
    int32_t FixedHeight = 0;
    // While set, PaintTo records the laid-out text (characters and a line feed per line end).
    bool CollectLayout = false;
    std::string LayoutText;

    TKVCharInfo InsertionFormat;
    int32_t Caret = 0;
    // The selection runs from SelStart to SelEnd (exclusive); empty when SelEnd <= SelStart.
    int32_t SelStart = 0;
    int32_t SelEnd = 0;
    bool InsertMode = true;

    int32_t Count() const { return static_cast<int32_t>(Memo.Text.size()); }
    bool HasSelection() const { return SelEnd > SelStart; }

    // Caret and selection to 0; missing formats made (one record from Font, TextBrush and
    // Alignment for every character); out-of-range format indexes point at format 0.
    void Init();
    // The format Font, TextBrush and Alignment give.
    TKVCharInfo DefaultFormat() const;

    // ---- Editing ----
    void AddChar(char c);
    // Deletes character i (the whole UTF-8 sequence starting there); returns i.
    int32_t DelChar(int32_t i);
    void RemoveSelected();
    void ResetSelection();
    // Drops the formats no character uses and renumbers the indexes.
    void RemoveUnreferenced();
    int32_t FindCharInfo(const TKVCharInfo& info) const;
    // The equal record (or a new one) becomes character i's format and gains one user.
    void SaveCharInfo(int32_t i, const TKVCharInfo& info);
    // The format of character clamp(i, 0, n - 1); the insertion format for an empty text.
    void CopyCharInfoTo(int32_t i, TKVCharInfo& info) const;
    // The canvas font and brush of character i (Font and TextBrush when locked); in MaskMode the
    // canvas keeps its colours.
    void RestoreCharInfo(int32_t i, TCanvas* canvas, double scale = 1.0) const;

    // ---- Caret movement (indexes; the caller applies them) ----
    int32_t GoBackIdx(int32_t i) const;
    int32_t GoForwardIdx(int32_t i) const;
    int32_t GoWordBackIdx(int32_t i) const;
    int32_t GoWordForwardIdx(int32_t i) const;
    // Start and end of the caret's visual line (from the last layout).
    int32_t MoveHome(int32_t i) const;
    int32_t MoveEnd(int32_t i) const;
    // The character of the line above or below nearest the caret's x.
    int32_t MoveUp(int32_t i) const;
    int32_t MoveDown(int32_t i) const;
    // The character under a point of the text area (unscaled, relative to the box).
    int32_t MoveTo(int32_t x, int32_t y) const;
    // After a move from oldCaret: the insertion format follows the character before the caret;
    // with Shift the selection spans old and new caret, otherwise it is cleared.
    void SStop(int32_t oldCaret, bool shift);
    // The word around the caret (characters of 33 and above).
    void SelectWord();

    // ---- Formatting of the selection (and of the insertion format) ----
    void SetXFont(const TFont& font);
    void SetXBackColor(TColor colour);
    void IncFontSize();
    void DecFontSize();
    void SwitchFontStyle(TFontStyle style);
    // Every character of the caret's paragraph.
    void InsertAlign(TKVAlignment alignment);

    // ---- Layout and drawing ----
    // Lays the text out in a box of width x height (unscaled) and draws it at (x, y) of the
    // canvas with the box scaled by Zoom. Nothing when a side is below 2. Returns how many pixels
    // (unscaled) the box would have to grow to show everything, 0 when it fits.
    int32_t PaintTo(TCanvas* canvas, int32_t x, int32_t y, int32_t width, int32_t height);
    // The caret's place in the text area after the last layout (unscaled).
    TPoint CaretPos() const { return FCaretPos; }
    int32_t CaretHeight() const { return FCaretHeight; }
    // The characters' places after the last layout.
    const std::vector<TKVCharPlace>& Places() const { return FPlaces; }
    // Measurements are dropped from character i on (after an edit or a format change).
    void ResetCaches(int32_t from = 0);

private:
    struct TLine
    {
        int32_t First = 0; // first character
        int32_t Last = -1; // last character (inclusive), -1 for an empty line
        int32_t Next = 0;  // first character of the next line
        int32_t Top = 0;
        int32_t Height = 0;
        int32_t Baseline = 0;
        int32_t Offset = 0; // alignment shift
    };

    const TKVCharInfo* FormatOf(int32_t i) const;
    void Measure(int32_t i);
    void LayOut(int32_t areaWidth);
    void Align(int32_t areaWidth);
    void DrawChars(TCanvas* canvas, int32_t originX, int32_t originY, int32_t areaHeight);
    int32_t SequenceLength(int32_t i) const;
    bool IsContinuation(int32_t i) const;
    void ApplyToSelection(const std::function<void(TKVCharInfo&)>& change);
    int32_t LineOf(int32_t caret) const;

    std::unique_ptr<TCanvas> FMeasure; // a canvas without raster, for text extents
    std::vector<TKVCharPlace> FPlaces;
    std::vector<TLine> FLines;
    TPoint FCaretPos;
    int32_t FCaretHeight = 0;
};
