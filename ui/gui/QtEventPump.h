// The runtime's DoEvents on top of Qt's event loop.
#pragma once

#include "platform/Ui.h"

namespace levora {

class QtEventPump : public IEventPump {
public:
    void DoEvents() override;
    // Sleeps in the event loop until an event arrives or maxMs pass, handling what came.
    void WaitEvents(int maxMs) override;
};

} // namespace levora
