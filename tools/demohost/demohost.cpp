// demohost: builds a simulated Talvio host in a machine prefix, and shows its greetings' levels.
#include "DemoHost.h"

#include "platform/Version.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

namespace fs = std::filesystem;
using namespace levora::demohost;

namespace {

fs::path besideThisProgram(const std::string& name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(name) : self.parent_path() / name;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Builds a simulated Talvio host (registry, folders, greetings, database, synchronisation "
                 "component) in a machine prefix, and shows the active speech level of its greetings.",
                 "demohost"};
    app.require_subcommand(1);

    CreateOptions options;
    std::string prefix, version = "3.1(5)", layout = "new";
    std::string bridge = besideThisProgram("SqlDirBridge").string();
    CLI::App* create = app.add_subcommand("create", "Create the host in PREFIX (refused if one is there already)");
    create->add_option("PREFIX", prefix, "The machine prefix folder")->required();
    create->add_option("--version", version, "Host release, as the host writes it: 3.1(5), 3.1(5).12 or 3.1.5.12")
        ->capture_default_str();
    create->add_option("--layout", layout, "Where the release is kept: new (Orvane key) or old (Quillon key)")
        ->check(CLI::IsMember({"new", "old"}))
        ->capture_default_str();
    create->add_option("--greetings", options.greetings, "Greetings and voice names in \"Stream Files\"")
        ->check(CLI::Range(0, 100000))
        ->capture_default_str();
    create->add_option("--seconds", options.seconds, "Length of a greeting in seconds")
        ->check(CLI::Range(0.5, 3600.0))
        ->capture_default_str();
    create->add_option("--seed", options.seed, "Seed of the generated speech: the same seed gives the same files")
        ->capture_default_str();
    create->add_flag("--force", options.force, "Replace a host that is already there");
    create->add_option("--bridge", bridge, "The synchronisation component program to register")->capture_default_str();

    CLI::App* levels = app.add_subcommand("levels", "Print the active level of every greeting the file list shows");
    levels->add_option("PREFIX", prefix, "The machine prefix folder")->required();

    app.set_version_flag("--version", std::string("demohost ") + levora::kVersionText, "Show the program's version");
    CLI11_PARSE(app, argc, argv);

    try {
        if (create->parsed()) {
            const auto v = parseRelease(version);
            if (!v) {
                std::cerr << "demohost: --version: not a host release: " << version << " (expected e.g. 3.1(5))\n";
                return 2;
            }
            options.version = *v;
            options.layout = layout == "old" ? Layout::Old : Layout::New;
            options.bridgeProgram = fs::absolute(bridge);
            createHost(fs::absolute(prefix), options, [](const std::string& line) { std::cout << line << "\n"; });
            std::cout << "demohost: host " << formatRelease(*v) << " created in " << prefix << "\n";
        } else if (levels->parsed()) {
            if (!fs::is_directory(prefix)) {
                std::cerr << "demohost: no prefix at " << prefix << "\n";
                return 1;
            }
            std::cout << formatLevelTable(measureGreetings(fs::absolute(prefix)));
        }
    } catch (const Refused& e) {
        std::cerr << "demohost: " << e.what() << "\n";
        return 3;
    } catch (const std::exception& e) {
        std::cerr << "demohost: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
