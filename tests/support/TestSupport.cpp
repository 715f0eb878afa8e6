#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace levora::test {

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/levora-test-XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = std::filesystem::canonical(templ);
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files must not stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow,
                                     ec);
    std::filesystem::remove_all(m_path, ec);
}

int ScriptedMessageBox::MsgBox(const std::string& text, int buttons, const std::string& title) {
    shown.push_back({text, buttons, title});
    if (onShow)
        onShow(shown.back());
    if (!m_answers.empty()) {
        int a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return (buttons & 0xF) == vbYesNo ? vbYes : vbOK;
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << bytes;
    if (!f)
        throw std::runtime_error("cannot write " + p.string());
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::filesystem::path binDir() {
    if (const char* d = std::getenv("LEVORA_BIN_DIR"); d && *d)
        return d;
    return LEVORA_BIN_DIR;
}

std::filesystem::path sharedDir() {
    if (const char* d = std::getenv("LEVORA_SHARED_DIR"); d && *d)
        return d;
    return LEVORA_SHARED_DIR;
}

} // namespace levora::test
