// The test program of the Qt windows: one application object for every test, on the offscreen
// platform unless the caller chose another one (xcb under Xvfb, to watch them).
#include "support/TestSupport.h"
#include "ui/gui/AppFont.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt keeps run-time files there; a folder of our own instead of one shared under /tmp.
    levora::test::TempDir runtime;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    // Accessibility and session settings of the machine must not leak into the tests.
    unsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    unsetenv("SESSION_MANAGER");
    // Fonts matched as on a Japanese desktop, where fontconfig stands a tall CJK face in for a
    // face name it does not know: the hardest case for the windows' fixed line heights.
    setenv("FC_LANG", "ja", 1);
    QApplication application(argc, argv);
    levora::applyLevoraWindowFont();
    testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    return rc;
}
