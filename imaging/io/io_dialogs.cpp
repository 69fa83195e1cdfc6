// The file dialogs of the single- and multi-image I/O components: a dialog made for one call,
// set from the component, run, and freed.
#include "imaging/dialogs/kvopensavedlg.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"

#include <memory>
#include <type_traits>

namespace {

// Runs a dialog of the kind made for this call, owned by the component and set from its settings
// (a save dialog also edits the component's parameters); the chosen name or "".
template <typename TDialog, typename TComponentKind>
std::string RunDialog(TComponentKind& Component, const std::string& InitialDir,
                      const std::string& InitialFileName, bool AlwaysAnimate, int32_t FilterIndex,
                      const std::string& ExtendedFilters)
{
    auto dialog = std::make_unique<TDialog>(&Component);
    if constexpr (std::is_same_v<TDialog, TSaveKorvaneDialog>) {
        dialog->SetAttachedKorvaneIO(&Component);
    }
    dialog->SetInitialDir(InitialDir);
    dialog->SetFileName(InitialFileName);
    dialog->AlwaysAnimate = AlwaysAnimate;
    dialog->SetPreviewBorderStyle(kvpsCropShadow);
    dialog->SetFilterIndex(FilterIndex);
    dialog->AutoAdjustDPI = Component.AutoAdjustDPI;
    dialog->FilteredAdjustDPI = Component.FilteredAdjustDPI;
    dialog->ExtendedFilters = ExtendedFilters;
    dialog->MsgLanguage = Component.MsgLanguage;
    return dialog->Execute() ? dialog->FileName() : std::string();
}

} // namespace

std::string TKorvaneIO::ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                          bool AlwaysAnimate, int32_t FilterIndex,
                                          const std::string& ExtendedFilters)
{
    return RunDialog<TOpenKorvaneDialog>(*this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                                         ExtendedFilters);
}

std::string TKorvaneIO::ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                          bool AlwaysAnimate, int32_t FilterIndex,
                                          const std::string& ExtendedFilters)
{
    return RunDialog<TSaveKorvaneDialog>(*this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                                         ExtendedFilters);
}

std::string TKorvaneMIO::ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                           bool AlwaysAnimate, int32_t FilterIndex,
                                           const std::string& ExtendedFilters)
{
    return RunDialog<TOpenKorvaneDialog>(*this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                                         ExtendedFilters);
}

std::string TKorvaneMIO::ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                           bool AlwaysAnimate, int32_t FilterIndex,
                                           const std::string& ExtendedFilters)
{
    return RunDialog<TSaveKorvaneDialog>(*this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                                         ExtendedFilters);
}
