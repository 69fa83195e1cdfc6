// DXF import: the lines, circles and arcs of an ASCII drawing's ENTITIES section become line,
// ellipse and arc objects, scaled from the drawing's extents to fit the view's picture.
#include "imaging/core/kvbitmap.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/vect_detail.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace Kvvect::detail {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The lines of the file, read pair by pair; codes and values lose the blanks around them (real
// files pad codes to three columns and end lines with CR LF).
class TPairReader
{
public:
    TPairReader(const char* data, size_t size) : FData(data), FSize(size) {}

    bool AtEnd() const { return FPos >= FSize; }

    // False at the end of the file; a code without its value is a read error.
    bool Next(int32_t& code, std::string_view& value)
    {
        std::string_view codeLine;
        if (!Line(codeLine)) {
            return false;
        }
        if (!Line(value)) {
            throw EKVVFormat("The DXF file ends inside a group");
        }
        int32_t parsed = -1;
        const auto [end, error] = std::from_chars(codeLine.data(), codeLine.data() + codeLine.size(), parsed);
        code = error == std::errc() && end == codeLine.data() + codeLine.size() ? parsed : -1;
        return true;
    }

private:
    bool Line(std::string_view& line)
    {
        if (FPos >= FSize) {
            return false;
        }
        const char* start = FData + FPos;
        const void* lf = std::memchr(start, '\n', FSize - FPos);
        const size_t length = lf ? size_t(static_cast<const char*>(lf) - start) : FSize - FPos;
        FPos += length + (lf ? 1 : 0);
        size_t first = 0, last = length;
        while (first < last && IsBlank(start[first])) {
            ++first;
        }
        while (last > first && IsBlank(start[last - 1])) {
            --last;
        }
        line = std::string_view(start + first, last - first);
        return true;
    }

    const char* FData;
    size_t FSize;
    size_t FPos = 0;
};

// A decimal number with '.' that fills the whole value; anything else (a comma, NaN, infinity,
// hexadecimal) is a conversion error.
double Number(std::string_view value)
{
    size_t i = 0;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        ++i;
    }
    bool digits = false;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9') {
        ++i;
        digits = true;
    }
    if (i < value.size() && value[i] == '.') {
        ++i;
        while (i < value.size() && value[i] >= '0' && value[i] <= '9') {
            ++i;
            digits = true;
        }
    }
    if (digits && i < value.size() && (value[i] == 'e' || value[i] == 'E')) {
        size_t j = i + 1;
        if (j < value.size() && (value[j] == '+' || value[j] == '-')) {
            ++j;
        }
        const size_t exponentStart = j;
        while (j < value.size() && value[j] >= '0' && value[j] <= '9') {
            ++j;
        }
        if (j > exponentStart) {
            i = j;
        }
    }
    if (!digits || i != value.size()) {
        throw EKVVFormat("A DXF value is no number: " + std::string(value.substr(0, 40)));
    }
    // from_chars takes no leading '+'; a value beyond a double's range is a conversion error too.
    const size_t skip = value[0] == '+' ? 1 : 0;
    double result = 0;
    const auto [end, error] = std::from_chars(value.data() + skip, value.data() + value.size(), result);
    if (end != value.data() + value.size() || error != std::errc()) {
        throw EKVVFormat("A DXF value is no number: " + std::string(value.substr(0, 40)));
    }
    return result;
}

// Scans forward to the wanted code; false when the file ends first.
bool ReadCode(TPairReader& reader, int32_t wanted, double& result)
{
    int32_t code = 0;
    std::string_view value;
    while (reader.Next(code, value)) {
        if (code == wanted) {
            result = Number(value);
            return true;
        }
    }
    return false;
}

// Extents that cannot scale a drawing: not finite, "unset" (1E+20 and the like), reversed or
// without size.
bool UsableExtents(double minX, double minY, double maxX, double maxY)
{
    for (double v : {minX, minY, maxX, maxY}) {
        if (!std::isfinite(v) || std::fabs(v) >= 1e18) {
            return false;
        }
    }
    if (maxX < minX || maxY < minY) {
        return false;
    }
    return !(maxX == minX && maxY == minY);
}

} // namespace

