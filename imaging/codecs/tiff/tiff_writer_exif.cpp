// The EXIF tags of a TIFF page being written: each field the record holds, with its value as it
// was (a fraction as the simplest one of 32-bit terms that gives it back) but for the picture size,
// which is the page's, and no field whose value its type cannot hold.
#include "imaging/codecs/tiff/detail/tiff_writer_exif.h"

#include "imaging/codecs/tiff/exif_fields.h"
#include "imaging/core/kvbitmap.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace Tiffilt::detail {

namespace {

// The first four characters of a version text ("0220"), all a version tag holds. Copied a byte at
// a time: GCC 12 at -O3 takes a vector made from the text's iterators for a write past its end.
std::vector<uint8_t> VersionBytes(const std::string& Version)
{
    const size_t count = std::min<size_t>(Version.size(), 4);
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = uint8_t(Version[i]);
    }
    return bytes;
}

// Writes each field that holds a value: one the record carries (a photo's Flash 0 as well), or
// one that is not 0 or empty, which is what reading gives for a tag that is absent. The picture
// size fields tell the size of the picture written with them, where there is one.
class TExifTagWriter
{
public:
    TExifTagWriter(TEntryWriter& main, TEntryWriter& exif, const TKVExifTagSet& carried,
                   const TKVBitmap* picture)
        : FMain(main), FExif(exif), FCarried(carried), FPicture(picture)
    {
    }

    void operator()(const TKVExifField& field, const std::string& text)
    {
        if (field.Type == ttASCII) {
            To(field).Ascii(field.Tag, text);
        } else {
            To(field).Bytes(field.Tag, ttUNDEFINED, VersionBytes(text));
        }
    }

    void operator()(const TKVExifField& field, int32_t value)
    {
        if (field.Tag == 274) {
            // Orientation 1 is what a photo without one shows, and is written as such.
            if (value >= 1 && value <= 8) {
                FMain.Short(274, uint32_t(value));
            }
            return;
        }
        if (field.Tag == 296) {
            // A resolution needs its unit: inches, unless the record holds one. A unit read that
            // is none of the three is left out, which readers take for inches.
            const bool known = value >= 1 && value <= 3;
            if (known && (FResolutionWritten || value != 2 || FCarried.Has(296))) {
                FMain.Short(296, uint32_t(value));
            } else if (!known && !FCarried.Has(296) && FResolutionWritten) {
                FMain.Short(296, 2);
            }
            return;
        }
        // A LONG at the record's limit may stand for a larger one, which reading saturates.
        const int64_t limit = field.Type == ttSHORT       ? 0xFFFF
                              : field.Type == ttUNDEFINED ? 0xFF
                                                          : INT32_MAX - 1;
        if (value < 0 || value > limit || !Holds(field, value != 0)) {
            return;
        }
        if (FPicture != nullptr && field.Tag == 40962) {
            value = FPicture->GetWidth();
        } else if (FPicture != nullptr && field.Tag == 40963) {
            value = FPicture->GetHeight();
        }
        if (field.Type == ttSHORT) {
            To(field).Short(field.Tag, uint32_t(value));
        } else if (field.Type == ttUNDEFINED) {
            To(field).Bytes(field.Tag, ttUNDEFINED, {uint8_t(value)});
        } else {
            To(field).Integers(field.Tag, {uint32_t(value)});
        }
    }

    void operator()(const TKVExifField& field, double value) { Rationals(field, {&value, 1}); }

    template <size_t N> void operator()(const TKVExifField& field, const double (&values)[N])
    {
        Rationals(field, values);
    }

    // ISO speed: a second value only when there is one.
    void operator()(const TKVExifField& field, const int32_t (&values)[2])
    {
        const auto fits = [](int32_t v) { return v >= 0 && v <= 0xFFFF; };
        if (!fits(values[0]) || !fits(values[1]) || !Holds(field, values[0] != 0 || values[1] != 0)) {
            return;
        }
        if (values[1] != 0) {
            To(field).Shorts(field.Tag, {uint16_t(values[0]), uint16_t(values[1])});
        } else {
            To(field).Short(field.Tag, uint32_t(values[0]));
        }
    }

    // The character code, 8 bytes when a text follows, then the text.
    void operator()(const TKVExifField& field,
                    const std::tuple<const std::string&, const std::string&>& comment)
    {
        const auto& [code, text] = comment;
        std::string bytes = code;
        if (!text.empty()) {
            bytes.resize(8, '\0');
            bytes += text;
        }
        To(field).Bytes(field.Tag, ttUNDEFINED, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }

private:
    TEntryWriter& To(const TKVExifField& field) { return field.InExifIFD ? FExif : FMain; }

    bool Holds(const TKVExifField& field, bool nonZero) const { return nonZero || FCarried.Has(field.Tag); }

    void Rationals(const TKVExifField& field, std::span<const double> values)
    {
        const bool nonZero = std::any_of(values.begin(), values.end(), [](double v) { return v != 0; });
        if (Holds(field, nonZero) && To(field).Rationals(field.Tag, values, field.Type == ttSRATIONAL) &&
            (field.Tag == 282 || field.Tag == 283)) {
            FResolutionWritten = true;
        }
    }

    TEntryWriter& FMain;
    TEntryWriter& FExif;
    const TKVExifTagSet& FCarried;
    const TKVBitmap* FPicture;
    bool FResolutionWritten = false;
};

} // namespace

void WriteExifTags(TEntryWriter& entries, TStream& stream, int64_t base, bool& error, TIOParamsVals& p,
                   const TKVBitmap* picture)
{
    TEntryWriter exif(stream, base, error);
    ForEachEXIFField(TExifTagWriter(entries, exif, p.EXIF_Tags, picture), std::as_const(p));
    entries.Long(34665, exif.WriteDirectory(0));
}

} // namespace Tiffilt::detail
