// The run log: one open file at a time, a fixed header, CR LF line ends. Every failure is silent.
#pragma once

#include "platform/AppInfo.h"
#include "platform/FileSystem.h"
#include "platform/Ui.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace levora {

class Logging {
public:
    Logging(IFileSystem& fs, IEventPump& pump, const AppInfo& app);
    ~Logging();

    void OpenLog(const std::string& path, bool append);
    void WriteLog(const std::string& text);
    void CloseLog();
    bool isOpen() const;

    // Lines that begin with "(error)" or "(warning)" since this object was made, counted whether a
    // log is open or not; and whether the log opened last took every line so far (false when it
    // could not be opened, or a write, the flush or the close failed, as on a full disk).
    struct Tally {
        int errors = 0;
        int warnings = 0;
        bool written = false;
    };
    Tally tally() const;

    // The local date and time the header shows (tests pin it); the system's by default.
    using LocalTime = std::function<std::tm()>;
    void setLocalTime(LocalTime now);
    // The general date format: short date, a blank, long time. No regional settings exist here,
    // so it is fixed to the en-US defaults "M/d/yyyy h:mm:ss tt" ("12/7/2026 5:44:39 AM").
    static std::string generalDate(const std::tm& t);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace levora
