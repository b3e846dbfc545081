#pragma once

#include <QImage>
#include <QWidget>

#include <array>

class GlobalValue;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QXYSeries;
class TResultsChart;

// The "Results" page: for one sample at a time the four properties Alpha, Sigma, Kappa and Z over
// temperature as markers, the polynomial fitted to each as a curve, and optionally the formulas.
// The page computes nothing itself and keeps no results between rebuilds: every rebuild starts
// from empty series and evaluates the store afresh.
class TResultsPage : public QWidget {
    Q_OBJECT
public:
    // Series of the chart, in the chart's order.
    enum TSeriesIndex {
        siZMarks = 0,
        siKappaMarks = 1,
        siSigmaMarks = 2,
        siAlphaMarks = 3,
        siAlphaCurve = 4,
        siSigmaCurve = 5,
        siKappaCurve = 6,
        siZCurve = 7,
        SeriesCount = 8
    };

    TResultsPage(GlobalValue& global, QWidget* parent = nullptr);
    ~TResultsPage() override;

    // The page control switched to "Results": rebuild for the chosen sample and edit the Alpha
    // degree, whatever property the radio group shows.
    void OnPageShown();
    // A run stored a new point (or the store was replaced): rebuild, but only while the page is
    // shown; a hidden page is rebuilt when it is shown next.
    void OnStoreChanged();

    // Refills the sample choice with "Sample # %d" for every sample and selects entry 0.
    void FillSamples();

    // Rebuilds the chart for sample s (a position in the sample array).
    void RebuildResults(int sample);
    // Points the degree edit at property k (0 Alpha .. 3 Z) and shows its degree.
    void EditDegree(int property);
    // The property the degree edit changes.
    int EditedProperty() const { return m_editedProperty; }

    // Read access for the main window and tests.
    QXYSeries* Series(int index) const;
    // The formula image of property k (0 Alpha .. 3 Z); null when no formula is shown for it.
    const QImage& FormulaImage(int property) const;
    // The extra room above the highest value of every band, in pixels (iPolOffset or 0).
    int AxisMaxOffset() const;

private:
    void BuildLayout();
    void OnSampleChanged(int index);
    void OnFuncChanged(int property);
    void OnDegreeChanged(int value);
    void OnCorrectionClicked(bool checked);
    void OnShowPolClicked();

    GlobalValue& m_global;
    QButtonGroup* m_funcGroup = nullptr;
    QComboBox* m_sampleBox = nullptr;
    QLabel* m_degreeLabel = nullptr;
    QSpinBox* m_degreeEdit = nullptr;
    QPushButton* m_showPolButton = nullptr;
    QCheckBox* m_correctionBox = nullptr;
    TResultsChart* m_chart = nullptr;

    int m_editedProperty = 0;
    // Set while the page itself moves the degree edit, so that only the operator's changes store
    // a degree and rebuild.
    bool m_settingDegree = false;
    std::array<QImage, 4> m_formula;
};
