#include "ui/uresultspage.h"

#include "evaluation/ccalcdata.h"
#include "evaluation/ccalcpolinom.h"
#include "model/uglobal.h"
#include "ui/ucolors.h"
#include "ui/uformuladraw.h"

#include <QButtonGroup>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSpinBox>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int PropertyCount = 4;

// Per property (Alpha, Sigma, Kappa, Z): the factor from SI units to the units shown, the axis
// title, the band of the chart height in percent from the top, and the curve colour (red in the
// low byte, as the settings file stores colours).
struct TBand {
    double factor;
    const char* title;
    int startPercent;
    int endPercent;
    int curveColor;
    int markSeries;
    int curveSeries;
};

const TBand Bands[PropertyCount] = {
    {1000000.0, "Alpha, uV/K", 0, 24, 16744448, TResultsPage::siAlphaMarks, TResultsPage::siAlphaCurve},
    {0.01, "Simga, 1/Ohmcm", 25, 49, 4227327, TResultsPage::siSigmaMarks, TResultsPage::siSigmaCurve},
    {1.0, "Kappa, W/mK", 50, 74, 4259584, TResultsPage::siKappaMarks, TResultsPage::siKappaCurve},
    {1000.0, "Z * 10^-3", 75, 100, 8421631, TResultsPage::siZMarks, TResultsPage::siZCurve},
};

// The property (band) each series belongs to, by series index.
constexpr int SeriesBand[TResultsPage::SeriesCount] = {3, 2, 1, 0, 0, 1, 2, 3};

// Curves are stepped by 0.1 K from the lowest to the highest reference temperature. A store with
// an absurd range (a damaged file) must not make the page allocate or loop without bound, so a
// curve never gets more points than this; beyond it the step widens.
constexpr double CurveStep = 0.1;
constexpr int MaxCurvePoints = 20001;

// Pixels below every band, as between stacked axes.
constexpr int BandGap = 10;
constexpr int LeftMargin = 8;

constexpr int MarkerSize = 7;

// A filled square with a darker rim, drawn at twice the size so that it stays sharp when scaled.
QImage MarkerImage(const QColor& color) {
    QImage image(2 * MarkerSize, 2 * MarkerSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(color.darker(160));
    QPainter painter(&image);
    painter.fillRect(image.rect().adjusted(2, 2, -2, -2), color);
    return image;
}

// A tick interval of 1, 2 or 5 times a power of ten, about span / ticks.
double NiceInterval(double span, int ticks) {
    const double raw = span / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double scaled = raw / magnitude;
    const double nice = scaled < 1.5 ? 1.0 : scaled < 3.5 ? 2.0 : scaled < 7.5 ? 5.0 : 10.0;
    return nice * magnitude;
}

QString LabelFormat(double lo, double hi, double interval) {
    const double largest = std::max(std::fabs(lo), std::fabs(hi));
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(interval) + 1e-9)));
    if (largest >= 1e7 || decimals > 6)
        return QStringLiteral("%.3g");
    return QStringLiteral("%.") + QString::number(decimals) + QStringLiteral("f");
}

} // namespace

// The results chart: four value bands stacked over one temperature axis. Qt Charts has no
// stacked axes, so every band is a chart of its own in one scene; their plot areas are placed by
// hand so that they share the left and right edges and read as one chart.
class TResultsChart : public QGraphicsView {
    Q_OBJECT
public:
    explicit TResultsChart(QWidget* parent);

    QXYSeries* Series(int index) const { return m_series[index]; }

    // Every series gets exactly the points given (none: the series is emptied).
    void SetPoints(std::array<QList<QPointF>, TResultsPage::SeriesCount>& points);
    void SetFormulas(const std::array<QImage, PropertyCount>* images, bool show, int offset);
    int MaxOffset() const { return m_offset; }
    // Fits the axes to the points (those of the series when null) and places the bands in the
    // current size.
    void UpdateLayout(const std::array<QList<QPointF>, TResultsPage::SeriesCount>* points = nullptr);
    void SetDefaultTemperatureRange(double lo, double hi) {
        m_defaultTLo = lo;
        m_defaultTHi = hi;
    }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    // The tip: a marker's value while the mouse rests on it.
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // The text of the tip for the marker under a point of the viewport; empty when none is there.
    QString TipAt(const QPoint& pos) const;

