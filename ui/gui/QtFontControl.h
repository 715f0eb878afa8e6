// A control's font as the language layer sets it. A Windows character set becomes a writing
// system whose fonts are tried after the face name; an empty face name means the window's own
// default family. Size, weight and style are never touched.
#pragma once

#include "i18n/modLocalize.h"

#include <QFont>
#include <QFontDatabase>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

class QWidget;
class QAction;

namespace levora {

class QtFontControl : public IFontControl {
public:
    QtFontControl(QWidget* widget, QString defaultFamily);
    QtFontControl(QAction* action, QString defaultFamily);

    void setCharset(int charset) override;
    void setFaceName(const std::u16string& face) override;
    void setFontName(const std::u16string& face) override;

    // The writing system a Windows character set stands for (Any for the Western sets).
    static QFontDatabase::WritingSystem writingSystemOf(int charset);
    // The compact faces preferred for a writing system, best first, each under all its names
    // (empty for the other writing systems).
    static std::vector<QStringList> compactFaces(QFontDatabase::WritingSystem ws);
    // An installed family that can show the writing system: the first compact face installed,
    // else a sans-serif face of the matching region; empty for Any or when none is installed.
    static QString familyFor(QFontDatabase::WritingSystem ws);
    // The family list a face name gives under a character set: an installed face first, else the
    // writing system's family, the window's family, and the face that is not installed last.
    static QStringList familiesFor(const QString& face, QFontDatabase::WritingSystem ws, const QString& defaultFamily);

private:
    QFont font() const;
    void apply(const QFont& f);

    QPointer<QWidget> m_widget;
    QPointer<QAction> m_action;
    QString m_defaultFamily;
    QFontDatabase::WritingSystem m_writingSystem = QFontDatabase::Any;
};

} // namespace levora