bool ImportDXFObjects(const char* data, size_t size, int32_t W, int32_t H, const TKVVObject& pattern,
                      std::vector<TKVVObject>& out)
{
    static const char* const sections[] = {"HEADER", "CLASSES", "TABLES", "BLOCKS", "ENTITIES", "OBJECTS"};
    TPairReader reader(data, size);
    long double s = 1.0L;
    int64_t yo = 0;
    double minX = 0, minY = 0;
    bool extentsUsable = true;
    int32_t section = 0;
    TKVVObject record = pattern;
    record.BeginShape = record.EndShape = kvsNONE;
    record.ShapeWidth = 10;
    record.ShapeHeight = 20;
    record.PenWidth = 1;
    record.LabelPos = kvlEnd;
    auto X = [&](double x) { return Trunc((static_cast<long double>(x) - minX) * s); };
    // Every Trunc saturates; the sums around them are taken in 64 bits and cut once.
    auto Y = [&](double y) {
        return int32_t(std::clamp<int64_t>(int64_t(H) - Trunc((static_cast<long double>(y) - minY) * s) - yo,
                                           INT32_MIN, INT32_MAX));
    };
    try {
        int32_t code = 0;
        std::string_view value;
        while (reader.Next(code, value)) {
            if (code == 0 && value == "SECTION") {
                section = 0;
                if (!reader.Next(code, value)) {
                    break;
                }
                if (code == 2) {
                    for (int32_t i = 0; i < 6; ++i) {
                        if (value == sections[i]) {
                            section = i + 1;
                        }
                    }
                }
                continue;
            }
            if (section == 1 && code == 9 && value == "$EXTMIN") {
                double x = 0, y = 0;
                if (!ReadCode(reader, 10, x) || !ReadCode(reader, 20, y)) {
                    break;
                }
                minX = x;
                minY = y;
                if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) >= 1e18 || std::fabs(y) >= 1e18) {
                    extentsUsable = false;
                    minX = minY = 0;
                }
            } else if (section == 1 && code == 9 && value == "$EXTMAX") {
                double maxX = 0, maxY = 0;
                if (!ReadCode(reader, 10, maxX) || !ReadCode(reader, 20, maxY)) {
                    break;
                }
                if (extentsUsable && UsableExtents(minX, minY, maxX, maxY)) {
                    s = std::min(static_cast<long double>(H) / (static_cast<long double>(maxY) - minY + 1),
                                 static_cast<long double>(W) / (static_cast<long double>(maxX) - minX + 1));
                    yo = int64_t(H) - Trunc((static_cast<long double>(maxY) - minY) * s);
                } else {
                    // The drawing reads as one without extents.
                    extentsUsable = false;
                    s = 1.0L;
                    yo = 0;
                    minX = minY = 0;
                }
            } else if (section == 5 && code == 0 &&
                       (value == "LINE" || value == "CIRCLE" || value == "ARC")) {
                const bool line = value == "LINE", arc = value == "ARC";
                double a = 0, b = 0, c = 0, d = 0;
                if (line) {
                    if (!ReadCode(reader, 10, a) || !ReadCode(reader, 20, b) || !ReadCode(reader, 11, c) ||
                        !ReadCode(reader, 21, d)) {
                        break;
                    }
                    record.Kind = kvkLINE;
                    record.x1 = X(a);
                    record.y1 = Y(b);
                    record.x2 = X(c);
                    record.y2 = Y(d);
                } else {
                    double r = 0;
                    if (!ReadCode(reader, 10, a) || !ReadCode(reader, 20, b) || !ReadCode(reader, 40, r)) {
                        break;
                    }
                    if (arc) {
                        record.Kind = kvkARC;
                        record.x1 = X(a + r);
                        record.y1 = Y(b + r);
                        record.x2 = X(a - r);
                        record.y2 = Y(b - r);
                        double start = 0, end = 0;
                        if (!ReadCode(reader, 50, start) || !ReadCode(reader, 51, end)) {
                            break;
                        }
                        const long double pi = 3.14159265358979323846264338327950288L;
                        record.ArcStart = double(2 * pi - pi * static_cast<long double>(start) / 180);
                        record.ArcEnd = double(2 * pi - pi * static_cast<long double>(end) / 180);
                    } else {
                        record.Kind = kvkELLIPSE;
                        record.x1 = X(a - r);
                        record.y1 = Y(b - r);
                        record.x2 = X(a + r);
                        record.y2 = Y(b + r);
                    }
                }
                out.push_back(record);
            }
        }
    } catch (const EKVVFormat&) {
        return false;
    }
    return true;
}

} // namespace Kvvect::detail

bool TKorvaneVect::ImportDXF(const std::string& FileName)
{
    TKVBitmap* picture = GetKVBitmap();
    const int32_t W = picture ? picture->GetWidth() : 0, H = picture ? picture->GetHeight() : 0;
    bool ok = false;
    std::vector<TKVVObject> objects;
    try {
        TMemoryStream file;
        file.LoadFromFile(FileName);
        ok = Kvvect::detail::ImportDXFObjects(static_cast<const char*>(file.Memory()), size_t(file.Size()), W,
                                              H, FTemplate, objects);
    } catch (const Exception&) {
        ok = false;
    }
    FObjects.reserve(FObjects.size() + objects.size());
    FZOrder.reserve(FZOrder.size() + objects.size());
    for (const TKVVObject& o : objects) {
        AddVObject(o);
    }
    Update();
    return ok;
}