    QGraphicsScene* m_scene = nullptr;
    std::array<QChart*, PropertyCount> m_band{};
    std::array<QValueAxis*, PropertyCount> m_axisX{};
    std::array<QValueAxis*, PropertyCount> m_axisY{};
    std::array<QXYSeries*, TResultsPage::SeriesCount> m_series{};
    std::array<QRectF, PropertyCount> m_plotRect{};
    // The value axes' title font before it is shrunk to fit a short band.
    QFont m_titleFont;
    const std::array<QImage, PropertyCount>* m_formula = nullptr;
    bool m_showPol = false;
    int m_offset = 0;
    double m_defaultTLo = 220.0;
    double m_defaultTHi = 400.0;
};

TResultsChart::TResultsChart(QWidget* parent) : QGraphicsView(parent) {
    setObjectName(QStringLiteral("Chart2"));
    m_scene = new QGraphicsScene(this);
    setScene(m_scene);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRenderHint(QPainter::Antialiasing);
    setBackgroundBrush(Qt::white);
    setMouseTracking(true);
    // Nothing in the chart takes keys; a focused scene would frame an axis label as if editable.
    setFocusPolicy(Qt::NoFocus);
    setMinimumSize(300, 240);

    for (int k = 0; k < PropertyCount; ++k) {
        auto* chart = new QChart;
        chart->legend()->hide();
        chart->setBackgroundVisible(false);
        chart->setDropShadowEnabled(false);
        chart->setMargins(QMargins(0, 0, 0, 0));
        // The band frames are drawn by the view (drawBackground): a chart's own plot-area
        // background is not moved along with a plot area set by hand and would stay behind.
        chart->setPlotAreaBackgroundVisible(false);
        m_scene->addItem(chart);
        m_band[k] = chart;

        auto* axisX = new QValueAxis(chart);
        auto* axisY = new QValueAxis(chart);
        axisX->setTickType(QValueAxis::TicksDynamic);
        axisY->setTickType(QValueAxis::TicksDynamic);
        // Only the lowest band shows the temperature labels; the others keep its grid.
        const bool lowest = k == PropertyCount - 1;
        axisX->setLabelsVisible(lowest);
        axisX->setTitleText(lowest ? QStringLiteral("Temperature") : QString());
        axisX->setTitleVisible(lowest);
        chart->addAxis(axisX, Qt::AlignBottom);
        chart->addAxis(axisY, Qt::AlignLeft);
        m_axisX[k] = axisX;
        m_axisY[k] = axisY;
    }

    for (int i = 0; i < TResultsPage::SeriesCount; ++i) {
        const int k = SeriesBand[i];
        const QColor color = ColorFromSetting(Bands[k].curveColor);
        if (i < 4) {
            // Markers as an image drawn at every point, on a series without a line: a scatter
            // series makes a graphics item per point, and creating and deleting thousands of
            // them took most of a rebuild.
            auto* marks = new QLineSeries;
            marks->setPen(Qt::NoPen);
            marks->setMarkerSize(MarkerSize);
            marks->setLightMarker(MarkerImage(color));
            m_series[i] = marks;
        } else {
            auto* line = new QLineSeries;
            QPen pen(color);
            pen.setWidthF(2.0);
            line->setPen(pen);
            m_series[i] = line;
        }
        m_series[i]->setObjectName(QStringLiteral("Series%1").arg(i));
    }
    // A chart draws its series in the order they were added: curve first, markers on top of it.
    for (int k = 0; k < PropertyCount; ++k) {
        for (QXYSeries* series : {m_series[Bands[k].curveSeries], m_series[Bands[k].markSeries]}) {
            m_band[k]->addSeries(series);
            series->attachAxis(m_axisX[k]);
            series->attachAxis(m_axisY[k]);
        }
    }
    for (int k = 0; k < PropertyCount; ++k)
        m_axisY[k]->setTitleText(QString::fromLatin1(Bands[k].title));
    m_titleFont = m_axisY[0]->titleFont();
}

