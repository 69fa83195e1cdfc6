// The file dialogs of the single- and multi-image I/O components: a dialog made for one call,
// set from the component, run, and freed.
#include "imaging/dialogs/kvopensavedlg.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"

#include <memory>

namespace {

// Runs Dialog set from the component's settings; the chosen name or "".
template <typename TComponentKind>
std::string RunDialog(TOpenKorvaneDialog& Dialog, TComponentKind& Component, const std::string& InitialDir,
                      const std::string& InitialFileName, bool AlwaysAnimate, int32_t FilterIndex,
                      const std::string& ExtendedFilters)
{
    Dialog.SetInitialDir(InitialDir);
    Dialog.SetFileName(InitialFileName);
    Dialog.AlwaysAnimate = AlwaysAnimate;
    Dialog.SetPreviewBorderStyle(kvpsCropShadow);
    Dialog.SetFilterIndex(FilterIndex);
    Dialog.AutoAdjustDPI = Component.AutoAdjustDPI;
    Dialog.FilteredAdjustDPI = Component.FilteredAdjustDPI;
    Dialog.ExtendedFilters = ExtendedFilters;
    Dialog.MsgLanguage = Component.MsgLanguage;
    return Dialog.Execute() ? Dialog.FileName() : std::string();
}

} // namespace

std::string TKorvaneIO::ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                          bool AlwaysAnimate, int32_t FilterIndex,
                                          const std::string& ExtendedFilters)
{
    std::unique_ptr<TOpenKorvaneDialog> dialog = std::make_unique<TOpenKorvaneDialog>(this);
    return RunDialog(*dialog, *this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                     ExtendedFilters);
}

std::string TKorvaneIO::ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                          bool AlwaysAnimate, int32_t FilterIndex,
                                          const std::string& ExtendedFilters)
{
    std::unique_ptr<TSaveKorvaneDialog> dialog = std::make_unique<TSaveKorvaneDialog>(this);
    dialog->SetAttachedKorvaneIO(this);
    return RunDialog(*dialog, *this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                     ExtendedFilters);
}

std::string TKorvaneMIO::ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                           bool AlwaysAnimate, int32_t FilterIndex,
                                           const std::string& ExtendedFilters)
{
    std::unique_ptr<TOpenKorvaneDialog> dialog = std::make_unique<TOpenKorvaneDialog>(this);
    return RunDialog(*dialog, *this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                     ExtendedFilters);
}

std::string TKorvaneMIO::ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                           bool AlwaysAnimate, int32_t FilterIndex,
                                           const std::string& ExtendedFilters)
{
    std::unique_ptr<TSaveKorvaneDialog> dialog = std::make_unique<TSaveKorvaneDialog>(this);
    dialog->SetAttachedKorvaneIO(this);
    return RunDialog(*dialog, *this, InitialDir, InitialFileName, AlwaysAnimate, FilterIndex,
                     ExtendedFilters);
}
