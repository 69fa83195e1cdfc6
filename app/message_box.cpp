// The program's message boxes.
#include "app/message_box.h"

#include <cstdio>

int32_t ShowMessageBox(const std::string& Text, uint32_t Flags)
{
    return DialogService().MessageBox(Text, MainCaption, Flags);
}

std::string WithReason(const std::string& Text, const std::string& Reason)
{
    return Reason.empty() ? Text : Text + "\n" + Reason;
}

std::string WithReasonInLine(const std::string& Text, const std::string& Reason)
{
    return Reason.empty() ? Text : Text + " (" + Reason + ")";
}

std::string ReasonIn(const std::string& Message, const std::string& FileName)
{
    const std::string named = "\"" + FileName + "\". ";
    const size_t at = Message.find(named);
    if (FileName.empty() || at == std::string::npos) {
        return Message;
    }
    std::string reason = Message.substr(at + named.size());
    if (!reason.empty() && reason.back() == '.') {
        reason.pop_back();
    }
    return reason;
}

namespace {

// The length of the well-formed UTF-8 sequence at Text[At] (2 to 4 bytes), its code point in
// CodePoint; 0 when the bytes there are no such sequence (overlong forms and surrogates included).
size_t Utf8SequenceAt(const std::string& Text, size_t At, uint32_t& CodePoint)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(Text[i]); };
    const uint8_t lead = byte(At);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        CodePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        CodePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        CodePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (At + length > Text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(At + i) & 0xC0) != 0x80) {
            return 0;
        }
        CodePoint = (CodePoint << 6) | (byte(At + i) & 0x3Fu);
    }
    const bool surrogate = CodePoint >= 0xD800 && CodePoint <= 0xDFFF;
    return CodePoint < minimum || CodePoint > 0x10FFFF || surrogate ? 0 : length;
}

std::string Escape(const char* Format, uint32_t Value)
{
    char text[12];
    std::snprintf(text, sizeof text, Format, static_cast<unsigned>(Value));
    return text;
}

} // namespace

std::string ShownName(const std::string& Name)
{
    std::string shown;
    shown.reserve(Name.size());
    for (size_t at = 0; at < Name.size();) {
        const uint8_t c = static_cast<uint8_t>(Name[at]);
        if (c >= 0x20 && c < 0x7F) {
            shown += c == '\\' ? std::string("\\\\") : std::string(1, Name[at]);
            ++at;
            continue;
        }
        if (c < 0x80) {
            switch (c) {
            case '\n': shown += "\\n"; break;
            case '\r': shown += "\\r"; break;
            case '\t': shown += "\\t"; break;
            default: shown += Escape("\\x%02x", c); break;
            }
            ++at;
            continue;
        }
        uint32_t codePoint = 0;
        const size_t length = Utf8SequenceAt(Name, at, codePoint);
        if (length == 0) {
            shown += Escape("\\x%02x", c);
            ++at;
        } else if (codePoint < 0xA0 || codePoint == 0x2028 || codePoint == 0x2029) {
            // C1 controls, and the separators that break a line in a text box as a line feed does.
            shown += Escape("\\u%04x", codePoint);
            at += length;
        } else {
            shown.append(Name, at, length);
            at += length;
        }
    }
    return shown;
}
