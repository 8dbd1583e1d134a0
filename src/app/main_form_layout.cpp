// Building the window: controls, captions, columns, initial states, layout, and the wiring of
// every control event to its handler.
#include "app/main_form.h"

#include "ui/icons.h"
#include "ui/preview_panel.h"
#include "ui/radio_group.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace trimora {

namespace {

QTreeWidget* MakeListView(QWidget* parent, const QStringList& captions, const QList<int>& widths,
                          const QList<Qt::Alignment>& aligns) {
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(captions.size());
    list->setHeaderLabels(captions);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setIconSize(QSize(16, 16));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    // Grid lines between cells.
    list->setStyleSheet(QStringLiteral(
        "QTreeView { background: white; alternate-background-color: #f4f4f4; }"
        "QTreeView::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"
        "QTreeView::item:selected { background: #3874d8; color: white; }"));
    QFontMetrics fm(list->header()->font());
    for (int i = 0; i < captions.size(); ++i) {
        if (widths[i] <= 1) {
            list->setColumnHidden(i, true);
            continue;
        }
        // A caption is never cut off: the column is at least as wide as its caption.
        int w = std::max(widths[i], fm.horizontalAdvance(captions[i]) + 18);
        list->setColumnWidth(i, w);
        list->headerItem()->setTextAlignment(i, aligns[i] | Qt::AlignVCenter);
    }
    return list;
}

QComboBox* MakeCombo(QWidget* parent, const QStringList& items, bool editable) {
    auto* box = new QComboBox(parent);
    box->setEditable(editable);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setMaxVisibleItems(20);
    return box;
}

QLabel* ModeLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    label->setFont(f);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

void MainForm::BuildLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainFormBackground"));
    setCentralWidget(central);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    central->setAutoFillBackground(true);
    central->setPalette(pal);

    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);

    // ---- folder panels ------------------------------------------------------------------------
    HostFolderPanel = new QStackedWidget(central);
    HostFolderPanel->setFrameShape(QFrame::NoFrame);
    auto folderPanel = [&](QPushButton*& pick1, QComboBox*& box1, QPushButton*& open1,
                           const QString& caption1, QPushButton*& pick2, QComboBox*& box2,
                           QPushButton*& open2, const QString& caption2) {
        auto* panel = new QWidget(HostFolderPanel);
        auto* grid = new QGridLayout(panel);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(3);
        pick1 = new QPushButton(caption1, panel);
        pick2 = new QPushButton(caption2, panel);
        box1 = MakeCombo(panel, {}, true);
        box2 = MakeCombo(panel, {}, true);
        open1 = new QPushButton(QStringLiteral("Open this folder"), panel);
        open2 = new QPushButton(QStringLiteral("Open this folder"), panel);
        for (auto* b : {pick1, pick2})
            b->setMinimumWidth(190);
        for (auto* b : {box1, box2})
            b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        grid->addWidget(pick1, 0, 0);
        grid->addWidget(box1, 0, 1);
        grid->addWidget(open1, 0, 2);
        grid->addWidget(pick2, 1, 0);
        grid->addWidget(box2, 1, 1);
        grid->addWidget(open2, 1, 2);
        grid->setColumnStretch(1, 1);
        HostFolderPanel->addWidget(panel);
        return panel;
    };
    ConvertFolderPanel =
        folderPanel(btnInputFolder, ComboConvert, btnOpenInput,
                    QStringLiteral("Select Video Source Folder"), btnOutputFolder, ComboSaveConvert,
                    btnOpenOutput, QStringLiteral("Select Save Video Folder"));
    JoinFolderPanel =
        folderPanel(btnSelectJoinFolder, ComboJoin, btnOpenJoinFolder,
                    QStringLiteral("Select Join Source Folder"), btnSaveJoinFolder, ComboSaveJoin,
                    btnOpenSaveJoinFolder, QStringLiteral("Select Save Join Folder"));
    HostFolderPanel->setCurrentWidget(ConvertFolderPanel);
    HostFolderPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    root->addWidget(HostFolderPanel);

    // ---- previews ------------------------------------------------------------------------------
    auto* mainSplit = new QSplitter(Qt::Vertical, central);
    mainSplit->setChildrenCollapsible(false);
    mainSplit->setHandleWidth(5);
    root->addWidget(mainSplit, 1);

    auto* upper = new QWidget(mainSplit);
    auto* upperBox = new QVBoxLayout(upper);
    upperBox->setContentsMargins(0, 0, 0, 0);
    upperBox->setSpacing(4);

    auto* previews = new QHBoxLayout();
    previews->setSpacing(6);
    upperBox->addLayout(previews, 1);
    auto previewPanel = [&](PreviewPanel*& view, PreviewPlayer& player, bool endSide,
                            QWidget*& panel, QWidget*& video, QLabel*& caption,
                            const QString& captionText, const QString& hint, QSlider*& slider,
                            QToolButton*& back, QToolButton*& fwd, QLineEdit*& edit,
                            QHBoxLayout*& header) {
        panel = new QWidget(upper);
        auto* box = new QVBoxLayout(panel);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(3);
        header = new QHBoxLayout();
        caption = new QLabel(captionText, panel);
        caption->setToolTip(hint);
        QFont f = caption->font();
        f.setBold(true);
        caption->setFont(f);
        header->addWidget(caption);
        header->addStretch(1);
        box->addLayout(header);

        view = new PreviewPanel(player, endSide, panel);
        box->addWidget(view, 1);
        video = view->Picture;
        slider = view->Slider;
        back = view->Back;
        fwd = view->Fwd;
        edit = view->TimeBox;
        previews->addWidget(panel, 1);
    };
    QHBoxLayout* startHeader = nullptr;
    QHBoxLayout* endHeader = nullptr;
    previewPanel(
        StartView, Core, false, StartPanel, VidStartPanel, lblStart, QStringLiteral("Set Start Position"),
        QStringLiteral("Set Start Position to cut (Use Slider or change time in Edit box)"),
        StartSlider, btnStartRewind, BtnStartFwd, EditStartTime, startHeader);
    previewPanel(EndView, CoreEnd, true, EndPanel, VidEndPanel, lblEnd, QStringLiteral("Set End Position"),
                 QStringLiteral("Set End Position to cut (Use Slider or change time in Edit box)"),
                 EndSlider, btnEndRewind, btnEndFwd, EditEndTime, endHeader);

    auto* totalCaption = new QLabel(QStringLiteral("Clip length:"), StartPanel);
    lblTotalTime = new QLabel(QStringLiteral("0:00:00"), StartPanel);
    QFont tf = lblTotalTime->font();
    tf.setBold(true);
    lblTotalTime->setFont(tf);
    startHeader->addWidget(totalCaption);
    startHeader->addWidget(lblTotalTime);

    Paneles2 = new QWidget(EndPanel);
    auto* soundBox = new QHBoxLayout(Paneles2);
    soundBox->setContentsMargins(0, 0, 0, 0);
    soundBox->setSpacing(4);
    chkboxSoundOnly = new QCheckBox(Paneles2);
    chkboxSoundOnly->setToolTip(QStringLiteral("Extract Sound Only"));
    Label12 = new QLabel(QStringLiteral("Extract Audio Only"), Paneles2);
    QFont lf = Label12->font();
    lf.setBold(true);
    Label12->setFont(lf);
    soundBox->addWidget(chkboxSoundOnly);
    soundBox->addWidget(Label12);
    endHeader->addWidget(Paneles2);

    lblClipInfo = new QLabel(upper);
    lblClipInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblClipInfo->setMinimumHeight(lblClipInfo->fontMetrics().height() + 4);
    lblClipInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    upperBox->addWidget(lblClipInfo);

    // ---- mode strip ----------------------------------------------------------------------------
    Paneles3 = new QFrame(upper);
    Paneles3->setObjectName(QStringLiteral("Paneles3"));
    Paneles3->setStyleSheet(QStringLiteral(
        "#Paneles3 { background: #262626; border: 1px solid #101010; border-radius: 3px; }"
        "#Paneles3 QLabel { color: white; }"
        "#Paneles3 QCheckBox, #Paneles3 QRadioButton { color: white; }"));
    auto* strip = new QHBoxLayout(Paneles3);
    strip->setContentsMargins(6, 4, 6, 4);
    strip->setSpacing(6);
    btnStart = new QPushButton(QStringLiteral("Start"), Paneles3);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), Paneles3);
    btnExit = new QPushButton(QStringLiteral("Exit"), Paneles3);
    for (auto* b : {btnStart, btnCancel, btnExit})
        b->setMinimumWidth(80);
    QFont sf = btnStart->font();
    sf.setBold(true);
    btnStart->setFont(sf);
    strip->addWidget(btnStart);
    strip->addWidget(btnCancel);
    strip->addSpacing(12);
    rdCutQuick = new QRadioButton(Paneles3);
    rdJoin = new QRadioButton(Paneles3);
    rdConvert = new QRadioButton(Paneles3);
    LabelCutQuick = ModeLabel(QStringLiteral("CUT"), Paneles3);
    LabelVidJoin = ModeLabel(QStringLiteral("JOIN"), Paneles3);
    LabelVidConvert = ModeLabel(QStringLiteral("CONVERT"), Paneles3);
    strip->addWidget(rdCutQuick);
    strip->addWidget(LabelCutQuick);
    strip->addSpacing(8);
    strip->addWidget(rdJoin);
    strip->addWidget(LabelVidJoin);
    strip->addSpacing(8);
    strip->addWidget(rdConvert);
    strip->addWidget(LabelVidConvert);
    strip->addSpacing(8);
    chkboxPartial = new QCheckBox(Paneles3);
    lblPartial = new QLabel(QStringLiteral("Partial"), Paneles3);
    strip->addWidget(chkboxPartial);
    strip->addWidget(lblPartial);
    chkboxExact = new QCheckBox(QStringLiteral("Exact"), Paneles3);
    chkboxExact->setToolTip(QStringLiteral(
        "Start and end on the chosen frames: re-encodes only up to the next keyframe and "
        "copies the rest"));
    strip->addWidget(chkboxExact);
    strip->addSpacing(12);
    lblStatus = new QLabel(QStringLiteral("Ready"), Paneles3);
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblStatus->setMinimumWidth(120);
    strip->addWidget(lblStatus, 1);
    GaugeMain = new QProgressBar(Paneles3);
    GaugeMain->setRange(0, 100);
    GaugeMain->setValue(0);
    GaugeMain->setFixedWidth(170);
    GaugeMain->setTextVisible(true);
    strip->addWidget(GaugeMain);
    strip->addWidget(btnExit);
    rdCutQuick->setChecked(true);
    chkboxPartial->setVisible(false);
    lblPartial->setVisible(false);
    GaugeMain->setVisible(false);
    upperBox->addWidget(Paneles3);

    // ---- convert options -----------------------------------------------------------------------
    PanelConvertOption = new QWidget(upper);
    auto* optionBox = new QVBoxLayout(PanelConvertOption);
    optionBox->setContentsMargins(0, 0, 0, 0);
    GroupBoxConvertOption =
        new QGroupBox(QStringLiteral("Convert Video Options"), PanelConvertOption);
    optionBox->addWidget(GroupBoxConvertOption);
    auto* og = new QGridLayout(GroupBoxConvertOption);
    og->setContentsMargins(8, 4, 8, 6);
    og->setHorizontalSpacing(10);
    og->setVerticalSpacing(2);

    QStringList convertTypes = {".avi", ".asf", ".flv", ".mkv", ".mpg", ".mpeg",
                                ".wmv", ".mov", ".mp4", ".m4v", ".3gp", ".webm"};
    for (const char* device :
         {"Android - Small Screen", "Android - Mid Screen", "Android - Large Screen",
          "Blackberry - Small Screen", "Blackberry - Mid Screen", "iPad - LoResolution",
          "iPad - HiResolution", "iPod - LoResolution", "iPod - HiResolution",
          "iPhone - LoResolution", "iPhone - HiResolution"})
        convertTypes << QStringLiteral("(Device) ") + QString::fromLatin1(device);
    cBoxConvertType = MakeCombo(GroupBoxConvertOption, convertTypes, true);
    comboSizeFavor =
        MakeCombo(GroupBoxConvertOption,
                  {"Fair            (Smallest Filesize)", "Average         (Smaller Filesize)",
                   "High            (Average Filesize)", "Higher          (Bigger Filesize)",
                   "Best            (Bigger Filesize)"},
                  true);
    ComboBoxFramePreset = MakeCombo(GroupBoxConvertOption,
                                    {"102x80",
                                     "112x64",
                                     "128x96",
                                     "128x128",
                                     "128x141",
                                     "128x160",
                                     "150x100",
                                     "176x220",
                                     "Same as original",
                                     "240x320",
                                     "240x400",
                                     "240x427",
                                     "320x200",
                                     "320x240",
                                     "352x288",
                                     "360x480",
                                     "480x360",
                                     "480x800",
                                     "480x854",
                                     "480x864",
                                     "640x480",
                                     "704x576",
                                     "768x432",
                                     "800x480",
                                     "800x600",
                                     "852x480",
                                     "1024x576",
                                     "1024x768",
                                     "1280x720",
                                     "1280x800",
                                     "1280x1024",
                                     "1366x768",
                                     "1408x1152",
                                     "1600x1200",
                                     "1600x1024",
                                     "1920x1080",
                                     "1920x1200",
                                     "2048x1536",
                                     "2560x1600",
                                     "2560x2048",
                                     "(Note: You can type in your ",
                                     "own Frame size using the ",
                                     "exact syntax as seen above.  ",
                                     "Use even numbers only !)"},
                                    true);
    cboxIncludeSound = MakeCombo(GroupBoxConvertOption, {"Included", "No Sound"}, true);
    const QStringList volumes = {"1 (No gain)", "2 (100% gain)", "3 (200% gain)", "4 (300% gain)"};
    cboxVolume = MakeCombo(GroupBoxConvertOption, volumes, true);
    ComboAudio =
        MakeCombo(GroupBoxConvertOption, {".aac", ".m4a", ".mp3", ".ogg", ".wma", ".wav"}, true);
    ComboExtractVol = MakeCombo(GroupBoxConvertOption, volumes, true);
    cBoxConvertType->setCurrentIndex(0);
    comboSizeFavor->setCurrentIndex(4);
    ComboBoxFramePreset->setCurrentIndex(ComboBoxFramePreset->findText("Same as original"));
    cboxIncludeSound->setCurrentIndex(0);
    cboxVolume->setCurrentIndex(0);
    ComboAudio->setCurrentIndex(ComboAudio->findText(".mp3"));
    ComboExtractVol->setCurrentIndex(0);

    auto addOption = [&](int row, int column, const QString& caption, QComboBox* box, int span) {
        auto* label = new QLabel(caption, GroupBoxConvertOption);
        og->addWidget(label, row, column, 1, span);
        og->addWidget(box, row + 1, column, 1, span);
    };
    addOption(0, 0, QStringLiteral("Video Format"), cBoxConvertType, 1);
    addOption(0, 1, QStringLiteral("Video Quality"), comboSizeFavor, 1);
    addOption(0, 2, QStringLiteral("Frame Size"), ComboBoxFramePreset, 1);
    addOption(0, 3, QStringLiteral("Sound"), cboxIncludeSound, 1);
    addOption(0, 4, QStringLiteral("Volume Boost"), cboxVolume, 1);
    auto* separator = new QLabel(
        QStringLiteral("Extract Audio Options (make sure the \"Extract Audio Only\" at Top Right "
                       "Corner is Checked)"),
        GroupBoxConvertOption);
    separator->setStyleSheet(QStringLiteral("border-top: 1px solid #5a5a5a; padding-top: 3px;"));
    og->addWidget(separator, 2, 0, 1, 5);
    addOption(3, 0, QStringLiteral("Save Audio as"), ComboAudio, 1);
    addOption(3, 1, QStringLiteral("Volume Boost"), ComboExtractVol, 1);
    og->setColumnStretch(0, 3);
    og->setColumnStretch(1, 4);
    og->setColumnStretch(2, 3);
    og->setColumnStretch(3, 2);
    og->setColumnStretch(4, 2);
    upperBox->addWidget(PanelConvertOption);

    // ---- lists ---------------------------------------------------------------------------------
    auto* listSplit = new QSplitter(Qt::Horizontal, mainSplit);
    listSplit->setChildrenCollapsible(false);
    MainPanel = new QWidget(listSplit);
    auto* mainBox = new QVBoxLayout(MainPanel);
    mainBox->setContentsMargins(0, 0, 0, 0);
    P1 = new QTabWidget(MainPanel);
    P1->setDocumentMode(true);
    mainBox->addWidget(P1);

    InputTab = new QWidget(P1);
    auto* inBox = new QVBoxLayout(InputTab);
    inBox->setContentsMargins(0, 0, 0, 0);
    LvInput = MakeListView(InputTab,
                           {QStringLiteral(" Select Video File in list, set positions then click "
                                           "Start button"),
                            "Size", "Frame size", "Duration"},
                           {300, 68, 68, 80},
                           {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft});
    inBox->addWidget(LvInput);
    P1->addTab(InputTab, QStringLiteral("Video Source"));

    InputJoinTab = new QWidget(P1);
    auto* joinBox = new QVBoxLayout(InputJoinTab);
    joinBox->setContentsMargins(0, 0, 0, 0);
    joinBox->setSpacing(2);
    LvInputJoin = MakeListView(InputJoinTab,
                               {"Title (All should have same formats, ie. codecs...)", "Size",
                                "SizeIn64", "Frame Size", "FPS", "Video - Audio - Duration", "#"},
                               {245, 68, 1, 68, 1, 200, 30},
                               {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignLeft, Qt::AlignHCenter,
                                Qt::AlignLeft, Qt::AlignLeft, Qt::AlignRight});
    LvInputJoin->header()->moveSection(col::JoinOrder, 0);
    LvInputJoin->headerItem()->setToolTip(col::JoinOrder,
                                          QStringLiteral("The order the ticked clips are joined in"));
    joinBox->addWidget(LvInputJoin, 1);
    Panel8 = new QWidget(InputJoinTab);
    auto* p8 = new QGridLayout(Panel8);
    p8->setContentsMargins(2, 0, 2, 0);
    p8->setVerticalSpacing(0);
    lblJoinSelect = new QLabel(QStringLiteral("Select Video Format Here --->"), Panel8);
    rgJoinSelection = new TRadioGroup(
        QString(), {"avi", "flv", "mkv", "asf,wmv", "mpg,mpeg", "mp4,m4v,mov", "vob,webm"}, 4,
        Panel8);
    rgJoinSelection->SetItemIndex(0);
    chkboxJoinAllCheck = new QCheckBox(QStringLiteral("Check ALL"), Panel8);
    p8->addWidget(lblJoinSelect, 0, 0);
    p8->addWidget(chkboxJoinAllCheck, 1, 0);
    p8->addWidget(rgJoinSelection, 0, 1, 2, 1);
    // Small arrow buttons: the join panel keeps its width.
    btnJoinUp = new QToolButton(Panel8);
    btnJoinDown = new QToolButton(Panel8);
    btnJoinUp->setArrowType(Qt::UpArrow);
    btnJoinDown->setArrowType(Qt::DownArrow);
    btnJoinUp->setShortcut(QKeySequence(QStringLiteral("Alt+U")));
    btnJoinDown->setShortcut(QKeySequence(QStringLiteral("Alt+D")));
    btnJoinUp->setToolTip(QStringLiteral("Move Up: join the highlighted clip earlier (Alt+U)"));
    btnJoinDown->setToolTip(QStringLiteral("Move Down: join the highlighted clip later (Alt+D)"));
    p8->addWidget(btnJoinUp, 0, 2);
    p8->addWidget(btnJoinDown, 1, 2);
    p8->setColumnStretch(1, 1);
    joinBox->addWidget(Panel8);
    P1->addTab(InputJoinTab, QStringLiteral("Join"));

    OptionTab = new QWidget(P1);
    P1->addTab(OptionTab, QStringLiteral("Options"));
    P1->setCurrentWidget(InputTab);

    lvProgress = MakeListView(
        listSplit, {"Output (DoubleClick to play once done)", "Status", "Size", "ID", "Full Path"},
        {300, 63, 64, 1, 900},
        {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft, Qt::AlignLeft});
    lvProgress->setRootIsDecorated(false);
    listSplit->addWidget(MainPanel);
    listSplit->addWidget(lvProgress);
    listSplit->setStretchFactor(0, 1);
    listSplit->setStretchFactor(1, 1);
    listSplit->setSizes({560, 510});

    // ---- diagnostics ---------------------------------------------------------------------------
    Splitter4 = new QSplitter(Qt::Horizontal, mainSplit);
    MemoCode = new QPlainTextEdit(Splitter4);
    MemoCode->setReadOnly(true);
    MemoCode->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoClipInfo = new QPlainTextEdit(Splitter4);
    MemoClipInfo->setReadOnly(true);
    MemoClipInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(8);
    MemoCode->setFont(mono);
    MemoClipInfo->setFont(mono);

    mainSplit->addWidget(upper);
    mainSplit->addWidget(listSplit);
    mainSplit->addWidget(Splitter4);
    mainSplit->setStretchFactor(0, 3);
    mainSplit->setStretchFactor(1, 1);
    mainSplit->setStretchFactor(2, 0);
    mainSplit->setSizes({480, 215, 0});

    PanelTest = new QFrame(central);
    auto* test = new QHBoxLayout(PanelTest);
    test->setContentsMargins(4, 2, 4, 2);
    chkboxNosound = new QCheckBox(QStringLiteral("Cut Nosound"), PanelTest);
    chkboxffmpegbuild = new QCheckBox(QStringLiteral("Use ffmpegbuild"), PanelTest);
    lblMessage = new QLabel(PanelTest);
    test->addWidget(chkboxNosound);
    test->addWidget(chkboxffmpegbuild);
    test->addWidget(lblMessage, 1);
    root->addWidget(PanelTest);

    // ---- popup menus ---------------------------------------------------------------------------
    PopLvInput = new QMenu(this);
    mnPlayLvInputFile = PopLvInput->addAction(QStringLiteral("Play this clip"));
    PopupProgress = new QMenu(this);
    mnClearlist = PopupProgress->addAction(QStringLiteral("Clear List"));
    PopVidStart = new QMenu(this);
    mnSaveStartFrame = PopVidStart->addAction(QString());
    PopVidEnd = new QMenu(this);
    mnSaveEndFrame = PopVidEnd->addAction(QString());

    // ---- timers --------------------------------------------------------------------------------
    StartupDoneTimer.setInterval(1000);
    LoadStartVideoTimer.setInterval(10);
    LoadEndVideoTimer.setInterval(80);
    StartPauseTimer.setInterval(300);
    EndPauseTimer.setInterval(300);
    UpdateEditTime.setInterval(200);
    UpdateTimer.setInterval(1000);
}

