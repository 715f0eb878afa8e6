#include "LevelFile.h"

#include "platform/WavHeader.h"

namespace levora {

namespace {

constexpr uint32_t kReapAfterKillMs = 5000;

// The source path stands between double quotes on the tool's command line: a quote inside it, or
// a backslash right before the closing quote, would change how the tool splits its arguments.
bool quotable(const std::string& path) {
    return path.find('"') == std::string::npos && (path.empty() || path.back() != '\\');
}

Error withDetail(int32_t number, const std::string& detail) {
    return Error(number, standardDescription(number) + " (" + detail + ")");
}

WavHeader wavOf(IFileSystem& fs, const std::string& path, const char* whose) {
    const FileHead head = fs.ReadHead(path, kWavHeadBytes);
    WavParse parsed = parseWavHeader(head.bytes.data(), head.bytes.size(), head.size);
    if (!parsed.header)
        throw withDetail(err::ToolOutputRefused, std::string(whose) + " is not a WAV file: " + parsed.problem);
    return *parsed.header;
}

// A file that is there but holds no WAV header: the tool refuses it as no recording, and rightly.
bool isNoRecording(IFileSystem& fs, const std::string& path) {
    try {
        if (!fs.FileExists(path))
            return false;
        const FileHead head = fs.ReadHead(path, kWavHeadBytes);
        return !parseWavHeader(head.bytes.data(), head.bytes.size(), head.size).header;
    } catch (const Error&) {
        return false;
    }
}

// A tool that ends well may still have written half a file, nothing or noise: its output replaces
// F only when it is a whole WAV file in F's own format with as many frames. A file that is not a
// WAV file itself (an index beside the greetings) is never replaced.
void checkToolOutput(IFileSystem& fs, const std::string& file, const std::string& scratch) {
    const WavHeader original = wavOf(fs, file, "the file");
    const WavHeader levelled = wavOf(fs, scratch, "the levelled file");
    auto differs = [](const std::string& what, const std::string& was, const std::string& is) {
        throw withDetail(err::ToolOutputRefused, what + " differs: " + was + ", levelled " + is);
    };
    if (original.sampleRate != levelled.sampleRate)
        differs("the rate", std::to_string(original.sampleRate) + " Hz", std::to_string(levelled.sampleRate) + " Hz");
    if (original.channels != levelled.channels)
        differs("the channel count", std::to_string(original.channels), std::to_string(levelled.channels));
    if (original.formatTag != levelled.formatTag || original.subFormat != levelled.subFormat ||
        original.bitsPerSample != levelled.bitsPerSample || original.blockAlign != levelled.blockAlign ||
        original.bigEndian != levelled.bigEndian)
        differs("the encoding", original.describe(), levelled.describe());
    if (original.frames() != levelled.frames())
        differs("the length", std::to_string(original.frames()) + " frames",
                std::to_string(levelled.frames()) + " frames");
}

uint32_t remainingMs(uint32_t timeoutMs, std::chrono::steady_clock::time_point startedAt) {
    if (timeoutMs == INFINITE_WAIT)
        return timeoutMs;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - startedAt).count();
    return elapsed >= static_cast<long long>(timeoutMs) ? 0 : timeoutMs - static_cast<uint32_t>(elapsed);
}

} // namespace

std::string scratchFile(int job, bool upperExtension) {
    std::string name = "c:\\mytempwavfile774";
    if (job > 0)
        name.append("-").append(std::to_string(job + 1));
    return name + (upperExtension ? ".WAV" : ".wav");
}

GainToolRunner::GainToolRunner(IFileSystem& fs, IProcesses& processes, const TalvioVersion& version, Logging& log,
                               const AppInfo& app)
    : m_fs(fs), m_processes(processes), m_version(version), m_log(log), m_app(app) {}

std::string GainToolRunner::buildCommandLine(const std::string& file, const OptionTexts& options, int job) const {
    // Chosen anew for every file, newest tool first.
    bool allFlags = true;
    std::string tool;
    if (m_version.bIsVersionGreaterThanOrEqualTo(3, 1, 5, 0))
        tool = "\\gainfix315 -s ";
    else if (m_version.bIsVersionGreaterThanOrEqualTo(3, 1, 4, 0))
        tool = "\\gainfix314 -s ";
    else {
        tool = "\\gainfix -s ";
        allFlags = false;
    }
    std::string cmd = m_app.programFolder;
    cmd += tool;
    cmd += '"';
    cmd += file;
    cmd += '"';
    cmd += " -d ";
    cmd += scratchFile(job, true);
    cmd += " -t ";
    cmd += options.target;
    if (allFlags) {
        cmd += " -m ";
        cmd += options.minimum;
        cmd += " -b ";
        cmd += options.sampleSize;
        cmd += " -g ";
        cmd += options.maxChange;
    }
    return cmd;
}

