#include "ui/udlgeditlistpoints.h"

#include "model/uglobal.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
// #, Tref, Tamb, then T1, T2, U and I of every mode.
constexpr int FirstModeColumn = 3;
constexpr int ColumnsPerMode = 4;
constexpr int ColumnCount = FirstModeColumn + ColumnsPerMode * MeasureModeCount;
} // namespace

TDlgEditListPoints::TDlgEditListPoints(QWidget* owner, GlobalValue& global)
    : QDialog(owner), m_global(global) {
    setObjectName("DlgEditListPoints");
    setWindowTitle("Tempearture points list");
    resize(870, 640);
    setSizeGripEnabled(true);

    RzLabel7 = new QLabel(this);
    RzLabel7->setObjectName("RzLabel7");
    RzLabel7->setAlignment(Qt::AlignCenter);
    RzComboBoxSample = new QComboBox(this);
    RzComboBoxSample->setObjectName("RzComboBoxSample");
    RzPanel2 = new QWidget(this);
    RzPanel2->setObjectName("RzPanel2");

    auto* top = new QHBoxLayout;
    top->addWidget(RzLabel7, 1);
    top->addWidget(RzComboBoxSample);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(RzPanel2, 1);

    // FormCreate
    InitGrid();
    FillGrid();
    connect(RzComboBoxSample, &QComboBox::activated, this, &TDlgEditListPoints::RzComboBoxSampleChange);
}

TDlgEditListPoints::~TDlgEditListPoints() = default;

void TDlgEditListPoints::InitGrid() {
    for (int i = 0; i < static_cast<int>(m_global.Samples.size()); ++i)
        RzComboBoxSample->addItem(QString("Sample # %1").arg(i));

    pPointsGrid = std::make_unique<CMyStringGrid>(RzPanel2);
    pPointsGrid->SetSize(ColumnCount, 3);
    pPointsGrid->EvenRowColor = QColor(192, 192, 192);
    pPointsGrid->OddRowColor = QColor(255, 255, 255);
    static const char* const ModeHeaders[] = {"T1", "T2", "U", "I"};
    for (int col = 0; col < ColumnCount; ++col) {
        pPointsGrid->GetCell(col, 0)->bReadOnly = true;
        const QString header = col == 0   ? QStringLiteral("#")
                               : col == 1 ? QStringLiteral("Tref")
                               : col == 2 ? QStringLiteral("Tamb")
                                          : QString(ModeHeaders[(col - FirstModeColumn) % ColumnsPerMode]);
        pPointsGrid->SetCellText(col, 0, header);
    }
    pPointsGrid->OnCellChange = [this](QTableView* grid, int col, int row) {
        GridCellChange(grid, col, row);
    };
    pPointsGrid->Show();

    m_iSampleIndex = 0;
    pCurSample = m_global.Samples.empty() ? nullptr : m_global.Samples.front().get();
    const QSignalBlocker quiet(RzComboBoxSample);
    RzComboBoxSample->setCurrentIndex(pCurSample ? 0 : -1);
}

void TDlgEditListPoints::FillGrid() {
    bLoading = true;
    RzLabel7->setText(QString("Current sample selected #%1").arg(pCurSample ? pCurSample->GetDevId() : 0));
    const CMeasrueData& store = m_global.MeasureData;
    const int count = static_cast<int>(store.GetTemperatureCount());
    pPointsGrid->SetSize(ColumnCount, count + 1);
    const auto pointIndex = static_cast<std::size_t>(m_iSampleIndex);
    auto setNumber = [this](int col, int row, double value, const char* format, bool readOnly) {
        CCell* cell = pPointsGrid->GetCell(col, row);
        cell->sFormat = QString::fromLatin1(format);
        cell->bReadOnly = readOnly;
        cell->SetNumber(value);
    };
    for (int k = 0; k < count; ++k) {
        const int row = k + 1;
        const auto temp = static_cast<std::size_t>(k);
        // Read through the const store: filling the table must not write anything.
        const _sMeasurePoint& point = store.GetPoint(temp, pointIndex);
        pPointsGrid->GetCell(0, row)->bReadOnly = true;
        pPointsGrid->SetCellText(0, row, QString::number(k));
        // Tref and Tamb are shown only: an edit there would show a value the store never gets.
        setNumber(1, row, store.GetTref(temp), "0.00", true);
        setNumber(2, row, point.dTamb, "0.00", true);
        for (int m = 0; m < MeasureModeCount; ++m) {
            const _sModeData& mode = point.Mode[static_cast<std::size_t>(m)];
            const int col = FirstModeColumn + ColumnsPerMode * m;
            setNumber(col, row, mode.dT1, "0.00", false);
            setNumber(col + 1, row, mode.dT2, "0.00", false);
            setNumber(col + 2, row, mode.dU, "0.0", false);
            setNumber(col + 3, row, mode.dI, "0.0", false);
        }
    }
    bLoading = false;
}

void TDlgEditListPoints::RzComboBoxSampleChange(int index) {
    if (index < 0 || index >= static_cast<int>(m_global.Samples.size()))
        return;
    m_iSampleIndex = index;
    pCurSample = m_global.Samples[static_cast<std::size_t>(index)].get();
    FillGrid();
}

void TDlgEditListPoints::GridCellChange(QTableView*, int col, int row) {
    if (bLoading || col < FirstModeColumn || col >= ColumnCount || row < 1)
        return;
    const auto temp = static_cast<std::size_t>(row - 1);
    // The point index is the sample's position in the array, which is how the store is laid out;
    // a point the store does not hold is not written at all.
    const auto pointIndex = static_cast<std::size_t>(m_iSampleIndex);
    if (!m_global.MeasureData.HasPoint(temp, pointIndex))
        return;
    const int m = (col - FirstModeColumn) / ColumnsPerMode;
    const int f = (col - FirstModeColumn) % ColumnsPerMode;
    _sModeData& mode = m_global.MeasureData.GetPoint(temp, pointIndex).Mode[static_cast<std::size_t>(m)];
    const double value = pPointsGrid->GetCell(col, row)->GetNumber();
    double* fields[] = {&mode.dT1, &mode.dT2, &mode.dU, &mode.dI};
    *fields[f] = value;
    m_global.bMeasureSaved = false;
    if (OnStoreEdited)
        OnStoreEdited();
}

void ExecDlgEditListPoints(QWidget* parent, GlobalValue& global, std::function<void()> onEdited) {
    TDlgEditListPoints dialog(parent, global);
    dialog.OnStoreEdited = std::move(onEdited);
    dialog.exec();
}
