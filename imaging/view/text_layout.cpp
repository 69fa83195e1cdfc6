// Multi-font text: the formats' stored form, editing of characters and formats, and the layout
// that breaks the text into lines, aligns them and draws each character in its own format.
#include "imaging/view/text_layout.h"

#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr char LF = 10;

void PutInt32(uint8_t* p, int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

int32_t GetInt32(const uint8_t* p)
{
    return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                (uint32_t(p[3]) << 24));
}

// Characters below 33 separate words.
bool IsWordChar(char c)
{
    return static_cast<uint8_t>(c) >= 33;
}

// A height one step further from 0 (or nearer to it), keeping its sign; 0 becomes 1.
int32_t StepHeight(int32_t height, bool larger)
{
    if (height == 0) {
        return 1;
    }
    const int64_t sign = height < 0 ? -1 : 1;
    const int64_t magnitude = height < 0 ? -int64_t(height) : int64_t(height);
    const int64_t stepped =
        larger ? std::min<int64_t>(magnitude + 1, INT32_MAX) : std::max<int64_t>(1, magnitude - 1);
    return int32_t(sign * stepped);
}

} // namespace

// ---- TKVCharInfo ----

bool TKVCharInfo::SameFormat(const TKVCharInfo& other) const
{
    return FontName == other.FontName && FontHeight == other.FontHeight && FontStyle == other.FontStyle &&
           FontColor == other.FontColor && BackColor == other.BackColor && BrushStyle == other.BrushStyle &&
           Align == other.Align;
}

void TKVCharInfo::Store(uint8_t* out) const
{
    std::memset(out, 0, StoredSize);
    PutInt32(out, RefCount);
    const size_t n = std::min<size_t>(FontName.size(), 255);
    out[4] = uint8_t(n);
    std::memcpy(out + 5, FontName.data(), n);
    PutInt32(out + 260, FontHeight);
    out[264] = uint8_t(FontStyle.Bits() & 0x0F);
    PutInt32(out + 268, FontColor);
    PutInt32(out + 272, BackColor);
    out[276] = BrushStyle;
    out[277] = Align;
}

TKVCharInfo TKVCharInfo::Load(const uint8_t* in)
{
    TKVCharInfo info;
    info.RefCount = GetInt32(in);
    info.FontName.assign(reinterpret_cast<const char*>(in + 5), in[4]);
    info.FontHeight = GetInt32(in + 260);
    for (TFontStyle s : {fsBold, fsItalic, fsUnderline, fsStrikeOut}) {
        if (in[264] & (1u << s)) {
            info.FontStyle.Include(s);
        }
    }
    info.FontColor = GetInt32(in + 268);
    info.BackColor = GetInt32(in + 272);
    info.BrushStyle = in[276] <= bsDiagCross ? TBrushStyle(in[276]) : bsClear;
    info.Align = in[277] <= kvjJustify ? TKVAlignment(in[277]) : kvjLeft;
    return info;
}

// ---- TKVTextLayout: buffers and formats ----

TKVTextLayout::TKVTextLayout() : FMeasure(std::make_unique<TCanvas>())
{
    Font.SetName("Arial");
    Font.SetColor(clBlack);
    TextBrush.SetColor(clWhite);
    TextBrush.SetStyle(bsClear);
    BorderPen.SetColor(clBlack);
    BackgroundBrush.SetColor(clWhite);
    InsertionFormat = DefaultFormat();
}

TKVTextLayout::~TKVTextLayout() = default;

TKVCharInfo TKVTextLayout::DefaultFormat() const
{
    TKVCharInfo info;
    info.FontName = Font.Name().substr(0, 255);
    info.FontHeight = Font.Height();
    info.FontStyle = Font.Style();
    info.FontColor = Font.Color();
    info.BackColor = TextBrush.Color();
    info.BrushStyle = TextBrush.Style();
    info.Align = Alignment;
    return info;
}

