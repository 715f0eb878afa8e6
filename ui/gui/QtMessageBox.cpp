#include "QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace levora {

namespace {

constexpr int vbAbortRetryIgnore = 2;
constexpr int vbYesNoCancel = 3;
constexpr int vbRetryCancel = 5;
constexpr int vbAbort = 3;
constexpr int vbRetry = 4;
constexpr int vbIgnore = 5;

QMessageBox::Icon iconOf(int style) {
    switch (style & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton escape;
};

ButtonSet buttonsOf(int style) {
    switch (style & 0xF) {
    case vbOKCancel:
        return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel};
    case vbAbortRetryIgnore:
        return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::NoButton};
    case vbYesNoCancel:
        return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel};
    case vbYesNo:
        return {QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton};
    case vbRetryCancel:
        return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Cancel};
    default:
        return {QMessageBox::Ok, QMessageBox::Ok};
    }
}

int answerOf(QMessageBox::StandardButton b, int style) {
    switch (b) {
    case QMessageBox::Ok:
        return vbOK;
    case QMessageBox::Cancel:
        return vbCancel;
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    case QMessageBox::Abort:
        return vbAbort;
    case QMessageBox::Retry:
        return vbRetry;
    case QMessageBox::Ignore:
        return vbIgnore;
    default:
        // Closed without a button (only possible where there is an escape button).
        return (style & 0xF) == vbOKOnly ? vbOK : vbCancel;
    }
}

} // namespace

int QtMessageBox::MsgBox(const std::string& text, int buttons, const std::string& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.empty() ? QStringLiteral("Levora") : QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(iconOf(buttons));
    const ButtonSet set = buttonsOf(buttons);
    box.setStandardButtons(set.buttons);
    // vbDefaultButton2 / 3 (256, 512) pick the second or third button; otherwise the first.
    const auto list = box.buttons();
    QList<QAbstractButton*> ordered;
    for (auto b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Abort, QMessageBox::Retry,
                   QMessageBox::Ignore, QMessageBox::Cancel})
        if (auto* btn = box.button(b))
            ordered.push_back(btn);
    const int defaultIndex = (buttons & 0x300) >> 8;
    if (defaultIndex < ordered.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(ordered[defaultIndex]));
    if (set.escape != QMessageBox::NoButton)
        box.setEscapeButton(set.escape);
    box.exec();
    return answerOf(box.standardButton(box.clickedButton()), buttons);
}

} // namespace levora
