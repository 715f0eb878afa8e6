#include "QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace levora {

void QtEventPump::DoEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::WaitEvents(int maxMs) {
    if (maxMs <= 0) {
        DoEvents();
        return;
    }
    // The timer bounds the wait; any other event ends it earlier and the caller looks at its clock.
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace levora
