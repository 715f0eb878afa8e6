// How much of a core Pause costs while the synchronisation retry waits: Pause(5) with the real Qt
// event pump, against a loop that only lets events run until the time is up (the wait without a
// sleep), both measured as the process's CPU time.
#include "app/Module1.h"
#include "platform/SteadyClock.h"
#include "ui/gui/QtEventPump.h"

#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Sample {
    double wall;
    double cpu;
};

template <class F> Sample measure(F&& f) {
    const auto w0 = std::chrono::steady_clock::now();
    const double c0 = cpuSeconds();
    f();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count(), cpuSeconds() - c0};
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    levora::SteadyClock clock;
    levora::QtEventPump pump;

    // A window event now and then, as a repainting window gives: Pause must still handle each.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(100);

    const double seconds = 5.0;
    const Sample pause = measure([&] { levora::Pause(clock, pump, seconds); });
    const int ticksDuringPause = ticks;

    const Sample spin = measure([&] {
        const double end = clock.Now() + seconds;
        while (clock.Now() < end)
            pump.DoEvents();
    });

    std::printf("pause %.1f s: wall %.3f s, cpu %.3f s (%.2f %% of a core), %d timer events handled\n", seconds,
                pause.wall, pause.cpu, 100.0 * pause.cpu / pause.wall, ticksDuringPause);
    std::printf("events-only loop %.1f s: wall %.3f s, cpu %.3f s (%.2f %% of a core)\n", seconds, spin.wall, spin.cpu,
                100.0 * spin.cpu / spin.wall);
    std::printf("cpu ratio pause/loop: %.4f\n", spin.cpu > 0 ? pause.cpu / spin.cpu : 0.0);
    return 0;
}
