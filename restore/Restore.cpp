#include "restore/Restore.h"

#include "leveling/Leftovers.h"

namespace levora {

void GreetingRestore::mnuRestore_Click() {
    BusyGuard guard(m_ctx.busy, m_ctx.view);
    if (!guard.acquired()) {
        ReportRefusal(m_ctx, guard);
        return;
    }

    IMessageBox& msgbox = m_ctx.msgbox;
    IFileSystem& fs = m_ctx.fs;
    ISplash& splash = m_ctx.view.splash();
    StepRunner trap([&](const Error& e) { msgbox.MsgBox(m_ctx.loadString(16) + e.description(), vbOKOnly); });

    std::string root;
    trap.step([&] { root = readHostRoot(m_ctx.registry); });
    std::string target;
    trap.step([&] { target = m_ctx.view.txtBackupTarget(); });

    if (target.empty()) {
        guard.releaseMachine(); // a refusal left open holds no other run off
        msgbox.MsgBox(m_ctx.loadString(25), vbOKOnly);
        return;
    }
    bool haveBackup = false;
    trap.step([&] { haveBackup = fs.FolderExists(target + "Stream Files"); });
    if (!haveBackup) {
        guard.releaseMachine();
        msgbox.MsgBox(m_ctx.loadString(27), vbOKOnly);
        return;
    }
    // Without the host root the copies would land relative to the process's current folder.
    if (root.empty()) {
        guard.releaseMachine();
        msgbox.MsgBox(kRestoreNoRootText, vbOKOnly);
        return;
    }
    // Another machine prefix may lead to the same host folders.
    if (!guard.lockFolders(fs, {root, "c:\\"})) {
        ReportRefusal(m_ctx, guard);
        return;
    }
    if (msgbox.MsgBox(m_ctx.loadString(7), vbYesNo) != vbYes)
        return;

    // A killed run's temporary files would otherwise be copied along.
    RemoveLeftovers(fs, RunFolders(root, target));
    trap.step([&] { splash.setLabel(m_ctx.loadString(12)); });
    trap.step([&] { splash.showOverMain(); });
    // Each file is replaced atomically by the file-system service; nothing is deleted first.
    trap.step([&] { fs.CopyFolder(target + "Stream Files", root + "Stream Files", true); });
    trap.step([&] { fs.CopyFolder(target + "DefaultConfiguration", root + "Localize\\DefaultConfiguration", true); });
    trap.step([&] { splash.hide(); });
    guard.releaseMachine();
    trap.step([&] { msgbox.MsgBox(m_ctx.loadString(kRestoreDoneStringId), vbOKOnly); });
}

} // namespace levora
