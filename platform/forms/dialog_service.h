// The one door through which the program asks the user something or hands a file to the desktop:
// message boxes, the folder picker, the file and colour dialogs, printer setup, help topics and the
// shell's "open". The real service shows the platform's dialogs; tests install a scripted one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/colors.h"

class TWinControl;

// Message-box flags: buttons (low nibble), icon (second nibble), default button (third nibble).
enum : uint32_t
{
    MB_OK = 0x0000,
    MB_OKCANCEL = 0x0001,
    MB_ABORTRETRYIGNORE = 0x0002,
    MB_YESNOCANCEL = 0x0003,
    MB_YESNO = 0x0004,
    MB_RETRYCANCEL = 0x0005,
    MB_ICONHAND = 0x0010,
    MB_ICONSTOP = MB_ICONHAND,
    MB_ICONERROR = MB_ICONHAND,
    MB_ICONQUESTION = 0x0020,
    MB_ICONEXCLAMATION = 0x0030,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
    MB_ICONASTERISK = 0x0040,
    MB_ICONINFORMATION = MB_ICONASTERISK,
    MB_DEFBUTTON1 = 0x0000,
    MB_DEFBUTTON2 = 0x0100,
    MB_DEFBUTTON3 = 0x0200,
    MB_TYPEMASK = 0x000F,
    MB_ICONMASK = 0x00F0,
    MB_DEFMASK = 0x0F00,
};

// The button that closed a message box.
enum : int32_t
{
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
};

// Options of the file dialogs, as bits of TOpenOptions.
using TOpenOptions = uint32_t;
enum : TOpenOptions
{
    ofReadOnly = 1u << 0,
    ofOverwritePrompt = 1u << 1,
    ofHideReadOnly = 1u << 2,
    ofNoChangeDir = 1u << 3,
    ofShowHelp = 1u << 4,
    ofNoValidate = 1u << 5,
    ofAllowMultiSelect = 1u << 6,
    ofExtensionDifferent = 1u << 7,
    ofPathMustExist = 1u << 8,
    ofFileMustExist = 1u << 9,
    ofCreatePrompt = 1u << 10,
    ofShareAware = 1u << 11,
    ofNoReadOnlyReturn = 1u << 12,
    ofNoTestFileCreate = 1u << 13,
    ofNoNetworkButton = 1u << 14,
    ofNoLongNames = 1u << 15,
    ofOldStyleDialog = 1u << 16,
    ofNoDereferenceLinks = 1u << 17,
    ofEnableIncludeNotify = 1u << 18,
    ofEnableSizing = 1u << 19,
};

// What a file dialog is asked to show. Filter is "description|pattern;pattern|description|...".
// FilterIndex is 1-based.
struct TFileDialogRequest
{
    std::string Title;
    std::string Filter;
    int32_t FilterIndex = 1;
    std::string InitialDir;
    std::string FileName;
    std::string DefaultExt;
    TOpenOptions Options = 0;
    // The side bar of places, in a hosting dialog (the plain ones are the desktop's own).
    bool SideBar = true;
    // The language of the platform's own texts in a hosting dialog (its labels, buttons and
    // column heads), as a locale name ("ru", "pt_PT"); empty keeps them in English. A language
    // the platform has no translation for stays English as well.
    std::string Locale;
};

// What the user chose: nothing when cancelled, else one file or, with ofAllowMultiSelect, several.
struct TFileDialogAnswer
{
    bool Accepted = false;
    std::vector<std::string> Files;
    int32_t FilterIndex = 1;
};

// The compressors a video writer offers (by name), which of them take a quality, and the choice
// shown first; the answer is the compressor chosen and its quality (1..100).
struct TVideoCompressorRequest
{
    std::vector<std::string> Names;
    std::vector<bool> TakesQuality;
    int32_t Index = 0;
    int32_t Quality = 75;
};

struct TVideoCompressorAnswer
{
    bool Accepted = false;
    int32_t Index = 0;
    int32_t Quality = 75;
};

// One setting of a scanner as its settings dialog shows it.
enum TScanSettingKind : uint8_t
{
    sskSwitch,
    sskInteger,
    sskNumber,
    sskText
};

struct TScanSetting
{
    std::string Name; // the device's own key
    std::string Title;
    std::string Description;
    std::string Group; // settings of one group are shown together, in order
    std::string Unit;  // "dpi", "mm", "%" ... or empty
    TScanSettingKind Kind = sskText;
    bool ReadOnly = false;
    // The value: Number for switches (0 or 1) and numbers, Text for texts.
    double Number = 0;
    std::string Text;
    // What may be chosen: a range Min..Max (Step 0: any value in it), or one of Numbers or Texts;
    // nothing of these leaves the value free.
    bool HasRange = false;
    double Min = 0;
    double Max = 0;
    double Step = 0;
    std::vector<double> Numbers;
    std::vector<std::string> Texts;
};

