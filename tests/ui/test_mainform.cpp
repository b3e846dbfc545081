// The main window driven as an operator drives it: start-up state, the port menu, a whole short run
// against the built-in simulator, the planning pane, the telemetry chart and the File menu flows.

#include "files/usaveloadfile.h"
#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "simulator/csimclock.h"
#include "simulator/csimconfig.h"
#include "simulator/csimlink.h"
#include "support/tempdir.h"
#include "ui/umainform.h"
#include "ui/upointtree.h"
#include "ui/utelemetrychart.h"
#include "ui/utrackbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QValueAxis>

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>

namespace {

// Instrument time that moves by one second after every acquisition tick, so that a run takes as
// many ticks as it has records and DataRate is exactly 1.
class TStepClock : public CSimClock {
public:
    std::int64_t NowMs() override { return Now; }
    std::int64_t Now = 0;
};

// Settings small enough that a whole run takes a few hundred ticks: short stability stages and
// averaging windows, waits of one record, a 1 ms timer.
const char* const FastIni =
    "[Timers]\nTimer1000TimeOut=1\n"
    "[sDataConfig]\nsAvrData_A1=2\nsAvrData_A2=2\nsAvrData_A3=2\nsAvrData_dStabVal=1000\n"
    "sAvrPoint=3\nsWaitPoint_Sec=1\nsWaitPointSampleChange_Sec=1\n";

_sSimConfig FastSimulator() {
    _sSimConfig config = _sSimConfig::Defaults();
    config.StageTau = 2.0;
    config.SampleTau = 1.0;
    config.RampRate = 600.0;
    config.ReadyBand = 0.5;
    return config;
}

// One program: settings from an INI text, the simulator on a stepping clock, device, loop, window.
struct TProgram {
    TempDir dir;
    std::unique_ptr<GlobalValue> g;
    TStepClock clock;
    CPortLink link{clock, FastSimulator()};
    CQm4750Device device{link};
    std::unique_ptr<CAcquisitionLoop> loop;
    std::unique_ptr<TMainForm> form;

    double speed = 1.0;

    // withSimulator: the Device menu gets the simulator's speed and sample entries.
    explicit TProgram(const std::string& ini = FastIni, bool withSimulator = false) {
        TempDir::Write(dir / "qm4750.INI", ini);
        g = std::make_unique<GlobalValue>(dir / "qm4750.INI");
        g->bWriteBackAtExit = false;
        link.GetSimulator().SetNoise(false);
        loop = std::make_unique<CAcquisitionLoop>(*g, device,
                                                  [this] { return static_cast<std::uint32_t>(clock.Now); });
        TSimulatorControl sim;
        if (withSimulator) {
            sim.GetSpeed = [this] { return speed; };
            sim.SetSpeed = [this](double v) { speed = v; };
            sim.IsActive = [this] { return link.GetOpenIndex() == 0; };
            sim.GetConfig = [this] { return link.GetSimulator().GetConfig(); };
        }
        form = std::make_unique<TMainForm>(*g, device, *loop, sim);
        QObject::connect(&form->AcquisitionTimer(), &QTimer::timeout, [this] { clock.Now += 1000; });
        form->show();
    }
    ~TProgram() {
        form->AcquisitionTimer().stop();
        form.reset();
    }

    template <typename T> T* Find(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }
    QString Text(const char* label) const { return Find<QLabel>(label)->text(); }
    QAction* Port(int i) const { return form->findChild<QAction*>(QStringLiteral("Port%1").arg(i)); }
    CProgrammLogic& Logic() const { return *g->ProgrammLogic; }
    void AddRange(int start, int end, int step) {
        Find<QRadioButton>("RzRadioGroup1Item1")->click();
        Find<TTrackBar>("RzTrackBar_TEnd")->setValue(end);
        Find<TTrackBar>("RzTrackBar_TStart")->setValue(start);
        Find<TTrackBar>("RzTrackBar_TEnd")->setValue(end);
        Find<TTrackBar>("RzTrackBar_TStep")->setValue(step);
        Find<QPushButton>("RzBitBtnTrefAdd")->click();
    }
    void AddSingle(double t) {
        Find<QRadioButton>("RzRadioGroup1Item0")->click();
        Find<QDoubleSpinBox>("RzNumericEdit_Tref")->setValue(t);
        Find<QPushButton>("RzBitBtnTrefAdd")->click();
    }
    void SelectNode(int t, int child = -1) {
        QTreeWidgetItem* item = form->Tree()->topLevelItem(t);
        if (child >= 0)
            item = item->child(child);
        form->Tree()->setCurrentItem(item);
    }
    void Complete(std::size_t t, std::size_t j) {
        for (int m = 0; m < MeasureModeCount; ++m)
            g->MeasureData.SetModeData(t, j, m, 300, 300, 1, 1, true);
    }
};

// Answers the modal dialogs the window opens, in order, and records what they said.
class TModalDriver : public QObject {
public:
    struct TSeen {
        QString Title;
        QString Text;
        QStringList Filters;
        QString Filter;
    };

