// A vector layer on a form, with a picture, and helpers to build objects and read the front image.
#pragma once

#include "imaging/core/kvbitmap.h"
#include "imaging/view/kvvect.h"
#include "platform/forms/form.h"
#include "platform/graphics/bitmap.h"
#include "tests/view/view_test_support.h"

#include <cstdint>
#include <memory>

namespace vecttest {

struct VectOnForm
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    TKorvaneVect* vect = nullptr;

    // A white picture of w x h pixels in a client area of the size asked for.
    explicit VectOnForm(int32_t clientWidth = 200, int32_t clientHeight = 150, int32_t w = 200,
                        int32_t h = 150)
    {
        vect = new TKorvaneVect(form.get());
        vect->SetBorderStyle(bsNone);
        vect->SetParent(form.get());
        form->SetClientWidth(clientWidth + 20);
        form->SetClientHeight(clientHeight + 20);
        vect->SetBounds(0, 0, clientWidth, clientHeight);
        vect->SetBackGround(0x123456);
        if (w > 0 && h > 0) {
            vect->GetKVBitmap()->Allocate(w, h, kv24RGB);
            vect->GetKVBitmap()->Fill(0xFFFFFF);
        }
        vect->Update();
    }
    TBitmap* Paint()
    {
        vect->Update();
        vect->Invalidate();
        vect->PaintMarked();
        return vect->FrontImage();
    }
    // Adds an object of a kind from the template with its rectangle.
    int32_t Add(TKVVObjectKind kind, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
    {
        TKVVObject o = vect->Obj(kvhTemplate);
        o.Kind = kind;
        o.x1 = x1;
        o.y1 = y1;
        o.x2 = x2;
        o.y2 = y2;
        o.BitmapIndex = -1;
        return vect->AddVObject(o);
    }
};

} // namespace vecttest

#include "imaging/view/vect_detail.h"
#include "tests/support/tools.h"

#include <zlib.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace vecttest {

// What a shell command printed on standard output.
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    return kvtest::RunTool(command, status);
}

inline std::string Hex(const void* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) {
        out += digits[b[i] >> 4];
        out += digits[b[i] & 15];
    }
    return out;
}

inline std::string HexDouble(double v)
{
    return Hex(&v, 8);
}

// The picture as width x height, the CRC of its blue, green, red rows top-down and that of its
// alpha rows (or "none").
inline std::string PictureDigest(TKVBitmap* b)
{
    uLong crc = crc32(0, nullptr, 0);
    for (int32_t y = 0; y < b->GetHeight(); ++y) {
        crc = crc32(crc, b->GetScanLine(y), uInt(b->GetWidth() * 3));
    }
    char head[64];
    std::snprintf(head, sizeof head, "%dx%d:%08lx:", b->GetWidth(), b->GetHeight(), crc);
    std::string out = head;
    if (!b->GetHasAlphaChannel()) {
        return out + "none";
    }
    TKVBitmap* alpha = b->GetAlphaChannel();
    uLong acrc = crc32(0, nullptr, 0);
    for (int32_t y = 0; y < alpha->GetHeight(); ++y) {
        acrc = crc32(acrc, alpha->GetScanLine(y), uInt(alpha->GetWidth()));
    }
    std::snprintf(head, sizeof head, "%08lx", acrc);
    return out + head;
}

