// The controls of frmMain at their places (twips, relative to their containers), created in the
// window's order, and its menu bar.
#include "frmMain.h"

#include "ui/gui/Twips.h"

#include <QKeySequence>
#include <QLayout>
#include <QMenuBar>

#include <iterator>

namespace levora {

namespace {

constexpr int kClientWidth = 10485;
constexpr int kClientHeight = 7545;

template <class W> W* make(QWidget* parent, const char* name, const Twips& tw, int l, int t, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(tw.rect(l, t, w, h));
    return widget;
}

QGroupBox* frame(QWidget* parent, const char* name, const Twips& tw, int l, int t, int w, int h) {
    auto* f = make<QGroupBox>(parent, name, tw, l, t, w, h);
    // Opaque, as the platform's frames are: what lies beneath stays hidden.
    f->setAutoFillBackground(true);
    return f;
}

QLabel* label(QWidget* parent, const char* name, const Twips& tw, int l, int t, int w, int h) {
    auto* l_ = make<QLabel>(parent, name, tw, l, t, w, h);
    l_->setWordWrap(true);
    l_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l_;
}

QComboBox* dropDownList(QWidget* parent, const char* name, const Twips& tw, int l, int t, int w, int h) {
    auto* c = make<QComboBox>(parent, name, tw, l, t, w, h);
    c->setEditable(false);
    c->setMaxVisibleItems(12);
    return c;
}

} // namespace

void frmMain::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(client);
    const Twips tw = Twips::forWidget(this);
    client->setFixedSize(tw.size(kClientWidth, kClientHeight));

    frameBackupGreetings = frame(client, "frameBackupGreetings", tw, 0, 3150, 10485, 735);
    cmdBrowse = make<QPushButton>(frameBackupGreetings, "cmdBrowse", tw, 9150, 300, 1305, 315);
    txtBackupTarget = make<QLineEdit>(frameBackupGreetings, "txtBackupTarget", tw, 3150, 315, 5985, 285);
    chkBackup = make<QCheckBox>(frameBackupGreetings, "chkBackup", tw, 60, 360, 3045, 195);
    chkBackup->setChecked(true);

    frameOptions = frame(client, "frameOptions", tw, 0, 4020, 10485, 2175);
    chkSaveToRegistry = make<QCheckBox>(frameOptions, "chkSaveToRegistry", tw, 150, 1680, 10185, 375);
    chkSaveToRegistry->setChecked(true);
    cmbMindBLevel = dropDownList(frameOptions, "cmbMindBLevel", tw, 2280, 1320, 825, 315);
    cmbSampleSize = dropDownList(frameOptions, "cmbSampleSize", tw, 2280, 600, 825, 315);
    cmbGainThreshold = dropDownList(frameOptions, "cmbGainThreshold", tw, 2280, 960, 825, 315);
    cmbTargetDB = dropDownList(frameOptions, "cmbTargetDB", tw, 2280, 240, 825, 315);
    lblTargetDb2[3] = label(frameOptions, "lblTargetDb2(3)", tw, 3150, 660, 7155, 195);
    lblTargetDb2[2] = label(frameOptions, "lblTargetDb2(2)", tw, 3150, 1020, 7245, 195);
    lblTargetDb2[1] = label(frameOptions, "lblTargetDb2(1)", tw, 3150, 1380, 7275, 195);
    Label4 = label(frameOptions, "Label4", tw, 270, 1380, 1905, 195);
    Label3 = label(frameOptions, "Label3", tw, 270, 1020, 1965, 195);
    Label1 = label(frameOptions, "Label1", tw, 270, 660, 1965, 255);
    lblTargetDB = label(frameOptions, "lblTargetDB", tw, 270, 300, 1965, 195);
    lblTargetDb2[0] = label(frameOptions, "lblTargetDb2(0)", tw, 3150, 270, 7245, 375);

    cmdSetdB = make<QPushButton>(client, "cmdSetdB", tw, 6180, 7140, 2115, 375);
    frameProgress = frame(client, "frameProgress", tw, 0, 6270, 10485, 795);
    ProgressBar = make<QProgressBar>(frameProgress, "ProgressBar", tw, 60, 300, 10365, 315);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    Animation1 = make<AnimationControl>(frameProgress, "Animation1", tw, 2580, 180, 4095, 435);
    cmdExit = make<QPushButton>(client, "cmdExit", tw, 8370, 7140, 2085, 375);

