// What the TGA reader and writer share: the sizes of the header, extension area and footer,
// little-endian fields, the default palette and the extension area's dates.
#pragma once

#include "imaging/codecs/detail/le_fields.h"
#include "imaging/core/types.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace Kvtgafil::detail {

constexpr int64_t HeaderSize = 18;
constexpr int64_t ExtensionSize = 495;
constexpr int64_t FooterSize = 26;
// "TRUEVISION-XFILE." and its terminating 0.
constexpr char FooterSignature[18] = "TRUEVISION-XFILE.";

using Codecs::detail::Get16;
using Codecs::detail::Get32;
using Codecs::detail::Set16;
using Codecs::detail::Set32;

// The text of a field up to its first 0 byte, or all of it.
inline std::string ZeroEnded(const uint8_t* p, size_t length)
{
    size_t n = 0;
    while (n < length && p[n] != 0) {
        ++n;
    }
    return std::string(reinterpret_cast<const char*>(p), n);
}

// Indexes beyond a file's colour map show this 3-3-2 table.
inline void DefaultPalette(std::array<TRGB, 256>& palette)
{
    for (int r = 0; r < 8; ++r) {
        for (int g = 0; g < 8; ++g) {
            for (int b = 0; b < 4; ++b) {
                palette[size_t(r * 32 + g * 4 + b)] =
                    TRGB{uint8_t(((b + 1) * 16 - 1) * 4), uint8_t(((g + 1) * 8 - 1) * 4),
                         uint8_t(((r + 1) * 8 - 1) * 4)};
            }
        }
    }
}

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
inline int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Date-time values count days since 1899-12-30, 25569 days before 1970-01-01.
constexpr double UnixEpochDate = 25569.0;

inline double TodayDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return double(DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) + UnixEpochDate;
}

// False for fields that are no date and time (a 30 February among them).
inline bool DecodeDate(int month, int day, int year, int hour, int minute, int second, double& date)
{
    if (month < 1 || month > 12 || day < 1 || year < 1 || year >= 2500 || hour > 23 || minute > 59 ||
        second > 59) {
        return false;
    }
    static const int lengths[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > lengths[month - 1] || (month == 2 && day == 29 && !leap)) {
        return false;
    }
    date = double(DaysFromCivil(year, month, day)) + UnixEpochDate +
           (hour * 3600 + minute * 60 + second) / 86400.0;
    return true;
}

// Month, day, year, hour, minute and second of a date-time value; all 0 for one before year 1
// or after 9999.
inline void EncodeDate(double date, uint16_t fields[6])
{
    for (int i = 0; i < 6; ++i) {
        fields[i] = 0;
    }
    if (!(date >= -693593.0 && date < 2958466.0)) {
        return;
    }
    const int64_t days = Floor64(date) - int64_t(UnixEpochDate);
    const double fraction = date - (double(days) + UnixEpochDate);
    const int64_t seconds = std::min<int64_t>(Round64(fraction * 86400.0), 86399);
    // Civil date of a day count, the inverse of DaysFromCivil.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2);
    fields[0] = uint16_t(month);
    fields[1] = uint16_t(day);
    fields[2] = uint16_t(year);
    fields[3] = uint16_t(seconds / 3600);
    fields[4] = uint16_t(seconds / 60 % 60);
    fields[5] = uint16_t(seconds % 60);
}

} // namespace Kvtgafil::detail
