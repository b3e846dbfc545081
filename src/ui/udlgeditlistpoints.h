#pragma once

#include "ui/cmystringgrid.h"

#include <QDialog>

#include <functional>
#include <memory>

class CSample;
class GlobalValue;
class QComboBox;
class QLabel;
class QTableView;
class QWidget;

// The table of stored points of one sample: one row per reference temperature with Tref, Tamb and
// T1, T2, U, I of the four modes. A mode value committed with Enter goes straight into the store.
class TDlgEditListPoints : public QDialog {
    Q_OBJECT
public:
    TDlgEditListPoints(QWidget* owner, GlobalValue& global);
    ~TDlgEditListPoints() override;

    // Rebuilds the rows from the store for the current sample.
    void FillGrid();

    CMyStringGrid* Grid() const { return pPointsGrid.get(); }

    // Runs after a committed value reached the store (the owner keeps its recovery copy current).
    std::function<void()> OnStoreEdited;
    // Position of the shown sample in the sample array; it is also the point index in the store.
    int SampleIndex() const { return m_iSampleIndex; }

private:
    void InitGrid();
    void RzComboBoxSampleChange(int index);
    void GridCellChange(QTableView* grid, int col, int row);

    GlobalValue& m_global;
    std::unique_ptr<CMyStringGrid> pPointsGrid;
    CSample* pCurSample = nullptr;
    int m_iSampleIndex = 0;
    bool bLoading = false;

    QLabel* RzLabel7 = nullptr;
    QComboBox* RzComboBoxSample = nullptr;
    QWidget* RzPanel2 = nullptr;
};

// Opens the points table modally and frees it when it closes; onEdited runs after every value
// committed into the store.
void ExecDlgEditListPoints(QWidget* parent, GlobalValue& global, std::function<void()> onEdited = {});