// The layer as tests/tools/kvv_reference.py prints a block: the scale, then one line per object.
inline std::string Dump(TKorvaneVect* v)
{
    std::ostringstream s;
    s << "scale=" << HexDouble(v->Scale()) << "\n";
    for (int32_t i = 0; i < v->ObjectsCount(); ++i) {
        const int32_t h = v->GetObjFromIndex(i);
        const TKVVObject& o = v->Obj(h);
        const int k = o.Kind;
        s << "kind=" << k << " rect=" << o.x1 << "," << o.y1 << "," << o.x2 << "," << o.y2
          << " shadow=" << (o.SoftShadow.Enabled ? 1 : 0) << "," << HexDouble(o.SoftShadow.Radius) << ","
          << o.SoftShadow.OffsetX << "," << o.SoftShadow.OffsetY
          << " name=" << Hex(o.Name.data(), o.Name.size()) << " id=" << o.ID << " pen=" << o.PenColor << ","
          << int(o.PenStyle) << "," << o.PenWidth << " brush=" << o.BrushColor << "," << int(o.BrushStyle)
          << " style=" << int(o.Style) << " transp=" << o.Transparency << " hl=" << (o.BoxHighLight ? 1 : 0);
        if (k == kvkLINELABEL) {
            s << " label=" << o.LabelBrushColor << "," << int(o.LabelBrushStyle) << "," << int(o.LabelPos);
        }
        if (k == kvkLINE || k == kvkLINELABEL) {
            s << " shapes=" << int(o.BeginShape) << "," << int(o.EndShape) << "," << o.ShapeWidth << ","
              << o.ShapeHeight;
        }
        if (k == kvkARC) {
            s << " arc=" << HexDouble(o.ArcStart) << "," << HexDouble(o.ArcEnd);
        }
        if (k == kvkBITMAP) {
            TKVBitmap* b = v->GetBitmap(o.BitmapIndex);
            s << " picture=" << (b ? PictureDigest(b) : std::string("none"));
        }
        if (k == kvkTEXT || k == kvkLINELABEL || k == kvkMEMO) {
            s << " text=" << Hex(o.Text.data(), o.Text.size()) << " font=";
            if (o.Font) {
                Kvvect::detail::TByteWriter w;
                Kvvect::detail::WriteLogFont(w, *o.Font);
                s << Hex(w.Data.data(), w.Data.size());
            } else {
                s << "none";
            }
            s << " align=" << int(o.TextAlign) << " autosize=" << (o.TextAutoSize ? 1 : 0);
        }
        if (k == kvkTEXT || k == kvkLINELABEL) {
            s << " curve=";
            for (size_t j = 0; j < o.Curve.size(); ++j) {
                s << (j ? ";" : "") << HexDouble(o.Curve[j].X) << "," << HexDouble(o.Curve[j].Y);
            }
            s << ":" << o.CharRot;
        }
        if (k == kvkMEMO) {
            s << " formats=";
            for (size_t j = 0; j < o.MemoFormats.size(); ++j) {
                s << (j ? "," : "") << o.MemoFormats[j];
            }
            s << " infos=";
            for (size_t j = 0; j < o.MemoCharInfos.size(); ++j) {
                uint8_t bytes[TKVCharInfo::StoredSize];
                o.MemoCharInfos[j].Store(bytes);
                s << (j ? "," : "") << Hex(bytes, sizeof bytes);
            }
            s << " memo=" << (o.FontLocked ? 1 : 0) << "," << o.MemoLineSpace << "," << o.MemoBorderColor
              << "," << int(o.MemoBorderStyle) << "," << o.MemoFixedHeight;
        }
        if (k == kvkRULER) {
            s << " ruler=" << int(o.RulerUnit) << "," << int(o.RulerType);
        }
        if (k == kvkPOLYLINE) {
            s << " poly=";
            for (size_t j = 0; j < o.PolyPoints.size(); ++j) {
                s << (j ? ";" : "") << o.PolyPoints[j].X << "," << o.PolyPoints[j].Y;
            }
            s << ":" << o.PolyBounds.Left << "," << o.PolyBounds.Top << "," << o.PolyBounds.Right << ","
              << o.PolyBounds.Bottom << ":" << (o.PolylineClosed ? 1 : 0);
        }
        if (k == kvkANGLE) {
            s << " angle=";
            for (int j = 0; j < 3; ++j) {
                s << (j ? ";" : "") << o.AnglePoints[j].X << "," << o.AnglePoints[j].Y;
            }
        }
        s << "\n";
    }
    return s.str();
}

} // namespace vecttest