// What a scanner's settings dialog shows, and the settings as the user left them.
struct TScanDialogRequest
{
    std::string Title;
    std::string Device;
    std::vector<TScanSetting> Settings;
    // Hands one changed setting to the device and returns every setting as it stands afterwards:
    // a change may enable, disable or adjust others. Unset, changes stay in Settings only.
    std::function<std::vector<TScanSetting>(const TScanSetting& Changed)> Apply;
};

// A font as the font dialog shows and returns it: face name, height in pixels (negative: the
// character height, as TFont keeps it), styles as TFontStyles bits (bold 1, italic 2, underline
// 4, strike-out 8) and colour.
struct TFontChoice
{
    std::string Name;
    int32_t Height = 0;
    uint8_t Styles = 0;
    TColor Color = 0;
};

// A file dialog while it is open, as the program that hosts a panel in it sees it.
class IFileDialogWindow
{
public:
    virtual ~IFileDialogWindow() = default;
    // The full path of the entry the user has selected, empty when none is.
    virtual std::string SelectedPath() const = 0;
    // The folder shown, with a trailing "/".
    virtual std::string Folder() const = 0;
    // The filter chosen, from 1.
    virtual int32_t FilterIndex() const = 0;
    // The text of the file-name box, as the user typed it or a selection put it there.
    virtual std::string NameText() const = 0;
    virtual void SetNameText(const std::string& Text) = 0;
};

// What a hosting file dialog adds to a plain one: a panel of the program's own shown beside the
// standard controls (it is handed back, unparented, when the dialog closes) and the moments the
// program is told of. Each event is called only when set.
struct TFileDialogHooks
{
    TWinControl* Panel = nullptr;
    std::function<void(IFileDialogWindow& Window)> OnShow;
    std::function<void(IFileDialogWindow& Window)> OnSelectionChange;
    std::function<void(IFileDialogWindow& Window)> OnFolderChange;
    std::function<void(IFileDialogWindow& Window)> OnTypeChange;
    // Asked when the user confirms Files; false keeps the dialog open.
    std::function<bool(IFileDialogWindow& Window, const std::vector<std::string>& Files)> OnCanClose;
    // After the dialog has closed, confirmed or not.
    std::function<void()> OnClose;
};

class IDialogService
{
public:
    virtual ~IDialogService() = default;

    // Shows text with the buttons and icon of flags; returns IDOK, IDCANCEL, IDYES, IDNO...
    virtual int32_t MessageBox(const std::string& text, const std::string& caption, uint32_t flags) = 0;
    // Lets the user pick a folder, starting at folder (or root when folder is empty). On true,
    // folder holds the chosen folder with a trailing "/"; on false it is unchanged.
    virtual bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder) = 0;
    virtual TFileDialogAnswer OpenFile(const TFileDialogRequest& request) = 0;
    virtual TFileDialogAnswer SaveFile(const TFileDialogRequest& request) = 0;
    // An open (save false) or save dialog that hosts hooks.Panel and reports to the hooks.
    virtual TFileDialogAnswer HostingFileDialog(const TFileDialogRequest& request, bool save,
                                                const TFileDialogHooks& hooks) = 0;
    // Starts at color (fullOpen shows the custom-colour part at once); on true color is the choice.
    virtual bool ChooseColor(TColor& color, bool fullOpen) = 0;
    // Starts at font; on true font is the choice.
    virtual bool ChooseFont(TFontChoice& font) = 0;
    // Lets the user choose the printer and its page settings for the program's printer object.
    virtual bool PrinterSetup() = 0;
    // Shows one topic of a help file.
    virtual void ShowHelpTopic(const std::string& helpFile, const std::string& topic) = 0;
    // Hands a file, folder or URL to the desktop's opener; false when nothing could open it.
    virtual bool ShellOpen(const std::string& target) = 0;
    // Lets the user choose how the frames of a new video are compressed.
    virtual TVideoCompressorAnswer ChooseVideoCompressor(const TVideoCompressorRequest& request) = 0;
    // A scanner's settings with Scan and Cancel; true when the user asked to scan.
    virtual bool ScanSettings(TScanDialogRequest& request) = 0;
    // Lets the user pick a scanner or camera, starting at index (-1: none); on true index is the
    // choice.
    virtual bool ChooseScanSource(const std::string& title, const std::vector<std::string>& sources,
                                  int32_t& index) = 0;
};

// The service in use: the installed one, else the real one.
IDialogService& DialogService();
// Installs a service (not owned; nullptr goes back to the real one) and returns the previous one.
IDialogService* SetDialogService(IDialogService* service);
