// Fits a dialog's controls to the texts of its language: a caption widens its button, check box
// or group box, the widest item its combo box; buttons stacked in one column keep one width; a
// control right of a longer text moves right, and so does what stands right of it; containers
// grow to hold what moved. Shared by the save-parameters, processing and print dialogs, whose
// controls stand at fixed places sized for English.
#pragma once

#include "platform/graphics/geometry.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

class TControl;
class TForm;
class TPageControl;
class TWinControl;

namespace Kvdialogs {

class TFitLayout
{
public:
    // Arranges the form's controls for the texts they show now. The first call takes the places
    // and sizes the form has then as its design; each call starts again from that design, so
    // that the form may change its language or font any number of times.
    void Arrange(TForm* Form);
    // The control keeps its distance from its parent's right edge when the parent grows (the
    // buttons of a dialog's bottom right corner).
    void AnchorRight(TControl* Control) { FAnchored.insert(Control); }
    // Pushed right, the control keeps its right edge and gives up width instead (a slider).
    void KeepRightEdge(TControl* Control) { FShrinking.insert(Control); }

private:
    void Record(TControl* Control);
    void RestoreDesign(TWinControl* Parent);
    // Places the children of Parent and returns how much wider Parent must be to hold them.
    int32_t ArrangeChildren(TWinControl* Parent);
    void ArrangePages(TPageControl* Pages);
    int32_t FittedWidth(TControl* Control) const;
    // The width every button of a column (controls of one designed left edge) takes: the widest
    // one's once any of them has grown past its design, else 0 (each keeps its own).
    int32_t ColumnButtonWidth(std::vector<TControl*>::const_iterator First,
                              std::vector<TControl*>::const_iterator Last) const;
    const TRect& Design(const TControl* Control) const { return FDesign.at(Control); }

    std::map<const TControl*, TRect> FDesign;
    // The client width of each container as designed.
    std::map<const TControl*, int32_t> FDesignClient;
    std::set<const TControl*> FAnchored;
    std::set<const TControl*> FShrinking;
};

} // namespace Kvdialogs
