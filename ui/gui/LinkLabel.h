// A label drawn as a link that works without a mouse: Tab reaches it, Enter or Space activates
// it, and assistive technology sees a link with a press action.
#pragma once

#include <QLabel>
#include <QPoint>

namespace levora {

class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

    // Where a menu opened from the keyboard or by assistive technology goes: under the text.
    QPoint belowText() const;
    // Keyboard and assistive technology: activated below the text.
    void press();

signals:
    // globalPos: the mouse pointer for a click, belowText() otherwise.
    void activated(const QPoint& globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace levora
