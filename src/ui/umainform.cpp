#include "ui/umainform.h"

#include "files/crecoverykeeper.h"
#include "files/uexportfile.h"
#include "files/urecoveryfile.h"
#include "files/usaveloadfile.h"
#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "simulator/csimconfig.h"
#include "ui/ucolors.h"
#include "ui/udlgeditlistpoints.h"
#include "ui/upointtree.h"
#include "ui/uresultspage.h"
#include "ui/usamplesmenu.h"
#include "ui/uselsampledialog.h"
#include "ui/utelemetrychart.h"
#include "ui/utrackbar.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>

namespace {
constexpr int HeaderHeight = 73;
constexpr int SampleStripHeight = 22;
constexpr int SampleComboWidth = 85;
constexpr int AddDelStripHeight = 25;
constexpr int StartStopStripHeight = 32;
constexpr int PlanningPaneWidth = 229;

const QString QuestionTitle = QStringLiteral("Question?");
const QString ErrorTitle = QStringLiteral("Error");
const QString DisconnectedText = QStringLiteral("Device disconnected");
const QString NoAnswerText = QStringLiteral("Device does not answer");
constexpr int SilentTicksShown = 2;

QFont ReadoutFont() {
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(19);
    return font;
}

QLabel* MakePane(const QString& name, const QString& text, QWidget* parent) {
    auto* pane = new QLabel(text, parent);
    pane->setObjectName(name);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    pane->setAutoFillBackground(true);
    pane->setContentsMargins(4, 0, 4, 0);
    return pane;
}

// Black or white, whichever stands out more against background: the settings' colours include
// pure blue, on which black text can hardly be read.
QColor ReadableTextOn(const QColor& background) {
    auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const double luminance = 0.2126 * linear(background.redF()) + 0.7152 * linear(background.greenF()) +
                             0.0722 * linear(background.blueF());
    const double onBlack = (luminance + 0.05) / 0.05;
    const double onWhite = 1.05 / (luminance + 0.05);
    return onBlack >= onWhite ? QColor(Qt::black) : QColor(Qt::white);
}

void SetPaneColor(QLabel* pane, const QColor& color) {
    QPalette pal = pane->palette();
    pal.setColor(QPalette::Window, color);
    pal.setColor(QPalette::WindowText, ReadableTextOn(color));
    pane->setPalette(pal);
}

QColor ButtonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// Whether name ends in an extension of its own (a dot in the file name part).
bool HasExtension(const QString& name) {
    return !QFileInfo(name).suffix().isEmpty();
}
} // namespace

TMainForm::TMainForm(GlobalValue& global, CQm4750Device& device, CAcquisitionLoop& loop,
                     TSimulatorControl simulator, QWidget* parent)
    : QMainWindow(parent), m_global(global), m_device(device), m_logic(*global.ProgrammLogic), m_loop(loop),
      m_sim(std::move(simulator)) {
    Q_INIT_RESOURCE(uiresources);
    m_fileFolder = QDir::currentPath();
    setObjectName(QStringLiteral("MainForm"));
    connect(&m_timer, &QTimer::timeout, this, &TMainForm::Tick);

    BuildLayout();
    BuildMenus();

    // Start-up in the established order.
    setWindowTitle(QStringLiteral("QM4750 Application"));
    BuildPortMenu();
    ShowRecord(_sTelemetry{});
    // (The run flag and the cached sequencer position live in the acquisition loop.)
    for (int i = 0; i < m_global.SampleCount; ++i)
        RzComboBoxSample->addItem(QString::asprintf("Sample # %d", i));
    RzComboBoxSample->setCurrentIndex(0);
    RzBitBtnTrefAdd->setText(QStringLiteral("Add"));
    RzBitBtnTrefDel->setText(QStringLiteral("Del"));
    RzBitBtnStart->setText(QStringLiteral("Start"));
    RzBitBtnStop->setText(QStringLiteral("Stop"));
    InitTrackBars();
    RebuildTree();
    SetButtonStates();

    resize(870, 640);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TMainForm::~TMainForm() = default;

// ---------------------------------------------------------------------------------------------
// Layout

void TMainForm::BuildLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(BuildHeader());

    m_splitter = new QSplitter(Qt::Horizontal, central);
    m_splitter->setObjectName(QStringLiteral("RzSplitter1"));
    m_splitter->addWidget(BuildPlanningPane());

    m_pages = new QTabWidget(m_splitter);
    m_pages->setObjectName(QStringLiteral("RzPageControl1"));
    m_pages->setTabPosition(QTabWidget::South);
    m_chart = new TTelemetryChart(m_global.TRange.Tmin, m_global.TRange.Tmax, m_global.sChart.iVisiblePoints,
                                  m_global.sChart.iInVisiblePoints, m_pages);
    m_chart->setObjectName(QStringLiteral("Chart1"));
    m_pages->addTab(m_chart, QStringLiteral("Telemetry"));
    m_results = new TResultsPage(m_global, m_pages);
    m_results->setObjectName(QStringLiteral("TabSheetResults"));
    m_pages->addTab(m_results, QStringLiteral("Results"));
    connect(m_pages, &QTabWidget::currentChanged, this, &TMainForm::OnPageChanged);

    m_splitter->addWidget(m_pages);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({PlanningPaneWidth, 870 - PlanningPaneWidth});
    column->addWidget(m_splitter, 1);
    setCentralWidget(central);

    BuildStatusBar();
}

