// The Samples submenu and the samples dialog with its stored sample list, driven through their
// controls with a temporary Pellets.ini.

#include "model/uglobal.h"
#include "support/tempdir.h"
#include "ui/usamplesmenu.h"
#include "ui/uselsampledialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {
// A dialog whose operator dialogue is scripted: names to type, answers to give, errors seen.
struct TScriptedDialog {
    TScriptedDialog(GlobalValue& global, CSample* sample, const std::filesystem::path& list)
        : Dialog(nullptr, global, sample, list) {
        Dialog.InputName = [this](const QString& prompt, const QString& defaultText) {
            Prompts << prompt + "|" + defaultText;
            return Names.isEmpty() ? defaultText : Names.takeFirst();
        };
        Dialog.AskYesNo = [this](const QString& question) {
            Questions << question;
            return Answer;
        };
        Dialog.ShowError = [this](const QString& message) { Errors << message; };
    }
    CNumericEdit* Edit(const char* name) { return Dialog.findChild<CNumericEdit*>(name); }
    QComboBox* Combo(const char* name) { return Dialog.findChild<QComboBox*>(name); }
    QString Label() { return Dialog.findChild<QLabel*>("RzLabel7")->text(); }
    void Click(const char* name) { QTest::mouseClick(Dialog.findChild<QPushButton*>(name), Qt::LeftButton); }
    void Type(const char* edit, const QString& text) {
        Edit(edit)->setText(text);
        emit Edit(edit)->editingFinished();
    }
    QStringList Shown() {
        QStringList texts;
        for (const char* name : {"RzNumericEdit_A", "RzNumericEdit_B", "RzNumericEdit_L", "RzNumericEdit_WL",
                                 "RzNumericEdit_WD", "RzNumericEdit_EC"})
            texts << Edit(name)->text();
        return texts;
    }
    QStringList StoredNames() {
        QStringList names;
        for (int i = 0; i < Combo("RzComboBox1")->count(); ++i)
            names << Combo("RzComboBox1")->itemText(i);
        return names;
    }

    TSelSampleDialog Dialog;
    QStringList Names;
    bool Answer = true;
    QStringList Prompts, Questions, Errors;
};

void Describe(CSample& s, double a, double b, double l, double wl, double wd, double ma, bool use) {
    s.SetA(a, usMilli);
    s.SetB(b, usMilli);
    s.SetL(l, usMilli);
    s.SetWireL(wl, usMilli);
    s.SetWireD(wd, usMilli);
    s.SetCurrent(ma, usMilli);
    s.SetUse(use);
}
} // namespace