void TKVTextLayout::Init()
{
    SelStart = SelEnd = 0;
    Caret = 0;
    const int32_t n = Count();
    Memo.Formats.resize(size_t(n), 0);
    if (Memo.CharInfos.empty() && n > 0) {
        TKVCharInfo info = DefaultFormat();
        Memo.CharInfos.push_back(info);
    }
    // Indexes from elsewhere may point past the list.
    const int32_t formats = static_cast<int32_t>(Memo.CharInfos.size());
    for (int32_t& index : Memo.Formats) {
        if (index < 0 || index >= formats) {
            index = 0;
        }
    }
    if (n > 0 && !Memo.CharInfos.empty()) {
        for (TKVCharInfo& info : Memo.CharInfos) {
            info.RefCount = 0;
        }
        for (int32_t index : Memo.Formats) {
            ++Memo.CharInfos[size_t(index)].RefCount;
        }
    }
    FPlaces.assign(size_t(n), TKVCharPlace{});
    FLines.clear();
    InsertionFormat = DefaultFormat();
}

const TKVCharInfo* TKVTextLayout::FormatOf(int32_t i) const
{
    if (FontLocked || i < 0 || i >= static_cast<int32_t>(Memo.Formats.size())) {
        return nullptr;
    }
    const int32_t index = Memo.Formats[size_t(i)];
    if (index < 0 || index >= static_cast<int32_t>(Memo.CharInfos.size())) {
        return nullptr;
    }
    return &Memo.CharInfos[size_t(index)];
}

bool TKVTextLayout::IsContinuation(int32_t i) const
{
    return i > 0 && i < Count() && (static_cast<uint8_t>(Memo.Text[size_t(i)]) & 0xC0) == 0x80;
}

int32_t TKVTextLayout::SequenceLength(int32_t i) const
{
    const int32_t n = Count();
    if (i < 0 || i >= n) {
        return 1;
    }
    const uint8_t lead = static_cast<uint8_t>(Memo.Text[size_t(i)]);
    int32_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    for (int32_t k = 1; k < length; ++k) {
        if (i + k >= n || (static_cast<uint8_t>(Memo.Text[size_t(i + k)]) & 0xC0) != 0x80) {
            return k;
        }
    }
    return length;
}

void TKVTextLayout::ResetCaches(int32_t from)
{
    FPlaces.resize(size_t(Count()));
    for (size_t i = size_t(std::max(from, 0)); i < FPlaces.size(); ++i) {
        FPlaces[i] = TKVCharPlace{};
    }
}

void TKVTextLayout::AddChar(char c)
{
    Caret = std::clamp(Caret, 0, Count());
    Memo.Formats.resize(Memo.Text.size(), 0);
    Memo.Text.insert(size_t(Caret), 1, c);
    Memo.Formats.insert(Memo.Formats.begin() + Caret, 0);
    SaveCharInfo(Caret, InsertionFormat);
    FPlaces.insert(FPlaces.begin() + std::min<size_t>(size_t(Caret), FPlaces.size()), TKVCharPlace{});
    ResetCaches(Caret);
    ++Caret;
}

int32_t TKVTextLayout::DelChar(int32_t i)
{
    if (i < 0 || i >= Count()) {
        return i;
    }
    const int32_t length = SequenceLength(i);
    Memo.Formats.resize(Memo.Text.size(), 0);
    for (int32_t k = i; k < i + length; ++k) {
        const int32_t index = Memo.Formats[size_t(k)];
        if (index >= 0 && index < static_cast<int32_t>(Memo.CharInfos.size())) {
            TKVCharInfo& info = Memo.CharInfos[size_t(index)];
            info.RefCount = std::max(0, info.RefCount - 1);
        }
    }
    Memo.Text.erase(size_t(i), size_t(length));
    Memo.Formats.erase(Memo.Formats.begin() + i, Memo.Formats.begin() + i + length);
    ResetCaches(i);
    return i;
}

void TKVTextLayout::RemoveSelected()
{
    if (!HasSelection()) {
        ResetSelection();
        return;
    }
    const int32_t start = std::clamp(SelStart, 0, Count());
    int32_t i = std::clamp(SelEnd, 0, Count());
    while (i > start) {
        i = GoBackIdx(i);
        DelChar(std::max(i, start));
    }
    Caret = start;
    ResetSelection();
}

void TKVTextLayout::ResetSelection()
{
    SelStart = SelEnd = 0;
}