    frameSelectWAVFiles = frame(client, "frameSelectWAVFiles", tw, 0, 180, 10485, 2835);
    myGrid = new GridControl({{"", kGridColWidths[0], false},
                              {kSelectedKey, kGridColWidths[1], true},
                              {kFileNameKey, kGridColWidths[2], false},
                              {kLevelKey, kGridColWidths[3], false}},
                             frameSelectWAVFiles);
    myGrid->setObjectName(QStringLiteral("myGrid"));
    myGrid->setStretchColumn(myGrid->ColIndex(kFileNameKey));
    myGrid->gridModel()->setNumericColumn(myGrid->ColIndex(kLevelKey));
    myGrid->setGeometry(tw.rect(60, 300, 10365, 2055));
    cmdUnselectAll = make<QPushButton>(frameSelectWAVFiles, "cmdUnselectAll", tw, 60, 2400, 1545, 375);
    cmdSelectAll = make<QPushButton>(frameSelectWAVFiles, "cmdSelectAll", tw, 1650, 2400, 1545, 375);

    Label2 = label(client, "Label2", tw, 840, 2100, 6195, 855);
    // Created last, so Qt would paint it on top; it belongs beneath the file list's frame. Never
    // seen there, it is hidden too, so assistive technology does not read it out.
    Label2->lower();
    Label2->hide();

    // Assistive technology names each drop-down list after the label to its left.
    lblTargetDB->setBuddy(cmbTargetDB);
    Label1->setBuddy(cmbSampleSize);
    Label3->setBuddy(cmbGainThreshold);
    Label4->setBuddy(cmbMindBLevel);

    for (QPushButton* b : {cmdBrowse, cmdSetdB, cmdExit, cmdUnselectAll, cmdSelectAll})
        b->setAutoDefault(false);
    setTabOrder();
}

void frmMain::setTabOrder() {
    // As the controls stand on the screen: top to bottom, and left to right within a line.
    QWidget* const order[] = {
        myGrid,        cmdUnselectAll,   cmdSelectAll,  chkBackup,         txtBackupTarget, cmdBrowse, cmbTargetDB,
        cmbSampleSize, cmbGainThreshold, cmbMindBLevel, chkSaveToRegistry, cmdSetdB,        cmdExit};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void frmMain::createMenus() {
    mnuFile = menuBar()->addMenu(QString());
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuSetdB = mnuFile->addAction(QString());
    mnuSetdB->setObjectName(QStringLiteral("mnuSetdB"));
    mnuRestore = mnuFile->addAction(QString());
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    mnuLevoraForPrompts = mnuFile->addAction(QStringLiteral("Levora for prompts"));
    mnuLevoraForPrompts->setObjectName(QStringLiteral("mnuLevoraForPrompts"));
    mnuLevoraForPrompts->setVisible(false);
    mnuSaveLevelReport = mnuFile->addAction(QString());
    mnuSaveLevelReport->setObjectName(QStringLiteral("mnuSaveLevelReport"));
    mnuSaveLevelReport->setEnabled(false); // until every file has its level
    mnuSelectOutOfBand = mnuFile->addAction(QString());
    mnuSelectOutOfBand->setObjectName(QStringLiteral("mnuSelectOutOfBand"));
    mnuSelectOutOfBand->setEnabled(false); // likewise
    Seperator2 = mnuFile->addSeparator();
    Seperator2->setObjectName(QStringLiteral("Seperator2"));
    mnuExit = mnuFile->addAction(QString());
    mnuExit->setObjectName(QStringLiteral("mnuExit"));

    mnuHelpHeader = menuBar()->addMenu(QString());
    mnuHelpHeader->setObjectName(QStringLiteral("mnuHelpHeader"));
    Help[1] = mnuHelpHeader->addAction(QString());
    Help[1]->setObjectName(QStringLiteral("Help(1)"));
    Help[1]->setShortcut(QKeySequence(Qt::Key_F1));
    Seperator = mnuHelpHeader->addSeparator();
    Seperator->setObjectName(QStringLiteral("Seperator"));
    About[2] = mnuHelpHeader->addAction(QString());
    About[2]->setObjectName(QStringLiteral("About(2)"));

    // Fixed single border: the window is exactly its menu bar and its client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace levora
