// The program's message boxes.
#include "app/message_box.h"

int32_t ShowMessageBox(const std::string& Text, uint32_t Flags)
{
    return DialogService().MessageBox(Text, MainCaption, Flags);
}
