// Fits a dialog's controls to the texts of its language and to its font: a caption widens its
// button, check box or group box, the widest item its combo box, the widest value its one-line
// edit; a ruler is as thick as its band and grips need at its font; buttons stacked in one column
// keep one width; a control right of a longer text moves right, and so does what stands right of
// it; a control grows as high as a line of its font needs, and what stands under a taller text
// moves down; containers grow to hold what moved. Shared by the save-parameters, processing and
// print dialogs, whose controls stand at fixed places sized for English in an 11-pixel font.
#pragma once

#include "platform/graphics/geometry.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class TControl;
class TEdit;
class TForm;
class TPageControl;
class TWinControl;

namespace Kvdialogs {

class TFitLayout
{
public:
    // Arranges the form's controls for the texts and font they show now. The first call takes
    // the places and sizes the form has then as its design; each call starts again from that
    // design, so that the form may change its language or font any number of times.
    void Arrange(TForm* Form);
    // Whether the design has been taken (by the first Arrange).
    bool Designed() const { return !FDesign.empty(); }
    // The program moved the control up or down or made it higher or lower (a form or a page
    // control included): its top and height as they are now become its design.
    void TakeHeight(TControl* Control);
    // The control keeps its distance from its parent's right edge when the parent grows (the
    // buttons of a dialog's bottom right corner).
    void AnchorRight(TControl* Control) { FAnchored.insert(Control); }
    // Pushed right, the control keeps its right edge and gives up width instead (a slider).
    void KeepRightEdge(TControl* Control) { FShrinking.insert(Control); }
    // The edit is at least wide enough to show Text, the widest of the values it may hold.
    void WidestValue(TEdit* Edit, const std::string& Text) { FWidest[Edit] = Text; }

private:
    // How much wider and higher a container must be to hold its children.
    struct TGrowth
    {
        int32_t Width = 0;
        int32_t Height = 0;
    };

    void Record(TControl* Control);
    void RestoreDesign(TWinControl* Parent);
    // Places the children of Parent and returns how much Parent must grow to hold them.
    TGrowth ArrangeChildren(TWinControl* Parent);
    void ArrangePages(TPageControl* Pages);
    // Left and width of each child, column by column from the left.
    std::map<const TControl*, TRect> PlaceColumns(const std::vector<TControl*>& Children) const;
    // Top and height of each placed child, row by row from the top, below Top (the room a
    // container's title takes).
    void PlaceRows(std::map<const TControl*, TRect>& Placed, int32_t Top) const;
    // Moves the anchored controls right by what their parent grew.
    void AnchorToRightEdge(std::map<const TControl*, TRect>& Placed, int32_t Growth) const;
    int32_t FittedWidth(TControl* Control) const;
    int32_t FittedHeight(TControl* Control) const;
    // How much higher a line of the control's text is now than as designed: the font grew.
    int32_t LineGrowth(const TControl* Control) const;
    // The width every button of a column (controls of one designed left edge) takes: the widest
    // one's once any of them has grown past its design, else 0 (each keeps its own).
    int32_t ColumnButtonWidth(std::vector<TControl*>::const_iterator First,
                              std::vector<TControl*>::const_iterator Last) const;
    const TRect& Design(const TControl* Control) const { return FDesign.at(Control); }

    std::map<const TControl*, TRect> FDesign;
    // The client size of each container as designed.
    std::map<const TControl*, TPoint> FDesignClient;
    // The height a line of each control's text (a group box's title) needed as designed.
    std::map<const TControl*, int32_t> FDesignLine;
    std::set<const TControl*> FAnchored;
    std::set<const TControl*> FShrinking;
    std::map<const TEdit*, std::string> FWidest;
    // The room kept between controls and at a container's right and bottom edges, at the form's
    // resolution.
    int32_t FGap = 0;
    int32_t FMargin = 0;
};

} // namespace Kvdialogs
