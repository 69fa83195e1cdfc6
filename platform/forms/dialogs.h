// The standard dialog components (file open and save, colour) and the message and shell
// helpers; all of them go through the dialog service, so tests script the answers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/lists.h"
#include "platform/forms/dialog_service.h"
#include "platform/graphics/canvas.h"

class TOpenDialog : public TComponent
{
public:
    explicit TOpenDialog(TComponent* AOwner);
    ~TOpenDialog() override;

    // Shows the dialog; true when the user chose a file (FileName, Files and FilterIndex then
    // hold the choice).
    virtual bool Execute();

    std::string Title;
    // "description|pattern;pattern|description|pattern..."
    std::string Filter;
    int32_t FilterIndex = 1;
    std::string InitialDir;
    std::string FileName;
    std::string DefaultExt;
    TOpenOptions Options = ofHideReadOnly | ofEnableSizing;

    // Every chosen file; one unless ofAllowMultiSelect is set.
    TStrings* Files() const { return FFiles.get(); }

protected:
    TFileDialogRequest Request() const;
    void Accept(const TFileDialogAnswer& Answer);

private:
    std::unique_ptr<TStringList> FFiles;
};

class TSaveDialog : public TOpenDialog
{
public:
    explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
    bool Execute() override;
};

// Options of the colour dialog, as bits.
using TColorDialogOptions = uint8_t;
enum : TColorDialogOptions
{
    cdFullOpen = 1 << 0,
    cdPreventFullOpen = 1 << 1,
    cdShowHelp = 1 << 2,
    cdSolidColor = 1 << 3,
    cdAnyColor = 1 << 4,
};

class TColorDialog : public TComponent
{
public:
    explicit TColorDialog(TComponent* AOwner) : TComponent(AOwner) {}

    // Starts at Color; true when the user chose one (Color then holds it).
    bool Execute();

    TColor Color = clBlack;
    TColorDialogOptions Options = 0;
};

// The font dialog: starts at Font; true when the user chose a font (Font then holds it).
class TFontDialog : public TComponent
{
public:
    explicit TFontDialog(TComponent* AOwner) : TComponent(AOwner), Font(std::make_unique<TFont>()) {}

    bool Execute();

    std::unique_ptr<TFont> Font;
};

// A message box with the application's title and an OK button.
void ShowMessage(const std::string& Msg);

// Displays a topic given as "helpfile::/topic.htm", as the compiled-help viewer takes it; a path
// without "::/" shows the help file's default topic.
void HtmlHelpDisplayTopic(const std::string& Path);

// Asks the desktop to open a file, folder or URL, as a double click in the file manager would.
bool ShellOpen(const std::string& Target);