    TModalDriver() {
        m_poll.setInterval(2);
        connect(&m_poll, &QTimer::timeout, this, &TModalDriver::Poll);
        m_poll.start();
    }
    void Box(QMessageBox::StandardButton answer) {
        m_actions.push_back([answer](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return false;
            box->button(answer)->click();
            return true;
        });
    }
    // Picks path in a file dialog; filter >= 0 first selects that name filter (0-based).
    void File(const QString& path, int filter = -1) {
        m_actions.push_back([path, filter](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog)
                return false;
            if (filter >= 0)
                dialog->selectNameFilter(dialog->nameFilters().value(filter));
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
            return true;
        });
    }
    void CancelFile() {
        m_actions.push_back([](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog)
                return false;
            dialog->reject();
            return true;
        });
    }
    int Pending() const { return int(m_actions.size()); }
    QList<TSeen> Seen;

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || m_actions.empty() || !w->isVisible())
            return;
        TSeen seen{w->windowTitle(), {}, {}, {}};
        if (auto* box = qobject_cast<QMessageBox*>(w))
            seen.Text = box->text();
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            seen.Filters = dialog->nameFilters();
            seen.Filter = dialog->selectedNameFilter();
        }
        auto action = m_actions.front();
        if (!action(w)) {
            // Not what the test expected: close it so the test fails instead of hanging.
            seen.Title = QStringLiteral("unexpected: ") + seen.Title;
            Seen.append(seen);
            if (auto* dialog = qobject_cast<QDialog*>(w))
                dialog->reject();
            return;
        }
        m_actions.pop_front();
        Seen.append(seen);
    }

    QTimer m_poll;
    std::deque<std::function<bool(QWidget*)>> m_actions;
};

QColor PaneColor(const QLabel* pane) {
    return pane->palette().color(QPalette::Window);
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startUpState();
    void recordDisplay();
    void resizeRules();
    void portMenuToggling();
    void silentDeviceIsShown();
    void wholeRun();
    void chartScrollingAndPointLimit();
    void addRangeCounts_data();
    void addRangeCounts();
    void addSingleAndTrackBarCoupling();
    void deleteTemperatures();
    void newAndOpenAnsweredNo();
    void saveAndReload();
    void failedOpenAndExport();
    void closeAsksForUnsavedMeasurement();
    void setPointEntry();
    void simulatorEntries();
    void connectFailureAndSettingsWarnings();
};

void TestMainForm::initTestCase() {
    // The file dialogs keep their history in the user's configuration; keep it away from the
    // user's own.
    static TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.Path().string()));
    // The offscreen platform says this for every top-level window; it is not about the program.
    static QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (!message.contains(QLatin1String("propagateSizeHints")))
            previous(type, context, message);
    });
}

void TestMainForm::startUpState() {
    TProgram p("");
    TMainForm& f = *p.form;
    QCOMPARE(f.windowTitle(), QStringLiteral("QM4750 Application"));
    QVERIFY(!p.Find<QComboBox>("RzComboBoxSample")->isEnabled());
    QVERIFY(!p.Find<QPushButton>("RzBitBtnStart")->isEnabled());
    QVERIFY(!p.Find<QPushButton>("RzBitBtnStop")->isEnabled());
    QCOMPARE(p.Find<QPushButton>("RzBitBtnStart")->text(), QStringLiteral("Start"));
    QCOMPARE(p.Find<QPushButton>("RzBitBtnStop")->text(), QStringLiteral("Stop"));
    QCOMPARE(p.Find<QPushButton>("RzBitBtnTrefAdd")->text(), QStringLiteral("Add"));
    QCOMPARE(p.Find<QPushButton>("RzBitBtnTrefDel")->text(), QStringLiteral("Del"));

    QCOMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device disconnected"));
    QCOMPARE(p.Text("RzStatusPane2"), QStringLiteral("VACUUM"));
    QCOMPARE(p.Text("RzStatusDataRate"), QStringLiteral("Data Rate = 1.00 PPS"));
    for (const char* pid : {"RzStatusPid1", "RzStatusPid2"}) {
        QCOMPARE(p.Text(pid), QStringLiteral("IDLE"));
        QCOMPARE(PaneColor(p.Find<QLabel>(pid)), QColor(192, 192, 192));
    }
    QCOMPARE(p.Text("RzLabel1"), QStringLiteral("Tamb, K = 0.00"));
    QCOMPARE(p.Text("RzLabel2"), QStringLiteral("Current sample selected #0"));
    QCOMPARE(p.Text("RzLabel3"), QStringLiteral("T1, K = 0.00"));
    QCOMPARE(p.Text("RzLabel4"), QStringLiteral("T2, K = 0.00"));
    QCOMPARE(p.Text("RzLabel5"), QStringLiteral("V, uV = 0.0"));
    QCOMPARE(p.Text("RzLabel6"), QStringLiteral("I, mA = 0.0"));

    auto* combo = p.Find<QComboBox>("RzComboBoxSample");
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(2), QStringLiteral("Sample # 2"));
    QCOMPARE(combo->currentIndex(), 0);

    // Planning pane: "Single" mode, bars at Tmin .. Tmax with step 10, an empty tree.
    QVERIFY(p.Find<QRadioButton>("RzRadioGroup1Item0")->isChecked());
    QVERIFY(p.Find<QWidget>("RzPanel_Single")->isVisible());
    QVERIFY(!p.Find<QWidget>("RzPanel_Range")->isVisible());
    QCOMPARE(p.Text("RzLabel7"), QStringLiteral("Referense Temperature, K"));
    QCOMPARE(p.Text("RzLabel_TStart"), QStringLiteral("Started reference temperature, K = 220"));
    QCOMPARE(p.Text("RzLabel_TEnd"), QStringLiteral("Ended reference temperature, K = 400"));
    QCOMPARE(p.Text("RzLabel_TStep"), QStringLiteral("Temperature step = 10"));
    QCOMPARE(p.Find<TTrackBar>("RzTrackBar_TStep")->minimum(), 1);
    QCOMPARE(p.Find<TTrackBar>("RzTrackBar_TStep")->maximum(), 20);
    QCOMPARE(p.Text("RzLabel_TreeView"), QStringLiteral("Summary points count = 0"));
    QCOMPARE(f.Tree()->Glyphs().size(), QSize(39, 12));

    // The port menu: the built-in simulator, a separator, Refresh; nothing connected.
    const QList<QAction*> ports = f.PortMenu()->actions();
    QCOMPARE(ports.size(), 3);
    QCOMPARE(ports[0]->text(), QStringLiteral("1. Built-in simulator"));
    QVERIFY(!ports[0]->isChecked());
    QVERIFY(ports[1]->isSeparator());
    QCOMPARE(ports[2]->text(), QStringLiteral("&Refresh"));
    QVERIFY(!p.device.IsOpen());
    QVERIFY(!f.AcquisitionTimer().isActive());

    // The telemetry chart starts on Tmin .. Tmax and 0 .. iVisiblePoints.
    TTelemetryChart* chart = f.TelemetryChart();
    QCOMPARE(chart->AxisLeft()->min(), 220.0);
    QCOMPARE(chart->AxisLeft()->max(), 400.0);
    QCOMPARE(chart->AxisLeft()->titleText(), QStringLiteral("Temperature ,K"));
    QCOMPARE(chart->AxisBottom()->min(), 0.0);
    QCOMPARE(chart->AxisBottom()->max(), 1200.0);
    QCOMPARE(chart->AxisBottom()->titleText(), QStringLiteral("Points"));

    if (qEnvironmentVariableIsSet("QM_SCREENSHOT_DIR"))
        f.grab().save(qEnvironmentVariable("QM_SCREENSHOT_DIR") + QStringLiteral("/mainform-startup.png"));

    QStringList menus;
    for (QAction* a : f.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Device"}));
}

