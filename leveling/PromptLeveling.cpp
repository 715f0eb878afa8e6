#include "leveling/PromptLeveling.h"

#include "leveling/Leftovers.h"

#include "platform/WinPath.h"

#include <vector>

namespace levora {

bool bIsPromptFileName(const std::string& name) {
    return name.size() >= 4 && equalsNoCase(name.substr(name.size() - 4), ".WAV");
}

void PromptLeveling::mnuLevoraForPrompts_Click() {
    // Taken before the question: a Yes that could not be carried out is not asked for.
    BusyGuard guard(m_ctx.busy, m_ctx.view);
    std::string hostRoot;
    StepRunner([](const Error&) {}).step([&] { hostRoot = readHostRoot(m_ctx.registry); });
    if (!guard.acquired() || !guard.lockFolders(m_ctx.fs, {hostRoot, "c:\\"})) {
        ReportRefusal(m_ctx, guard);
        return;
    }

    IRunView& view = m_ctx.view;
    StepRunner trap([&](const Error& e) {
        m_ctx.msgbox.MsgBox(formatProcedureError(e, "mnuLevoraForPrompts_Click", "Form", "frmMain"), vbOKOnly);
    });

    int answer = vbNo;
    trap.step([&] { answer = m_ctx.msgbox.MsgBox(kPromptQuestion, vbYesNo); });
    if (answer != vbYes)
        return;

    trap.step([&] { view.setHourglass(true); });
    trap.step([&] { m_ctx.log.OpenLog(kRunLogPath, false); });
    trap.step([&] { view.splash().setLabel(kPromptLabel); });
    trap.step([&] { view.splash().showOverMain(); });
    std::string promptFolder;
    std::string root;
    trap.step([&] {
        root = readHostRoot(m_ctx.registry);
        promptFolder = root + "localize\\prompts\\";
    });
    RemoveLeftovers(m_ctx.fs, PromptFolders(root));
    trap.step([&] { LevelPromptFolder(promptFolder); });
    trap.step([&] { view.setHourglass(false); });
    trap.step([&] { view.splash().hide(); });
    trap.step([&] { m_ctx.log.CloseLog(); });
    guard.releaseMachine();
    trap.step([&] { OfferRunLog(m_ctx); });
}

void PromptLeveling::LevelPromptFolder(const std::string& folder) {
    walk(folder, 0);
}

void PromptLeveling::walk(const std::string& folder, int depth) {
    if (depth > kMaxDepth)
        return;
    std::vector<std::string> subFolders;
    std::vector<std::string> files;
    try {
        subFolders = m_ctx.fs.SubFolderNames(folder);
        files = m_ctx.fs.FileNames(folder);
    } catch (...) {
        return; // a folder that cannot be listed is skipped as a whole
    }
    const bool endsWithSeparator = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    const std::string base = endsWithSeparator ? folder : folder + "\\";

    for (const std::string& sub : subFolders)
        walk(base + sub, depth + 1);

    StepRunner silent(nullptr); // failures inside the walk leave no trace
    for (const std::string& name : files) {
        if (!bIsPromptFileName(name))
            continue;
        silent.step([&] { m_ctx.view.splash().setLabel(kPromptLabel + name); });
        OptionTexts options;
        if (silent.step([&] { options = readOptionTexts(m_ctx.view); }))
            silent.step([&] { m_ctx.gain.LevelFile(base + name, options, silent); });
    }
}

} // namespace levora
