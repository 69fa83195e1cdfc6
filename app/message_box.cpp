// The program's message boxes.
#include "app/message_box.h"

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