void TestMainForm::recordDisplay() {
    TProgram p("");
    _sTelemetry r{};
    r.T1 = 301.5f;
    r.T2 = 299.25f;
    r.U = 1234.56f;
    r.I = 40.04f;
    r.Pid[0].T = 300.0f;
    r.Pid[0].Flags = PID_ACTIVE | PID_PLUS | PID_MINUS; // cooling
    r.Pid[1].T = 290.0f;
    r.Pid[1].Flags = PID_ACTIVE | PID_HEAT;
    r.StatusB = 0x02 | STATUSB_NO_VACUUM | STATUSB_DAC;
    p.form->ShowRecord(r);
    QCOMPARE(p.Text("RzLabel1"), QStringLiteral("Tamb, K = 300.00"));
    QCOMPARE(p.Text("RzLabel3"), QStringLiteral("T1, K = 301.50"));
    QCOMPARE(p.Text("RzLabel4"), QStringLiteral("T2, K = 299.25"));
    QCOMPARE(p.Text("RzLabel5"), QStringLiteral("V, uV = 1234.6"));
    QCOMPARE(p.Text("RzLabel6"), QStringLiteral("I, mA = 40.0"));
    QCOMPARE(p.Text("RzLabel2"), QStringLiteral("Current sample selected #2"));
    QCOMPARE(p.Text("RzStatusPane2"), QStringLiteral("NO VACUUM"));
    QCOMPARE(p.Text("RzStatusPid1"), QStringLiteral("T1, K = 300.00(+)(-)"));
    QCOMPARE(PaneColor(p.Find<QLabel>("RzStatusPid1")), QColor(0, 0, 255)); // ColorCool
    QCOMPARE(p.Text("RzStatusPid2"), QStringLiteral("T2, K = 290.00"));
    QCOMPARE(PaneColor(p.Find<QLabel>("RzStatusPid2")), QColor(255, 0, 0)); // ColorHeat
    // The text stands out against the pane's colour: white on the blue, black on the red.
    QCOMPARE(p.Find<QLabel>("RzStatusPid1")->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(p.Find<QLabel>("RzStatusPid2")->palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(PaneColor(p.Find<QLabel>("RzStatusDAC")), QColor(Qt::red));
    QVERIFY(PaneColor(p.Find<QLabel>("RzStatusADC")) != QColor(Qt::red));
}

void TestMainForm::resizeRules() {
    TProgram p("");
    for (int width : {870, 1003}) {
        p.form->resize(width, 640);
        QCoreApplication::processEvents();
        const QWidget* header = p.Find<QWidget>("RzPanelHeader");
        const int l1 = header->width() * 20 / 100;
        QCOMPARE(p.Find<QLabel>("RzLabel1")->width(), l1);
        const int quarter = (header->width() - l1) / 4;
        for (const char* name : {"RzLabel3", "RzLabel4", "RzLabel5", "RzLabel6"})
            QCOMPARE(p.Find<QLabel>(name)->width(), quarter);
        QVERIFY(p.Find<QComboBox>("RzComboBoxSample")->width() >= 85);
    }
    for (auto [strip, half, rest] : {std::tuple{"RzPanelStartStop", "RzBitBtnStart", "RzBitBtnStop"},
                                     std::tuple{"RzPanelAddDel", "RzBitBtnTrefAdd", "RzBitBtnTrefDel"}}) {
        const int w = p.Find<QWidget>(strip)->width();
        QCOMPARE(p.Find<QPushButton>(half)->width(), w / 2);
        QCOMPARE(p.Find<QPushButton>(rest)->width(), w - w / 2);
        QVERIFY(p.Find<QPushButton>(half)->x() > p.Find<QPushButton>(rest)->x());
    }
}

void TestMainForm::portMenuToggling() {
    TProgram p;
    TModalDriver modal;
    p.Port(0)->trigger();
    QVERIFY(p.device.IsOpen());
    QVERIFY(p.Port(0)->isChecked());
    QVERIFY(p.form->AcquisitionTimer().isActive());
    QVERIFY(p.Find<QPushButton>("RzBitBtnStart")->isEnabled());
    QVERIFY(!p.Find<QPushButton>("RzBitBtnStop")->isEnabled());
    QVERIFY(p.Find<QComboBox>("RzComboBoxSample")->isEnabled());
    QTRY_COMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device connected"));
    QTRY_VERIFY(p.Text("RzLabel3") != QStringLiteral("T1, K = 0.00"));
    QTRY_COMPARE(p.Text("RzStatusDataRate"), QStringLiteral("Data Rate = 1.00 PPS"));

    // Refresh keeps the mark of the open port.
    p.form->findChild<QAction*>(QStringLiteral("PortRefresh"))->trigger();
    QVERIFY(p.Port(0)->isChecked());

    // Clicking the marked port asks; No keeps the connection.
    modal.Box(QMessageBox::No);
    p.Port(0)->trigger();
    QCOMPARE(modal.Seen.size(), 1);
    QCOMPARE(modal.Seen[0].Title, QStringLiteral("Question?"));
    QCOMPARE(modal.Seen[0].Text, QStringLiteral("Do you want to disconnect from device?"));
    QVERIFY(p.device.IsOpen());
    QVERIFY(p.Port(0)->isChecked());

    // Yes disconnects and takes the mark off.
    modal.Box(QMessageBox::Yes);
    p.Port(0)->trigger();
    QVERIFY(!p.device.IsOpen());
    QVERIFY(!p.Port(0)->isChecked());
    QVERIFY(!p.form->AcquisitionTimer().isActive());
    QCOMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device disconnected"));
    QVERIFY(!p.Find<QPushButton>("RzBitBtnStart")->isEnabled());
    QVERIFY(!p.Find<QComboBox>("RzComboBoxSample")->isEnabled());
    QCOMPARE(modal.Pending(), 0);
}

void TestMainForm::silentDeviceIsShown() {
    TProgram p;
    p.Port(0)->trigger();
    QTRY_COMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device connected"));

    // One lost reply is not worth a word; replies lost tick after tick are.
    p.link.GetSimulator().InjectFault(sfNoReply, 1, fiReadCycleState);
    p.form->Tick();
    QCOMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device connected"));
    p.link.GetSimulator().InjectFault(sfNoReply, 2, fiReadCycleState);
    p.form->Tick();
    p.form->Tick();
    QCOMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device does not answer"));
    QVERIFY(p.device.IsOpen());

    // Answers again: the next record puts the connected text back.
    QTRY_COMPARE(p.Text("RzStatusPane1"), QStringLiteral("Device connected"));
}

void TestMainForm::wholeRun() {
    TProgram p;
    TModalDriver modal;
    p.AddRange(300, 302, 2);
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(2));
    p.g->Samples[1]->SetUse(false);
    p.g->bMeasureSaved = true;
    p.Port(0)->trigger();
    auto* start = p.Find<QPushButton>("RzBitBtnStart");
    auto* stop = p.Find<QPushButton>("RzBitBtnStop");
    start->click();
    QVERIFY(p.Logic().IsRunning());
    QVERIFY(!start->isEnabled());
    QVERIFY(stop->isEnabled());
    QVERIFY(!p.Find<QComboBox>("RzComboBoxSample")->isEnabled());

    // New, Open and Del are refused while the run holds indexes into the store.
    modal.Box(QMessageBox::Ok);
    p.form->FileNew();
    QCOMPARE(modal.Seen.last().Title, QStringLiteral("Error"));
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(2));
    modal.Box(QMessageBox::Ok);
    p.SelectNode(0);
    p.Find<QPushButton>("RzBitBtnTrefDel")->click();
    QCOMPARE(modal.Seen.last().Title, QStringLiteral("Error"));
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(2));

    // Middle of the run: sample 2 of the first temperature is measured, sample 0 is done.
    QTRY_VERIFY_WITH_TIMEOUT(p.Logic().GetSampleIndex() == 2, 20000);
    QCOMPARE(p.form->Tree()->GlyphOf(0, 0), TPointTree::glComplete);
    QCOMPARE(p.form->Tree()->GlyphOf(0, 1), TPointTree::glNotUsed);
    QCOMPARE(p.form->Tree()->GlyphOf(0, 2), TPointTree::glTodo);
    QVERIFY(!p.g->bMeasureSaved);
    if (qEnvironmentVariableIsSet("QM_SCREENSHOT_DIR"))
        p.form->grab().save(qEnvironmentVariable("QM_SCREENSHOT_DIR") + QStringLiteral("/mainform-run.png"));

    // Disconnecting suspends the run; reconnecting takes it up again at the interrupted point,
    // whose set point, sample and current are sent anew (the disconnection put the instrument to
    // rest, so the readings of that point are checked against its reference temperature below).
    // Step by hand into the averaging of the second temperature, then disconnect.
    QTRY_VERIFY_WITH_TIMEOUT(p.Logic().GetTemperatureIndex() == 1, 20000);
    p.form->AcquisitionTimer().stop();
    for (int i = 0; i < 1000 && p.Logic().GetState() != lsCollect; ++i) {
        p.form->Tick();
        p.clock.Now += 1000;
    }
    QCOMPARE(p.Logic().GetState(), lsCollect);
    modal.Box(QMessageBox::Yes);
    p.Port(0)->trigger();
    QVERIFY(!p.device.IsOpen());
    QVERIFY(p.Logic().IsRunning());
    QVERIFY(!stop->isEnabled());
    const int temperature = p.Logic().GetTemperatureIndex();
    p.Port(0)->trigger();
    QVERIFY(stop->isEnabled());
    QCOMPARE(p.Logic().GetTemperatureIndex(), temperature);

    QTRY_VERIFY_WITH_TIMEOUT(!p.Logic().IsRunning(), 30000);
    QTRY_VERIFY(start->isEnabled());
    QVERIFY(!stop->isEnabled());
    QVERIFY(p.Find<QComboBox>("RzComboBoxSample")->isEnabled());
    for (int t = 0; t < 2; ++t) {
        QCOMPARE(p.form->Tree()->GlyphOf(t, 0), TPointTree::glComplete);
        QCOMPARE(p.form->Tree()->GlyphOf(t, 1), TPointTree::glNotUsed);
        QCOMPARE(p.form->Tree()->GlyphOf(t, 2), TPointTree::glComplete);
        QVERIFY2(std::abs(p.g->MeasureData.GetPoint(t, 0).Mode[mmAc].dT1 - p.g->MeasureData.GetTref(t)) < 1.0,
                 qPrintable(QString::number(p.g->MeasureData.GetPoint(t, 0).Mode[mmAc].dT1)));
    }
    QCOMPARE(p.Logic().GetTemperatureIndex(), -1);

    // Stop asks first; No leaves a new run going.
    p.AddSingle(304);
    start->click();
    QVERIFY(p.Logic().IsRunning());
    modal.Box(QMessageBox::No);
    stop->click();
    QCOMPARE(modal.Seen.last().Text, QStringLiteral("Do you want to stop measuring process?"));
    QVERIFY(p.Logic().IsRunning());
    modal.Box(QMessageBox::Yes);
    stop->click();
    QVERIFY(!p.Logic().IsRunning());
    QTRY_VERIFY(start->isEnabled());
    QCOMPARE(modal.Pending(), 0);
}

