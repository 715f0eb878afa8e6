#include "Program.h"

#include "QtFolderDialog.h"
#include "app/Machine.h"
#include "frmMain.h"
#include "i18n/gui/frmAbout.h"
#include "leveling/LevelingRun.h"
#include "leveling/PromptLeveling.h"
#include "restore/Restore.h"
#include "ui/gui/QtEventPump.h"
#include "ui/gui/QtMessageBox.h"
#include "ui/gui/QtTranslations.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmHelp.h"

namespace levora {

struct Program::Impl {
    explicit Impl(Options o)
        : options(std::move(o)), msgbox(options.msgbox ? *options.msgbox : qtMsgbox),
          folderDialog(options.folderDialog ? *options.folderDialog : qtFolderDialog),
          machine(options.prefixRoot, options.arguments, msgbox, pump, {}, options.environment),
          form(frmMainServices{machine.localize, windows, machine.version, machine.ns, msgbox, folderDialog,
                               [this] { endProgram(); }}),
          context(machine.runContext(form.runView())), run(context), prompts(context), restore(context) {
        machine.localize.setWindowList(&windows);
        machine.localize.setLanguageListener([this](const std::string& locale) { qtTranslations.use(locale); });
        form.onSetdB = [this] {
            form.levelsBeforeRun();
            form.levelsAfterRun(run.cmdSetdB_Click());
        };
        form.onRestore = [this] {
            restore.mnuRestore_Click();
            form.levelColumn().remeasureAll();
        };
        form.onLevoraForPrompts = [this] { prompts.mnuLevoraForPrompts_Click(); };
        form.onAbout = [this] { frmAbout::ShowModal(about, machine.localize, &windows, msgbox, machine.app); };
        form.onHelp = [this] { frmHelp::ShowModal(machine.localize, &windows, machine.fs, machine.app); };
    }
    ~Impl() { delete about.data(); } // a hidden About window stays loaded until the end

    void endProgram() {
        if (options.terminate)
            EndProgram(machine.log, options.terminate);
        else
            EndProgram(machine.log);
    }

    Options options;
    QtMessageBox qtMsgbox;
    QtEventPump pump;
    QtFolderDialog qtFolderDialog;
    QtTranslations qtTranslations;
    IMessageBox& msgbox;
    IFolderDialog& folderDialog;
    WindowList windows;
    Machine machine;
    frmMain form;
    RunContext context;
    LevelingRun run;
    PromptLeveling prompts;
    GreetingRestore restore;
    QPointer<frmAbout> about;
};

Program::Program(Options options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

Program::~Program() = default;

LoadResult Program::load() {
    StartUpServices s = m_impl->machine.startUp(m_impl->form, [this] { m_impl->endProgram(); });
    return frmMain_Load(s);
}

frmMain& Program::form() {
    return m_impl->form;
}
const AppInfo& Program::app() const {
    return m_impl->machine.app;
}
modLocalize& Program::localize() {
    return m_impl->machine.localize;
}
WindowList& Program::windows() {
    return m_impl->windows;
}
Logging& Program::log() {
    return m_impl->machine.log;
}

} // namespace levora
