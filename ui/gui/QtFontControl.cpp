#include "QtFontControl.h"

#include <QAction>
#include <QWidget>

#include <utility>
#include <vector>

namespace levora {

QtFontControl::QtFontControl(QWidget* widget, QString defaultFamily)
    : m_widget(widget), m_defaultFamily(std::move(defaultFamily)) {}

QtFontControl::QtFontControl(QAction* action, QString defaultFamily)
    : m_action(action), m_defaultFamily(std::move(defaultFamily)) {}

QFontDatabase::WritingSystem QtFontControl::writingSystemOf(int charset) {
    switch (charset) {
    case 2:
        return QFontDatabase::Symbol;
    case 128:
        return QFontDatabase::Japanese;
    case 129:
    case 130:
        return QFontDatabase::Korean;
    case 134:
        return QFontDatabase::SimplifiedChinese;
    case 136:
        return QFontDatabase::TraditionalChinese;
    case 161:
        return QFontDatabase::Greek;
    case 163:
        return QFontDatabase::Vietnamese;
    case 177:
        return QFontDatabase::Hebrew;
    case 178:
        return QFontDatabase::Arabic;
    case 204:
        return QFontDatabase::Cyrillic;
    case 222:
        return QFontDatabase::Thai;
    default: // 0 ANSI, 1 DEFAULT, 162 Turkish, 186 Baltic, 238 Eastern Europe, 255 OEM: Latin faces do
        return QFontDatabase::Any;
    }
}

std::vector<QStringList> QtFontControl::compactFaces(QFontDatabase::WritingSystem ws) {
    // Faces whose line (ascent + descent) stays within a 13-pixel label at 8 points; the common
    // CJK faces of Linux desktops are a few pixels taller and lose the bottom of their glyphs.
    // Each under the names fontconfig reports for it: in English, and in its own language (which
    // a desktop in that language lists).
    switch (ws) {
    case QFontDatabase::Japanese:
        return {{QStringLiteral("IPAPGothic"), QString::fromUtf16(u"IPA P\u30B4\u30B7\u30C3\u30AF")},
                {QStringLiteral("VL PGothic"), QString::fromUtf16(u"VL P\u30B4\u30B7\u30C3\u30AF")},
                {QStringLiteral("IPAGothic"), QString::fromUtf16(u"IPA\u30B4\u30B7\u30C3\u30AF")},
                {QStringLiteral("VL Gothic"), QString::fromUtf16(u"VL \u30B4\u30B7\u30C3\u30AF")}};
    case QFontDatabase::Korean:
        return {{QStringLiteral("NanumGothic"), QString::fromUtf16(u"\uB098\uB214\uACE0\uB515")}};
    case QFontDatabase::SimplifiedChinese:
    case QFontDatabase::TraditionalChinese:
        return {{QStringLiteral("WenQuanYi Micro Hei"), QString::fromUtf16(u"\u6587\u6CC9\u9A5B\u5FAE\u7C73\u9ED1"),
                 QString::fromUtf16(u"\u6587\u6CC9\u9A7F\u5FAE\u7C73\u9ED1")}};
    default:
        return {};
    }
}

QString QtFontControl::familyFor(QFontDatabase::WritingSystem ws) {
    if (ws == QFontDatabase::Any)
        return {};
    const QStringList families = QFontDatabase::families(ws);
    if (families.isEmpty())
        return {};
    for (const QStringList& face : compactFaces(ws))
        for (const QString& name : face)
            if (families.contains(name))
                return name;
    QString region;
    switch (ws) {
    case QFontDatabase::Japanese:
        region = QStringLiteral(" JP");
        break;
    case QFontDatabase::Korean:
        region = QStringLiteral(" KR");
        break;
    case QFontDatabase::SimplifiedChinese:
        region = QStringLiteral(" SC");
        break;
    case QFontDatabase::TraditionalChinese:
        region = QStringLiteral(" TC");
        break;
    default:
        break;
    }
    auto pick = [&](bool needRegion, bool needSans) -> QString {
        for (const QString& f : families) {
            if (needRegion && (region.isEmpty() || !f.endsWith(region)))
                continue;
            if (needSans && !f.contains(QStringLiteral("Sans")))
                continue;
            return f;
        }
        return {};
    };
    for (auto [r, s] : {std::pair{true, true}, {true, false}, {false, true}})
        if (QString f = pick(r, s); !f.isEmpty())
            return f;
    return families.front();
}

QStringList QtFontControl::familiesFor(const QString& face, QFontDatabase::WritingSystem ws,
                                       const QString& defaultFamily) {
    QStringList out;
    // A Windows face that is not installed goes last, not first: fontconfig would stand in for it
    // with a face of its own choosing (after the user's locale: a tall one for Japanese), before
    // the faces chosen here were tried.
    const bool installed = !face.isEmpty() && QFontDatabase::families().contains(face, Qt::CaseInsensitive);
    if (installed)
        out << face;
    if (QString script = familyFor(ws); !script.isEmpty() && !out.contains(script))
        out << script;
    if (!defaultFamily.isEmpty() && !out.contains(defaultFamily))
        out << defaultFamily;
    if (!face.isEmpty() && !installed && !out.contains(face))
        out << face;
    return out;
}

QFont QtFontControl::font() const {
    if (m_widget)
        return m_widget->font();
    if (m_action)
        return m_action->font();
    return {};
}

void QtFontControl::apply(const QFont& f) {
    if (m_widget)
        m_widget->setFont(f);
    else if (m_action)
        m_action->setFont(f);
}

void QtFontControl::setCharset(int charset) {
    m_writingSystem = writingSystemOf(charset);
    QFont f = font();
    // Keep the face chosen so far and put the script's family behind it.
    const QStringList current = f.families().isEmpty() ? QStringList{f.family()} : f.families();
    QStringList families = familiesFor(current.value(0), m_writingSystem, m_defaultFamily);
    f.setFamilies(families);
    apply(f);
}

void QtFontControl::setFaceName(const std::u16string& face) {
    QFont f = font();
    f.setFamilies(familiesFor(QString::fromStdU16String(face), m_writingSystem, m_defaultFamily));
    apply(f);
}

void QtFontControl::setFontName(const std::u16string& face) {
    setFaceName(face);
}

} // namespace levora