void TestMainForm::chartScrollingAndPointLimit() {
    TProgram p("");
    TTelemetryChart* chart = p.form->TelemetryChart();
    chart->Append(300.0, 310.0);
    QCOMPARE(chart->AxisLeft()->min(), 285.0);
    QCOMPARE(chart->AxisLeft()->max(), 325.5);
    for (int i = 1; i < 960; ++i)
        chart->Append(300.0, 310.0);
    QCOMPARE(chart->SeriesT1()->count(), 960);
    QCOMPARE(chart->AxisBottom()->min(), 0.0);
    chart->Append(300.0, 310.0); // the 961st record scrolls
    QCOMPARE(chart->AxisBottom()->min(), 1.0);
    QCOMPARE(chart->AxisBottom()->max(), 1201.0);
    for (int i = 961; i < 2400; ++i)
        chart->Append(300.0, 310.0);
    QCOMPARE(chart->SeriesT1()->count(), 2400);
    chart->Append(250.0, 260.0);
    QCOMPARE(chart->SeriesT1()->count(), 2400);
    QCOMPARE(chart->SeriesT2()->count(), 2400);
    QCOMPARE(chart->SeriesT1()->at(0).x(), 1.0);
    QCOMPARE(chart->SeriesT1()->at(2399).x(), 2400.0);
    QCOMPARE(chart->AxisLeft()->min(), 250.0 * 0.95);

    // Behind the Results page the chart keeps its records and shows them when it comes back.
    auto* pages = p.Find<QTabWidget>("RzPageControl1");
    pages->setCurrentIndex(1);
    chart->Append(251.0, 261.0);
    chart->Append(252.0, 262.0);
    pages->setCurrentIndex(0);
    QCOMPARE(chart->SeriesT1()->count(), 2400);
    QCOMPARE(chart->SeriesT1()->at(2399), QPointF(2402.0, 252.0));
    QCOMPARE(chart->SeriesT2()->at(2398), QPointF(2401.0, 261.0));
}

