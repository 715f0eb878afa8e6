// gainfix, gainfix314, gainfix315: one program under three names; see Cli.h and docs/gainfix.md.
#include "Cli.h"
#include "speech/Leveler.h"
#include "speech/ToolError.h"

#include "platform/Error.h"
#include "platform/Prefix.h"
#include "platform/Version.h"
#include "platform/WinPath.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace {

// Windows paths go through the machine prefix; the prefix is only opened when one is given,
// so host paths work without one.
class PathResolver {
public:
    std::filesystem::path resolve(const std::string& path, gainfix::Failure kind) {
        if (!path.empty() && path.front() == '/')
            return path;
        try {
            if (!m_namespace) {
                m_prefix.emplace(levora::MachinePrefix::defaultRoot());
                m_namespace = std::make_unique<levora::PathNamespace>(*m_prefix);
            }
            return m_namespace->toHost(path);
        } catch (const levora::Error& e) {
            throw gainfix::ToolError(kind, path + ": " + e.description());
        }
    }

private:
    std::optional<levora::MachinePrefix> m_prefix;
    std::unique_ptr<levora::PathNamespace> m_namespace;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    const std::string program = gainfix::programName(args.empty() ? std::string() : args.front());
    try {
        const gainfix::Invocation inv = gainfix::parseArguments(args);
        if (inv.help) {
            std::cout << gainfix::manual(inv.program);
            return 0;
        }
        if (inv.version) {
            std::cout << inv.program << " " << levora::kVersionText << "\n";
            return 0;
        }
        PathResolver paths;
        const auto source = paths.resolve(inv.source, gainfix::Failure::Source);
        const auto destination = paths.resolve(inv.destination, gainfix::Failure::Destination);
        const gainfix::Outcome outcome = gainfix::levelFile(source, destination, inv.options);
        std::cout << gainfix::summary(inv.source, outcome) << std::endl;
        return 0;
    } catch (const gainfix::ToolError& e) {
        std::cerr << (e.kind() == gainfix::Failure::Usage ? "" : program + ": ") << e.what() << std::endl;
        return e.exitCode();
    } catch (const std::exception& e) {
        std::cerr << program << ": " << e.what() << std::endl;
        return 1;
    }
}