void TKVTextLayout::RemoveUnreferenced()
{
    // The counts are taken from the characters, so a list read with wrong counts cannot lose a
    // format that is in use.
    std::vector<int32_t> users(Memo.CharInfos.size(), 0);
    for (int32_t index : Memo.Formats) {
        if (index >= 0 && index < static_cast<int32_t>(users.size())) {
            ++users[size_t(index)];
        }
    }
    std::vector<int32_t> renumber(Memo.CharInfos.size(), 0);
    std::vector<TKVCharInfo> kept;
    for (size_t k = 0; k < Memo.CharInfos.size(); ++k) {
        renumber[k] = static_cast<int32_t>(kept.size());
        if (users[k] > 0) {
            kept.push_back(Memo.CharInfos[k]);
            kept.back().RefCount = users[k];
        }
    }
    for (int32_t& index : Memo.Formats) {
        index = index >= 0 && index < static_cast<int32_t>(renumber.size()) ? renumber[size_t(index)] : 0;
    }
    Memo.CharInfos = std::move(kept);
}

int32_t TKVTextLayout::FindCharInfo(const TKVCharInfo& info) const
{
    for (size_t k = 0; k < Memo.CharInfos.size(); ++k) {
        if (Memo.CharInfos[k].SameFormat(info)) {
            return static_cast<int32_t>(k);
        }
    }
    return -1;
}

void TKVTextLayout::SaveCharInfo(int32_t i, const TKVCharInfo& info)
{
    if (i < 0 || i >= static_cast<int32_t>(Memo.Formats.size())) {
        return;
    }
    int32_t index = FindCharInfo(info);
    if (index < 0) {
        Memo.CharInfos.push_back(info);
        Memo.CharInfos.back().RefCount = 0;
        index = static_cast<int32_t>(Memo.CharInfos.size()) - 1;
    }
    Memo.Formats[size_t(i)] = index;
    ++Memo.CharInfos[size_t(index)].RefCount;
}

void TKVTextLayout::CopyCharInfoTo(int32_t i, TKVCharInfo& info) const
{
    if (Count() == 0) {
        info = InsertionFormat;
        return;
    }
    const TKVCharInfo* format = FormatOf(std::clamp(i, 0, Count() - 1));
    info = format ? *format : DefaultFormat();
}

void TKVTextLayout::RestoreCharInfo(int32_t i, TCanvas* canvas, double scale) const
{
    const TKVCharInfo* format = FormatOf(i);
    const TKVCharInfo info = format ? *format : DefaultFormat();
    TFont* font = canvas->Font();
    font->SetName(info.FontName.empty() ? Font.Name() : info.FontName);
    int32_t height = info.FontHeight;
    if (scale != 1.0 && height != 0) {
        const int32_t scaled = Trunc(height * scale);
        height = scaled != 0 ? scaled : (height < 0 ? -1 : 1);
    }
    font->SetHeight(height);
    font->SetStyle(info.FontStyle);
    font->SetQuality(Font.Quality());
    if (!MaskMode) {
        font->SetColor(info.FontColor);
        canvas->Brush()->SetColor(info.BackColor);
    }
    canvas->Brush()->SetStyle(info.BrushStyle);
}

// ---- Caret movement ----

int32_t TKVTextLayout::GoBackIdx(int32_t i) const
{
    i = std::clamp(i, 0, Count());
    if (i == 0) {
        return 0;
    }
    --i;
    while (i > 0 && IsContinuation(i)) {
        --i;
    }
    return i;
}

int32_t TKVTextLayout::GoForwardIdx(int32_t i) const
{
    i = std::clamp(i, 0, Count());
    if (i >= Count()) {
        return Count();
    }
    return std::min(Count(), i + SequenceLength(i));
}

int32_t TKVTextLayout::GoWordBackIdx(int32_t i) const
{
    i = std::clamp(i, 0, Count());
    while (i > 0 && !IsWordChar(Memo.Text[size_t(i - 1)])) {
        --i;
    }
    while (i > 0 && IsWordChar(Memo.Text[size_t(i - 1)])) {
        --i;
    }
    return i;
}

int32_t TKVTextLayout::GoWordForwardIdx(int32_t i) const
{
    const int32_t n = Count();
    i = std::clamp(i, 0, n);
    while (i < n && IsWordChar(Memo.Text[size_t(i)])) {
        ++i;
    }
    while (i < n && !IsWordChar(Memo.Text[size_t(i)])) {
        ++i;
    }
    return i;
}

