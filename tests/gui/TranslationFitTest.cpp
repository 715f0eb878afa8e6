// Every shipped translation fits every fixed-size text of every window (main window, please-wait
// window, About), in the font its language gets: the controls keep their sizes, so a text that
// is too long or a face whose lines are too tall is cut off. The CJK rows of the font table are
// measured too, with the English texts that a language without a library shows.
#include "app/gui/frmMain.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/gui/frmAbout.h"
#include "platform/PeResources.h"
#include "platform/RegistryStore.h"
#include "support/PrefixFixture.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmSplashScreen.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace levora {
namespace {

class NoFolder : public IFolderDialog {
public:
    std::string ChooseFolder(const FolderBrowse&) override { return {}; }
};

// What a control's text needs and what it has, in pixels, by the control's own font.
struct Need {
    QSize text;
    QSize room;
};

Need measure(QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) {
        const QRect room = label->contentsRect();
        const QString text = label->text();
        if (!label->wordWrap())
            return {QSize(fm.horizontalAdvance(text), fm.height()), room.size()};
        // Laid out as the label lays it out; a word wider than the label shows as a wider text.
        const QRect r = fm.boundingRect(room, static_cast<int>(label->alignment()) | Qt::TextWordWrap, text);
        return {r.size(), room.size()};
    }
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        return {QSize(fm.horizontalAdvance(QString(box->text()).remove(QLatin1Char('&'))), fm.height()), room.size()};
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return {QSize(fm.horizontalAdvance(QString(button->text()).remove(QLatin1Char('&'))), fm.height()),
                room.size()};
    }
    auto* frame = qobject_cast<QGroupBox*>(w);
    // A frame's caption runs along its top edge, inside a little margin on either side.
    return {QSize(fm.horizontalAdvance(frame->title()), 0), QSize(frame->width() - 2 * fm.averageCharWidth(), 0)};
}

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    return static_cast<QGroupBox*>(w)->title();
}

class TranslationFit : public test::ProgramFolderFixture {
protected:
    TranslationFit() : store(prefix.systemReg()), registry(store), version(registry, msgbox) {
        loc.setWindowList(&windows);
        for (const char* code : {"ENU", "DEU", "FRA", "JPN"}) {
            const auto dll = test::binDir() / (std::string("Levora_") + code + ".dll");
            std::filesystem::copy_file(dll, folder() / dll.filename());
        }
    }

    // Every text of every window, labelled in one language; the failures name control and text.
    void expectEverythingFits(int32_t languageId) {
        loc.CurrentLanguageID = languageId;
        loc.InitalizeLanguages();
        frmMain main(frmMainServices{loc, windows, version, ns, msgbox, dialog, [] {}});
        main.frmMain_Auto_Init();
        frmSplashScreen& splash = main.splashScreen();
        auto about = std::make_unique<frmAbout>(loc, &windows, msgbox, app);
        const std::string where = "language " + std::to_string(languageId);

        int measured = 0;
        for (QWidget* window :
             {static_cast<QWidget*>(&main), static_cast<QWidget*>(&splash), static_cast<QWidget*>(about.get())}) {
            for (QWidget* w : window->findChildren<QWidget*>()) {
                const bool textControl = qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) ||
                                         qobject_cast<QPushButton*>(w) || qobject_cast<QGroupBox*>(w);
                if (!textControl || w->isHidden() || textOf(w).isEmpty())
                    continue;
                const Need n = measure(w);
                ++measured;
                EXPECT_TRUE(n.text.width() <= n.room.width() && n.text.height() <= n.room.height())
                    << where << ", " << w->objectName().toStdString() << " in "
                    << QFontInfo(w->font()).family().toStdString() << ": needs " << n.text.width() << "x"
                    << n.text.height() << " px, has " << n.room.width() << "x" << n.room.height() << ": "
                    << textOf(w).toStdString();
            }
        }
        EXPECT_EQ(measured, 29) << where; // 19 in the main window, 1 please-wait, 9 in About

        // The file list's captions, each beside the arrow a sorted column shows.
        QHeaderView* header = main.myGrid->horizontalHeader();
        int captions = 0;
        for (int c = 0; c < main.myGrid->Cols(); ++c) {
            const QString text = main.myGrid->gridModel()->header(c);
            if (text.isEmpty())
                continue;
            ++captions;
            QStyleOptionHeader option;
            option.initFrom(header);
            option.state |= QStyle::State_Horizontal;
            option.orientation = Qt::Horizontal;
            option.text = text;
            option.sortIndicator = QStyleOptionHeader::SortUp;
            option.rect = QRect(0, 0, header->sectionSize(c), header->sizeHint().height());
            const QRect room = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
            const QFontMetrics fm(header->font());
            EXPECT_LE(fm.horizontalAdvance(text), room.width())
                << where << ", column " << c << ": " << text.toStdString();
            EXPECT_LE(fm.height(), room.height()) << where << ", column " << c << ": " << text.toStdString();
        }
        EXPECT_EQ(captions, 2) << where;
    }

    RegistryStore store;
    RegistryAPI registry;
    TalvioVersion version;
    PeResources res{&modLocalize::builtInStringW, [this](const std::string& p) { return ns.toHost(p); }};
    modLocalize loc{res, locale, fs, msgbox, app};
    WindowList windows;
    NoFolder dialog;
};

TEST_F(TranslationFit, EveryShippedLanguageInItsOwnFont) {
    for (int32_t id : {1033, 1031, 1036, 1041})
        expectEverythingFits(id);
}

TEST_F(TranslationFit, EnglishUnderEachCjkRowOfTheFontTable) {
    // No library for these languages ships: the built-in texts show, in the row's face.
    for (int32_t id : {1042, 1028, 2052})
        expectEverythingFits(id);
}

} // namespace
} // namespace levora
