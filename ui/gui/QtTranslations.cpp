#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include <utility>

namespace levora {

QtTranslations::QtTranslations(QString folder) : m_folder(std::move(folder)) {}

QtTranslations::~QtTranslations() {
    if (m_translator)
        QCoreApplication::removeTranslator(m_translator.get());
}

QString QtTranslations::defaultFolder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool QtTranslations::use(const std::string& localeName) {
    const QString name = QString::fromStdString(localeName);
    if (m_translator && name == m_current)
        return true;
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator.get());
        m_translator.reset();
    }
    m_current.clear();
    if (name.isEmpty())
        return false;
    auto translator = std::make_unique<QTranslator>();
    // "qt_de.qm" pulls in qtbase_de.qm; the locale's UI languages are tried in turn (de_DE, de).
    if (!translator->load(QLocale(name), QStringLiteral("qt"), QStringLiteral("_"), m_folder))
        return false;
    QCoreApplication::installTranslator(translator.get());
    m_translator = std::move(translator);
    m_current = name;
    return true;
}

} // namespace levora
