#include "model/uglobal.h"
#include "support/tempdir.h"
#include "ui/uresultspage.h"

#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>
#include <QXYSeries>

#include <cmath>
#include <memory>

namespace {

// A settings record over a missing INI file (all defaults) whose store is filled by the test.
// Points are built backwards from the properties they should give: with T1 - T2 moved by +dt in
// DC+ and by -dt in DC- against OFF, Alpha = (U(DC+) - U(AC)) / dt, Sigma = L / (A B R) with
// R = U(AC) / I(AC), and Z = Alpha dt / (T U(AC)).
struct TStore {
    TempDir dir;
    GlobalValue g{dir / "qm4750.INI"};

    TStore() {
        g.bWriteBackAtExit = false;
        for (auto& s : g.Samples) {
            s->SetA(1.5, usMilli);
            s->SetB(1.5, usMilli);
            s->SetL(4.0, usMilli);
            s->SetWireL(20.0, usMilli);
            s->SetWireD(0.05, usMilli);
        }
    }

    // A reference temperature with a blank point for every sample; returns its index.
    std::size_t AddTemperature(double tref) {
        g.MeasureData.AddTemperature(tref);
        for (auto& s : g.Samples)
            g.MeasureData.AddPoint(s.get());
        return g.MeasureData.GetTemperatureCount() - 1;
    }

    // Makes point (t, sample) complete with a mean temperature of T and the given properties (SI).
    void SetPoint(std::size_t t, std::size_t sample, double T, double alpha, double sigma, double z) {
        const CSample& s = *g.Samples[sample];
        const double iAc = 40.0;                                                            // mA
        const double uAc = s.GetL(usBase) / (s.GetArea(usBase) * sigma) * iAc * 1e-3 * 1e6; // uV
        const double dt = z * T * uAc * 1e-6 / alpha;
        const double du = alpha * dt * 1e6;
        auto& data = g.MeasureData;
        data.SetModeData(t, sample, mmOff, T, T, 0.0, 0.0, true);
        data.SetModeData(t, sample, mmDcPlus, T + dt / 2, T - dt / 2, uAc + du, iAc, true);
        data.SetModeData(t, sample, mmDcMinus, T - dt / 2, T + dt / 2, uAc - du, iAc, true);
        data.SetModeData(t, sample, mmAc, T, T, uAc, iAc, true);
    }