class TestSamples : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<GlobalValue> m_global;
    std::filesystem::path m_list;

    CSample& Sample(int i) { return *m_global->Samples[static_cast<std::size_t>(i)]; }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() {
        m_dir = std::make_unique<TempDir>();
        m_global = std::make_unique<GlobalValue>(*m_dir / "qm4750.INI");
        m_global->bWriteBackAtExit = false;
        m_list = *m_dir / "Pellets.ini";
        Describe(Sample(0), 2.5, 2.5, 5, 100, 0.1, 40, true);
        Describe(Sample(1), 3, 3, 6, 120, 0.05, 25, false);
        Describe(Sample(2), 1.23456, 2, 4, 100, 0.1, 10, true);
    }
    void cleanup() {
        m_global.reset();
        m_dir.reset();
    }

    void menuShowsEverySampleWithItsUse() {
        QMenu menu;
        bool repainted = false;
        InstallSamplesMenu(&menu, *m_global, nullptr, [&] { repainted = true; });
        const QList<QAction*> actions = menu.actions();
        QCOMPARE(actions.size(), 5);
        QCOMPARE(actions[0]->text(), QString("#0 (2.50x2.50x5.00@40.00)"));
        QCOMPARE(actions[1]->text(), QString("#1 (3.00x3.00x6.00@25.00)"));
        QCOMPARE(actions[2]->text(), QString("#2 (1.2346x2.00x4.00@10.00)"));
        QVERIFY(actions[0]->isChecked());
        QVERIFY(!actions[1]->isChecked());
        QVERIFY(actions[3]->isSeparator());
        QCOMPARE(actions[4]->text(), QString("Edit property"));
        QVERIFY(!repainted);

        // A click switches the sample at once and is announced (the tree's marks show the use);
        // the use flag is not saved, so nothing becomes unsaved.
        actions[1]->trigger();
        QVERIFY(Sample(1).GetUse());
        QVERIFY(repainted);
        actions[0]->trigger();
        QVERIFY(!Sample(0).GetUse());
        QVERIFY(m_global->bMeasureSaved);

        // Changes made elsewhere show the next time the menu opens.
        Sample(1).SetUse(false);
        Sample(1).SetA(10, usMilli);
        emit menu.aboutToShow();
        QCOMPARE(menu.actions().size(), 5);
        QVERIFY(!menu.actions()[1]->isChecked());
        QCOMPARE(menu.actions()[1]->text(), QString("#1 (10.00x3.00x6.00@25.00)"));
    }

    void menuCaptionFollowsTheLocale() {
        QCOMPARE(SampleMenuCaption(0, Sample(0), QLocale(QLocale::German)),
                 QString("#0 (2,50x2,50x5,00@40,00)"));
    }

    void dialogShowsAndAppliesTheChosenSample() {
        Sample(1).SetDevId(7); // a loaded measurement file may set any channel number
        TScriptedDialog d(*m_global, &Sample(0), m_list);
        QCOMPARE(d.Dialog.windowTitle(), QString("Samples edit dialog"));
        QCOMPARE(d.Combo("RzComboBoxSample")->count(), 3);
        QCOMPARE(d.Combo("RzComboBoxSample")->itemText(2), QString("Sample # 2"));
        QCOMPARE(d.Combo("RzComboBoxSample")->currentIndex(), 0);
        QCOMPARE(d.Label(), QString("Current sample selected #0"));
        QCOMPARE(d.Shown(), QStringList({"2.5", "2.5", "5", "100", "0.1", "40"}));
        QVERIFY(d.Dialog.findChild<QCheckBox*>("RzCheckBox2")->isChecked());

        // Typed but not applied is lost when another sample is chosen.
        d.Type("RzNumericEdit_A", "9");
        d.Dialog.RzComboBoxSampleChange(1);
        QCOMPARE(d.Dialog.CurrentSample(), &Sample(1));
        QCOMPARE(d.Label(), QString("Current sample selected #7"));
        QCOMPARE(d.Shown(), QStringList({"3", "3", "6", "120", "0.05", "25"}));
        QCOMPARE(Sample(0).GetA(usMilli), 2.5);
        QVERIFY(m_global->bMeasureSaved);

        // Apply with only the use flag changed leaves the measurement saved.
        d.Dialog.findChild<QCheckBox*>("RzCheckBox2")->setChecked(true);
        d.Click("RzBitBtn4");
        QVERIFY(Sample(1).GetUse());
        QVERIFY(m_global->bMeasureSaved);

        // Ok applies (grouping and the comma are read) and closes.
        d.Type("RzNumericEdit_WL", "1,200");
        d.Type("RzNumericEdit_EC", "12,5");
        d.Click("RzBitBtn5");
        QCOMPARE(d.Dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Sample(1).GetWireL(usBase), 1.2);
        QCOMPARE(Sample(1).GetCurrent(usBase), 0.0125);
        QCOMPARE(Sample(1).GetDevId(), 7);
        QVERIFY(!m_global->bMeasureSaved);
    }

    void untouchedEditsKeepEveryDigit() {
        Sample(0).SetWireD(0.123456, usMilli);
        TScriptedDialog d(*m_global, &Sample(0), m_list);
        QCOMPARE(d.Edit("RzNumericEdit_WD")->text(), QString("0.1235"));
        const double before = Sample(0).dWireD;
        d.Click("RzBitBtn4");
        QCOMPARE(Sample(0).dWireD, before);
        QVERIFY(m_global->bMeasureSaved);
    }

    void storedListAddLoadDelete() {
        TScriptedDialog d(*m_global, &Sample(0), m_list);
        QVERIFY(d.StoredNames().isEmpty());

        // Default name untouched or cancelled: nothing is written.
        d.Click("RzBitBtn1");
        QCOMPARE(d.Prompts, QStringList({QString::fromUtf8("Название образца") + "|Sample name"}));
        QVERIFY(!std::filesystem::exists(m_list));

        // A wire of 1000 mm under a name with spaces and Cyrillic letters.
        const QString cyrillic = QString::fromUtf8("Образец Bi2Te3 № 5");
        d.Type("RzNumericEdit_WL", "1000");
        d.Names << cyrillic << "plain one";
        d.Click("RzBitBtn1");
        d.Type("RzNumericEdit_A", "4");
        d.Click("RzBitBtn1");
        QCOMPARE(d.StoredNames(), QStringList({cyrillic, "plain one"}));
        QCOMPARE(d.Combo("RzComboBox1")->currentIndex(), -1);
        const std::string text = TempDir::Read(m_list);
        QVERIFY2(text.find(cyrillic.toStdString() + "=2.5 2.5 5 1000 0.1 40") != std::string::npos,
                 text.c_str());

        // Overwriting keeps one entry of that name, in its place.
        d.Type("RzNumericEdit_L", "7.25");
        d.Names << cyrillic;
        d.Click("RzBitBtn1");
        QCOMPARE(d.StoredNames(), QStringList({cyrillic, "plain one"}));

        // Load fills the edits only; the sample changes on Apply.
        ShowAllZero(d);
        d.Combo("RzComboBox1")->setCurrentText(cyrillic);
        d.Click("RzBitBtn2");
        QCOMPARE(d.Shown(), QStringList({"4", "2.5", "7.25", "1,000", "0.1", "40"}));
        QCOMPARE(Sample(0).GetL(usMilli), 5.0);
        d.Click("RzBitBtn4");
        QCOMPARE(Sample(0).GetWireL(usBase), 1.0);
        QCOMPARE(Sample(0).GetL(usMilli), 7.25);
        QVERIFY(d.Errors.isEmpty());

        // Delete answered No leaves the file as it was; Yes removes the entry.
        const std::string before = TempDir::Read(m_list);
        d.Combo("RzComboBox1")->setCurrentText("plain one");
        d.Answer = false;
        d.Click("RzBitBtn3");
        QCOMPARE(d.Questions, QStringList({"Do you want to delete plain one sample?"}));
        QCOMPARE(TempDir::Read(m_list), before);
        d.Answer = true;
        d.Click("RzBitBtn3");
        QCOMPARE(d.StoredNames(), QStringList({cyrillic}));
        QVERIFY(d.Errors.isEmpty());
    }

    void entriesOfOlderListsLoadAsWellAsTheyCan() {
        TempDir::Write(m_list, "[Samples]\r\nUS=2.5 2.5 5 1,000 0.1 40\r\nRU=2,5 2,5 5 1.000 0,1 40\r\n"
                               "broken=2.5 2.5\r\nempty=\r\n");
        TScriptedDialog d(*m_global, &Sample(1), m_list);
        QCOMPARE(d.StoredNames(), QStringList({"US", "RU", "broken", "empty"}));
        for (const char* name : {"US", "RU"}) {
            ShowAllZero(d);
            d.Combo("RzComboBox1")->setCurrentText(name);
            d.Click("RzBitBtn2");
            QCOMPARE(d.Shown(), QStringList({"2.5", "2.5", "5", "1,000", "0.1", "40"}));
        }
        // What cannot be read is said, and the edits keep their values.
        for (const char* name : {"broken", "empty", "missing"}) {
            d.Errors.clear();
            d.Combo("RzComboBox1")->setCurrentText(name);
            d.Click("RzBitBtn2");
            QCOMPARE(d.Errors.size(), 1);
            QVERIFY2(d.Errors[0].contains(name), qPrintable(d.Errors[0]));
            QCOMPARE(d.Shown(), QStringList({"2.5", "2.5", "5", "1,000", "0.1", "40"}));
        }
    }

    void aListThatCannotBeWrittenIsSaid() {
        const std::filesystem::path nowhere = *m_dir / "no such folder" / "Pellets.ini";
        TScriptedDialog d(*m_global, &Sample(0), nowhere);
        d.Names << "x";
        d.Click("RzBitBtn1");
        QCOMPARE(d.Errors.size(), 1);
        QVERIFY(!std::filesystem::exists(nowhere));

        // A name the file cannot hold as a key is refused, not stored as something else.
        TScriptedDialog e(*m_global, &Sample(0), m_list);
        e.Names << "a=b";
        e.Click("RzBitBtn1");
        QCOMPARE(e.Errors.size(), 1);
        QVERIFY(!std::filesystem::exists(m_list));
    }

    void defaultListLivesBesideTheProgram() {
        QCOMPARE(CStoredSampleList::DefaultPath().filename(), std::filesystem::path("Pellets.ini"));
        QCOMPARE(CStoredSampleList::DefaultPath().parent_path(),
                 std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()));
    }

private:
    static void ShowAllZero(TScriptedDialog& d) {
        for (const char* name : {"RzNumericEdit_A", "RzNumericEdit_B", "RzNumericEdit_L", "RzNumericEdit_WL",
                                 "RzNumericEdit_WD", "RzNumericEdit_EC"})
            d.Edit(name)->SetValue(0);
    }
};

QTEST_MAIN(TestSamples)
#include "test_samples.moc"
