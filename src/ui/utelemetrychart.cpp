#include "ui/utelemetrychart.h"

#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>

TTelemetryChart::TTelemetryChart(double tMin, double tMax, int visiblePoints, int invisiblePoints,
                                 QWidget* parent)
    : QChartView(parent), m_visible(std::max(visiblePoints, 1)), m_invisible(std::max(invisiblePoints, 0)) {
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setTitle(QString());
    chart->setMargins(QMargins(4, 10, 10, 4));
    chart->setBackgroundRoundness(0);

    m_t1 = new QLineSeries(chart);
    m_t1->setName(QStringLiteral("T1"));
    m_t1->setColor(Qt::red);
    m_t2 = new QLineSeries(chart);
    m_t2->setName(QStringLiteral("T2"));
    m_t2->setColor(Qt::green);
    chart->addSeries(m_t1);
    chart->addSeries(m_t2);

    m_left = new QValueAxis(chart);
    m_left->setRange(tMin, tMax);
    m_left->setTitleText(QStringLiteral("Temperature ,K"));
    m_left->setLabelFormat(QStringLiteral("%.2f"));
    m_bottom = new QValueAxis(chart);
    m_bottom->setRange(0, m_visible);
    m_bottom->setTitleText(QStringLiteral("Points"));
    m_bottom->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(m_left, Qt::AlignLeft);
    chart->addAxis(m_bottom, Qt::AlignBottom);
    for (QLineSeries* s : {m_t1, m_t2}) {
        s->attachAxis(m_left);
        s->attachAxis(m_bottom);
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
}

void TTelemetryChart::Append(double t1, double t2) {
    const qreal x = m_p1.isEmpty() ? 0.0 : m_p1.last().x() + 1.0;
    m_p1.append(QPointF(x, t1));
    m_p2.append(QPointF(x, t2));
    FitLeftAxis(t1, t2);

    // Scroll once 80% of the visible span is used, so the newest record stays at that place.
    if (m_p1.size() > 0.8 * m_visible)
        m_bottom->setRange(m_bottom->min() + 1.0, m_bottom->max() + 1.0);
    if (m_p1.size() > m_visible + m_invisible) {
        m_p1.removeFirst();
        m_p2.removeFirst();
    }
    if (isVisible())
        PushToSeries();
    else
        m_seriesStale = true;
}

void TTelemetryChart::PushToSeries() {
    m_t1->replace(m_p1);
    m_t2->replace(m_p2);
    m_seriesStale = false;
}

void TTelemetryChart::showEvent(QShowEvent* event) {
    if (m_seriesStale)
        PushToSeries();
    QChartView::showEvent(event);
}

void TTelemetryChart::FitLeftAxis(double t1, double t2) {
    double lo = std::min(t1, t2);
    double hi = std::max(t1, t2);
    const qreal firstShown = m_bottom->min();
    for (const QList<QPointF>* points : {&m_p1, &m_p2}) {
        // Points are in x order; only those from the first displayed one on count.
        auto it = std::lower_bound(points->begin(), points->end(), firstShown,
                                   [](const QPointF& p, qreal x) { return p.x() < x; });
        for (; it != points->end(); ++it) {
            lo = std::min(lo, it->y());
            hi = std::max(hi, it->y());
        }
    }
    m_left->setRange(lo * 0.95, hi * 1.05);
}