// Normal use hides the diagnostics; design mode keeps them visible.
void MainForm::ApplyDesignLayout() {
    if (State.DesignMode) {
        PanelConvertOption->setFixedHeight(160);
        PanelConvertOption->setVisible(true);
        MemoClipInfo->setMinimumWidth(307);
        Splitter4->setVisible(true);
        Splitter4->setMinimumHeight(90);
        PanelTest->setVisible(true);
        P1->tabBar()->setVisible(true);
        return;
    }
    Splitter4->setVisible(false);
    PanelConvertOption->setVisible(false);
    P1->tabBar()->setVisible(false);
    P1->setTabText(P1->indexOf(InputTab), QString());
    P1->setTabText(P1->indexOf(InputJoinTab), QString());
    P1->setTabVisible(P1->indexOf(OptionTab), false);
    PanelTest->setVisible(false);
}

void MainForm::ConnectHandlers() {
    connect(btnInputFolder, &QPushButton::clicked, this, [this] { btnInputFolderClick(); });
    connect(btnOutputFolder, &QPushButton::clicked, this, [this] { btnOutputFolderClick(); });
    connect(btnSelectJoinFolder, &QPushButton::clicked, this,
            [this] { btnSelectJoinFolderClick(); });
    connect(btnSaveJoinFolder, &QPushButton::clicked, this, [this] { btnSaveJoinFolderClick(); });
    connect(ComboConvert, &QComboBox::activated, this, [this] { ComboConvertSelect(); });
    connect(ComboSaveConvert, &QComboBox::activated, this, [this] { ComboSaveConvertSelect(); });
    connect(ComboJoin, &QComboBox::activated, this, [this] { ComboJoinSelect(); });
    connect(ComboSaveJoin, &QComboBox::activated, this, [this] { ComboSaveJoinSelect(); });
    connect(btnOpenInput, &QPushButton::clicked, this, [this] { btnOpenInputClick(); });
    connect(btnOpenOutput, &QPushButton::clicked, this, [this] { btnOpenOutputClick(); });
    connect(btnOpenJoinFolder, &QPushButton::clicked, this, [this] { btnOpenJoinFolderClick(); });
    connect(btnOpenSaveJoinFolder, &QPushButton::clicked, this,
            [this] { btnOpenSaveJoinFolderClick(); });

    connect(btnStart, &QPushButton::clicked, this, [this] { btnStartClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnExit, &QPushButton::clicked, this, [this] { btnExitClick(); });
    connect(rdCutQuick, &QRadioButton::clicked, this, [this] { rdCutQuickClick(); });
    connect(rdJoin, &QRadioButton::clicked, this, [this] { rdJoinClick(); });
    connect(rdConvert, &QRadioButton::clicked, this, [this] { rdConvertClick(); });
    connect(chkboxPartial, &QCheckBox::clicked, this, [this] { chkboxPartialClick(); });
    connect(chkboxExact, &QCheckBox::clicked, this, [this] { RefreshCutSummary(); });
    // By mouse or keyboard, after the box has toggled itself.
    connect(chkboxSoundOnly, &QCheckBox::clicked, this, [this] { chkboxSoundOnlyMouseUp(); });
    // A time pasted in counts like a typed one.
    for (QLineEdit* edit : {EditStartTime, EditEndTime})
        connect(edit, &QLineEdit::textEdited, this, [this] { UpdateEditTime.start(); });
    connect(chkboxffmpegbuild, &QCheckBox::clicked, this, [this] { chkboxffmpegbuildClick(); });

    for (QComboBox* box :
         {cBoxConvertType, cboxIncludeSound, ComboBoxFramePreset, comboSizeFavor, cboxVolume}) {
        connect(box, &QComboBox::activated, this, [this] { cBoxConvertTypeSelect(); });
        connect(box->lineEdit(), &QLineEdit::editingFinished, this,
                [this] { cBoxConvertTypeSelect(); });
    }
    for (QComboBox* box : {ComboAudio, ComboExtractVol})
        connect(box, &QComboBox::activated, this, [this] { ComboAudioSelect(); });

    connect(LvInput, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopLvInput->popup(LvInput->viewport()->mapToGlobal(p)); });
    connect(LvInputJoin, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        PopLvInput->popup(LvInputJoin->viewport()->mapToGlobal(p));
    });
    connect(lvProgress, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        PopupProgress->popup(lvProgress->viewport()->mapToGlobal(p));
    });
    connect(VidStartPanel, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopVidStart->popup(VidStartPanel->mapToGlobal(p)); });
    connect(VidEndPanel, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopVidEnd->popup(VidEndPanel->mapToGlobal(p)); });
    connect(mnPlayLvInputFile, &QAction::triggered, this, [this] { mnPlayLvInputFileClick(); });
    connect(mnClearlist, &QAction::triggered, this, [this] { mnClearlistClick(); });
    connect(mnSaveStartFrame, &QAction::triggered, this, [this] { SaveFrame(false); });
    connect(mnSaveEndFrame, &QAction::triggered, this, [this] { SaveFrame(true); });
    connect(lvProgress, &QTreeWidget::itemDoubleClicked, this, [this] { lvProgressDblClick(); });
    connect(chkboxJoinAllCheck, &QCheckBox::clicked, this, [this] { chkboxJoinAllCheckClick(); });
    connect(btnJoinUp, &QToolButton::clicked, this, [this] { MoveJoinRow(-1); });
    connect(btnJoinDown, &QToolButton::clicked, this, [this] { MoveJoinRow(1); });
    for (QTreeWidget* list : {LvInput, LvInputJoin}) {
        list->header()->setSectionsClickable(true);
        list->header()->setSortIndicator(0, Qt::AscendingOrder);
        list->header()->setSortIndicatorShown(true);
        connect(list->header(), &QHeaderView::sectionClicked, this,
                [this, list](int column) { ListHeaderClicked(list, column); });
    }
    KeySelectTimer.setSingleShot(true);
    KeySelectTimer.setInterval(250);
    connect(&KeySelectTimer, &QTimer::timeout, this, [this] { KeySelectTimerTimer(); });
    rgJoinSelection->OnClick = [this] { ComboJoinSelect(); };
    ThreadInfo.OnStart = [this](TBMDThread&) { ThreadInfoStart(); };
    ThreadBigFile.OnExecute = [this](TBMDThread& worker) { ThreadBigFileExecute(worker); };

    connect(&StartupDoneTimer, &QTimer::timeout, this, [this] { StartupDoneTimerTimer(); });
    connect(&LoadStartVideoTimer, &QTimer::timeout, this, [this] { LoadStartVideoTimerTimer(); });
    connect(&LoadEndVideoTimer, &QTimer::timeout, this, [this] { LoadEndVideoTimerTimer(); });
    connect(&StartPauseTimer, &QTimer::timeout, this, [this] { StartPauseTimerTimer(); });
    connect(&EndPauseTimer, &QTimer::timeout, this, [this] { EndPauseTimerTimer(); });
    connect(&UpdateTimer, &QTimer::timeout, this, [this] { UpdateTimerTimer(); });
    connect(&UpdateEditTime, &QTimer::timeout, this, [this] {
        // Waits (keeps firing) until start-up is done.
        if (!State.StartupDone) return;
        UpdateEditTime.stop();
        RefreshCutSummary();
    });

    // Mouse-level handlers go through eventFilter.
    for (QObject* o : std::initializer_list<QObject*>{
             LvInput->viewport(), LvInputJoin->viewport(), StartSlider, EndSlider, btnStartRewind,
             BtnStartFwd, btnEndRewind, btnEndFwd, lblStatus, Label12, EditStartTime, EditEndTime,
             LabelCutQuick, LabelVidJoin, LabelVidConvert, lblPartial})
        o->installEventFilter(this);

    for (QWidget* w :
         {centralWidget(), static_cast<QWidget*>(HostFolderPanel), StartPanel, EndPanel, Paneles2,
          VidStartPanel, VidEndPanel, MainPanel, static_cast<QWidget*>(P1), Paneles3,
          static_cast<QWidget*>(lblStatus), static_cast<QWidget*>(GroupBoxConvertOption), PanelTest,
          static_cast<QWidget*>(rgJoinSelection)})
        AllowWindowDrag(w);
}

} // namespace trimora
