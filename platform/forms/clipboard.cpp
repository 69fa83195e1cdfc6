// The clipboard over the platform's: formats as MIME types, packed DIBs also as images.
#include "platform/forms/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <cstring>
#include <map>
#include <memory>

#include "platform/core/strings.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/dib.h"

using namespace FormsDetail;

namespace {

const char* const kDibMime = "application/x-korvane-dib";

struct TRegisteredFormats
{
    std::map<std::string, uint16_t> ByName; // upper-case names
    std::map<uint16_t, std::string> Mime;
    uint16_t Next = 0xC000;
};

TRegisteredFormats& Registered()
{
    static auto* formats = new TRegisteredFormats;
    return *formats;
}

QString MimeOf(uint16_t format)
{
    switch (format) {
    case CF_TEXT:
        return QStringLiteral("text/plain");
    case CF_DIB:
        return QString::fromLatin1(kDibMime);
    default:
        break;
    }
    auto found = Registered().Mime.find(format);
    return found == Registered().Mime.end() ? QString() : ToQ(found->second);
}

QClipboard* SystemClipboard()
{
    EnsureQtApplication();
    return QGuiApplication::clipboard();
}

// What the program put there during one open-close bracket (or one single call).
struct TPending
{
    std::map<QString, QByteArray> Data;
    QImage Image;
    bool HasImage = false;
};

std::unique_ptr<TPending> gPending;

void Publish()
{
    auto* mime = new QMimeData;
    for (const auto& [type, bytes] : gPending->Data) {
        mime->setData(type, bytes);
    }
    if (gPending->HasImage) {
        mime->setImageData(gPending->Image);
    }
    SystemClipboard()->setMimeData(mime);
}

QImage ImageOfPackedDIB(const QByteArray& bytes)
{
    TBitmap bitmap;
    if (!PackedDIBToBitmap(bytes.constData(), static_cast<size_t>(bytes.size()), bitmap)) {
        return QImage();
    }
    return ImageOf(bitmap);
}

// An image another program put on the clipboard, as a packed DIB: 32 bits when it has
// transparency, 24 otherwise.
QByteArray PackedDIBOfImage(const QImage& image)
{
    if (image.isNull()) {
        return QByteArray();
    }
    TBitmap bitmap;
    const bool alpha = image.hasAlphaChannel();
    const QImage converted = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
    bitmap.SetPixelFormat(alpha ? pf32bit : pf24bit);
    bitmap.SetSize(converted.width(), converted.height());
    for (int y = 0; y < converted.height(); ++y) {
        const uint8_t* source = converted.constScanLine(y);
        uint8_t* target = bitmap.ScanLine(y);
        if (alpha) {
            // ARGB32 is B, G, R, A in memory, as a 32-bit DIB row.
            std::memcpy(target, source, size_t(converted.width()) * 4);
        } else {
            for (int x = 0; x < converted.width(); ++x) {
                target[3 * x] = source[3 * x + 2];
                target[3 * x + 1] = source[3 * x + 1];
                target[3 * x + 2] = source[3 * x];
            }
        }
    }
    HGLOBAL dib = BitmapToPackedDIB(bitmap);
    if (!dib) {
        return QByteArray();
    }
    QByteArray bytes;
    {
        TGlobalLock lock(dib);
        if (lock.Data()) {
            bytes =
                QByteArray(reinterpret_cast<const char*>(lock.Data()), static_cast<qsizetype>(lock.Size()));
        }
    }
    GlobalFree(dib);
    return bytes;
}

} // namespace

uint16_t RegisterClipboardFormat(const std::string& Name)
{
    if (Name.empty()) {
        return 0;
    }
    TRegisteredFormats& formats = Registered();
    const std::string key = UpperCase(Name);
    auto found = formats.ByName.find(key);
    if (found != formats.ByName.end()) {
        return found->second;
    }
    const uint16_t id = formats.Next++;
    formats.ByName[key] = id;
    std::string mime = "application/x-korvane-format;name=";
    for (char c : key) {
        mime += (c == ' ' || c == ';' || c == '"') ? '_' : c;
    }
    formats.Mime[id] = mime;
    return id;
}

