// The editable grid and the table of stored points: what the table shows, what typing does, and
// which edits reach the measurement store.

#include "model/uglobal.h"
#include "support/tempdir.h"
#include "ui/cmystringgrid.h"
#include "ui/udlgeditlistpoints.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <memory>

class TestPoints : public QObject {
    Q_OBJECT
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<GlobalValue> m_global;

    CMeasrueData& Store() { return m_global->MeasureData; }

    // count reference temperatures 300, 310, ...; point j of temperature k holds recognisable values.
    void FillStore(int count) {
        for (int k = 0; k < count; ++k) {
            Store().AddTemperature(300 + 10 * k);
            for (auto& sample : m_global->Samples)
                Store().AddPoint(sample.get());
            for (int j = 0; j < static_cast<int>(m_global->Samples.size()); ++j) {
                Store().SetTamb(k, j, 295 + j);
                for (int m = 0; m < MeasureModeCount; ++m)
                    Store().SetModeData(k, j, m, 300 + 10 * k + j, 301 + 10 * k + j, 100 * j + m, 10 + j,
                                        m != mmAc);
            }
        }
    }

    // Opens the editor of a cell and returns it.
    static QLineEdit* OpenEditor(QTableView* view, int col, int row) {
        const QModelIndex index = view->model()->index(row, col);
        view->setCurrentIndex(index);
        view->edit(index);
        auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(index));
        if (editor)
            editor->selectAll();
        return editor;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() {
        m_dir = std::make_unique<TempDir>();
        m_global = std::make_unique<GlobalValue>(*m_dir / "qm4750.INI");
        m_global->bWriteBackAtExit = false;
    }
    void cleanup() {
        m_global.reset();
        m_dir.reset();
    }

    void emptyStoreGivesTheHeaderRowOnly() {
        TDlgEditListPoints dialog(nullptr, *m_global);
        QCOMPARE(dialog.windowTitle(), QString("Tempearture points list"));
        CMyStringGrid* grid = dialog.Grid();
        QCOMPARE(grid->ColCount(), 19);
        QCOMPARE(grid->RowCount(), 1);
        QStringList headers;
        for (int c = 0; c < 19; ++c) {
            headers << grid->GetCell(c, 0)->GetText();
            QCOMPARE(grid->pStringGrid->model()->flags(grid->pStringGrid->model()->index(0, c)),
                     Qt::NoItemFlags);
        }
        QCOMPARE(headers.join(' '), QString("# Tref Tamb T1 T2 U I T1 T2 U I T1 T2 U I T1 T2 U I"));
    }

    void rowsShowTheStoreWithoutWritingIt() {
        FillStore(5);
        const auto before = Store().Items;
        TDlgEditListPoints dialog(nullptr, *m_global);
        CMyStringGrid* grid = dialog.Grid();
        QCOMPARE(grid->RowCount(), 6);
        QCOMPARE(grid->GetCell(0, 3)->GetText(), QString("2"));
        QCOMPARE(grid->GetCell(1, 3)->GetText(), QString("320.00"));
        QCOMPARE(grid->GetCell(2, 3)->GetText(), QString("295.00"));
        QCOMPARE(grid->GetCell(7, 3)->GetText(), QString("320.00")); // T1 of DC+
        QCOMPARE(grid->GetCell(17, 1)->GetText(), QString("3.0"));   // U of AC
        QCOMPARE(dialog.findChild<QLabel*>("RzLabel7")->text(), QString("Current sample selected #0"));
        // The #, Tref and Tamb columns are shown only; the mode values are editable.
        const QAbstractItemModel* model = grid->pStringGrid->model();
        for (int c : {0, 1, 2})
            QVERIFY(!(model->flags(model->index(1, c)) & Qt::ItemIsEditable));
        QVERIFY(model->flags(model->index(1, 3)) & Qt::ItemIsEditable);
        QVERIFY(m_global->bMeasureSaved);
        for (std::size_t k = 0; k < before.size(); ++k)
            for (std::size_t j = 0; j < before[k].Points.size(); ++j)
                QCOMPARE(Store().Items[k].Points[j].Mode[mmAc].bMeasured,
                         before[k].Points[j].Mode[mmAc].bMeasured);
    }

