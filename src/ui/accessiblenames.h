#pragma once

class Form1;
class frmAbout;

// Names that screen readers speak for the windows' controls, in Turkish:
// a control's own caption, or the caption of the label in front of it.
// Labels, buttons and menu items already speak their captions; they get no
// fixed name so that a changed caption (the count label) is announced.
namespace AccessibleNames {

void apply(Form1 &window);
void apply(frmAbout &window);

} // namespace AccessibleNames
