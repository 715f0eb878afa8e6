#include "LinkLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace levora {

namespace {

class AccessibleLinkLabel : public QAccessibleWidget {
public:
    explicit AccessibleLinkLabel(QWidget* w) : QAccessibleWidget(w, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return label()->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& action) override {
        if (action == pressAction())
            label()->press();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    LinkLabel* label() const { return static_cast<LinkLabel*>(widget()); }
};

QAccessibleInterface* linkLabelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(LinkLabel::staticMetaObject.className()) && object && object->isWidgetType())
        return new AccessibleLinkLabel(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    // Qt keeps a list of factories; the one for this class goes in once per process.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&linkLabelAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

QPoint LinkLabel::belowText() const {
    const QRect text = style()->itemTextRect(fontMetrics(), contentsRect(), static_cast<int>(alignment()), isEnabled(),
                                             QLabel::text());
    return mapToGlobal(QPoint(text.left(), text.bottom() + 1));
}

void LinkLabel::press() {
    emit activated(belowText());
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        press();
        event->accept();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit activated(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = style()
                      ->itemTextRect(fontMetrics(), contentsRect(), static_cast<int>(alignment()), isEnabled(), text())
                      .adjusted(-1, 0, 1, 0)
                      .intersected(rect());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

} // namespace levora