void TestMainForm::addRangeCounts_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("step");
    QTest::addColumn<QList<double>>("added");
    QTest::newRow("220..400 step 20")
        << 220 << 400 << 20 << QList<double>{220, 240, 260, 280, 300, 320, 340, 360, 380, 400};
    QTest::newRow("220..225 step 10") << 220 << 225 << 10 << QList<double>{220};
    QTest::newRow("start = end") << 310 << 310 << 5 << QList<double>{310};
}

void TestMainForm::addRangeCounts() {
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, step);
    QFETCH(QList<double>, added);
    TProgram p("");
    p.AddRange(start, end, step);
    const CMeasrueData& store = p.g->MeasureData;
    QCOMPARE(int(store.GetTemperatureCount()), added.size());
    for (int t = 0; t < added.size(); ++t) {
        QCOMPARE(store.GetTref(t), added[t]);
        QCOMPARE(store.GetPointCount(t), std::size_t(3));
    }
    QCOMPARE(p.Text("RzLabel_TreeView"), QStringLiteral("Summary points count = %1").arg(added.size()));
    QCOMPARE(p.form->Tree()->topLevelItemCount(), added.size());
    QVERIFY(!p.g->bMeasureSaved);
}

void TestMainForm::addSingleAndTrackBarCoupling() {
    TProgram p("");
    p.AddSingle(300);
    p.AddSingle(300);
    QTreeWidget* tree = p.form->Tree();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Temperature Point, K = 300.00"));
    QCOMPARE(tree->topLevelItem(1)->childCount(), 3);
    QCOMPARE(tree->topLevelItem(1)->child(2)->text(0), QStringLiteral("Sample # 2"));
    QVERIFY(tree->topLevelItem(1)->isExpanded());
    QCOMPARE(p.form->Tree()->GlyphOf(1, 1), TPointTree::glTodo);
    p.g->Samples[1]->SetUse(false);
    QCOMPARE(p.form->Tree()->GlyphOf(1, 1), TPointTree::glNotUsed);

    // The start never passes the end, nor the end the start.
    auto* startBar = p.Find<TTrackBar>("RzTrackBar_TStart");
    auto* endBar = p.Find<TTrackBar>("RzTrackBar_TEnd");
    endBar->setValue(350);
    QCOMPARE(startBar->maximum(), 350);
    startBar->setValue(360);
    QCOMPARE(startBar->value(), 350);
    startBar->setValue(330);
    QCOMPARE(endBar->minimum(), 330);
    endBar->setValue(320);
    QCOMPARE(endBar->value(), 330);
    QCOMPARE(p.Text("RzLabel_TStart"), QStringLiteral("Started reference temperature, K = 330"));
    QCOMPARE(p.Text("RzLabel_TEnd"), QStringLiteral("Ended reference temperature, K = 330"));

    // The mode switch swaps the input panels.
    p.Find<QRadioButton>("RzRadioGroup1Item1")->click();
    QVERIFY(p.Find<QWidget>("RzPanel_Range")->isVisible());
    QVERIFY(!p.Find<QWidget>("RzPanel_Single")->isVisible());
}

