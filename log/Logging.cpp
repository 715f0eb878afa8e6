#include "Logging.h"

#include "platform/ReplaceFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

namespace {

const std::string kStars(61, '*');
constexpr const char* kCrLf = "\r\n";

std::tm systemLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

// A fresh log replaces the old one in one step: an empty file made beside it is renamed over it,
// so a reader sees either the old log or the new one, never a half-truncated file.
int openFresh(const fs::path& target) {
    const fs::path path = replacementTarget(target);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0)
            return -1; // a folder or a read-only file: Windows refuses to open it for output
        mode = st.st_mode & 07777;
    }
    std::string tmpl;
    int fd = createTempBeside(path, tmpl);
    if (fd < 0)
        return -1;
    ::fchmod(fd, mode);
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        return -1;
    }
    return fd;
}

int openAppend(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0))
        return -1;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

} // namespace

struct Logging::Impl {
    IFileSystem& fs;
    IEventPump& pump;
    const AppInfo& app;
    LocalTime now = systemLocalTime;
    int fd = -1;
    Tally tally;
};

Logging::Logging(IFileSystem& fs, IEventPump& pump, const AppInfo& app)
    : m_impl(std::make_unique<Impl>(Impl{fs, pump, app, systemLocalTime, -1, {}})) {}

Logging::~Logging() {
    CloseLog();
}

void Logging::setLocalTime(LocalTime now) {
    m_impl->now = now ? std::move(now) : LocalTime(systemLocalTime);
}

Logging::Tally Logging::tally() const {
    return m_impl->tally;
}

bool Logging::isOpen() const {
    return m_impl->fd >= 0;
}

std::string Logging::generalDate(const std::tm& t) {
    int hour12 = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, hour12,
                  t.tm_min, t.tm_sec, t.tm_hour < 12 ? "AM" : "PM");
    return buf;
}

void Logging::OpenLog(const std::string& path, bool append) {
    // Only one log at a time: a second OpenLog lets go of the first instead of leaking it.
    CloseLog();
    try {
        fs::path host = m_impl->fs.HostPath(path);
        m_impl->fd = append ? openAppend(host) : openFresh(host);
    } catch (...) {
        m_impl->fd = -1; // the run goes on without a log
    }
    m_impl->tally.written = m_impl->fd >= 0;
    const AppInfo& app = m_impl->app;
    WriteLog(kCrLf + kStars);
    WriteLog("Running " + app.exeBaseName + " version: " + std::to_string(app.versionMajor) + "." +
             std::to_string(app.versionMinor) + "." + std::to_string(app.versionRevision) + kCrLf);
    std::string date;
    try {
        date = generalDate(m_impl->now());
    } catch (...) {
    }
    WriteLog(date + kCrLf);
    WriteLog(std::string("Search for '(error)' or '(warning)' to find logged errors and warnings.") + kCrLf);
    WriteLog(kStars + kCrLf);
}

void Logging::WriteLog(const std::string& text) {
    if (text.starts_with("(error)"))
        ++m_impl->tally.errors;
    else if (text.starts_with("(warning)"))
        ++m_impl->tally.warnings;
    if (m_impl->fd >= 0) {
        std::string line = text + kCrLf;
        const char* p = line.data();
        size_t left = line.size();
        while (left > 0) {
            ssize_t w = ::write(m_impl->fd, p, left);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                m_impl->tally.written = false;
                break; // dropped, as every log failure is
            }
            p += w;
            left -= static_cast<size_t>(w);
        }
    }
    try {
        m_impl->pump.DoEvents();
    } catch (...) {
    }
}

void Logging::CloseLog() {
    if (m_impl->fd < 0)
        return;
    if (::fdatasync(m_impl->fd) != 0 && errno != EINVAL)
        m_impl->tally.written = false;
    if (::close(m_impl->fd) != 0 && errno != EINTR)
        m_impl->tally.written = false;
    m_impl->fd = -1;
}

} // namespace levora
