#include "AppFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace levora {

QFont levoraWindowFont() {
    QFont f = QApplication::font();
    QStringList families;
    for (const char* name : {"Liberation Sans", "Arimo", "DejaVu Sans Condensed", "DejaVu Sans"})
        if (QFontDatabase::hasFamily(QString::fromLatin1(name)))
            families << QString::fromLatin1(name);
    if (!families.isEmpty())
        f.setFamilies(families);
    f.setPointSize(8);
    return f;
}

void applyLevoraWindowFont() {
    QApplication::setFont(levoraWindowFont());
}

} // namespace levora
