#include "Logging.h"

#include <cstdio>

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

} // namespace

struct Logging::Impl {
    IFileSystem& fs;
    IEventPump& pump;
    const AppInfo& app;
    LocalTime now = systemLocalTime;
    std::unique_ptr<IOutputFile> file;
    Tally tally;
};

Logging::Logging(IFileSystem& fs, IEventPump& pump, const AppInfo& app)
    : m_impl(std::make_unique<Impl>(Impl{fs, pump, app, systemLocalTime, nullptr, {}})) {}

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
    return m_impl->file != nullptr;
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
        m_impl->file = m_impl->fs.OpenOutputFile(path, append);
    } catch (...) {
        m_impl->file.reset(); // the run goes on without a log
    }
    m_impl->tally.written = m_impl->file != nullptr;
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
    // A line that cannot be written is dropped, as every log failure is; the tally remembers it.
    if (m_impl->file && !m_impl->file->Write(text + kCrLf))
        m_impl->tally.written = false;
    try {
        m_impl->pump.DoEvents();
    } catch (...) {
    }
}

void Logging::CloseLog() {
    m_impl->file.reset(); // flushed to the disk and closed
}

} // namespace levora
