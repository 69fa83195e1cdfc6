// The annotation marks as objects of the vector layer and back: lines, freehand lines,
// rectangles, embedded pictures and texts, and the marks burnt into a bitmap through a layer.
#include "imaging/core/imaging_annot.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/core/system_helpers.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cstring>

namespace {

// A colour of the attribute record: blue, green, red and a reserved byte.
TColor RecordColour(const TKVImagingObject& mark, int32_t offset)
{
    const uint8_t* p = mark.Attributes + offset;
    return RGBToColor(p[2], p[1], p[0]);
}

void SetRecordColour(TKVImagingObject& mark, int32_t offset, TColor colour)
{
    const COLORREF c = COLORREF(ColorToRGB(colour));
    uint8_t* p = mark.Attributes + offset;
    p[0] = GetBValue(c);
    p[1] = GetGValue(c);
    p[2] = GetRValue(c);
    p[3] = 0;
}

LOGFONT RecordFont(const TKVImagingObject& mark)
{
    LOGFONT lf;
    std::memcpy(&lf.lfHeight, mark.Attributes + 48, 4);
    std::memcpy(&lf.lfWidth, mark.Attributes + 52, 4);
    std::memcpy(&lf.lfEscapement, mark.Attributes + 56, 4);
    std::memcpy(&lf.lfOrientation, mark.Attributes + 60, 4);
    std::memcpy(&lf.lfWeight, mark.Attributes + 64, 4);
    lf.lfItalic = mark.Attributes[68];
    lf.lfUnderline = mark.Attributes[69];
    lf.lfStrikeOut = mark.Attributes[70];
    lf.lfCharSet = mark.Attributes[71];
    std::memcpy(lf.lfFaceName, mark.Attributes + 76, LF_FACESIZE);
    lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return lf;
}

int32_t BoolField(bool value)
{
    return value ? -1 : 0;
}

void MakeMemo(TKorvaneVect& vect, int32_t h, const TKVImagingObject& mark)
{
    vect.SetObjKind(h, kvkMEMO);
    vect.SetObjRect(h, mark.Bounds());
    vect.SetObjBrushColor(h, 0xFFFFFF);
    vect.SetObjBrushStyle(h, bsClear);
    vect.SetObjMemoBorderStyle(h, psClear);
    const LOGFONT lf = RecordFont(mark);
    vect.SetObjFontHeight(h, lf.lfHeight);
    vect.SetObjFontName(h, std::string(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE)));
    vect.SetObjFontStyles(h, Daduvudez::KVExtractStylesFromLogFont(&lf));
    vect.SetObjTextAlign(h, kvjLeft);
    vect.SetObjFontLocked(h, true);
    vect.SetObjText(h, mark.Text);
}

} // namespace

void TKVImagingAnnot::CopyToTKorvaneVect(TObject* Vect) const
{
    auto* vect = dynamic_cast<TKorvaneVect*>(Vect);
    if (!vect) {
        return;
    }
    for (const auto& owned : FObjects) {
        const TKVImagingObject& mark = *owned;
        const TRect bounds = mark.Bounds();
        // A mark is highlighted by any value other than 0 (the writer puts -1 for true).
        const bool highlighted = mark.GetInt(28) != 0;
        switch (mark.MarkType()) {
        case kvaImageEmbedded: {
            const int32_t h = vect->AddNewObject();
            vect->SetObjKind(h, kvkBITMAP);
            vect->SetObjRect(h, bounds);
            vect->SetObjBitmap(h, mark.Bitmap.get());
            break;
        }
        case kvaStraightLine:
        case kvaFreehandLine: {
            const int32_t h = vect->AddNewObject();
            if (mark.MarkType() == kvaStraightLine) {
                vect->SetObjKind(h, kvkLINE);
                // Without two points the line runs across its bounds.
                const TPoint a = mark.Points.size() >= 2 ? mark.Points[0] : TPoint{};
                const TPoint b = mark.Points.size() >= 2
                                     ? mark.Points[1]
                                     : TPoint{bounds.Right - bounds.Left, bounds.Bottom - bounds.Top};
                vect->SetObjRect(
                    h, TRect{bounds.Left + a.X, bounds.Top + a.Y, bounds.Left + b.X, bounds.Top + b.Y});
            } else {
                vect->SetObjKind(h, kvkPOLYLINE);
                std::vector<TPoint> points;
                for (const TPoint& p : mark.Points) {
                    points.push_back(TPoint{bounds.Left + p.X, bounds.Top + p.Y});
                }
                vect->SetObjPolylinePoints(h, points);
            }
            vect->SetObjPenColor(h, RecordColour(mark, 20));
            vect->SetObjPenStyle(h, psSolid);
            vect->SetObjPenWidth(h, mark.GetInt(36));
            vect->SetObjTransparency(h, highlighted ? 127 : 255);
            break;
        }
        case kvaHollowRect:
        case kvaFilledRect: {
            const int32_t h = vect->AddNewObject();
            vect->SetObjKind(h, kvkBOX);
            vect->SetObjRect(h, bounds);
            if (mark.MarkType() == kvaHollowRect) {
                vect->SetObjPenColor(h, RecordColour(mark, 20));
                vect->SetObjPenWidth(h, mark.GetInt(36));
                vect->SetObjPenStyle(h, psSolid);
                vect->SetObjBrushStyle(h, bsClear);
            } else {
                vect->SetObjBrushColor(h, RecordColour(mark, 20));
                vect->SetObjBrushStyle(h, bsSolid);
                vect->SetObjPenStyle(h, psClear);
            }
            vect->SetObjBoxHighLight(h, highlighted);
            break;
        }
        case kvaTypedText:
        case kvaTextFromFile:
        case kvaTextStamp: {
            const int32_t h = vect->AddNewObject();
            MakeMemo(*vect, h, mark);
            vect->SetObjPenColor(h, RecordColour(mark, 20));
            break;
        }
        case kvaAttachANote: {
            const int32_t h = vect->AddNewObject();
            MakeMemo(*vect, h, mark);
            vect->SetObjPenColor(h, RecordColour(mark, 24));
            vect->SetObjBrushColor(h, RecordColour(mark, 20));
            vect->SetObjBrushStyle(h, bsSolid);
            break;
        }
        default:
            break;
        }
    }
}