void TestMainForm::deleteTemperatures() {
    TProgram p("");
    TModalDriver modal;
    p.AddRange(300, 320, 10);
    auto* del = p.Find<QPushButton>("RzBitBtnTrefDel");

    // Nothing selected: nothing happens.
    p.form->Tree()->setCurrentItem(nullptr);
    del->click();
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(3));

    // No complete point: deleted without a question.
    p.SelectNode(0);
    del->click();
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(2));
    QCOMPARE(p.g->MeasureData.GetTref(0), 310.0);
    QCOMPARE(p.Text("RzLabel_TreeView"), QStringLiteral("Summary points count = 2"));
    QCOMPARE(modal.Seen.size(), 0);

    // A complete point, even of a sample not in use, makes it ask; No keeps the temperature.
    p.g->Samples[2]->SetUse(false);
    p.Complete(1, 2);
    p.SelectNode(1, 0);
    modal.Box(QMessageBox::No);
    del->click();
    QCOMPARE(modal.Seen.size(), 1);
    QCOMPARE(modal.Seen[0].Text, QStringLiteral("Do you want to delete T1 = 320.00 point?"));
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(2));
    modal.Box(QMessageBox::Yes);
    p.SelectNode(1, 0);
    del->click();
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(1));

    // The Delete key on a sample node deletes its whole temperature.
    p.g->bMeasureSaved = true;
    p.SelectNode(0, 2);
    p.form->Tree()->setFocus();
    QTest::keyClick(p.form->Tree(), Qt::Key_Delete);
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(0));
    QVERIFY(p.g->bMeasureSaved); // deleting does not mark the measurement unsaved
    QCOMPARE(modal.Pending(), 0);
}

void TestMainForm::newAndOpenAnsweredNo() {
    TProgram p("");
    TModalDriver modal;
    p.AddSingle(300);
    QVERIFY(!p.g->bMeasureSaved);

    modal.Box(QMessageBox::No);
    p.form->FileNew();
    QCOMPARE(modal.Seen.last().Text,
             QStringLiteral("Current measure not saved.\nDo you want to start new one?"));
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(1));

    modal.Box(QMessageBox::No);
    p.form->FileOpen();
    QCOMPARE(modal.Seen.size(), 2); // the question, no open dialog
    QCOMPARE(modal.Seen.last().Text, QStringLiteral("Current measure not saved.\nDo you want to continue?"));
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(1));
    QVERIFY(!p.g->bMeasureSaved);

    // Yes, then a cancelled open dialog: still unsaved, nothing lost.
    modal.Box(QMessageBox::Yes);
    modal.CancelFile();
    p.form->FileOpen();
    QCOMPARE(modal.Seen.size(), 4);
    QVERIFY(!p.g->bMeasureSaved);
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(1));

    // New answered Yes empties the store; with nothing unsaved New does not ask.
    modal.Box(QMessageBox::Yes);
    p.form->FileNew();
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(0));
    QCOMPARE(p.form->Tree()->topLevelItemCount(), 0);
    p.AddSingle(310);
    p.g->bMeasureSaved = true;
    p.form->FileNew();
    QCOMPARE(modal.Seen.size(), 5);
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(0));
    QCOMPARE(modal.Pending(), 0);
}