int32_t TKVTextLayout::LineOf(int32_t caret) const
{
    if (FLines.empty()) {
        return 0;
    }
    for (size_t k = 0; k < FLines.size(); ++k) {
        if (caret >= FLines[k].First && caret < FLines[k].Next) {
            return static_cast<int32_t>(k);
        }
    }
    return static_cast<int32_t>(FLines.size()) - 1;
}

int32_t TKVTextLayout::MoveHome(int32_t i) const
{
    return FLines.empty() ? 0 : FLines[size_t(LineOf(i))].First;
}

int32_t TKVTextLayout::MoveEnd(int32_t i) const
{
    if (FLines.empty()) {
        return Count();
    }
    const TLine& line = FLines[size_t(LineOf(i))];
    if (line.Last < line.First) {
        return line.First;
    }
    if (Memo.Text[size_t(line.Last)] == LF || line.Next < Count()) {
        // Before the line feed, or before the space (or last character) a wrapped line ends with.
        return line.Last;
    }
    return Count();
}

namespace {

// The caret index in a line nearest to x.
template <class TLineT>
int32_t NearestInLine(const TLineT& line, const std::vector<TKVCharPlace>& places, const std::string& text,
                      int32_t x, int32_t count)
{
    for (int32_t k = line.First; k <= line.Last; ++k) {
        const TKVCharPlace& p = places[size_t(k)];
        if (p.Width <= 0 && text[size_t(k)] != LF) {
            continue;
        }
        if (text[size_t(k)] == LF || x < line.Offset + p.X + p.Width / 2) {
            return k;
        }
    }
    if (line.Next >= count && (line.Last < line.First || text[size_t(line.Last)] != LF)) {
        return count;
    }
    return std::max(line.First, line.Last);
}

} // namespace

int32_t TKVTextLayout::MoveUp(int32_t i) const
{
    const int32_t line = LineOf(i);
    if (FLines.empty() || line == 0) {
        return i;
    }
    return NearestInLine(FLines[size_t(line - 1)], FPlaces, Memo.Text, FCaretPos.X, Count());
}

int32_t TKVTextLayout::MoveDown(int32_t i) const
{
    const int32_t line = LineOf(i);
    if (FLines.empty() || line + 1 >= static_cast<int32_t>(FLines.size())) {
        return i;
    }
    return NearestInLine(FLines[size_t(line + 1)], FPlaces, Memo.Text, FCaretPos.X, Count());
}

int32_t TKVTextLayout::MoveTo(int32_t x, int32_t y) const
{
    if (FLines.empty()) {
        return 0;
    }
    size_t line = FLines.size() - 1;
    for (size_t k = 0; k < FLines.size(); ++k) {
        if (y < FLines[k].Top + FLines[k].Height) {
            line = k;
            break;
        }
    }
    return NearestInLine(FLines[line], FPlaces, Memo.Text, x, Count());
}

void TKVTextLayout::SStop(int32_t oldCaret, bool shift)
{
    if (Count() > 0) {
        CopyCharInfoTo(Caret - 1, InsertionFormat);
    }
    if (!shift) {
        ResetSelection();
        return;
    }
    int32_t anchor = oldCaret;
    if (HasSelection()) {
        anchor = oldCaret == SelStart ? SelEnd : SelStart;
    }
    SelStart = std::min(anchor, Caret);
    SelEnd = std::max(anchor, Caret);
}

void TKVTextLayout::SelectWord()
{
    int32_t start = std::clamp(Caret, 0, Count());
    int32_t end = start;
    while (start > 0 && IsWordChar(Memo.Text[size_t(start - 1)])) {
        --start;
    }
    while (end < Count() && IsWordChar(Memo.Text[size_t(end)])) {
        ++end;
    }
    SelStart = start;
    SelEnd = end;
    Caret = end;
}

// ---- Formatting ----