void TKVImagingAnnot::CopyFromTKorvaneVect(TKorvaneVect* Vect)
{
    Clear();
    if (!Vect) {
        return;
    }
    for (int32_t pos = 0; pos < Vect->ObjectsCount(); ++pos) {
        const int32_t h = Vect->GetObjFromIndex(pos);
        const TKVVObject& o = Vect->Obj(h);
        auto mark = std::make_unique<TKVImagingObject>();
        mark->SetInt(120, 0xFF83F);
        mark->SetInt(116, -1);
        const TRect bounds{std::min(o.x1, o.x2), std::min(o.y1, o.y2), std::max(o.x1, o.x2),
                           std::max(o.y1, o.y2)};
        mark->SetInt(4, bounds.Left);
        mark->SetInt(8, bounds.Top);
        mark->SetInt(12, bounds.Right);
        mark->SetInt(16, bounds.Bottom);
        auto textMark = [&](int32_t type) {
            mark->SetInt(0, type);
            const int32_t height = Vect->GetObjFontHeight(h);
            mark->SetInt(48,
                         Kvview::gSystemDPIY > 0 ? -Round(height / double(Kvview::gSystemDPIY) * 72.0) : 0);
            const std::string face = Vect->GetObjFontName(h);
            std::memcpy(mark->Attributes + 76, face.data(), std::min<size_t>(face.size(), LF_FACESIZE - 1));
            const TFontStyles styles = Vect->GetObjFontStyles(h);
            mark->SetInt(64, styles.Contains(fsBold) ? FW_BOLD : FW_NORMAL);
            mark->Attributes[68] = styles.Contains(fsItalic) ? 1 : 0;
            mark->Attributes[69] = styles.Contains(fsUnderline) ? 1 : 0;
            mark->Attributes[70] = styles.Contains(fsStrikeOut) ? 1 : 0;
            for (char c : o.Text) {
                if (c == '\n') {
                    mark->Text += '\r';
                }
                mark->Text += c;
            }
        };
        switch (o.Kind) {
        case kvkLINE:
        case kvkPOLYLINE:
            mark->SetInt(0, o.Kind == kvkLINE ? kvaStraightLine : kvaFreehandLine);
            SetRecordColour(*mark, 20, o.PenColor);
            mark->SetInt(36, o.PenWidth);
            mark->SetInt(28, BoolField(o.Transparency < 200));
            if (o.Kind == kvkLINE) {
                mark->Points = {TPoint{o.x1 - bounds.Left, o.y1 - bounds.Top},
                                TPoint{o.x2 - bounds.Left, o.y2 - bounds.Top}};
            } else {
                for (int32_t i = 0; i < Vect->GetObjPolylinePointsCount(h); ++i) {
                    const TPoint p = Vect->GetObjPolylinePoints(h, i);
                    mark->Points.push_back(TPoint{p.X - bounds.Left, p.Y - bounds.Top});
                }
            }
            break;
        case kvkBOX:
            if (o.BrushStyle == bsClear) {
                mark->SetInt(0, kvaHollowRect);
                SetRecordColour(*mark, 20, o.PenColor);
                mark->SetInt(36, o.PenWidth);
            } else {
                mark->SetInt(0, kvaFilledRect);
                SetRecordColour(*mark, 20, o.BrushColor);
            }
            mark->SetInt(28, BoolField(o.BoxHighLight));
            break;
        case kvkBITMAP: {
            TKVBitmap* picture = Vect->GetObjBitmap(h);
            if (!picture) {
                continue; // nothing to embed
            }
            mark->SetInt(0, kvaImageEmbedded);
            mark->Bitmap = std::make_unique<TKVBitmap>();
            mark->Bitmap->Assign(picture);
            break;
        }
        case kvkTEXT:
        case kvkMEMO:
            if (o.BrushStyle == bsClear) {
                textMark(kvaTypedText);
                SetRecordColour(*mark, 20, o.PenColor);
            } else {
                textMark(kvaAttachANote);
                SetRecordColour(*mark, 20, o.BrushColor);
                SetRecordColour(*mark, 24, o.PenColor);
            }
            break;
        default:
            continue;
        }
        AddObject(std::move(mark));
    }
}

void TKVImagingAnnot::DrawToBitmap(TKVBitmap* Bitmap, bool Antialias) const
{
    if (!Bitmap) {
        return;
    }
    TKorvaneVect vect(nullptr);
    CopyToTKorvaneVect(&vect);
    vect.SetObjGraphicRender(true);
    vect.DrawObjectsToBitmap(Bitmap, Antialias);
}
