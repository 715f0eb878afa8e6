// Every shipped translation must fit the fixed layout of the main window: its labels and check
// boxes have one line of room and cut off whatever is longer.
#include "i18n/modLocalize.h"
#include "platform/PeResources.h"
#include "support/TestSupport.h"
#include "ui/gui/AppFont.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>

#include <gtest/gtest.h>

#include <string>

namespace levora {
namespace {

struct Room {
    int id;
    int twips; // the control's width, less a check box's box where it has one
};

// One-line controls of frmMain and their widths in twips.
constexpr Room kOneLine[] = {
    {1, 7275}, {3, 7245}, {4, 7155}, {22, 1965}, {23, 1905}, {24, 1965}, {34, 1965},
    {36, 10185 - 300}, {37, 3045 - 300}, {9, 1305}, {38, 1545}, {49, 1545}, {41, 2115}, {18, 2085},
};

TEST(ShippedTranslations, FitTheMainWindowsOneLineControls) {
    PeResources resources(&modLocalize::builtInStringW);
    const QFontMetrics metrics(levoraWindowFont());
    const double dpi = QApplication::primaryScreen()->logicalDotsPerInchX();
    for (const char* code : {"ENU", "DEU", "FRA", "JPN"}) {
        const auto dll = test::binDir() / (std::string("Levora_") + code + ".dll");
        const HMODULE module = resources.LoadLibraryAsData(dll.string());
        ASSERT_NE(module, 0u) << dll;
        for (const Room& room : kOneLine) {
            std::u16string buffer;
            const int n = resources.LoadStringW(module, static_cast<uint32_t>(room.id), buffer, 1200);
            ASSERT_GT(n, 0) << code << " string " << room.id;
            QString text = QString::fromUtf16(buffer.data(), n).remove(QLatin1Char('&'));
            const int twips = static_cast<int>(metrics.horizontalAdvance(text) * 1440 / dpi);
            EXPECT_LE(twips, room.twips) << code << " string " << room.id << ": " << text.toStdString();
        }
        resources.FreeLibrary(module);
    }
}

} // namespace
} // namespace levora
