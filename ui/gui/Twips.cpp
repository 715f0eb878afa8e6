#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace levora {

Twips Twips::forScreen(const QScreen* screen) {
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return Twips(96.0, 96.0);
    return Twips(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

Twips Twips::forWidget(const QWidget* widget) {
    return forScreen(widget ? widget->screen() : nullptr);
}

int Twips::x(int twips) const {
    return static_cast<int>(std::lround(twips * m_dpiX / 1440.0));
}

int Twips::y(int twips) const {
    return static_cast<int>(std::lround(twips * m_dpiY / 1440.0));
}

QRect Twips::rect(int left, int top, int width, int height) const {
    const int l = x(left);
    const int t = y(top);
    return QRect(l, t, x(left + width) - l, y(top + height) - t);
}

} // namespace levora
