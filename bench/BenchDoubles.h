// The message box and folder browser a benchmark gives the program: messages go to stderr, no
// folder is ever chosen.
#pragma once

#include "platform/Ui.h"

#include <cstdio>
#include <string>

namespace levora::bench {

class SilentBox : public IMessageBox {
public:
    int MsgBox(const std::string& text, int, const std::string&) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return vbOK;
    }
};

class NoFolder : public IFolderDialog {
public:
    std::string ChooseFolder(const FolderBrowse&) override { return {}; }
};

} // namespace levora::bench
