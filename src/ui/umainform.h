#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

class CAcquisitionLoop;
class CRecoveryKeeper;
class CProgrammLogic;
class CQm4750Device;
class GlobalValue;
class QAction;
class QActionGroup;
class QButtonGroup;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class TPointTree;
class TResultsPage;
class TTelemetryChart;
class TTrackBar;
struct _sSimConfig;
struct _sTelemetry;

// What the main window needs from the built-in simulator, when there is one: its speed and the
// sample descriptions it simulates. The program supplies it; tests may leave it out.
struct TSimulatorControl {
    std::function<double()> GetSpeed;
    std::function<void(double)> SetSpeed;
    // Whether the open port is the simulator: only then does its speed shorten the timer period.
    std::function<bool()> IsActive;
    // The simulated instrument's description; "Copy simulator samples" takes the geometry, lead
    // wire and current of its samples into the program's samples.
    std::function<_sSimConfig()> GetConfig;
};

// The program's main window: the connection to the instrument, the acquisition timer, the live
// display (header readouts, status bar, telemetry chart), the planning pane with the tree of
// temperature points, Start and Stop, and the File, Edit and Device menus.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // The sequencer is global's; loop runs the acquisition ticks on device.
    TMainForm(GlobalValue& global, CQm4750Device& device, CAcquisitionLoop& loop,
              TSimulatorControl simulator = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Shows the settings file's warnings (clamped or unusable values) in one message box.
    void ShowSettingsWarnings();

    // --- recovery copy ---
    // Keeps file up to date with the measurement while it has unsaved changes, so that a crash
    // loses nothing that was stored.
    void EnableRecovery(const std::filesystem::path& file);
    CRecoveryKeeper* Recovery() const { return m_recovery.get(); }
    // At start-up: when a copy from an earlier session is there, asks whether to restore it. Yes
    // restores it (true); No, or a damaged copy, sets the copy aside under a time-stamped name.
    bool OfferRecovery();

    // --- connection ---
    // Opens port i, says hello to the instrument and starts the timer. False when Open failed.
    bool ConnectDevice(int port);
    // Puts the instrument into its rest state and closes the link; the timer stops only when the
    // link closed. True when the link is closed now (or was not open).
    bool DisconnectDevice();
    // Builds the "Available &Ports" submenu again from the link's interface list.
    void BuildPortMenu();
    // Runs one acquisition tick now (what the timer does).
    void Tick();

    // --- live display ---
    void ShowRecord(const _sTelemetry& record);
    void SetButtonStates();

    // --- planning pane ---
    void RebuildTree();
    void RepaintTree();
    // Adds one reference temperature with a point for every sample.
    void AddTemperature(double tref);

    // --- File menu flows (also reached by the menu entries) ---
    void FileNew();
    void FileOpen();
    void FileSave(int filterIndex); // 1 measurement file, 2 results export

    TTelemetryChart* TelemetryChart() const { return m_chart; }
    TPointTree* Tree() const { return m_tree; }
    QTimer& AcquisitionTimer() { return m_timer; }
    QMenu* PortMenu() const { return m_portMenu; }
    QMenu* SpeedMenu() const { return m_speedMenu; }
    TResultsPage* ResultsPage() const { return m_results; }
    // The acquisition period: Timer1000TimeOut, divided by the simulator's speed while it is the open port.
    int TimerInterval() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildHeader();
    QWidget* BuildPlanningPane();
    void BuildStatusBar();
    void BuildMenus();
    void InitTrackBars();
    void LayoutHeader();
    void LayoutButtonStrips();

    QMessageBox::StandardButton Ask(const QString& text);
    void ShowError(const QString& text);
    // True when nothing is unsaved or the operator answers Yes to question.
    bool MayDropUnsaved(const QString& question);
    // Refuses an action that would move the indexes a running sequencer holds.
    bool RefuseWhileRunning();

    void OnPortClicked(QAction* action);
    void ApplyPortMarks();
    void OnStartClicked();
    void OnStopClicked();
    void OnAddClicked();
    void OnDelClicked();
    void OnModeChanged(int mode);
    void OnStartBarChanged(int p);
    void OnEndBarChanged(int p);
    void OnStepBarChanged(int p);
    void OnSampleChosen(int index);
    void OnSetPointEntered();
    void OnPageChanged(int index);
    void OnEditPoints();
    void OnSpeedChosen(QAction* action);
    void OnCopySimulatorSamples();
    // The points of the store were replaced, added or removed: the tree is built again.
    void StoreChanged();
    // A sample's description or use changed: its marks, the results and the recovery copy follow.
    void SamplesChanged();
    // The measurement changed through this window (tell the recovery copy).
    void MeasureChanged();
    // Nothing is unsaved any more: the recovery copy goes.
    void MeasureSaved();

    GlobalValue& m_global;
    CQm4750Device& m_device;
    CProgrammLogic& m_logic;
    CAcquisitionLoop& m_loop;
    TSimulatorControl m_sim;
    std::unique_ptr<CRecoveryKeeper> m_recovery;

    QTimer m_timer;
    int m_markedPort = -1;
    // Ticks in a row whose exchange with the open device failed; from SilentTicksShown on the
    // status bar says so (a single damaged reply does not make it flicker).
    int m_silentTicks = 0;
    // The file dialogs open where the last file was opened or saved.
    QString m_fileFolder;

    // header
    QWidget* m_header = nullptr;
    QLabel* RzLabel1 = nullptr;
    QLabel* RzLabel2 = nullptr;
    QLabel* RzLabel3 = nullptr;
    QLabel* RzLabel4 = nullptr;
    QLabel* RzLabel5 = nullptr;
    QLabel* RzLabel6 = nullptr;
    QComboBox* RzComboBoxSample = nullptr;
    QDoubleSpinBox* m_setPointEdit = nullptr;

    // planning pane
    QWidget* m_pane = nullptr;
    QButtonGroup* m_modeGroup = nullptr;
    QWidget* RzPanel_Single = nullptr;
    QWidget* RzPanel_Range = nullptr;
    QDoubleSpinBox* RzNumericEdit_Tref = nullptr;
    QLabel* RzLabel_TStart = nullptr;
    QLabel* RzLabel_TEnd = nullptr;
    QLabel* RzLabel_TStep = nullptr;
    TTrackBar* RzTrackBar_TStart = nullptr;
    TTrackBar* RzTrackBar_TEnd = nullptr;
    TTrackBar* RzTrackBar_TStep = nullptr;
    QWidget* m_addDelStrip = nullptr;
    QPushButton* RzBitBtnTrefAdd = nullptr;
    QPushButton* RzBitBtnTrefDel = nullptr;
    TPointTree* m_tree = nullptr;
    QLabel* RzLabel_TreeView = nullptr;
    QWidget* m_startStopStrip = nullptr;
    QPushButton* RzBitBtnStart = nullptr;
    QPushButton* RzBitBtnStop = nullptr;

    // right side
    QSplitter* m_splitter = nullptr;
    QTabWidget* m_pages = nullptr;
    TTelemetryChart* m_chart = nullptr;
    TResultsPage* m_results = nullptr;

    // status bar
    QLabel* RzStatusPane1 = nullptr;
    QLabel* RzStatusPane2 = nullptr;
    QLabel* RzStatusPid1 = nullptr;
    QLabel* RzStatusPid2 = nullptr;
    QLabel* RzStatusDAC = nullptr;
    QLabel* RzStatusADC = nullptr;
    QLabel* RzStatusDataRate = nullptr;

    // menus
    QMenu* m_portMenu = nullptr;
    QActionGroup* m_portGroup = nullptr;
    QMenu* m_samplesMenu = nullptr;
    QMenu* m_speedMenu = nullptr;
    QActionGroup* m_speedGroup = nullptr;
};
