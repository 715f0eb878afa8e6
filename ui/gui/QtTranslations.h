// Qt's own texts (the standard buttons of message boxes, the folder browser) in the program's
// language, from the translations Qt installs beside itself (qt6-translations-l10n).
#pragma once

#include <QString>
#include <QTranslator>

#include <memory>
#include <string>

namespace levora {

class QtTranslations {
public:
    explicit QtTranslations(QString folder = defaultFolder());
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Installs the translation for a locale name ("de-DE"), replacing the one before; English
    // (none installed) when the name is empty or Qt has no translation for it. True when one is
    // installed.
    bool use(const std::string& localeName);
    QString current() const { return m_current; }

    static QString defaultFolder();

private:
    QString m_folder;
    QString m_current;
    std::unique_ptr<QTranslator> m_translator;
};

} // namespace levora