void TResultsChart::SetPoints(std::array<QList<QPointF>, TResultsPage::SeriesCount>& points) {
    // Empty series first, then the axes, then the new points: every series lays out its points
    // once, in the final ranges, instead of once per axis change.
    for (QXYSeries* series : m_series)
        series->clear();
    UpdateLayout(&points);
    for (int i = 0; i < TResultsPage::SeriesCount; ++i)
        m_series[i]->replace(points[i]);
}

void TResultsChart::SetFormulas(const std::array<QImage, PropertyCount>* images, bool show, int offset) {
    m_formula = images;
    m_showPol = show;
    m_offset = show ? std::max(0, offset) : 0;
}

void TResultsChart::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    UpdateLayout();
}

void TResultsChart::UpdateLayout(const std::array<QList<QPointF>, TResultsPage::SeriesCount>* points) {
    // Value ranges of the data, before any room is added.
    std::array<double, PropertyCount> lo, hi;
    lo.fill(std::numeric_limits<double>::infinity());
    hi.fill(-std::numeric_limits<double>::infinity());
    double tLo = std::numeric_limits<double>::infinity();
    double tHi = -tLo;
    for (int i = 0; i < TResultsPage::SeriesCount; ++i) {
        const int k = SeriesBand[i];
        for (const QPointF& p : points ? (*points)[i] : m_series[i]->points()) {
            lo[k] = std::min(lo[k], p.y());
            hi[k] = std::max(hi[k], p.y());
            tLo = std::min(tLo, p.x());
            tHi = std::max(tHi, p.x());
        }
    }
    if (!(tLo <= tHi)) {
        tLo = m_defaultTLo;
        tHi = m_defaultTHi;
    }
    // Finite values can still be far enough apart for their span to overflow; no axis needs more.
    constexpr double Huge = 1e300;
    tLo = std::clamp(tLo, -Huge, Huge);
    tHi = std::clamp(tHi, -Huge, Huge);
    for (int k = 0; k < PropertyCount; ++k) {
        lo[k] = std::max(lo[k], -Huge);
        hi[k] = std::min(hi[k], Huge);
    }
    const double tPad = tHi > tLo ? (tHi - tLo) * 0.015 : 1.0;
    tLo -= tPad;
    tHi += tPad;

    // Room for the value labels and the turned titles at the left, the temperature axis below.
    int labelWidth = 0;
    for (int k = 0; k < PropertyCount; ++k) {
        if (!(lo[k] <= hi[k])) {
            lo[k] = 0.0;
            hi[k] = 1.0;
        } else if (hi[k] - lo[k] <= 1e-9 * std::max(std::fabs(lo[k]), std::fabs(hi[k]))) {
            // A flat band (one point, or a constant): centre it.
            const double pad = lo[k] == 0.0 ? 1.0 : std::fabs(lo[k]) * 0.1;
            lo[k] -= pad;
            hi[k] += pad;
        } else {
            const double pad = (hi[k] - lo[k]) * 0.05;
            lo[k] -= pad;
            hi[k] += pad;
        }
        const double interval = NiceInterval(hi[k] - lo[k], 4);
        const QString format = LabelFormat(lo[k], hi[k], interval);
        const QFontMetrics fm(m_axisY[k]->labelsFont());
        for (double v : {lo[k], hi[k]})
            labelWidth = std::max(labelWidth, fm.horizontalAdvance(QString::asprintf(qPrintable(format), v)));
    }
    const QFontMetrics titleFm(m_titleFont);
    const QFontMetrics xLabelFm(m_axisX[PropertyCount - 1]->labelsFont());
    const QFontMetrics xTitleFm(m_axisX[PropertyCount - 1]->titleFont());
    const int left = LeftMargin + titleFm.height() + 6 + labelWidth + 8;
    const int bottom = xLabelFm.height() + xTitleFm.height() + 12;

    const QRectF view = viewport()->rect();
    m_scene->setSceneRect(view);
    const QRectF area(left, 10.0, std::max(50.0, view.width() - left - 20.0),
                      std::max(4.0 * (BandGap + 20), view.height() - 10.0 - bottom));

    for (int k = 0; k < PropertyCount; ++k) {
        const double bandTop = std::trunc(area.top() + area.height() * Bands[k].startPercent / 100.0);
        const double bandBottom = area.top() + area.height() * Bands[k].endPercent / 100.0 - BandGap;
        m_plotRect[k] = QRectF(area.left(), bandTop, area.width(), std::max(10.0, bandBottom - bandTop));

        // A turned title longer than its band is cut short ("Simga, 1/..."), which hides the unit:
        // the title is set smaller until it fits, but not below a size that can still be read.
        QFont titleFont = m_titleFont;
        const QString title = QString::fromLatin1(Bands[k].title);
        constexpr double MinTitlePoints = 6.0;
        constexpr double TitleRoom = 8.0;
        while (titleFont.pointSizeF() - 0.5 >= MinTitlePoints &&
               QFontMetricsF(titleFont).horizontalAdvance(title) > m_plotRect[k].height() - TitleRoom)
            titleFont.setPointSizeF(titleFont.pointSizeF() - 0.5);
        if (m_axisY[k]->titleFont() != titleFont)
            m_axisY[k]->setTitleFont(titleFont);

        // Bands do not overlap as items, so the mouse reaches the markers of every band.
        const double itemTop = k == 0 ? 0.0 : bandTop;
        const double itemBottom =
            k == PropertyCount - 1
                ? view.height()
                : std::trunc(area.top() + area.height() * Bands[k + 1].startPercent / 100.0);
        m_band[k]->setGeometry(QRectF(0.0, itemTop, view.width(), std::max(1.0, itemBottom - itemTop)));
        m_band[k]->setPlotArea(m_plotRect[k].translated(0.0, -itemTop));

        // The formula sits in the room above the highest value: m_offset pixels of the band.
        const double h = m_plotRect[k].height();
        double top = hi[k];
        if (m_offset > 0 && h > m_offset + 10)
            top += (hi[k] - lo[k]) * m_offset / (h - m_offset);
        // As many labels as fit the band: Qt Charts elides labels that have less height than
        // their font, which on a short band would leave only "...".
        const QFontMetrics fm(m_axisY[k]->labelsFont());
        const int maxTicks = std::max(2, static_cast<int>(h / (fm.height() + 10)));
        double interval = NiceInterval(hi[k] - lo[k], 4);
        while ((top - lo[k]) / interval + 1.0 > maxTicks)
            interval = NiceInterval(interval * 1.9, 1);
        m_axisY[k]->setRange(lo[k], top);
        m_axisY[k]->setTickAnchor(std::ceil(lo[k] / interval) * interval);
        m_axisY[k]->setTickInterval(interval);
        m_axisY[k]->setLabelFormat(LabelFormat(lo[k], hi[k], interval));

        const double tInterval = NiceInterval(tHi - tLo, 8);
        m_axisX[k]->setRange(tLo, tHi);
        m_axisX[k]->setTickAnchor(std::ceil(tLo / tInterval) * tInterval);
        m_axisX[k]->setTickInterval(tInterval);
        m_axisX[k]->setLabelFormat(LabelFormat(tLo, tHi, tInterval));
    }
    viewport()->update();
}