void TestMainForm::saveAndReload() {
    TProgram p("");
    TModalDriver modal;
    p.AddRange(300, 310, 10);
    p.Complete(1, 0);
    p.g->MeasureData.SetTamb(1, 0, 299.5);
    p.g->Samples[0]->SetA(2.5, usMilli);

    // Save with the measurement file preselected; a name without extension gets ".q47".
    const QString base = QString::fromStdString((p.dir / "run1").string());
    modal.File(base);
    p.form->FileSave(1);
    QCOMPARE(modal.Seen.last().Filters,
             (QStringList{"QM4750 Binary file (*.q47)", "QM4750 Text file (*.txt)"}));
    QCOMPARE(modal.Seen.last().Filter, QStringLiteral("QM4750 Binary file (*.q47)"));
    QVERIFY(std::filesystem::exists(p.dir / "run1.q47"));
    QVERIFY(p.g->bMeasureSaved);

    // Open it again over a changed store.
    p.g->Samples[0]->SetA(1.0, usMilli);
    p.AddSingle(350);
    modal.Box(QMessageBox::Yes);
    modal.File(base + QStringLiteral(".q47"));
    p.form->FileOpen();
    QCOMPARE(modal.Seen.last().Filters, QStringList{"QM4750 binary file (*.q47)"});
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(2));
    QCOMPARE(p.g->MeasureData.GetTref(1), 310.0);
    QVERIFY(p.g->MeasureData.GetPoint(1, 0).IsComplete());
    QCOMPARE(p.g->MeasureData.GetTamb(1, 0), 299.5);
    QCOMPARE(p.g->Samples[0]->GetA(usMilli), 2.5);
    QCOMPARE(p.form->Tree()->topLevelItemCount(), 2);
    QCOMPARE(p.Text("RzLabel_TreeView"), QStringLiteral("Summary points count = 2"));
    QVERIFY(p.g->bMeasureSaved);

    // Save As writes the results export, which cannot be opened again: still unsaved afterwards.
    p.AddSingle(360);
    modal.File(QString::fromStdString((p.dir / "results").string()));
    p.form->FileSave(2);
    QCOMPARE(modal.Seen.last().Filter, QStringLiteral("QM4750 Text file (*.txt)"));
    QVERIFY(std::filesystem::exists(p.dir / "results.txt"));
    QVERIFY(!p.g->bMeasureSaved);

    // The filter chosen in the dialog decides the format, not the menu entry.
    modal.File(QString::fromStdString((p.dir / "chosen").string()), 0);
    p.form->FileSave(2);
    QVERIFY(std::filesystem::exists(p.dir / "chosen.q47"));
    QVERIFY(p.g->bMeasureSaved);
    QCOMPARE(modal.Pending(), 0);
}

void TestMainForm::failedOpenAndExport() {
    TProgram p("");
    TModalDriver modal;
    p.AddSingle(300);
    TempDir::Write(p.dir / "broken.q47", "QM4750\x01 short");
    modal.Box(QMessageBox::Yes);
    modal.File(QString::fromStdString((p.dir / "broken.q47").string()));
    modal.Box(QMessageBox::Ok);
    p.form->FileOpen();
    QCOMPARE(modal.Seen.last().Title, QStringLiteral("Error"));
    QVERIFY(!modal.Seen.last().Text.isEmpty());
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t(1));
    QVERIFY(!p.g->bMeasureSaved);

    // A save that cannot be written says why and leaves the measurement unsaved.
    // "taken" gets ".q47" appended, and that name is a folder.
    std::filesystem::create_directories(p.dir / "taken.q47");
    modal.File(QString::fromStdString((p.dir / "taken").string()));
    modal.Box(QMessageBox::Ok);
    p.form->FileSave(1);
    QCOMPARE(modal.Seen.last().Title, QStringLiteral("Error"));
    QVERIFY(!p.g->bMeasureSaved);
    QCOMPARE(modal.Pending(), 0);
}

void TestMainForm::closeAsksForUnsavedMeasurement() {
    TProgram p;
    TModalDriver modal;
    p.Port(0)->trigger();
    p.AddSingle(300);
    modal.Box(QMessageBox::No);
    QVERIFY(!p.form->close());
    QCOMPARE(modal.Seen.last().Title, QStringLiteral("Question?"));
    QVERIFY(p.form->isVisible());
    QVERIFY(p.device.IsOpen());

    // Yes: the instrument goes to rest, the link closes, the window closes.
    modal.Box(QMessageBox::Yes);
    QVERIFY(p.form->close());
    QVERIFY(!p.device.IsOpen());
    QVERIFY(!p.form->AcquisitionTimer().isActive());
    QCOMPARE(p.link.GetSimulator().GetCurrentMode(), scmOff);
}

