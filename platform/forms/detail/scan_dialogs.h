// The real dialogs of a scanner: its settings with Scan and Cancel, and the choice of a source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms/dialog_service.h"

namespace FormsDetail {

bool ShowScanSettingsDialog(TScanDialogRequest& Request);
bool ShowScanSourceDialog(const std::string& Title, const std::vector<std::string>& Sources, int32_t& Index);

} // namespace FormsDetail