void TKVTextLayout::ApplyToSelection(const std::function<void(TKVCharInfo&)>& change)
{
    if (HasSelection()) {
        const int32_t first = std::clamp(SelStart, 0, Count());
        const int32_t last = std::clamp(SelEnd, 0, Count());
        Memo.Formats.resize(Memo.Text.size(), 0);
        for (int32_t k = first; k < last; ++k) {
            TKVCharInfo info;
            CopyCharInfoTo(k, info);
            change(info);
            const int32_t old = Memo.Formats[size_t(k)];
            if (old >= 0 && old < static_cast<int32_t>(Memo.CharInfos.size())) {
                Memo.CharInfos[size_t(old)].RefCount = std::max(0, Memo.CharInfos[size_t(old)].RefCount - 1);
            }
            SaveCharInfo(k, info);
        }
        ResetCaches(first);
    }
    change(InsertionFormat);
}

void TKVTextLayout::SetXFont(const TFont& font)
{
    ApplyToSelection([&](TKVCharInfo& info) {
        info.FontName = font.Name().substr(0, 255);
        info.FontHeight = font.Height();
        info.FontStyle = font.Style();
        info.FontColor = font.Color();
    });
}

void TKVTextLayout::SetXBackColor(TColor colour)
{
    ApplyToSelection([&](TKVCharInfo& info) {
        info.BackColor = colour;
        info.BrushStyle = bsSolid;
    });
}

void TKVTextLayout::IncFontSize()
{
    ApplyToSelection([](TKVCharInfo& info) { info.FontHeight = StepHeight(info.FontHeight, true); });
}

void TKVTextLayout::DecFontSize()
{
    ApplyToSelection([](TKVCharInfo& info) { info.FontHeight = StepHeight(info.FontHeight, false); });
}

void TKVTextLayout::SwitchFontStyle(TFontStyle style)
{
    if (!HasSelection()) {
        TFontStyles styles = InsertionFormat.FontStyle;
        styles.Contains(style) ? styles.Exclude(style) : styles.Include(style);
        InsertionFormat.FontStyle = styles;
        return;
    }
    TKVCharInfo first;
    CopyCharInfoTo(SelStart, first);
    TFontStyles styles = first.FontStyle;
    styles.Contains(style) ? styles.Exclude(style) : styles.Include(style);
    ApplyToSelection([&](TKVCharInfo& info) { info.FontStyle = styles; });
}

void TKVTextLayout::InsertAlign(TKVAlignment alignment)
{
    const int32_t n = Count();
    int32_t start = std::clamp(Caret, 0, n);
    while (start > 0 && Memo.Text[size_t(start - 1)] != LF) {
        --start;
    }
    int32_t end = std::clamp(Caret, 0, n);
    while (end < n && Memo.Text[size_t(end)] != LF) {
        ++end;
    }
    // The paragraph's own line feed carries its alignment as well.
    end = std::min(end + 1, n);
    const int32_t keepStart = SelStart, keepEnd = SelEnd;
    SelStart = start;
    SelEnd = end;
    ApplyToSelection([&](TKVCharInfo& info) { info.Align = alignment; });
    SelStart = keepStart;
    SelEnd = keepEnd;
    if (start == end) {
        InsertionFormat.Align = alignment;
    }
}

// ---- Layout ----

void TKVTextLayout::Measure(int32_t i)
{
    TKVCharPlace& place = FPlaces[size_t(i)];
    if (place.Width >= 0) {
        return;
    }
    if (IsContinuation(i)) {
        place.Width = 0;
        place.Height = 0;
        place.Ascent = 0;
        return;
    }
    RestoreCharInfo(i, FMeasure.get());
    TEXTMETRIC metrics;
    GetTextMetrics(FMeasure.get(), metrics);
    const char c = Memo.Text[size_t(i)];
    place.Width = c == LF ? 0 : FMeasure->TextWidth(Memo.Text.substr(size_t(i), size_t(SequenceLength(i))));
    if (FixedHeight > 0) {
        place.Height = FixedHeight;
        place.Ascent = std::max(0, FixedHeight - metrics.tmDescent);
    } else {
        place.Height = metrics.tmHeight;
        place.Ascent = metrics.tmAscent;
    }
}

