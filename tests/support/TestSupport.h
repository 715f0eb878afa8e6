// Test doubles and fixtures shared by every test program.
#pragma once

#include "platform/Ui.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace levora::test {

// A fresh folder under TMPDIR, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Message boxes that answer from a script and record what they showed.
class ScriptedMessageBox : public IMessageBox {
public:
    struct Shown {
        std::string text;
        int buttons;
        std::string title;
    };
    // Answers used in order; when none is left, OK / Yes is answered.
    void nextAnswer(int answer) { m_answers.push_back(answer); }
    int MsgBox(const std::string& text, int buttons, const std::string& title) override;

    std::vector<Shown> shown;
    std::function<void(const Shown&)> onShow; // runs before answering

private:
    std::deque<int> m_answers;
};

class CountingPump : public IEventPump {
public:
    void DoEvents() override {
        ++doEvents;
        if (onEvents)
            onEvents();
    }
    void WaitEvents(int maxMs) override {
        ++waits;
        waitedMs += maxMs;
        if (onWait)
            onWait(maxMs);
        if (onEvents)
            onEvents();
    }
    int doEvents = 0;
    int waits = 0;
    long long waitedMs = 0;
    std::function<void()> onEvents;
    std::function<void(int)> onWait;
};

// A clock that only moves when told; pairs with CountingPump::onWait to make pauses instant.
class FakeClock : public IClock {
public:
    double Now() override { return now; }
    double now = 1000.0;
};

// Writes a file with the given bytes, creating parent folders.
void writeFile(const std::filesystem::path& p, const std::string& bytes);
std::string readFile(const std::filesystem::path& p);

// The build's bin folder (the program, the tools, the language libraries).
std::filesystem::path binDir();
// ../shared of the source tree (test speech, locale table).
std::filesystem::path sharedDir();

} // namespace levora::test