QWidget* TMainForm::BuildHeader() {
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("RzPanelHeader"));
    m_header->setFixedHeight(HeaderHeight);
    m_header->installEventFilter(this);

    auto makeLabel = [this](const char* name, bool large) {
        auto* label = new QLabel(m_header);
        label->setObjectName(QLatin1String(name));
        label->setAlignment(Qt::AlignCenter);
        if (large)
            label->setFont(ReadoutFont());
        return label;
    };
    RzLabel1 = makeLabel("RzLabel1", true);
    RzLabel1->setFrameShape(QFrame::Panel);
    RzLabel1->setFrameShadow(QFrame::Sunken);
    RzLabel1->installEventFilter(this);
    RzLabel2 = makeLabel("RzLabel2", false);
    RzLabel3 = makeLabel("RzLabel3", true);
    RzLabel4 = makeLabel("RzLabel4", true);
    RzLabel5 = makeLabel("RzLabel5", true);
    RzLabel6 = makeLabel("RzLabel6", true);
    for (QLabel* label : {RzLabel3, RzLabel4, RzLabel5, RzLabel6}) {
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
    }

    RzComboBoxSample = new QComboBox(m_header);
    RzComboBoxSample->setObjectName(QStringLiteral("RzComboBoxSample"));
    RzComboBoxSample->setEditable(false);
    connect(RzComboBoxSample, &QComboBox::activated, this, &TMainForm::OnSampleChosen);

    // The set-point entry lies over RzLabel1 while it is shown.
    m_setPointEdit = new QDoubleSpinBox(m_header);
    m_setPointEdit->setObjectName(QStringLiteral("RzNumericEditSetPoint"));
    m_setPointEdit->setFont(RzLabel1->font());
    m_setPointEdit->setRange(m_global.TRange.Tmin, m_global.TRange.Tmax);
    m_setPointEdit->setDecimals(2);
    m_setPointEdit->setAlignment(Qt::AlignCenter);
    m_setPointEdit->installEventFilter(this);
    m_setPointEdit->hide();
    return m_header;
}

