// The template parameter window: the template's own @_name_@ parameters with their values, in
// two columns; one value at a time is changed in the parameter value window.
#pragma once

#include "platform/forms/form.h"
#include "platform/forms/std_controls.h"

#include <cstdint>
#include <string>
#include <vector>

class TButton;
class TCanvas;
class THeaderControl;
class THeaderSection;
class TVqValue;

class TTempParam : public TForm
{
public:
    explicit TTempParam(TComponent* AOwner);
    ~TTempParam() override;

    // One row per parameter of the template parameter list, in list order; row 0 selected.
    void FormShow(TObject* Sender);
    // The "Value" section takes what the "Parameter name" section leaves of the header.
    void Param_HDSectionResize(THeaderControl* HeaderControl, THeaderSection* Section);
    void Param_LSTDrawItem(TWinControl* Control, int32_t Index, TRect Rect, TOwnerDrawState State);
    // Edits the selected row's parameter in the parameter value window (also the Edit button).
    void Param_LSTDblClick(TObject* Sender);
    void Close_BTNClick(TObject* Sender);

    // The parameter that a row stands for, nullptr for no row.
    TVqValue* RowParameter(int32_t Row) const;

    THeaderControl* Param_HD = nullptr;
    TListBox* Param_LST = nullptr;
    TButton* Edit_BTN = nullptr;
    TButton* Close_BTN = nullptr;

private:
    std::vector<TVqValue*> FRows;
};

// The template parameter window of the program.
extern TTempParam* TempParam;

// The longest start of Text, cut at a whole UTF-8 character and followed by "...", that Canvas
// draws within Limit pixels: Text itself when it fits whole, and empty when no start of at least
// three characters fits.
std::string FitText(TCanvas& Canvas, const std::string& Text, int32_t Limit);
