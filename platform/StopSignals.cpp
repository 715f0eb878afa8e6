#include "StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace levora {

namespace {

// A signal handler reaches nothing but statics; these are the only ones, and only while a StopSignals lives.
int g_pipe[2] = {-1, -1};
std::atomic<int> g_signals{0};
std::atomic<int> g_exitOnSecond{1};
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

constexpr char kSignalled = 's';
constexpr char kQuit = 'q';

extern "C" void onStopSignal(int) {
    if (g_signals.fetch_add(1) > 0)
        _exit(g_exitOnSecond.load());
    const int saved = errno;
    const char c = kSignalled;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(std::function<void()> stop, int exitOnSecond) : m_stop(std::move(stop)) {
    g_exitOnSecond = exitOnSecond;
    if (::pipe2(g_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make the signal pipe");
    g_signals = 0;
    m_watcher = std::thread([this] {
        char c = 0;
        while (true) {
            const ssize_t n = ::read(g_pipe[0], &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n != 1 || c == kQuit)
                return;
            if (m_stop)
                m_stop();
        }
    });
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &g_oldInt);
    sigaction(SIGTERM, &sa, &g_oldTerm);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    const char c = kQuit;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
    m_watcher.join();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool StopSignals::received() const {
    return g_signals.load() > 0;
}

} // namespace levora