QWidget* TMainForm::BuildPlanningPane() {
    m_pane = new QWidget(this);
    m_pane->setObjectName(QStringLiteral("RzPanelPlanning"));
    m_pane->setMinimumWidth(150);
    m_pane->installEventFilter(this);
    auto* column = new QVBoxLayout(m_pane);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);

    auto* group = new QGroupBox(QStringLiteral(" The mode of temperature setting"), m_pane);
    group->setObjectName(QStringLiteral("RzRadioGroup1"));
    auto* groupRow = new QHBoxLayout(group);
    groupRow->setContentsMargins(6, 2, 6, 2);
    m_modeGroup = new QButtonGroup(group);
    const char* items[] = {"Single", "Range"};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(QLatin1String(items[i]), group);
        radio->setObjectName(QStringLiteral("RzRadioGroup1Item%1").arg(i));
        m_modeGroup->addButton(radio, i);
        groupRow->addWidget(radio, 1);
    }
    m_modeGroup->button(0)->setChecked(true);
    connect(m_modeGroup, &QButtonGroup::idClicked, this, &TMainForm::OnModeChanged);
    column->addWidget(group);

    RzPanel_Single = new QWidget(m_pane);
    RzPanel_Single->setObjectName(QStringLiteral("RzPanel_Single"));
    auto* single = new QVBoxLayout(RzPanel_Single);
    single->setContentsMargins(0, 0, 0, 0);
    auto* label7 = new QLabel(QStringLiteral("Referense Temperature, K"), RzPanel_Single);
    label7->setObjectName(QStringLiteral("RzLabel7"));
    single->addWidget(label7);
    RzNumericEdit_Tref = new QDoubleSpinBox(RzPanel_Single);
    RzNumericEdit_Tref->setObjectName(QStringLiteral("RzNumericEdit_Tref"));
    RzNumericEdit_Tref->setRange(m_global.TRange.Tmin, m_global.TRange.Tmax);
    RzNumericEdit_Tref->setDecimals(2);
    RzNumericEdit_Tref->setGroupSeparatorShown(true);
    single->addWidget(RzNumericEdit_Tref);
    column->addWidget(RzPanel_Single);

    RzPanel_Range = new QWidget(m_pane);
    RzPanel_Range->setObjectName(QStringLiteral("RzPanel_Range"));
    auto* range = new QVBoxLayout(RzPanel_Range);
    range->setContentsMargins(0, 0, 0, 0);
    range->setSpacing(1);
    auto addBar = [&](const char* labelName, const char* barName, QLabel*& label, TTrackBar*& bar) {
        label = new QLabel(RzPanel_Range);
        label->setObjectName(QLatin1String(labelName));
        // The texts are wider than the pane's usual width.
        label->setWordWrap(true);
        bar = new TTrackBar(RzPanel_Range);
        bar->setObjectName(QLatin1String(barName));
        range->addWidget(label);
        range->addWidget(bar);
    };
    addBar("RzLabel_TStart", "RzTrackBar_TStart", RzLabel_TStart, RzTrackBar_TStart);
    addBar("RzLabel_TEnd", "RzTrackBar_TEnd", RzLabel_TEnd, RzTrackBar_TEnd);
    addBar("RzLabel_TStep", "RzTrackBar_TStep", RzLabel_TStep, RzTrackBar_TStep);
    RzPanel_Range->hide();
    column->addWidget(RzPanel_Range);

    // Add and Del split their strip by hand (LayoutButtonStrips): Add the right half, Del the rest.
    m_addDelStrip = new QWidget(m_pane);
    m_addDelStrip->setObjectName(QStringLiteral("RzPanelAddDel"));
    m_addDelStrip->setFixedHeight(AddDelStripHeight);
    m_addDelStrip->installEventFilter(this);
    RzBitBtnTrefDel = new QPushButton(m_addDelStrip);
    RzBitBtnTrefDel->setObjectName(QStringLiteral("RzBitBtnTrefDel"));
    RzBitBtnTrefAdd = new QPushButton(m_addDelStrip);
    RzBitBtnTrefAdd->setObjectName(QStringLiteral("RzBitBtnTrefAdd"));
    connect(RzBitBtnTrefAdd, &QPushButton::clicked, this, &TMainForm::OnAddClicked);
    connect(RzBitBtnTrefDel, &QPushButton::clicked, this, &TMainForm::OnDelClicked);
    column->addWidget(m_addDelStrip);

    m_tree = new TPointTree(
        m_global,
        [this] {
            return std::pair<int, int>{m_logic.GetTemperatureIndex(), m_logic.GetSampleIndex()};
        },
        m_pane);
    connect(m_tree, &TPointTree::DeleteRequested, this, &TMainForm::OnDelClicked);
    column->addWidget(m_tree, 1);

    RzLabel_TreeView = new QLabel(m_pane);
    RzLabel_TreeView->setObjectName(QStringLiteral("RzLabel_TreeView"));
    column->addWidget(RzLabel_TreeView);

    m_startStopStrip = new QWidget(m_pane);
    m_startStopStrip->setObjectName(QStringLiteral("RzPanelStartStop"));
    m_startStopStrip->setFixedHeight(StartStopStripHeight);
    m_startStopStrip->installEventFilter(this);
    RzBitBtnStop = new QPushButton(m_startStopStrip);
    RzBitBtnStop->setObjectName(QStringLiteral("RzBitBtnStop"));
    RzBitBtnStart = new QPushButton(m_startStopStrip);
    RzBitBtnStart->setObjectName(QStringLiteral("RzBitBtnStart"));
    // A disabled button ignores its key, so F5 cannot start a second run.
    RzBitBtnStart->setShortcut(QKeySequence(Qt::Key_F5));
    RzBitBtnStart->setToolTip(QStringLiteral("Start the measurement (F5)"));
    RzBitBtnStop->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    RzBitBtnStop->setToolTip(QStringLiteral("Stop the measurement (Shift+F5)"));
    connect(RzBitBtnStart, &QPushButton::clicked, this, &TMainForm::OnStartClicked);
    connect(RzBitBtnStop, &QPushButton::clicked, this, &TMainForm::OnStopClicked);
    column->addWidget(m_startStopStrip);
    return m_pane;
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("RzStatusBar1"));
    bar->setSizeGripEnabled(true);
    RzStatusPane1 = MakePane(QStringLiteral("RzStatusPane1"), DisconnectedText, bar);
    RzStatusPane1->setFixedWidth(233);
    RzStatusPane2 = MakePane(QStringLiteral("RzStatusPane2"), QStringLiteral("VACUUM"), bar);
    RzStatusPane2->setFixedWidth(95);
    RzStatusPid1 = MakePane(QStringLiteral("RzStatusPid1"), QStringLiteral("IDLE"), bar);
    RzStatusPid2 = MakePane(QStringLiteral("RzStatusPid2"), QStringLiteral("IDLE"), bar);
    RzStatusPid1->setAlignment(Qt::AlignCenter);
    RzStatusPid2->setAlignment(Qt::AlignCenter);
    RzStatusDAC = MakePane(QStringLiteral("RzStatusDAC"), QStringLiteral("DAC"), bar);
    RzStatusADC = MakePane(QStringLiteral("RzStatusADC"), QStringLiteral("ADC"), bar);
    RzStatusDataRate = MakePane(QStringLiteral("RzStatusDataRate"), QString(), bar);
    for (QLabel* pane : {RzStatusPane1, RzStatusPane2, RzStatusPid1, RzStatusPid2, RzStatusDAC, RzStatusADC,
                         RzStatusDataRate})
        bar->addWidget(pane);
    auto* filler = MakePane(QStringLiteral("RzStatusFiller"), QString(), bar);
    bar->addWidget(filler, 1);
}