void TResultsChart::drawBackground(QPainter* painter, const QRectF& rect) {
    QGraphicsView::drawBackground(painter, rect);
    painter->save();
    painter->setPen(QPen(QColor(160, 160, 160), 0));
    painter->setBrush(Qt::NoBrush);
    for (const QRectF& band : m_plotRect)
        if (band.isValid())
            painter->drawRect(band);
    painter->restore();
}

void TResultsChart::drawForeground(QPainter* painter, const QRectF& rect) {
    QGraphicsView::drawForeground(painter, rect);
    if (!m_showPol || !m_formula)
        return;
    for (int k = 0; k < PropertyCount; ++k) {
        const QImage& image = (*m_formula)[k];
        if (image.isNull())
            continue;
        const QSizeF size = image.deviceIndependentSize();
        painter->drawImage(QPointF(m_plotRect[k].right() - size.width(), m_plotRect[k].top()), image);
    }
}

QString TResultsChart::TipAt(const QPoint& pos) const {
    const QPointF scenePos = mapToScene(pos);
    for (int k = 0; k < PropertyCount; ++k) {
        if (!m_plotRect[k].adjusted(-MarkerSize, -MarkerSize, MarkerSize, MarkerSize).contains(scenePos))
            continue;
        QXYSeries* marks = m_series[Bands[k].markSeries];
        const QPointF local = m_band[k]->mapFromScene(scenePos);
        double best = MarkerSize * 0.5 + 1.0;
        const QPointF* found = nullptr;
        const QList<QPointF>& points = marks->points();
        for (const QPointF& p : points) {
            const QPointF at = m_band[k]->mapToPosition(p, marks);
            const double d = std::max(std::fabs(at.x() - local.x()), std::fabs(at.y() - local.y()));
            if (d <= best) {
                best = d;
                found = &p;
            }
        }
        if (found)
            return QStringLiteral("%1: %2\n%3 K")
                .arg(QString::fromLatin1(Bands[k].title))
                .arg(found->y(), 0, 'g', 6)
                .arg(found->x(), 0, 'f', 2);
    }
    return {};
}