void TKVTextLayout::LayOut(int32_t areaWidth)
{
    const int32_t n = Count();
    FPlaces.resize(size_t(n));
    FLines.clear();
    // The measures of an empty line: its line feed's, the insertion format's on an empty text.
    auto emptyLineMetrics = [&](int32_t before, int32_t& height, int32_t& ascent) {
        if (before >= 0 && before < n) {
            Measure(before);
            height = FPlaces[size_t(before)].Height;
            ascent = FPlaces[size_t(before)].Ascent;
            return;
        }
        const TKVCharInfo keep = InsertionFormat;
        TFont* font = FMeasure->Font();
        font->SetName(FontLocked || keep.FontName.empty() ? Font.Name() : keep.FontName);
        font->SetHeight(FontLocked ? Font.Height() : keep.FontHeight);
        font->SetStyle(FontLocked ? Font.Style() : keep.FontStyle);
        TEXTMETRIC metrics;
        GetTextMetrics(FMeasure.get(), metrics);
        height = FixedHeight > 0 ? FixedHeight : metrics.tmHeight;
        ascent = FixedHeight > 0 ? std::max(0, FixedHeight - metrics.tmDescent) : metrics.tmAscent;
    };

    int32_t i = 0;
    int32_t top = 0;
    while (true) {
        TLine line;
        line.First = i;
        line.Top = top;
        int32_t cx = 0;
        int32_t lastSpace = -1;
        int32_t end = n;
        for (int32_t j = i; j < n; ++j) {
            Measure(j);
            TKVCharPlace& place = FPlaces[size_t(j)];
            const char c = Memo.Text[size_t(j)];
            if (c == LF) {
                place.X = cx;
                end = j + 1;
                break;
            }
            // A line always takes its first character, however narrow the area.
            if (j > i && !IsContinuation(j) && cx + place.Width > areaWidth - 2) {
                end = lastSpace >= i ? lastSpace + 1 : j;
                break;
            }
            place.X = cx;
            cx += place.Width;
            if (c == ' ') {
                lastSpace = j;
            }
        }
        line.Last = end - 1;
        line.Next = end;
        int32_t ascent = 0, descent = 0, height = 0;
        for (int32_t k = line.First; k <= line.Last; ++k) {
            const TKVCharPlace& place = FPlaces[size_t(k)];
            if (IsContinuation(k)) {
                continue;
            }
            height = std::max(height, place.Height);
            ascent = std::max(ascent, place.Ascent);
            descent = std::max(descent, place.Height - place.Ascent);
        }
        if (line.Last < line.First) {
            emptyLineMetrics(line.First - 1, height, ascent);
            descent = height - ascent;
        }
        line.Height = height;
        line.Baseline = top + ascent;
        for (int32_t k = line.First; k <= line.Last; ++k) {
            FPlaces[size_t(k)].LineY = top;
            FPlaces[size_t(k)].Line = static_cast<int32_t>(FLines.size());
            if (IsContinuation(k) && k > 0) {
                FPlaces[size_t(k)].X = FPlaces[size_t(k - 1)].X + FPlaces[size_t(k - 1)].Width;
            }
        }
        FLines.push_back(line);
        top += height + LineSpace;
        i = end;
        // Text ending in a line feed has an empty last line for the caret.
        if (i >= n && (line.Last < line.First || Memo.Text[size_t(line.Last)] != LF)) {
            break;
        }
    }
}

void TKVTextLayout::Align(int32_t areaWidth)
{
    const int32_t n = Count();
    for (TLine& line : FLines) {
        line.Offset = 0;
        if (line.Last < line.First) {
            continue;
        }
        int32_t last = line.Last;
        if (Memo.Text[size_t(last)] == LF) {
            --last;
        }
        if (last >= line.First && Memo.Text[size_t(last)] == ' ') {
            --last;
        }
        while (last > line.First && IsContinuation(last)) {
            --last;
        }
        int32_t e = 0, w = 0;
        if (last >= line.First) {
            e = FPlaces[size_t(last)].X;
            w = FPlaces[size_t(last)].Width;
            for (int32_t k = last + 1; k <= line.Last && IsContinuation(k); ++k) {
                w += FPlaces[size_t(k)].Width;
            }
        }
        const TKVCharInfo* format = FormatOf(line.Last);
        const TKVAlignment alignment = FontLocked || !format ? Alignment : format->Align;
        switch (alignment) {
        case kvjLeft:
            break;
        case kvjRight:
            line.Offset = areaWidth - e - w - 1;
            break;
        case kvjCenter:
            line.Offset = (areaWidth - e - w) / 2;
            break;
        case kvjJustify: {
            const bool endsParagraph =
                Memo.Text[size_t(line.Last)] == LF || line.Next >= n || Memo.Text[size_t(line.Next)] == LF;
            if (!endsParagraph && e + w + 1 > 0) {
                const double stretch = double(areaWidth) / double(e + w + 1);
                for (int32_t k = line.First; k <= line.Last; ++k) {
                    FPlaces[size_t(k)].X = Trunc(FPlaces[size_t(k)].X * stretch);
                }
            }
            break;
        }
        }
    }
}