void TMainForm::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MenuFile"));
    // The usual keys, so that operators need not reach for the mouse. Save As and Exit are spelled
    // out: some platforms define no standard key for them.
    auto addFileAction = [file](const QString& text, QKeySequence keys, const char* name, auto slot) {
        QAction* action = file->addAction(text, slot);
        action->setShortcut(keys);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    addFileAction(QStringLiteral("&New"), QKeySequence::New, "New1", [this] { FileNew(); });
    addFileAction(QStringLiteral("&Open..."), QKeySequence::Open, "Open1", [this] { FileOpen(); });
    addFileAction(QStringLiteral("&Save"), QKeySequence::Save, "Save1", [this] { FileSave(1); });
    addFileAction(QStringLiteral("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), "SaveAs1",
                  [this] { FileSave(2); });
    file->addSeparator();
    // There is no printing: the entries stay for the operators who know the menu, greyed out.
    file->addAction(QStringLiteral("&Print..."))->setEnabled(false);
    file->addAction(QStringLiteral("P&rint Setup..."))->setEnabled(false);
    file->addSeparator();
    addFileAction(QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), "Exit1", [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("MenuEdit"));
    edit->addAction(QStringLiteral("Temperature points"), this, &TMainForm::OnEditPoints)
        ->setObjectName(QStringLiteral("TemperaturePoints1"));
    edit->addSeparator();
    m_samplesMenu = edit->addMenu(QStringLiteral("Samples"));
    m_samplesMenu->setObjectName(QStringLiteral("Samples1"));
    InstallSamplesMenu(m_samplesMenu, m_global, this, [this] { SamplesChanged(); });

    QMenu* device = menuBar()->addMenu(QStringLiteral("&Device"));
    device->setObjectName(QStringLiteral("MenuDevice"));
    m_portMenu = device->addMenu(QStringLiteral("Available &Ports"));
    m_portMenu->setObjectName(QStringLiteral("AvailablePorts1"));
    m_portGroup = new QActionGroup(this);
    m_portGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);

    if (m_sim.SetSpeed) {
        device->addSeparator();
        m_speedMenu = device->addMenu(QStringLiteral("Simulator &speed"));
        m_speedMenu->setObjectName(QStringLiteral("SimulatorSpeed1"));
        m_speedGroup = new QActionGroup(this);
        const double current = m_sim.GetSpeed ? m_sim.GetSpeed() : 1.0;
        for (int factor : {1, 10, 60}) {
            QAction* action = m_speedMenu->addAction(QStringLiteral("x%1").arg(factor));
            action->setCheckable(true);
            action->setData(factor);
            action->setChecked(std::abs(current - factor) < 1e-9);
            m_speedGroup->addAction(action);
        }
        connect(m_speedGroup, &QActionGroup::triggered, this, &TMainForm::OnSpeedChosen);
    }
    if (m_sim.GetConfig) {
        device->addAction(QStringLiteral("Copy simulator &samples"), this, &TMainForm::OnCopySimulatorSamples)
            ->setObjectName(QStringLiteral("CopySimulatorSamples1"));
    }
}