void TResultsChart::mouseMoveEvent(QMouseEvent* event) {
    QGraphicsView::mouseMoveEvent(event);
    const QString tip = TipAt(event->position().toPoint());
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), tip, viewport());
}

TResultsPage::TResultsPage(GlobalValue& global, QWidget* parent) : QWidget(parent), m_global(global) {
    BuildLayout();
    FillSamples();
    EditDegree(0);
    RebuildResults(m_sampleBox->currentIndex());
}

TResultsPage::~TResultsPage() = default;

void TResultsPage::BuildLayout() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(2);

    auto* strip1 = new QWidget(this);
    strip1->setFixedHeight(21);
    auto* row1 = new QHBoxLayout(strip1);
    row1->setContentsMargins(4, 0, 4, 0);
    auto* funcGroupBox = new QWidget(strip1);
    funcGroupBox->setObjectName(QStringLiteral("RzRadioGroupFunc"));
    auto* funcRow = new QHBoxLayout(funcGroupBox);
    funcRow->setContentsMargins(0, 0, 0, 0);
    m_funcGroup = new QButtonGroup(this);
    const char* funcNames[PropertyCount] = {"Alpha", "Sigma", "Kappa", "Z"};
    for (int k = 0; k < PropertyCount; ++k) {
        auto* button = new QRadioButton(QString::fromLatin1(funcNames[k]), funcGroupBox);
        m_funcGroup->addButton(button, k);
        funcRow->addWidget(button, 1);
    }
    m_funcGroup->button(0)->setChecked(true);
    row1->addWidget(funcGroupBox, 1);
    m_sampleBox = new QComboBox(strip1);
    m_sampleBox->setObjectName(QStringLiteral("RzComboBoxSample2"));
    m_sampleBox->setFixedWidth(104);
    m_sampleBox->setEditable(false);
    row1->addWidget(m_sampleBox);
    outer->addWidget(strip1);

    auto* strip2 = new QWidget(this);
    auto* row2 = new QHBoxLayout(strip2);
    row2->setContentsMargins(4, 0, 4, 0);
    m_degreeLabel = new QLabel(QStringLiteral("Choose desirable degree of polynom:"), strip2);
    m_degreeLabel->setObjectName(QStringLiteral("RzLabel8"));
    m_degreeEdit = new QSpinBox(strip2);
    m_degreeEdit->setObjectName(QStringLiteral("RzSpinEditDegreePol"));
    m_degreeEdit->setRange(0, MaxPolynomialDegree);
    m_degreeLabel->setBuddy(m_degreeEdit);
    m_showPolButton = new QPushButton(QStringLiteral("Show polynom "), strip2);
    m_showPolButton->setObjectName(QStringLiteral("RzButton1"));
    // The pressed look tells whether the formulas are on.
    m_showPolButton->setCheckable(true);
    m_showPolButton->setChecked(m_global.sChart.bShowPol);
    m_correctionBox = new QCheckBox(QStringLiteral("Use correction"), strip2);
    m_correctionBox->setObjectName(QStringLiteral("RzCheckBoxCorrection"));
    // The box starts in the state the computation uses, so the two never disagree.
    m_correctionBox->setChecked(m_global.sDataConfig.bUseCorrection);
    row2->addWidget(m_degreeLabel);
    row2->addWidget(m_degreeEdit);
    row2->addWidget(m_showPolButton);
    row2->addStretch(1);
    row2->addWidget(m_correctionBox);
    outer->addWidget(strip2);

    m_chart = new TResultsChart(this);
    m_chart->SetDefaultTemperatureRange(m_global.TRange.Tmin, m_global.TRange.Tmax);
    outer->addWidget(m_chart, 1);

    connect(m_sampleBox, &QComboBox::currentIndexChanged, this, &TResultsPage::OnSampleChanged);
    connect(m_funcGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            OnFuncChanged(id);
    });
    connect(m_degreeEdit, &QSpinBox::valueChanged, this, &TResultsPage::OnDegreeChanged);
    connect(m_correctionBox, &QCheckBox::clicked, this, &TResultsPage::OnCorrectionClicked);
    connect(m_showPolButton, &QPushButton::clicked, this, &TResultsPage::OnShowPolClicked);
}

