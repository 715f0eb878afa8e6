// Twips (1440 to the inch) to pixels at the screen's logical DPI. Rectangles convert their edges,
// not their widths, so two controls that share an edge in twips share it in pixels too.
#pragma once

#include <QRect>

class QWidget;
class QScreen;

namespace levora {

class Twips {
public:
    Twips(double dpiX, double dpiY) : m_dpiX(dpiX), m_dpiY(dpiY) {}
    // The logical DPI of the screen, or of the primary screen when none is given.
    static Twips forScreen(const QScreen* screen = nullptr);
    static Twips forWidget(const QWidget* widget);

    int x(int twips) const;
    int y(int twips) const;
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const { return rect(0, 0, width, height).size(); }

    double dpiX() const { return m_dpiX; }
    double dpiY() const { return m_dpiY; }

private:
    double m_dpiX;
    double m_dpiY;
};

} // namespace levora
