// The run log: one open file at a time, a fixed header, CR LF line ends. Every failure is silent.
#pragma once

#include "platform/AppInfo.h"
#include "platform/FileSystem.h"
#include "platform/Ui.h"

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

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace levora
