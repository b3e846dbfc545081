// The recovery copy in the window: the question at start-up and its two answers, the copy kept
// while something is unsaved and removed after a save.

#include "files/crecoverykeeper.h"
#include "files/urecoveryfile.h"
#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "simulator/csimclock.h"
#include "simulator/csimlink.h"
#include "support/tempdir.h"
#include "ui/umainform.h"
#include "ui/upointtree.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <deque>
#include <functional>

namespace {

class TStepClock : public CSimClock {
public:
    std::int64_t NowMs() override { return Now; }
    std::int64_t Now = 0;
};

// One program as main() builds it, with its recovery copy in a folder of the test's own.
struct TProgram {
    const TempDir& Dir;
    std::unique_ptr<GlobalValue> g;
    TStepClock clock;
    CPortLink link{clock};
    CQm4750Device device{link};
    std::unique_ptr<CAcquisitionLoop> loop;
    std::unique_ptr<TMainForm> form;

    explicit TProgram(const TempDir& dir) : Dir(dir) {
        g = std::make_unique<GlobalValue>(dir / "absent.INI");
        g->bWriteBackAtExit = false;
        loop = std::make_unique<CAcquisitionLoop>(*g, device,
                                                  [this] { return static_cast<std::uint32_t>(clock.Now); });
        form = std::make_unique<TMainForm>(*g, device, *loop);
        form->EnableRecovery(CopyPath());
        form->show();
    }
    ~TProgram() {
        form->AcquisitionTimer().stop();
        form.reset();
    }
    std::filesystem::path CopyPath() const { return RecoveryFilePath(Dir / "data"); }
    std::string OnDisk() {
        form->Recovery()->Flush();
        return std::filesystem::exists(CopyPath()) ? TempDir::Read(CopyPath()) : std::string{};
    }
    std::string Expected() const { return EncodeRecoveryFile(g->MeasureData, g->Samples); }
    template <typename T> T* Find(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }
};

// A measurement interrupted by a crash: two temperatures, sample 0 done at the first, sample 1
// switched off, written by another program as its recovery copy.
std::string InterruptedCopy(const TempDir& dir) {
    GlobalValue g(dir / "absent.INI");
    g.bWriteBackAtExit = false;
    for (double t : {300.0, 320.0}) {
        g.MeasureData.AddTemperature(t);
        for (const auto& s : g.Samples)
            g.MeasureData.AddPoint(s.get());
    }
    for (int m = 0; m < MeasureModeCount; ++m)
        g.MeasureData.SetModeData(0, 0, m, 300.1, 299.9, 10 + m, 40, true);
    g.MeasureData.SetModeData(0, 2, mmOff, 300.2, 299.8, 0.5, 0, true);
    g.Samples[1]->SetUse(false);
    g.Samples[2]->SetA(2.5, usMilli);
    return EncodeRecoveryFile(g.MeasureData, g.Samples);
}

// Answers the next modal boxes in order and remembers their titles and texts.
class TModalDriver : public QObject {
public:
    TModalDriver() {
        m_poll.setInterval(2);
        connect(&m_poll, &QTimer::timeout, this, &TModalDriver::Poll);
        m_poll.start();
    }
    void Answer(std::function<bool(QWidget*)> action) { m_actions.push_back(std::move(action)); }
    void Box(QMessageBox::StandardButton answer) {
        Answer([answer](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr || box->button(answer) == nullptr)
                return false;
            box->button(answer)->click();
            return true;
        });
    }
    void File(const QString& path) {
        Answer([path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (dialog == nullptr)
                return false;
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
            return true;
        });
    }
    QStringList Titles;
    QStringList Texts;

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible() || m_actions.empty())
            return;
        Titles << w->windowTitle();
        if (qEnvironmentVariableIsSet("QM_SCREENSHOT_DIR") && Titles.size() == 1 && m_shot++ == 0)
            w->grab().save(qEnvironmentVariable("QM_SCREENSHOT_DIR") +
                           QStringLiteral("/recovery-question.png"));
        if (auto* box = qobject_cast<QMessageBox*>(w))
            Texts << box->text();
        auto action = std::move(m_actions.front());
        m_actions.pop_front();
        if (!action(w)) {
            Titles.last() = QStringLiteral("unexpected: ") + Titles.last();
            if (auto* dialog = qobject_cast<QDialog*>(w))
                dialog->reject();
        }
    }
    QTimer m_poll;
    std::deque<std::function<bool(QWidget*)>> m_actions;
    static inline int m_shot = 0; // the first question of the program: the restore question
};

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
private slots:
    void yesRestoresTheMeasurementAndStartResumesIt();
    void noKeepsTheCopyAsideUnderItsTimeStamp();
    void aDamagedCopyIsReportedAndSetAside();
    void theWindowKeepsTheCopyWhileSomethingIsUnsaved();
};

