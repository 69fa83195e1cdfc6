// Texts of the JPEG library's message codes 0 to 123, as the error manager reports them.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include <cstdio>
#include <string>
#include <string_view>

#include <jerror.h>
#include <jpeglib.h>

// The second inclusion with JMESSAGE defined yields the texts in code order; the copyright and
// version texts are given empty.
#define JCOPYRIGHT_SHORT ""
#define JVERSION ""
#define JMESSAGE(code, text) text,
namespace {
const char* const JpegMessages[] = {
#include <jerror.h>
};
} // namespace

namespace Jpegfilt {

namespace {

// Codes 0..123 are the messages of interface 62 in their original order; later codes are
// additions of newer libraries that the table does not know.
constexpr int32_t LastKnownMessage = JWRN_TOO_MUCH_DATA;
static_assert(JWRN_TOO_MUCH_DATA == 123 && JMSG_COPYRIGHT == 73 && JMSG_VERSION == 74,
              "the JPEG library's message codes are those of interface 62");

// Every printf conversion (%d, %3d, %02x, %u, %s, %ld ...) becomes a single "?".
std::string HideValues(const char* text)
{
    std::string result;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '%') {
            result += *p;
            continue;
        }
        ++p;
        while (*p != '\0' && std::string_view("0123456789.-+ #l").find(*p) != std::string_view::npos) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        result += '?';
    }
    return result;
}

} // namespace

std::string JpegMessageText(int32_t messageCode)
{
    if (messageCode < 0 || messageCode > LastKnownMessage) {
        return "Corrupted";
    }
    switch (messageCode) {
    case JMSG_COPYRIGHT:
    case JMSG_VERSION:
        return std::string();
    case JTRC_HUFFBITS:
    case JTRC_QUANTVALS:
        return "?";
    case JERR_ARITH_NOTIMPL:
        return "Sorry, there are legal restrictions on arithmetic coding";
    default:
        return HideValues(JpegMessages[messageCode]);
    }
}

} // namespace Jpegfilt