    // One reference temperature whose sample-0 point gives the properties.
    void Add(double T, double alpha, double sigma, double z) {
        SetPoint(AddTemperature(T), 0, T, alpha, sigma, z);
    }
};

QList<QPointF> Points(const TResultsPage& page, int series) {
    return page.Series(series)->points();
}

int Count(const TResultsPage& page, int series) {
    return static_cast<int>(Points(page, series).size());
}

template <class T> T* Child(const QWidget& page, const char* name) {
    auto* w = page.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

bool AllFinite(const TResultsPage& page) {
    for (int i = 0; i < TResultsPage::SeriesCount; ++i)
        for (const QPointF& p : Points(page, i))
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                return false;
    return true;
}

} // namespace

class TestResultsPage : public QObject {
    Q_OBJECT
private slots:
    void controlsStartFromTheSettings_data();
    void controlsStartFromTheSettings();
    void markersCarryTheDisplayFactors();
    void curvesStepTenthKelvinOverTheReferenceRange();
    void degreeZeroIsTheMeanOfTheMarkers();
    void degreeEditFollowsPageAndRadioGroup();
    void correctionWithMissingLeadWire();
    void formulasShownAndHidden();
    void propertyWithoutUsableFitShowsNoCurve();
    void storeChangesRebuildOnlyWhileShown();
    void tipShowsTheMarkerUnderTheMouse();
    void extremeValuesKeepTheAxesFinite();
    void axisTitlesAreNotCutInTheWindowsSize();
};

void TestResultsPage::controlsStartFromTheSettings_data() {
    QTest::addColumn<bool>("useCorrection");
    QTest::addColumn<bool>("showPol");
    QTest::newRow("correction on") << true << false;
    QTest::newRow("correction off, formulas on") << false << true;
}

void TestResultsPage::controlsStartFromTheSettings() {
    QFETCH(bool, useCorrection);
    QFETCH(bool, showPol);
    TStore store;
    store.g.sDataConfig.bUseCorrection = useCorrection;
    store.g.sChart.bShowPol = showPol;
    TResultsPage page(store.g);

    QCOMPARE(Child<QCheckBox>(page, "RzCheckBoxCorrection")->isChecked(), useCorrection);
    QCOMPARE(Child<QCheckBox>(page, "RzCheckBoxCorrection")->text(), QString("Use correction"));
    QCOMPARE(Child<QPushButton>(page, "RzButton1")->text(), QString("Show polynom "));
    QCOMPARE(Child<QPushButton>(page, "RzButton1")->isChecked(), showPol);
    auto* samples = Child<QComboBox>(page, "RzComboBoxSample2");
    QCOMPARE(samples->count(), 3);
    QCOMPARE(samples->itemText(2), QString("Sample # 2"));
    QCOMPARE(samples->currentIndex(), 0);
}

void TestResultsPage::markersCarryTheDisplayFactors() {
    TStore store;
    store.g.sDataConfig.bUseCorrection = false;
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    TResultsPage page(store.g);
    page.OnPageShown();

    struct {
        int series;
        double y;
    } const expected[] = {
        {TResultsPage::siAlphaMarks, 150.0},
        {TResultsPage::siSigmaMarks, 500.0},
        {TResultsPage::siKappaMarks, 150e-6 * 150e-6 * 50000.0 / 0.0025}, // 0.45 W/mK
        {TResultsPage::siZMarks, 2.5},
    };
    for (const auto& e : expected) {
        const QList<QPointF> points = Points(page, e.series);
        QCOMPARE(points.size(), 1);
        QVERIFY2(std::fabs(points[0].x() - 300.0) < 1e-9, qPrintable(QString::number(points[0].x())));
        QVERIFY2(std::fabs(points[0].y() / e.y - 1.0) < 1e-9, qPrintable(QString::number(points[0].y())));
    }
}

void TestResultsPage::curvesStepTenthKelvinOverTheReferenceRange() {
    TStore store;
    store.g.sDataConfig.Degree = {1, 1, 1, 1};
    // Markers lie away from the references: the curves follow the references, not the markers.
    store.SetPoint(store.AddTemperature(300.0), 0, 301.0, 150e-6, 50000.0, 0.0025);
    store.SetPoint(store.AddTemperature(350.0), 0, 349.0, 170e-6, 45000.0, 0.0027);
    TResultsPage page(store.g);
    page.OnPageShown();

    for (int series : {TResultsPage::siAlphaCurve, TResultsPage::siSigmaCurve, TResultsPage::siKappaCurve,
                       TResultsPage::siZCurve}) {
        const QList<QPointF> points = Points(page, series);
        QCOMPARE(points.size(), 500);
        QCOMPARE(points.front().x(), 300.0);
        QVERIFY(std::fabs(points.back().x() - 349.9) < 1e-6);
    }
    // The straight Alpha line through the two markers.
    const QList<QPointF> alpha = Points(page, TResultsPage::siAlphaCurve);
    const double slope = (170.0 - 150.0) / (349.0 - 301.0);
    QVERIFY(std::fabs(alpha.front().y() - (150.0 - slope * 1.0)) < 1e-6);
    QVERIFY(AllFinite(page));
}

void TestResultsPage::degreeZeroIsTheMeanOfTheMarkers() {
    TStore store;
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    store.Add(310.0, 160e-6, 48000.0, 0.0026);
    store.Add(320.0, 185e-6, 41000.0, 0.0024);
    TResultsPage page(store.g);
    page.OnPageShown();

    auto* degree = Child<QSpinBox>(page, "RzSpinEditDegreePol");
    for (int k = 0; k < 4; ++k) {
        page.findChild<QWidget*>("RzRadioGroupFunc")->findChildren<QRadioButton*>()[k]->click();
        degree->setValue(0);
    }
    QCOMPARE(store.g.sDataConfig.Degree, (std::array<int, 4>{0, 0, 0, 0}));

    const int pairs[4][2] = {{TResultsPage::siAlphaMarks, TResultsPage::siAlphaCurve},
                             {TResultsPage::siSigmaMarks, TResultsPage::siSigmaCurve},
                             {TResultsPage::siKappaMarks, TResultsPage::siKappaCurve},
                             {TResultsPage::siZMarks, TResultsPage::siZCurve}};
    for (const auto& pair : pairs) {
        const QList<QPointF> marks = Points(page, pair[0]);
        QCOMPARE(marks.size(), 3);
        double mean = 0.0;
        for (const QPointF& p : marks)
            mean += p.y() / 3.0;
        const QList<QPointF> curve = Points(page, pair[1]);
        QVERIFY(curve.size() >= 200 && curve.size() <= 201);
        for (const QPointF& p : curve)
            QVERIFY2(std::fabs(p.y() / mean - 1.0) < 1e-9, qPrintable(QString::number(p.y())));
    }
}

void TestResultsPage::degreeEditFollowsPageAndRadioGroup() {
    TStore store;
    store.g.sDataConfig.Degree = {1, 2, 3, 4};
    TResultsPage page(store.g);
    auto* degree = Child<QSpinBox>(page, "RzSpinEditDegreePol");
    const auto radios = page.findChild<QWidget*>("RzRadioGroupFunc")->findChildren<QRadioButton*>();
    QCOMPARE(radios.size(), 4);
    QCOMPARE(radios[2]->text(), QString("Kappa"));

    radios[2]->click();
    QCOMPARE(degree->value(), 3);
    QCOMPARE(degree->maximum(), 5);

    // Switching to the page edits Alpha, whatever the radio group shows.
    page.OnPageShown();
    QVERIFY(radios[2]->isChecked());
    QCOMPARE(page.EditedProperty(), 0);
    QCOMPARE(degree->value(), 1);
    degree->setValue(5);
    QCOMPARE(store.g.sDataConfig.Degree, (std::array<int, 4>{5, 2, 3, 4}));

    // Another sample: the degree edit goes back to the property the radio group shows.
    Child<QComboBox>(page, "RzComboBoxSample2")->setCurrentIndex(1);
    QCOMPARE(page.EditedProperty(), 2);
    QCOMPARE(degree->value(), 3);
}

void TestResultsPage::correctionWithMissingLeadWire() {
    TStore store;
    store.g.sDataConfig.Degree = {1, 1, 1, 1};
    store.g.Samples[0]->SetWireL(0.0, usMilli);
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    store.Add(320.0, 160e-6, 48000.0, 0.0026);
    TResultsPage page(store.g);
    page.OnPageShown();

    // Corrected Kappa and Z cannot be computed without the lead wire: no markers, no curve.
    QCOMPARE(Count(page, TResultsPage::siAlphaMarks), 2);
    QCOMPARE(Count(page, TResultsPage::siSigmaMarks), 2);
    QCOMPARE(Count(page, TResultsPage::siKappaMarks), 0);
    QCOMPARE(Count(page, TResultsPage::siZMarks), 0);
    QCOMPARE(Count(page, TResultsPage::siKappaCurve), 0);
    QCOMPARE(Count(page, TResultsPage::siZCurve), 0);
    QVERIFY(Count(page, TResultsPage::siAlphaCurve) >= 200);

    auto* box = Child<QCheckBox>(page, "RzCheckBoxCorrection");
    box->click();
    QVERIFY(!store.g.sDataConfig.bUseCorrection);
    QCOMPARE(Count(page, TResultsPage::siKappaMarks), 2);
    QCOMPARE(Count(page, TResultsPage::siZMarks), 2);
    QVERIFY(Count(page, TResultsPage::siZCurve) >= 200);
    QVERIFY(std::fabs(Points(page, TResultsPage::siZMarks)[0].y() - 2.5) < 1e-9);

    box->click();
    QVERIFY(store.g.sDataConfig.bUseCorrection);
    QCOMPARE(Count(page, TResultsPage::siKappaMarks), 0);
}

void TestResultsPage::formulasShownAndHidden() {
    TStore store;
    store.g.sDataConfig.Degree = {2, 1, 0, 1};
    store.g.sChart.iPolOffset = 25;
    store.g.Samples[0]->SetWireL(0.0, usMilli); // Kappa and Z are not fitted
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    store.Add(320.0, 160e-6, 48000.0, 0.0026);
    store.Add(340.0, 175e-6, 44000.0, 0.0027);
    TResultsPage page(store.g);
    page.resize(900, 700);
    page.show();
    page.OnPageShown();
    QCOMPARE(page.AxisMaxOffset(), 0);
    for (int k = 0; k < 4; ++k)
        QVERIFY(page.FormulaImage(k).isNull());

    auto* button = Child<QPushButton>(page, "RzButton1");
    button->click();
    QVERIFY(store.g.sChart.bShowPol);
    QVERIFY(button->isChecked());
    QCOMPARE(page.AxisMaxOffset(), 25);
    QVERIFY(!page.FormulaImage(0).isNull());
    QVERIFY(!page.FormulaImage(1).isNull());
    QVERIFY(page.FormulaImage(2).isNull());
    QVERIFY(page.FormulaImage(3).isNull());
    // A degree-2 formula is wider than a degree-1 one, and both are one line of bold 10 text.
    QVERIFY(page.FormulaImage(0).deviceIndependentSize().width() >
            page.FormulaImage(1).deviceIndependentSize().width());
    QVERIFY(page.FormulaImage(0).deviceIndependentSize().height() < 40);

    // The formula is drawn at the top right of the Alpha band: dark pixels appear there.
    auto darkPixelsTopRight = [&page] {
        const QImage shot = page.findChild<QWidget*>("Chart2")->grab().toImage();
        int dark = 0;
        for (int y = 0; y < shot.height() / 10; ++y)
            for (int x = shot.width() / 2; x < shot.width(); ++x)
                if (qGray(shot.pixel(x, y)) < 60)
                    ++dark;
        return dark;
    };
    QVERIFY(darkPixelsTopRight() > 50);

    button->click();
    QVERIFY(!store.g.sChart.bShowPol);
    QCOMPARE(page.AxisMaxOffset(), 0);
    QVERIFY(page.FormulaImage(0).isNull());
    QCOMPARE(darkPixelsTopRight(), 0);
}

void TestResultsPage::propertyWithoutUsableFitShowsNoCurve() {
    TStore store;
    store.g.sDataConfig.Degree = {5, 1, 5, 0}; // degree 5 through two points cannot be fitted
    store.g.sChart.bShowPol = true;
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    store.Add(320.0, 160e-6, 48000.0, 0.0026);
    // A point of sample 0 that is not complete, and a complete one of sample 1 only.
    store.AddTemperature(340.0);
    store.SetPoint(store.AddTemperature(360.0), 1, 360.0, 150e-6, 50000.0, 0.0025);
    TResultsPage page(store.g);
    page.OnPageShown();

    QCOMPARE(Count(page, TResultsPage::siAlphaMarks), 2);
    QCOMPARE(Count(page, TResultsPage::siAlphaCurve), 0);
    QVERIFY(page.FormulaImage(0).isNull());
    QCOMPARE(Count(page, TResultsPage::siKappaCurve), 0);
    QVERIFY(page.FormulaImage(2).isNull());
    QVERIFY(Count(page, TResultsPage::siSigmaCurve) >= 600);
    QVERIFY(!page.FormulaImage(1).isNull());
    QVERIFY(Count(page, TResultsPage::siZCurve) >= 600);
    QVERIFY(AllFinite(page));

    // Sample 2 has no complete point at all: empty bands, no formulas.
    Child<QComboBox>(page, "RzComboBoxSample2")->setCurrentIndex(2);
    for (int i = 0; i < TResultsPage::SeriesCount; ++i)
        QCOMPARE(Count(page, i), 0);
    for (int k = 0; k < 4; ++k)
        QVERIFY(page.FormulaImage(k).isNull());
}

void TestResultsPage::storeChangesRebuildOnlyWhileShown() {
    TStore store;
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    TResultsPage page(store.g);
    page.show();
    page.OnPageShown();
    QCOMPARE(Count(page, TResultsPage::siAlphaMarks), 1);

    store.Add(310.0, 155e-6, 49000.0, 0.0025);
    page.OnStoreChanged();
    QCOMPARE(Count(page, TResultsPage::siAlphaMarks), 2);

    page.hide();
    store.Add(320.0, 160e-6, 48000.0, 0.0025);
    page.OnStoreChanged();
    QCOMPARE(Count(page, TResultsPage::siAlphaMarks), 2);

    page.show();
    page.OnPageShown();
    QCOMPARE(Count(page, TResultsPage::siAlphaMarks), 3);
}

void TestResultsPage::tipShowsTheMarkerUnderTheMouse() {
    TStore store;
    store.Add(300.0, 150e-6, 50000.0, 0.0025);
    store.Add(320.0, 160e-6, 48000.0, 0.0026);
    TResultsPage page(store.g);
    page.resize(900, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.OnPageShown();

    auto* view = page.findChild<QGraphicsView*>("Chart2");
    QXYSeries* sigma = page.Series(TResultsPage::siSigmaMarks);
    const QPointF marker = sigma->points()[1];
    const QPoint at =
        view->mapFromScene(sigma->chart()->mapToScene(sigma->chart()->mapToPosition(marker, sigma)));

    QTest::mouseMove(view->viewport(), at + QPoint(2, -1));
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(QToolTip::text().startsWith("Simga, 1/Ohmcm: 480"), qPrintable(QToolTip::text()));
    QVERIFY(QToolTip::text().contains("320.00 K"));

    QTest::mouseMove(view->viewport(), at + QPoint(40, 30));
    QTRY_VERIFY(!QToolTip::isVisible());
}

void TestResultsPage::extremeValuesKeepTheAxesFinite() {
    TStore store;
    store.g.sDataConfig.Degree = {1, 1, 1, 1};
    store.Add(300.0, 150e-6, 1e300, 0.0025);
    store.Add(320.0, 150e-6, 1e-300, 0.0025);
    store.Add(340.0, 150e-6, 50000.0, 0.0025);
    TResultsPage page(store.g);
    page.resize(800, 600);
    page.show();
    page.OnPageShown();

    QVERIFY(Count(page, TResultsPage::siSigmaMarks) >= 2);
    QVERIFY(AllFinite(page));
    for (int i = 0; i < TResultsPage::SeriesCount; ++i) {
        for (QAbstractAxis* axis : page.Series(i)->attachedAxes()) {
            auto* value = qobject_cast<QValueAxis*>(axis);
            QVERIFY(value);
            QVERIFY(std::isfinite(value->min()) && std::isfinite(value->max()) &&
                    value->min() < value->max());
        }
    }
    QVERIFY(!page.grab().isNull());
}

void TestResultsPage::axisTitlesAreNotCutInTheWindowsSize() {
    TStore store;
    TResultsPage page(store.g);
    // About the size the page has in a main window of its initial size.
    page.resize(636, 490);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.OnPageShown();
    QApplication::processEvents();

    QStringList shown;
    for (QGraphicsItem* item : Child<QGraphicsView>(page, "Chart2")->scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
            shown << text->toPlainText();
    for (const char* title : {"Alpha, uV/K", "Simga, 1/Ohmcm", "Kappa, W/mK", "Z * 10^-3"})
        QVERIFY2(shown.contains(QString::fromLatin1(title)), qPrintable(shown.join(" | ")));
}

QTEST_MAIN(TestResultsPage)
#include "test_resultspage.moc"