void TKVTextLayout::DrawChars(TCanvas* canvas, int32_t originX, int32_t originY, int32_t areaHeight)
{
    const uint32_t oldAlign = SetTextAlign(canvas, TA_LEFT | TA_BASELINE);
    if (MaskMode) {
        canvas->Font()->SetColor(Font.Color());
        canvas->Brush()->SetColor(TextBrush.Color());
    }
    for (const TLine& line : FLines) {
        if (line.Top + line.Height > areaHeight) {
            break;
        }
        for (int32_t k = line.First; k <= line.Last; ++k) {
            const char c = Memo.Text[size_t(k)];
            if (c == LF || IsContinuation(k)) {
                continue;
            }
            const std::string glyph = Memo.Text.substr(size_t(k), size_t(SequenceLength(k)));
            RestoreCharInfo(k, canvas, Zoom);
            if (!MaskMode && k >= SelStart && k < SelEnd) {
                const TColor ink = canvas->Font()->Color();
                const TColor paper =
                    canvas->Brush()->Style() == bsClear ? BackgroundBrush.Color() : canvas->Brush()->Color();
                canvas->Font()->SetColor(paper);
                canvas->Brush()->SetColor(ink);
                canvas->Brush()->SetStyle(bsSolid);
            }
            const int32_t px = originX + Trunc((line.Offset + FPlaces[size_t(k)].X) * Zoom);
            const int32_t py = originY + Trunc(line.Baseline * Zoom);
            canvas->TextOut(px, py, glyph);
            if (CollectLayout) {
                LayoutText += glyph;
            }
        }
        if (CollectLayout) {
            LayoutText += LF;
        }
    }
    SetTextAlign(canvas, oldAlign);
}

int32_t TKVTextLayout::PaintTo(TCanvas* canvas, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!canvas || width < 2 || height < 2) {
        return 0;
    }
    const int32_t areaWidth = width - 2;
    const int32_t areaHeight = height - 2;
    Memo.Formats.resize(Memo.Text.size(), 0);
    LayOut(areaWidth);
    Align(areaWidth);

    canvas->Pen()->Assign(&BorderPen);
    canvas->Brush()->Assign(&BackgroundBrush);
    const TRect box = Rect(x, y, x + Round(width * Zoom), y + Round(height * Zoom));
    canvas->Rectangle(box);

    // Characters stay inside the box, also a word wider than the line.
    const std::unique_ptr<TRegionObject> saved =
        canvas->ClipRegion() ? std::make_unique<TRegionObject>(*canvas->ClipRegion()) : nullptr;
    IntersectClipRect(canvas, box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1);
    if (CollectLayout) {
        LayoutText.clear();
    }
    DrawChars(canvas, x + 1, y + 1, areaHeight);
    SelectClipRgn(canvas, saved.get());

    // The caret's place.
    const int32_t n = Count();
    const int32_t caret = std::clamp(Caret, 0, n);
    const TLine& line = FLines[size_t(LineOf(caret))];
    int32_t caretX = 0;
    if (caret < n && caret >= line.First && caret <= line.Last) {
        caretX = FPlaces[size_t(caret)].X;
    } else if (caret > 0 && caret - 1 >= line.First && caret - 1 <= line.Last &&
               Memo.Text[size_t(caret - 1)] != LF) {
        caretX = FPlaces[size_t(caret - 1)].X + FPlaces[size_t(caret - 1)].Width;
    }
    FCaretPos = TPoint{line.Offset + caretX, line.Top};
    FCaretHeight = line.Height;

    if (!AutoSize) {
        return 0;
    }
    for (const TLine& l : FLines) {
        if (l.Top + l.Height > areaHeight) {
            return l.Height;
        }
    }
    return line.Top + line.Height > areaHeight ? FCaretHeight : 0;
}