    void numberCellCharacterFilter_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("ch");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("digit") << "12" << 2 << 0 << "7" << true;
        QTest::newRow("minus into empty") << "" << 0 << 0 << "-" << true;
        QTest::newRow("plus into empty") << "" << 0 << 0 << "+" << true;
        QTest::newRow("minus after a digit") << "5" << 1 << 0 << "-" << false;
        QTest::newRow("minus over the whole selected text") << "301.50" << 0 << 6 << "-" << true;
        QTest::newRow("second sign") << "-5" << 0 << 0 << "-" << false;
        QTest::newRow("first separator") << "3" << 1 << 0 << "." << true;
        QTest::newRow("second separator") << "3.1" << 3 << 0 << "." << false;
        QTest::newRow("separator replacing the old one") << "3.1" << 1 << 1 << "." << true;
        QTest::newRow("comma is not this locale's separator") << "3" << 1 << 0 << "," << false;
        QTest::newRow("letter") << "3" << 1 << 0 << "a" << false;
        QTest::newRow("blank") << "3" << 1 << 0 << " " << false;
        QTest::newRow("backspace") << "3" << 1 << 0 << "\b" << true;
        QTest::newRow("enter") << "3" << 1 << 0 << "\r" << true;
    }
    void numberCellCharacterFilter() {
        QFETCH(QString, text);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, ch);
        QFETCH(bool, accepted);
        QCOMPARE(NumberCellAccepts(text, selStart, selLength, ch.front(), QChar('.')), accepted);
    }

    void enterCommitsIntoTheStore() {
        FillStore(2);
        TDlgEditListPoints dialog(nullptr, *m_global);
        int edits = 0;
        dialog.OnStoreEdited = [&edits] { ++edits; };
        dialog.show();
        QTableView* view = dialog.Grid()->pStringGrid;

        // Typed through the filter: refused characters never reach the editor.
        QLineEdit* editor = OpenEditor(view, 7, 1);
        QVERIFY(editor);
        QTest::keyClicks(editor, "3a0-1.5.");
        QCOMPARE(editor->text(), QString("301.5"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(Store().GetPoint(0, 0).Mode[mmDcPlus].dT1, 301.5);
        QVERIFY(Store().GetPoint(0, 0).Mode[mmDcPlus].bMeasured);
        QCOMPARE(dialog.Grid()->GetCell(7, 1)->GetText(), QString("301.50"));
        QCOMPARE(view->model()->data(view->model()->index(1, 7)).toString(), QString("301.50"));
        QVERIFY(!m_global->bMeasureSaved);
        QCOMPARE(edits, 1);

        // A lone sign is no number: Enter changes nothing and the editor keeps its text.
        m_global->bMeasureSaved = true;
        editor = OpenEditor(view, 18, 2);
        QVERIFY(editor);
        QTest::keyClicks(editor, "-");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(view->indexWidget(view->model()->index(2, 18)), editor);
        QCOMPARE(editor->text(), QString("-"));
        QCOMPARE(Store().GetPoint(1, 0).Mode[mmAc].dI, 10.0);
        QVERIFY(m_global->bMeasureSaved);
        QTest::keyClick(editor, Qt::Key_Escape);

        // Typed and left without Enter: neither the cell nor the store changes.
        editor = OpenEditor(view, 4, 2);
        QVERIFY(editor);
        QTest::keyClicks(editor, "999");
        QTest::keyClick(editor, Qt::Key_Tab);
        QCoreApplication::processEvents();
        QCOMPARE(Store().GetPoint(1, 0).Mode[mmOff].dT2, 311.0);
        QCOMPARE(dialog.Grid()->GetCell(4, 2)->GetText(), QString("311.00"));
        QVERIFY(m_global->bMeasureSaved);
        QCOMPARE(edits, 1);

        // Read-only cells open no editor.
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        view->edit(view->model()->index(1, 1));
        view->edit(view->model()->index(0, 5));
        QVERIFY(!view->indexWidget(view->model()->index(1, 1)));
        QVERIFY(!view->indexWidget(view->model()->index(0, 5)));
    }

    void textCellsTakeAnyTextOnEnter() {
        QWidget panel;
        CMyStringGrid grid(&panel);
        grid.SetSize(2, 2);
        std::vector<std::pair<int, int>> changes;
        grid.OnCellChange = [&](QTableView*, int c, int r) { changes.emplace_back(c, r); };
        grid.SetCellText(1, 1, "old");
        QCOMPARE(changes, (std::vector<std::pair<int, int>>{{1, 1}}));
        grid.Show();
        panel.show();
        QLineEdit* editor = OpenEditor(grid.pStringGrid, 1, 1);
        QVERIFY(editor);
        QTest::keyClicks(editor, "a-b.c.");
        QTest::keyClick(editor, Qt::Key_Enter);
        QCOMPARE(grid.GetCell(1, 1)->GetText(), QString("a-b.c."));
        QCOMPARE(changes.size(), std::size_t{2});
        // Shrinking frees the cells of the last row and column.
        grid.SetSize(1, 1);
        QVERIFY(!grid.GetCell(1, 1));
        QVERIFY(grid.GetCell(0, 0));
    }

    void chooserShowsTheSampleByItsPositionInTheArray() {
        FillStore(2);
        m_global->Samples[1]->SetDevId(5); // a measurement file may carry any channel number
        TDlgEditListPoints dialog(nullptr, *m_global);
        auto* chooser = dialog.findChild<QComboBox*>("RzComboBoxSample");
        QCOMPARE(chooser->count(), 3);
        QCOMPARE(chooser->itemText(1), QString("Sample # 1"));
        QCOMPARE(chooser->currentIndex(), 0);
        chooser->setCurrentIndex(1);
        emit chooser->activated(1);
        QCOMPARE(dialog.SampleIndex(), 1);
        QCOMPARE(dialog.findChild<QLabel*>("RzLabel7")->text(), QString("Current sample selected #5"));
        QCOMPARE(dialog.Grid()->GetCell(3, 2)->GetText(), QString("311.00")); // point 1 of 310 K
        QCOMPARE(dialog.Grid()->GetCell(2, 1)->GetText(), QString("296.00"));

        dialog.Grid()->GetCell(5, 2)->SetNumber(-42.5);
        QCOMPARE(Store().GetPoint(1, 1).Mode[mmOff].dU, -42.5);
        QCOMPARE(Store().GetPoint(1, 0).Mode[mmOff].dU, 0.0);
    }

    void columnsShareTheWidthEqually() {
        FillStore(1);
        TDlgEditListPoints dialog(nullptr, *m_global);
        dialog.show();
        for (int width : {870, 1234, 640}) {
            dialog.resize(width, 500);
            QCoreApplication::processEvents();
            QTableView* view = dialog.Grid()->pStringGrid;
            const int expected = view->viewport()->width() / 19;
            for (int c = 0; c < 19; ++c)
                QCOMPARE(view->columnWidth(c), expected);
        }
    }
};

QTEST_MAIN(TestPoints)
#include "test_points.moc"