bool GainToolRunner::LevelFile(const std::string& file, const OptionTexts& options, const StepRunner& trap) {
    ToolJob job = startFile(file, options, 0, trap);
    const bool replaced = completeFile(job, trap);
    logFile(job);
    return replaced;
}

ToolJob GainToolRunner::startFile(const std::string& file, const OptionTexts& options, int jobNumber,
                                  const StepRunner& callerTrap) {
    StepRunner trap = callerTrap; // same reporter; step() is not const
    ToolJob job{file, options, jobNumber, {}, false, 0, {}};
    const std::string scratch = scratchFile(jobNumber);
    // The temporary file of an earlier run goes, read-only or not. If it cannot go, this
    // file is skipped: the old levelled audio must never be copied over it.
    bool tempCleared = trap.step([&] {
        try {
            if (m_fs.FileExists(scratch))
                m_fs.DeleteFile(scratch, true);
        } catch (const Error& e) {
            throw withDetail(err::StaleTempFile, e.description());
        }
    });

    // The gain tool's command line: the tool the host release wants, the file and the options.
    trap.step([&] { job.commandLine = buildCommandLine(file, options, jobNumber); });

    // The tool starts; completeFile waits for it.
    if (tempCleared && !job.commandLine.empty()) {
        job.started = trap.step([&] {
            if (!quotable(file))
                throw withDetail(err::UnsafePath, file);
            // Absent now and present after the run proves the file comes from this run.
            if (m_fs.FileExists(scratch))
                throw Error(err::StaleTempFile);
            job.startedAt = std::chrono::steady_clock::now();
            try {
                job.pid = m_processes.Start(job.commandLine, WindowStyle::Hidden);
            } catch (const Error& e) {
                // "File not found" for a tool that is there misleads: it cannot be run.
                const std::string program = job.commandLine.substr(0, job.commandLine.find(" -s "));
                if (e.number() == err::FileNotFound && m_fs.FileExists(program))
                    throw Error(err::ToolNotRunnable,
                                "The gain tool " + program + " is there but cannot be run (" + "is it executable?)");
                throw;
            }
            job.toolEnd = ToolEnd::Unknown; // until it has been awaited
        });
    }
    return job;
}

bool GainToolRunner::completeFile(ToolJob& job, const StepRunner& callerTrap, const std::function<void()>& toolEnded) {
    StepRunner trap = callerTrap;
    const std::string scratch = scratchFile(job.job);
    // The tool runs, bounded: it has to end, with exit code 0, within the time-out of its start.
    bool toolSucceeded = false;
    if (job.started) {
        job.started = false;
        toolSucceeded = trap.step([&] {
            WaitResult r = m_processes.Wait(job.pid, remainingMs(m_toolTimeoutMs, job.startedAt));
            job.toolEnd = r.kind == WaitResult::Kind::Ended ? (r.signal != 0 ? ToolEnd::Signalled : ToolEnd::Exited)
                          : r.kind == WaitResult::Kind::TimedOut ? ToolEnd::TimedOut
                                                                 : ToolEnd::Unknown;
            job.exitCode = r.exitCode;
            job.signal = r.signal;
            switch (r.kind) {
            case WaitResult::Kind::Ended:
                if (r.signal != 0)
                    throw withDetail(err::ToolFailed,
                                     "stopped by signal " + std::to_string(r.signal) + ", " + signalName(r.signal));
                if (r.exitCode != 0)
                    throw withDetail(err::ToolFailed, "exit code " + std::to_string(r.exitCode));
                return;
            case WaitResult::Kind::TimedOut:
                m_processes.Kill(job.pid);
                m_processes.Wait(job.pid, kReapAfterKillMs);
                throw withDetail(err::ToolTimedOut, "after " + std::to_string(m_toolTimeoutMs) + " ms");
            case WaitResult::Kind::Failed:
                throw withDetail(err::ToolFailed, "its end could not be awaited");
            }
        });
    }
    if (toolEnded)
        toolEnded();

    bool replaced = false;
    // Its output replaces the file atomically, keeping its permissions; a read-only file is refused (70).
    if (toolSucceeded) {
        trap.step([&] {
            if (!m_fs.FileExists(scratch)) {
                job.verdict = OutputVerdict::Missing;
                throw Error(err::TempNotWritten);
            }
            job.verdict = OutputVerdict::Refused;
            checkToolOutput(m_fs, job.file, scratch);
            job.verdict = OutputVerdict::Accepted;
            m_fs.CopyFile(scratch, job.file, true);
            replaced = true;
        });
    }
    if (!replaced && job.verdict != OutputVerdict::Accepted && isNoRecording(m_fs, job.file))
        job.verdict = OutputVerdict::NotRecording;
    return replaced;
}

void GainToolRunner::logFile(const ToolJob& job) {
    // The file and the command line go to the log, for every file, changed or not.
    m_log.WriteLog(job.file + " set to dB " + job.options.target);
    m_log.WriteLog("    Used command line=" + job.commandLine);
}

} // namespace levora