void TResultsPage::FillSamples() {
    {
        const QSignalBlocker block(m_sampleBox);
        m_sampleBox->clear();
        for (std::size_t i = 0; i < m_global.Samples.size(); ++i)
            m_sampleBox->addItem(QStringLiteral("Sample # %1").arg(i));
        m_sampleBox->setCurrentIndex(m_sampleBox->count() > 0 ? 0 : -1);
    }
    OnStoreChanged();
}

void TResultsPage::OnPageShown() {
    RebuildResults(m_sampleBox->currentIndex());
    EditDegree(piAlpha);
}

void TResultsPage::OnStoreChanged() {
    if (isVisible())
        RebuildResults(m_sampleBox->currentIndex());
}

void TResultsPage::OnSampleChanged(int index) {
    RebuildResults(index);
    EditDegree(m_funcGroup->checkedId());
}

void TResultsPage::OnFuncChanged(int property) {
    EditDegree(property);
}

void TResultsPage::EditDegree(int property) {
    if (property < 0 || property >= PropertyCount)
        return;
    m_editedProperty = property;
    m_settingDegree = true;
    m_degreeEdit->setValue(m_global.sDataConfig.Degree[property]);
    m_settingDegree = false;
}

void TResultsPage::OnDegreeChanged(int value) {
    if (m_settingDegree)
        return;
    m_global.sDataConfig.Degree[m_editedProperty] = value;
    RebuildResults(m_sampleBox->currentIndex());
}

void TResultsPage::OnCorrectionClicked(bool checked) {
    m_global.sDataConfig.bUseCorrection = checked;
    RebuildResults(m_sampleBox->currentIndex());
    EditDegree(m_editedProperty);
}

void TResultsPage::OnShowPolClicked() {
    m_global.sChart.bShowPol = !m_global.sChart.bShowPol;
    m_showPolButton->setChecked(m_global.sChart.bShowPol);
    RebuildResults(m_sampleBox->currentIndex());
}

QXYSeries* TResultsPage::Series(int index) const {
    return index >= 0 && index < SeriesCount ? m_chart->Series(index) : nullptr;
}

const QImage& TResultsPage::FormulaImage(int property) const {
    static const QImage none;
    return property >= 0 && property < PropertyCount ? m_formula[property] : none;
}

int TResultsPage::AxisMaxOffset() const {
    return m_chart->MaxOffset();
}

