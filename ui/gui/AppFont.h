// The font of Levora's windows. The layouts were drawn for an 8-point Windows dialog font; a
// face with similar widths keeps every caption inside its control.
#pragma once

class QFont;

namespace levora {

QFont levoraWindowFont();
// Sets it as the application's font (call once the application object exists).
void applyLevoraWindowFont();

} // namespace levora
