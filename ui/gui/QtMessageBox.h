// Message boxes as the runtime's MsgBox shows them: buttons and icon from the style number,
// the application title "Levora" when none is given, the answer as vbOK/vbCancel/vbYes/vbNo.
#pragma once

#include "platform/Ui.h"

namespace levora {

class QtMessageBox : public IMessageBox {
public:
    int MsgBox(const std::string& text, int buttons = vbOKOnly, const std::string& title = {}) override;
};

} // namespace levora
