#include "CommandLine.h"

#include "Text.h"
#include "WinPath.h"

namespace levora {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

ProgramToken programToken(const std::string& commandLine) {
    size_t i = 0;
    while (i < commandLine.size() && isBlank(commandLine[i]))
        ++i;
    if (i < commandLine.size() && commandLine[i] == '"') {
        const size_t end = commandLine.find('"', i + 1);
        if (end == std::string::npos)
            return {commandLine.substr(i + 1), {}};
        return {commandLine.substr(i + 1, end - i - 1), commandLine.substr(end + 1)};
    }
    size_t end = i;
    while (end < commandLine.size() && !isBlank(commandLine[end]))
        ++end;
    return {commandLine.substr(i, end - i), commandLine.substr(end)};
}

std::vector<std::string> splitArguments(const std::string& s) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = s.size();
    for (;;) {
        while (i < n && isBlank(s[i]))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            const char c = s[i];
            if (isBlank(c) && !quoted)
                break;
            if (c == '\\') {
                size_t j = i;
                while (j < n && s[j] == '\\')
                    ++j;
                const size_t count = j - i;
                if (j < n && s[j] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2) {
                        arg.push_back('"');
                        i = j + 1;
                    } else {
                        i = j;
                    }
                } else {
                    arg.append(count, '\\');
                    i = j;
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && s[i + 1] == '"') {
                    arg.push_back('"');
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg.push_back(c);
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string quoteArguments(const std::vector<std::string>& arguments) {
    std::string out;
    for (const std::string& a : arguments) {
        if (!out.empty())
            out += ' ';
        if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) {
            out += a;
            continue;
        }
        out += '"';
        size_t slashes = 0;
        for (char c : a) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
            slashes = 0;
            out += c;
        }
        // Doubled, so that the closing quote is not taken for a literal one.
        out.append(2 * slashes, '\\');
        out += '"';
    }
    return out;
}

bool isTextViewer(const std::string& programName) {
    const auto folder = programName.find_last_of("\\/:");
    const std::string name = folder == std::string::npos ? programName : programName.substr(folder + 1);
    return equalsNoCase(name, "notepad") || equalsNoCase(name, "notepad.exe");
}

std::optional<std::string> textViewerFile(const std::string& commandLine) {
    const ProgramToken program = programToken(commandLine);
    if (!isTextViewer(program.name))
        return std::nullopt;
    std::string file = trim(program.rest, " \t");
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    return file;
}

} // namespace levora