void TMainForm::InitTrackBars() {
    const int tMin = static_cast<int>(m_global.TRange.Tmin);
    const int tMax = static_cast<int>(m_global.TRange.Tmax);
    RzTrackBar_TStart->SetEndLabels(true);
    RzTrackBar_TEnd->SetEndLabels(true);
    RzTrackBar_TStart->setRange(tMin, tMax);
    RzTrackBar_TStart->setValue(tMin);
    RzTrackBar_TEnd->setRange(RzTrackBar_TStart->value(), tMax);
    RzTrackBar_TEnd->setValue(RzTrackBar_TEnd->maximum());
    // A step below 1 would never end the range loop of Add.
    const int stepMin = std::max(1, m_global.sTrackBar.TStepMin);
    RzTrackBar_TStep->setRange(stepMin, std::max(stepMin, m_global.sTrackBar.TStepMax));
    RzTrackBar_TStep->setValue(10);
    connect(RzTrackBar_TStart, &QSlider::valueChanged, this, &TMainForm::OnStartBarChanged);
    connect(RzTrackBar_TEnd, &QSlider::valueChanged, this, &TMainForm::OnEndBarChanged);
    connect(RzTrackBar_TStep, &QSlider::valueChanged, this, &TMainForm::OnStepBarChanged);
    // The labels show the initial values; the bars' coupled limits are already as set above.
    OnStartBarChanged(RzTrackBar_TStart->value());
    OnEndBarChanged(RzTrackBar_TEnd->value());
    OnStepBarChanged(RzTrackBar_TStep->value());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_header && event->type() == QEvent::Resize) {
        LayoutHeader();
    } else if ((watched == m_addDelStrip || watched == m_startStopStrip) && event->type() == QEvent::Resize) {
        LayoutButtonStrips();
    } else if (watched == RzLabel1 && event->type() == QEvent::MouseButtonDblClick) {
        m_setPointEdit->setGeometry(RzLabel1->geometry());
        m_setPointEdit->show();
        m_setPointEdit->raise();
        m_setPointEdit->setFocus();
        m_setPointEdit->selectAll();
        return true;
    } else if (watched == m_setPointEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnSetPointEntered();
            return true;
        }
        if (key == Qt::Key_Escape) {
            m_setPointEdit->hide();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::LayoutHeader() {
    const int w = m_header->width();
    const int label1Width = w * 20 / 100;
    RzLabel1->setGeometry(0, 0, label1Width, HeaderHeight);
    const int rowLeft = label1Width;
    const int rowWidth = w - label1Width;
    // At least wide enough to show its entry's number beside the style's arrow.
    const int comboWidth = std::max(SampleComboWidth, RzComboBoxSample->sizeHint().width());
    RzLabel2->setGeometry(rowLeft, 0, std::max(0, rowWidth - comboWidth), SampleStripHeight);
    RzComboBoxSample->setGeometry(rowLeft + rowWidth - comboWidth, 0, comboWidth, SampleStripHeight);
    const int quarter = rowWidth / 4;
    int x = rowLeft;
    for (QLabel* label : {RzLabel3, RzLabel4, RzLabel5, RzLabel6}) {
        label->setGeometry(x, SampleStripHeight, quarter, HeaderHeight - SampleStripHeight);
        x += quarter;
    }
    if (m_setPointEdit->isVisible())
        m_setPointEdit->setGeometry(RzLabel1->geometry());
}

void TMainForm::LayoutButtonStrips() {
    // Start and Add take half of their strip (rounded down) on the right, Stop and Del the rest.
    const int w1 = m_startStopStrip->width();
    const int h1 = m_startStopStrip->height();
    RzBitBtnStop->setGeometry(0, 0, w1 - w1 / 2, h1);
    RzBitBtnStart->setGeometry(w1 - w1 / 2, 0, w1 / 2, h1);
    const int w2 = m_addDelStrip->width();
    const int h2 = m_addDelStrip->height();
    RzBitBtnTrefDel->setGeometry(0, 0, w2 - w2 / 2, h2);
    RzBitBtnTrefAdd->setGeometry(w2 - w2 / 2, 0, w2 / 2, h2);
}

// ---------------------------------------------------------------------------------------------
// Operator dialogue

QMessageBox::StandardButton TMainForm::Ask(const QString& text) {
    QMessageBox box(QMessageBox::Question, QuestionTitle, text, QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("QuestionBox"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TMainForm::ShowError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, ErrorTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

bool TMainForm::MayDropUnsaved(const QString& question) {
    return m_global.bMeasureSaved || Ask(question) == QMessageBox::Yes;
}

bool TMainForm::RefuseWhileRunning() {
    if (!m_logic.IsRunning())
        return false;
    ShowError(QStringLiteral("The measuring process is running.\nStop it first."));
    return true;
}

void TMainForm::ShowSettingsWarnings() {
    if (m_global.Warnings.empty())
        return;
    QStringList lines;
    for (const std::string& warning : m_global.Warnings)
        lines << QString::fromStdString(warning);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    QStringLiteral("Some values of the settings file %1 could not be used:")
                        .arg(QString::fromStdString(m_global.IniPath().string())),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("SettingsWarningBox"));
    box.setInformativeText(lines.join(QLatin1Char('\n')));
    box.exec();
}

// ---------------------------------------------------------------------------------------------
// Connection

void TMainForm::BuildPortMenu() {
    for (QAction* action : m_portGroup->actions())
        m_portGroup->removeAction(action);
    m_portMenu->clear();
    CFrameLink& link = m_device.GetLink();
    std::int32_t count = -1;
    link.GetIntrCount(count);
    if (count != -1) {
        for (std::int32_t i = 0; i < count; ++i) {
            char text[CFrameLink::kDescriptionSize] = {};
            link.GetIntrDescription(i, text);
            text[CFrameLink::kDescriptionSize - 1] = '\0';
            QAction* action =
                m_portMenu->addAction(QStringLiteral("%1. %2").arg(i + 1).arg(QString::fromUtf8(text)));
            action->setObjectName(QStringLiteral("Port%1").arg(i));
            action->setCheckable(true);
            action->setData(int(i));
            m_portGroup->addAction(action);
            connect(action, &QAction::triggered, this, [this, action] { OnPortClicked(action); });
        }
        m_portMenu->addSeparator();
    }
    // The mark belongs to the open port; a port that vanished from the list leaves no mark.
    if (m_markedPort >= count)
        m_markedPort = -1;
    ApplyPortMarks();
    QAction* refresh = m_portMenu->addAction(QStringLiteral("&Refresh"), this, &TMainForm::BuildPortMenu);
    refresh->setObjectName(QStringLiteral("PortRefresh"));
}

void TMainForm::ApplyPortMarks() {
    for (QAction* action : m_portGroup->actions())
        action->setChecked(action->data().toInt() == m_markedPort);
}

void TMainForm::OnPortClicked(QAction* action) {
    // Qt has already toggled the entry; the marks follow our own state instead.
    ApplyPortMarks();
    const int port = action->data().toInt();
    if (m_device.IsOpen()) {
        if (Ask(QStringLiteral("Do you want to disconnect from device?")) != QMessageBox::Yes)
            return;
        if (!DisconnectDevice())
            return;
    }
    m_markedPort = m_markedPort == port ? -1 : port;
    ApplyPortMarks();
    if (m_markedPort == port && !ConnectDevice(port))
        ShowError(QStringLiteral("Cannot connected to selected device."));
    SetButtonStates();
}

bool TMainForm::ConnectDevice(int port) {
    if (!m_device.Open(port))
        return false;
    m_device.SendConnect(1);
    if (m_logic.IsRunning()) {
        // A run suspended by a disconnection: the disconnection put the instrument to rest (current
        // off, set points 300 K), so the point being measured would be averaged at the wrong
        // temperature and current. Starting again takes up the first unfinished point from its
        // beginning and sends its sample, current and set point anew; finished points stay.
        m_logic.Stop();
        m_logic.Start();
    }
    m_timer.start(TimerInterval());
    return true;
}

int TMainForm::TimerInterval() const {
    const int period = std::max(1, m_global.Timer1000TimeOut);
    if (m_sim.IsActive && m_sim.GetSpeed && m_sim.IsActive()) {
        const double speed = m_sim.GetSpeed();
        if (speed > 1.0)
            return std::max(1, static_cast<int>(period / speed));
    }
    return period;
}

bool TMainForm::DisconnectDevice() {
    if (!m_device.IsOpen())
        return true;
    m_device.SetMode(0);
    m_device.SetPid(0, 300.0f, 2.0f);
    m_device.SetPid(1, 300.0f, 2.0f);
    const bool closed = m_device.Close();
    if (closed)
        m_timer.stop();
    RzStatusPane1->setText(DisconnectedText);
    return closed;
}

// ---------------------------------------------------------------------------------------------
// Acquisition

void TMainForm::Tick() {
    const _sTickResult tick = m_loop.Tick();
    if (m_recovery)
        m_recovery->AfterTick(tick);
    if (!tick.bStateRead && m_device.IsOpen()) {
        if (++m_silentTicks >= SilentTicksShown)
            RzStatusPane1->setText(NoAnswerText);
    } else {
        m_silentTicks = 0;
    }
    if (!tick.bRecordRead)
        return;
    ShowRecord(tick.Record);
    m_chart->Append(tick.Record.T1, tick.Record.T2);
    if (tick.bRunStarted || tick.bPositionChanged || tick.bRunEnded)
        RepaintTree();
    if (tick.bRunEnded)
        SetButtonStates();
    // A change of mode, sample or temperature is where averages were stored.
    if (tick.bPositionChanged || tick.bRunEnded)
        m_results->OnStoreChanged();
}

void TMainForm::ShowRecord(const _sTelemetry& record) {
    RzLabel1->setText(QString::asprintf("Tamb, K = %1.2f", double(record.Pid[0].T)));
    RzLabel3->setText(QString::asprintf("T%d, K = %1.2f", 1, double(record.T1)));
    RzLabel4->setText(QString::asprintf("T%d, K = %1.2f", 2, double(record.T2)));
    RzLabel5->setText(QString::asprintf("V, uV = %1.1f", double(record.U)));
    RzLabel6->setText(QString::asprintf("I, mA = %1.1f", double(record.I)));
    RzLabel2->setText(QString::asprintf("Current sample selected #%d", record.StatusB & STATUSB_SAMPLE_MASK));
    RzStatusPane1->setText(m_device.IsOpen() ? QStringLiteral("Device connected") : DisconnectedText);
    RzStatusPane2->setText((record.StatusB & STATUSB_NO_VACUUM) ? QStringLiteral("NO VACUUM")
                                                                : QStringLiteral("VACUUM"));
    SetPaneColor(RzStatusDAC, (record.StatusB & STATUSB_DAC) ? QColor(Qt::red) : ButtonFace());
    SetPaneColor(RzStatusADC, (record.StatusB & STATUSB_ADC) ? QColor(Qt::red) : ButtonFace());
    RzStatusDataRate->setText(QString::asprintf("Data Rate = %1.2f PPS", m_global.DataRate));
    QLabel* pidPanes[2] = {RzStatusPid1, RzStatusPid2};
    for (int k = 0; k < 2; ++k) {
        const _sPidState& pid = record.Pid[k];
        if (pid.Flags & PID_ACTIVE) {
            SetPaneColor(pidPanes[k], ColorFromSetting((pid.Flags & PID_HEAT) ? m_global.sPID.ColorHeat
                                                                              : m_global.sPID.ColorCool));
            QString text = QString::asprintf("T%d, K = %1.2f", k + 1, double(pid.T));
            if (pid.Flags & PID_PLUS)
                text += QStringLiteral("(+)");
            if (pid.Flags & PID_MINUS)
                text += QStringLiteral("(-)");
            pidPanes[k]->setText(text);
        } else {
            SetPaneColor(pidPanes[k], ColorFromSetting(m_global.sPID.ColorIdle));
            pidPanes[k]->setText(QStringLiteral("IDLE"));
        }
    }
}

void TMainForm::SetButtonStates() {
    const bool open = m_device.IsOpen();
    const bool running = m_logic.IsRunning();
    RzComboBoxSample->setEnabled(open && !running);
    RzBitBtnStart->setEnabled(open && !running);
    RzBitBtnStop->setEnabled(open && running);
}

void TMainForm::OnStartClicked() {
    m_logic.Start();
    SetButtonStates();
}

void TMainForm::OnStopClicked() {
    if (Ask(QStringLiteral("Do you want to stop measuring process?")) == QMessageBox::Yes)
        m_logic.Stop();
}

void TMainForm::OnSampleChosen(int index) {
    if (index >= 0)
        m_device.SelectSample(static_cast<std::uint8_t>(index));
}

void TMainForm::OnSetPointEntered() {
    m_setPointEdit->interpretText();
    m_device.SetTemperature(static_cast<float>(m_setPointEdit->value()));
    m_setPointEdit->hide();
}

// ---------------------------------------------------------------------------------------------
// Planning pane

void TMainForm::RebuildTree() {
    m_tree->Rebuild();
    RzLabel_TreeView->setText(
        QString::asprintf("Summary points count = %d", int(m_global.MeasureData.GetTemperatureCount())));
}

void TMainForm::RepaintTree() {
    m_tree->Repaint();
}

void TMainForm::OnModeChanged(int mode) {
    RzPanel_Single->setVisible(mode == 0);
    RzPanel_Range->setVisible(mode == 1);
}

void TMainForm::OnStartBarChanged(int p) {
    if (RzTrackBar_TEnd->value() < p)
        RzTrackBar_TEnd->setValue(p);
    RzTrackBar_TEnd->setMinimum(p);
    RzLabel_TStart->setText(QString::asprintf("Started reference temperature, K = %d", p));
}

void TMainForm::OnEndBarChanged(int p) {
    if (p < RzTrackBar_TStart->value())
        RzTrackBar_TStart->setValue(p);
    RzTrackBar_TStart->setMaximum(p);
    RzLabel_TEnd->setText(QString::asprintf("Ended reference temperature, K = %d", p));
}

void TMainForm::OnStepBarChanged(int p) {
    RzLabel_TStep->setText(QString::asprintf("Temperature step = %d", p));
}

void TMainForm::AddTemperature(double tref) {
    CMeasrueData& store = m_global.MeasureData;
    store.AddTemperature(tref);
    for (const auto& sample : m_global.Samples)
        store.AddPoint(sample.get());
    m_global.bMeasureSaved = false;
}

void TMainForm::OnAddClicked() {
    if (m_modeGroup->checkedId() == 0) {
        RzNumericEdit_Tref->interpretText();
        const double v = RzNumericEdit_Tref->value();
        if (v < m_global.TRange.Tmin || v > m_global.TRange.Tmax)
            return;
        AddTemperature(v);
    } else {
        const int step = RzTrackBar_TStep->value();
        if (step < 1)
            return;
        for (int t = RzTrackBar_TStart->value(); t <= RzTrackBar_TEnd->value(); t += step)
            AddTemperature(t);
    }
    StoreChanged();
    MeasureChanged();
}

void TMainForm::OnDelClicked() {
    const int t = m_tree->SelectedTemperature();
    if (t < 0)
        return;
    if (RefuseWhileRunning())
        return;
    const CMeasrueData& store = m_global.MeasureData;
    bool anyComplete = false;
    for (std::size_t j = 0; j < store.GetPointCount(std::size_t(t)); ++j)
        anyComplete = anyComplete || store.GetPoint(std::size_t(t), j).IsComplete();
    if (anyComplete && Ask(QString::asprintf("Do you want to delete T%d = %1.2f point?", t,
                                             store.GetTref(std::size_t(t)))) != QMessageBox::Yes)
        return;
    // The question pumps events: a run may have been started meanwhile.
    if (RefuseWhileRunning())
        return;
    m_global.MeasureData.DeleteTemperature(std::size_t(t));
    StoreChanged();
    MeasureChanged();
}

// ---------------------------------------------------------------------------------------------
// Pages, Edit and Device menus

void TMainForm::OnPageChanged(int index) {
    if (m_pages->widget(index) == m_results)
        m_results->OnPageShown();
}

void TMainForm::StoreChanged() {
    RebuildTree();
    m_results->OnStoreChanged();
}

void TMainForm::SamplesChanged() {
    RepaintTree();
    m_results->OnStoreChanged();
    MeasureChanged();
}

void TMainForm::MeasureChanged() {
    if (m_recovery)
        m_recovery->MeasureChanged();
}

void TMainForm::MeasureSaved() {
    m_global.bMeasureSaved = true;
    if (m_recovery)
        m_recovery->Discard();
}

void TMainForm::EnableRecovery(const std::filesystem::path& file) {
    m_recovery = std::make_unique<CRecoveryKeeper>(m_global, file, kfRecoveryCopy, true);
}

bool TMainForm::OfferRecovery() {
    if (!m_recovery)
        return false;
    const std::filesystem::path& file = m_recovery->File();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return false;
    const bool restore =
        Ask(QStringLiteral(
            "A measurement of an earlier session was not saved.\nDo you want to restore it?")) ==
        QMessageBox::Yes;
    if (restore) {
        const FileResult result = LoadRecoveryFile(file, m_global.MeasureData, m_global.Samples);
        if (result) {
            // Restored, not saved: the copy stays until the operator saves.
            m_global.bMeasureSaved = false;
            StoreChanged();
            return true;
        }
        ShowError(QString::fromStdString(result.Message));
    }
    // Declined or damaged: kept under its time stamp, out of the way of the next copy.
    std::filesystem::path aside;
    const FileResult moved = SetRecoveryFileAside(file, std::chrono::system_clock::now(), aside);
    if (!moved)
        ShowError(QString::fromStdString(moved.Message));
    return false;
}

void TMainForm::OnEditPoints() {
    // The recovery copy follows every committed value, not only the closing of the table.
    ExecDlgEditListPoints(this, m_global, [this] { MeasureChanged(); });
    RepaintTree();
    m_results->OnStoreChanged();
}

void TMainForm::OnSpeedChosen(QAction* action) {
    if (!m_sim.SetSpeed)
        return;
    m_sim.SetSpeed(action->data().toDouble());
    // Records come that much faster from the simulator; the waits of a run are counted in records.
    if (m_timer.isActive())
        m_timer.setInterval(TimerInterval());
}

void TMainForm::OnCopySimulatorSamples() {
    if (!m_sim.GetConfig)
        return;
    const _sSimConfig config = m_sim.GetConfig();
    const std::size_t n = std::min(config.Samples.size(), m_global.Samples.size());
    for (std::size_t i = 0; i < n; ++i) {
        CSample& sample = *m_global.Samples[i];
        const CSample before = sample;
        ApplySimSample(config.Samples[i], static_cast<std::int32_t>(i), sample);
        // The descriptions are part of the measurement file: a saved measurement is saved no more.
        if (SavedDescriptionDiffers(before, sample))
            m_global.bMeasureSaved = false;
    }
    SamplesChanged();
}

// ---------------------------------------------------------------------------------------------
// File menu

void TMainForm::FileNew() {
    if (RefuseWhileRunning())
        return;
    if (!MayDropUnsaved(QStringLiteral("Current measure not saved.\nDo you want to start new one?")))
        return;
    if (RefuseWhileRunning())
        return;
    m_global.MeasureData.ClearAll();
    // An empty store holds nothing to lose.
    MeasureSaved();
    StoreChanged();
}

void TMainForm::FileOpen() {
    if (RefuseWhileRunning())
        return;
    if (!MayDropUnsaved(QStringLiteral("Current measure not saved.\nDo you want to continue?")))
        return;

    QFileDialog dialog(this, QString(), QString(), QStringLiteral("QM4750 binary file (*.q47)"));
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(m_fileFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    // The dialog pumps events: a run may have been started meanwhile.
    if (RefuseWhileRunning())
        return;
    const QString name = dialog.selectedFiles().constFirst();
    m_fileFolder = QFileInfo(name).absolutePath();
    const FileResult result = LoadMeasureFile(name.toStdString(), m_global);
    if (!result) {
        ShowError(QString::fromStdString(result.Message));
        return;
    }
    // What is in memory now is exactly what is on disk.
    MeasureSaved();
    StoreChanged();
}

void TMainForm::FileSave(int filterIndex) {
    const QStringList filters = {QStringLiteral("QM4750 Binary file (*.q47)"),
                                 QStringLiteral("QM4750 Text file (*.txt)")};
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(m_fileFolder);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(filterIndex == 2 ? 1 : 0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString name = dialog.selectedFiles().constFirst();
    m_fileFolder = QFileInfo(name).absolutePath();
    const bool binary = dialog.selectedNameFilter() != filters[1];
    if (!HasExtension(name))
        name += binary ? QStringLiteral(".q47") : QStringLiteral(".txt");

    if (binary) {
        const FileResult result = SaveMeasureFile(name.toStdString(), m_global);
        if (!result) {
            ShowError(QString::fromStdString(result.Message));
            return;
        }
        MeasureSaved();
    } else {
        // The export cannot be opened again, so the measurement itself stays unsaved.
        const FileResult result = ExportResultFile(name.toStdString(), m_global.MeasureData);
        if (!result)
            ShowError(QString::fromStdString(result.Message));
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!MayDropUnsaved(QStringLiteral("Current measure not saved.\nDo you want to exit?"))) {
        event->ignore();
        return;
    }
    if (!DisconnectDevice()) {
        event->ignore();
        return;
    }
    m_timer.stop();
    // With nothing unsaved the copy goes; otherwise it waits for the next start.
    if (m_recovery && m_global.bMeasureSaved)
        m_recovery->Discard();
    event->accept();
}