bool TClipboard::Open()
{
    if (RefuseOpen) {
        return false;
    }
    if (FOpenCount++ == 0) {
        gPending.reset();
    }
    return true;
}

void TClipboard::Close()
{
    if (FOpenCount > 0 && --FOpenCount == 0) {
        gPending.reset();
    }
}

void TClipboard::Clear()
{
    gPending = std::make_unique<TPending>();
    SystemClipboard()->clear();
}

bool TClipboard::HasFormat(uint16_t Format) const
{
    const QMimeData* mime = SystemClipboard()->mimeData();
    if (!mime) {
        return false;
    }
    if (Format == CF_TEXT) {
        return mime->hasText();
    }
    if (Format == CF_DIB || Format == CF_BITMAP) {
        return mime->hasFormat(QString::fromLatin1(kDibMime)) || mime->hasImage();
    }
    const QString type = MimeOf(Format);
    return !type.isEmpty() && mime->hasFormat(type);
}

std::string TClipboard::AsText() const
{
    return FromQ(SystemClipboard()->text());
}

void TClipboard::SetAsText(const std::string& Value)
{
    SetAsBytes(CF_TEXT, std::vector<uint8_t>(Value.begin(), Value.end()));
}

void TClipboard::SetAsBytes(uint16_t Format, const std::vector<uint8_t>& Data)
{
    const QString type = MimeOf(Format);
    if (type.isEmpty()) {
        return;
    }
    // Within an open bracket formats add up; outside, each call replaces the content.
    if (FOpenCount == 0 || !gPending) {
        gPending = std::make_unique<TPending>();
    }
    const QByteArray bytes(reinterpret_cast<const char*>(Data.data()), static_cast<qsizetype>(Data.size()));
    gPending->Data[type] = bytes;
    if (Format == CF_DIB) {
        gPending->Image = ImageOfPackedDIB(bytes);
        gPending->HasImage = !gPending->Image.isNull();
    }
    Publish();
    if (FOpenCount == 0) {
        gPending.reset();
    }
}

std::vector<uint8_t> TClipboard::GetAsBytes(uint16_t Format) const
{
    const QMimeData* mime = SystemClipboard()->mimeData();
    if (!mime) {
        return {};
    }
    QByteArray bytes;
    if (Format == CF_TEXT) {
        bytes = mime->text().toUtf8();
    } else if (Format == CF_DIB && !mime->hasFormat(QString::fromLatin1(kDibMime)) && mime->hasImage()) {
        bytes = PackedDIBOfImage(qvariant_cast<QImage>(mime->imageData()));
    } else {
        const QString type = MimeOf(Format);
        if (type.isEmpty() || !mime->hasFormat(type)) {
            return {};
        }
        bytes = mime->data(type);
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void TClipboard::SetAsHandle(uint16_t Format, HGLOBAL Data)
{
    TGlobalLock lock(Data);
    if (!lock.Data()) {
        return;
    }
    SetAsBytes(Format, std::vector<uint8_t>(lock.Data(), lock.Data() + lock.Size()));
}

HGLOBAL TClipboard::GetAsHandle(uint16_t Format) const
{
    std::vector<uint8_t> bytes = GetAsBytes(Format);
    if (bytes.empty()) {
        return nullptr;
    }
    if (Format == CF_TEXT) {
        // Text in a block ends with a NUL, as readers of such blocks expect.
        bytes.push_back(0);
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) {
        return nullptr;
    }
    TGlobalLock lock(block);
    std::memcpy(lock.Data(), bytes.data(), bytes.size());
    return block;
}

TClipboard* Clipboard()
{
    static auto* clipboard = new TClipboard;
    return clipboard;
}