void TResultsPage::RebuildResults(int sample) {
    std::array<CCalcPolinom, PropertyCount> poly;
    for (int k = 0; k < PropertyCount; ++k)
        poly[k].SetDegree(m_global.sDataConfig.Degree[k]);

    std::array<QList<QPointF>, SeriesCount> series;

    // fitted: the builder found points (markers); curve: the fit is usable (curve and formula).
    std::array<bool, PropertyCount> fitted{};
    if (sample >= 0) {
        const CCalcData data(&m_global.MeasureData);
        const auto s = static_cast<std::size_t>(sample);
        const bool corrected = m_global.sDataConfig.bUseCorrection;
        fitted[piAlpha] = data.FitAlpha(s, poly[piAlpha]);
        fitted[piSigma] = data.FitSigma(s, poly[piSigma]);
        fitted[piKappa] = data.FitKappa(s, poly[piKappa], corrected);
        fitted[piZ] = data.FitZ(s, poly[piZ], corrected);
    }
    std::array<bool, PropertyCount> curve{};
    for (int k = 0; k < PropertyCount; ++k)
        curve[k] = fitted[k] && poly[k].IsFitted();

    // Markers. Nothing that is not finite may reach a series.
    for (int k = 0; k < PropertyCount; ++k) {
        if (!fitted[k])
            continue;
        QList<QPointF>& points = series[Bands[k].markSeries];
        points.reserve(static_cast<qsizetype>(poly[k].GetCount()));
        for (std::size_t i = 0; i < poly[k].GetCount(); ++i) {
            const double x = poly[k].GetX(i);
            const double y = poly[k].GetY(i) * Bands[k].factor;
            if (std::isfinite(x) && std::isfinite(y))
                points.append(QPointF(x, y));
        }
    }

    // Curves over the reference temperatures, whatever the mean temperatures of the markers.
    const double tLo = m_global.MeasureData.GetTrefMin();
    const double tHi = m_global.MeasureData.GetTrefMax();
    if (std::isfinite(tLo) && std::isfinite(tHi) && tLo <= tHi &&
        std::any_of(curve.begin(), curve.end(), [](bool b) { return b; })) {
        double step = CurveStep;
        if ((tHi - tLo) / step >= MaxCurvePoints - 1)
            step = (tHi - tLo) / (MaxCurvePoints - 1);
        for (int k = 0; k < PropertyCount; ++k)
            if (curve[k])
                series[Bands[k].curveSeries].reserve(static_cast<qsizetype>((tHi - tLo) / step) + 2);
        int n = 0;
        for (double x = tLo; x <= tHi && n < MaxCurvePoints; x += step, ++n) {
            for (int k = 0; k < PropertyCount; ++k) {
                if (!curve[k])
                    continue;
                const double y = poly[k].Calc(x) * Bands[k].factor;
                if (std::isfinite(y))
                    series[Bands[k].curveSeries].append(QPointF(x, y));
            }
        }
    }

    // Formulas, drawn while the polynomial display is on.
    const bool showPol = m_global.sChart.bShowPol;
    const qreal dpr = std::max<qreal>(1.0, devicePixelRatioF());
    for (int k = 0; k < PropertyCount; ++k) {
        m_formula[k] = QImage();
        if (!showPol || !curve[k])
            continue;
        QSize size(800, 60);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(dpr);
            image.fill(Qt::transparent);
            int width = 0;
            int height = 0;
            {
                QPainter painter(&image);
                painter.setRenderHint(QPainter::TextAntialiasing);
                painter.setPen(Qt::black);
                QFont font = painter.font();
                font.setBold(true);
                painter.setFont(font);
                DrawPolinom(poly[k], painter, 0, 0, width, height);
            }
            if (width <= 0 || height <= 0)
                break;
            if (width <= size.width() && height <= size.height()) {
                m_formula[k] = image.copy(QRect(QPoint(0, 0), QSize(width, height) * dpr));
                m_formula[k].setDevicePixelRatio(dpr);
                break;
            }
            // Wider than the first guess: draw again at the size it reported.
            size = QSize(std::max(width, size.width()), std::max(height, size.height()));
        }
    }

    m_chart->SetFormulas(&m_formula, showPol, m_global.sChart.iPolOffset);
    m_chart->SetPoints(series);
}

#include "uresultspage.moc"