void TestMainForm::setPointEntry() {
    TProgram p;
    p.Port(0)->trigger();
    auto* label = p.Find<QLabel>("RzLabel1");
    auto* edit = p.Find<QDoubleSpinBox>("RzNumericEditSetPoint");
    QVERIFY(!edit->isVisible());
    QTest::mouseDClick(label, Qt::LeftButton);
    QVERIFY(edit->isVisible());
    QCOMPARE(edit->geometry(), label->geometry());
    p.form->resize(1000, 700);
    QCoreApplication::processEvents();
    QCOMPARE(edit->geometry(), label->geometry());
    edit->setValue(310.0);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!edit->isVisible());
    // The simulator's channel 0 heads for the new set point.
    QTRY_VERIFY_WITH_TIMEOUT(p.link.GetSimulator().GetChannelTemperature(0) > 305.0, 10000);
}

void TestMainForm::simulatorEntries() {
    TProgram p("", true);
    QMenu* speeds = p.form->SpeedMenu();
    QVERIFY(speeds);
    QStringList captions;
    for (QAction* a : speeds->actions())
        captions << a->text();
    QCOMPARE(captions, (QStringList{"x1", "x10", "x60"}));
    QVERIFY(speeds->actions()[0]->isChecked());

    // The speed shortens the acquisition period while the simulator is the open port.
    p.Port(0)->trigger();
    QCOMPARE(p.form->AcquisitionTimer().interval(), 1000);
    speeds->actions()[2]->trigger();
    QCOMPARE(p.speed, 60.0);
    QVERIFY(speeds->actions()[2]->isChecked());
    QCOMPARE(p.form->AcquisitionTimer().interval(), 16);
    speeds->actions()[0]->trigger();
    QCOMPARE(p.form->AcquisitionTimer().interval(), 1000);

    // The simulated samples' descriptions go into the samples, and the samples into use. The
    // descriptions are saved with the measurement, so a saved one becomes unsaved.
    p.g->Samples[1]->SetUse(false);
    QVERIFY(p.g->bMeasureSaved);
    p.form->findChild<QAction*>(QStringLiteral("CopySimulatorSamples1"))->trigger();
    QVERIFY(!p.g->bMeasureSaved);
    const _sSimConfig config = p.link.GetSimulator().GetConfig();
    for (std::size_t i = 0; i < 3; ++i) {
        const CSample& s = *p.g->Samples[i];
        QCOMPARE(s.GetA(usMilli), config.Samples[i].A);
        QCOMPARE(s.GetL(usMilli), config.Samples[i].L);
        QCOMPARE(s.GetWireD(usMilli), config.Samples[i].WireD);
        QCOMPARE(s.GetCurrent(usMilli), config.Samples[i].Current);
        QVERIFY(s.GetUse());
    }
    // Copying the same descriptions again changes nothing that is saved.
    p.g->bMeasureSaved = true;
    p.form->findChild<QAction*>(QStringLiteral("CopySimulatorSamples1"))->trigger();
    QVERIFY(p.g->bMeasureSaved);
}

// A port whose interface cannot be opened.
class TDeadLink : public CFrameLink {
public:
    void GetIntrCount(std::int32_t& count) override { count = 1; }
    void GetIntrDescription(std::int32_t, char* text) override {
        std::snprintf(text, kDescriptionSize, "dead");
    }
    bool OpenIntr(std::int32_t) override { return false; }
    bool CloseIntr() override { return true; }
    void PurgeIntr() override {}
    bool TxFrame(std::uint8_t, std::uint8_t, const std::uint8_t*) override { return false; }
    bool RxFrame(std::uint32_t, std::uint8_t&, std::uint8_t&, std::uint8_t&, std::uint8_t&,
                 std::uint8_t*) override {
        return false;
    }
};

void TestMainForm::connectFailureAndSettingsWarnings() {
    TProgram p("[Samples]\nSampleCount=0\n");
    TModalDriver modal;
    // Shown once, all lines in one box.
    modal.Box(QMessageBox::Ok);
    p.form->ShowSettingsWarnings();
    QCOMPARE(modal.Seen.size(), 1);
    QCOMPARE(modal.Seen[0].Title, QStringLiteral("Warning"));
    QCOMPARE(p.g->SampleCount, 1);

    p.link.AddInterface("dead", std::make_unique<TDeadLink>());
    p.form->findChild<QAction*>(QStringLiteral("PortRefresh"))->trigger();
    QCOMPARE(p.form->PortMenu()->actions().size(), 4);
    QCOMPARE(p.Port(1)->text(), QStringLiteral("2. dead"));
    modal.Box(QMessageBox::Ok);
    p.Port(1)->trigger();
    QCOMPARE(modal.Seen.last().Title, QStringLiteral("Error"));
    QCOMPARE(modal.Seen.last().Text, QStringLiteral("Cannot connected to selected device."));
    QVERIFY(!p.device.IsOpen());
    QVERIFY(p.Port(1)->isChecked()); // the entry keeps its mark
    QVERIFY(!p.Find<QPushButton>("RzBitBtnStart")->isEnabled());

    // Another port connects; the marks move there.
    p.Port(0)->trigger();
    QVERIFY(p.device.IsOpen());
    QVERIFY(p.Port(0)->isChecked());
    QVERIFY(!p.Port(1)->isChecked());
    QCOMPARE(modal.Pending(), 0);
}

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