void TestRecovery::yesRestoresTheMeasurementAndStartResumesIt() {
    TempDir dir;
    const std::string copy = InterruptedCopy(dir);
    TProgram p(dir);
    std::filesystem::create_directories(p.CopyPath().parent_path());
    TempDir::Write(p.CopyPath(), copy);

    TModalDriver modal;
    modal.Box(QMessageBox::Yes);
    QVERIFY(p.form->OfferRecovery());
    QCOMPARE(modal.Titles, QStringList{QStringLiteral("Question?")});
    QVERIFY(modal.Texts.value(0).contains(QStringLiteral("restore")));

    // The store, the descriptions and the use flags as they were.
    QCOMPARE(p.Expected(), copy);
    QVERIFY(!p.g->Samples[1]->GetUse());
    QVERIFY(!p.g->bMeasureSaved);
    QCOMPARE(p.form->Tree()->topLevelItemCount(), 2);
    // The copy stays until the measurement is saved.
    QCOMPARE(p.OnDisk(), copy);

    // Start goes on with the first point not yet done: sample 2 at 300 K (sample 1 is off).
    QVERIFY(p.form->ConnectDevice(0));
    p.form->SetButtonStates();
    p.Find<QPushButton>("RzBitBtnStart")->click();
    QVERIFY(p.g->ProgrammLogic->IsRunning());
    QCOMPARE(p.g->ProgrammLogic->GetTemperatureIndex(), 0);
    QCOMPARE(p.g->ProgrammLogic->GetSampleIndex(), 2);
    p.g->ProgrammLogic->Stop();

    // A successful save removes the copy.
    modal.File(QString::fromStdString((dir / "saved.q47").string()));
    p.form->FileSave(1);
    QVERIFY(p.g->bMeasureSaved);
    QCOMPARE(p.OnDisk(), std::string{});
    QVERIFY(std::filesystem::exists(dir / "saved.q47"));
}

void TestRecovery::noKeepsTheCopyAsideUnderItsTimeStamp() {
    TempDir dir;
    const std::string copy = InterruptedCopy(dir);
    TProgram p(dir);
    std::filesystem::create_directories(p.CopyPath().parent_path());
    TempDir::Write(p.CopyPath(), copy);

    TModalDriver modal;
    modal.Box(QMessageBox::No);
    QVERIFY(!p.form->OfferRecovery());
    QCOMPARE(modal.Titles, QStringList{QStringLiteral("Question?")});
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t{0});
    QVERIFY(p.g->bMeasureSaved);
    QVERIFY(p.g->Samples[1]->GetUse());
    QVERIFY(!std::filesystem::exists(p.CopyPath()));

    std::vector<std::filesystem::path> aside;
    for (const auto& entry : std::filesystem::directory_iterator(p.CopyPath().parent_path()))
        aside.push_back(entry.path());
    QCOMPARE(aside.size(), std::size_t{1});
    const std::string name = aside[0].filename().string();
    QVERIFY2(name.rfind("recovery-", 0) == 0 &&
                 name.size() == std::string("recovery-20240131-142501.q47r").size(),
             name.c_str());
    QCOMPARE(TempDir::Read(aside[0]), copy);

    // Nothing is asked at the next start.
    TModalDriver none;
    QVERIFY(!p.form->OfferRecovery());
    QVERIFY(none.Titles.isEmpty());
}

void TestRecovery::aDamagedCopyIsReportedAndSetAside() {
    TempDir dir;
    TProgram p(dir);
    std::filesystem::create_directories(p.CopyPath().parent_path());
    const std::string copy = InterruptedCopy(dir);
    TempDir::Write(p.CopyPath(), copy.substr(0, copy.size() / 2));

    TModalDriver modal;
    modal.Box(QMessageBox::Yes);
    modal.Box(QMessageBox::Ok);
    QVERIFY(!p.form->OfferRecovery());
    QCOMPARE(modal.Titles, (QStringList{QStringLiteral("Question?"), QStringLiteral("Error")}));
    QVERIFY(modal.Texts.value(1).contains(QStringLiteral("recovery.q47r")));
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t{0});
    QVERIFY(p.g->bMeasureSaved);
    QVERIFY(!std::filesystem::exists(p.CopyPath()));
}

void TestRecovery::theWindowKeepsTheCopyWhileSomethingIsUnsaved() {
    TempDir dir;
    TProgram p(dir);
    TModalDriver modal;
    QVERIFY(!p.form->OfferRecovery());
    QVERIFY(modal.Titles.isEmpty());

    p.Find<QRadioButton>("RzRadioGroup1Item0")->click();
    p.Find<QDoubleSpinBox>("RzNumericEdit_Tref")->setValue(305);
    p.Find<QPushButton>("RzBitBtnTrefAdd")->click();
    p.Find<QDoubleSpinBox>("RzNumericEdit_Tref")->setValue(315);
    p.Find<QPushButton>("RzBitBtnTrefAdd")->click();
    QCOMPARE(p.OnDisk(), p.Expected());

    p.form->Tree()->setCurrentItem(p.form->Tree()->topLevelItem(0));
    p.Find<QPushButton>("RzBitBtnTrefDel")->click();
    QCOMPARE(p.g->MeasureData.GetTemperatureCount(), std::size_t{1});
    // The deletion is in the copy.
    QCOMPARE(p.OnDisk(), p.Expected());

    // A new, empty measurement has nothing to lose: the copy goes.
    modal.Box(QMessageBox::Yes);
    p.form->FileNew();
    QCOMPARE(p.OnDisk(), std::string{});

    // Closing with unsaved data keeps the copy for the next start; without, it goes.
    p.Find<QPushButton>("RzBitBtnTrefAdd")->click();
    QVERIFY(!p.OnDisk().empty());
    modal.Box(QMessageBox::Yes);
    QVERIFY(p.form->close());
    QCOMPARE(p.OnDisk(), p.Expected());
    p.g->bMeasureSaved = true;
    p.form->show();
    QVERIFY(p.form->close());
    QCOMPARE(p.OnDisk(), std::string{});
}

QTEST_MAIN(TestRecovery)
#include "test_recovery.moc"
