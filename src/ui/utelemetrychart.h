#pragma once

#include <QChartView>
#include <QList>
#include <QPointF>

class QLineSeries;
class QValueAxis;

// The live chart of the sample temperatures: T1 (red) and T2 (green) against the record number.
// Once the chart has filled to 80% of the visible points the bottom axis scrolls by one per record,
// and the oldest points are dropped beyond visible + invisible points, so a run of days keeps a
// bounded series.
class TTelemetryChart : public QChartView {
    Q_OBJECT
public:
    TTelemetryChart(double tMin, double tMax, int visiblePoints, int invisiblePoints,
                    QWidget* parent = nullptr);

    // Appends one record's temperatures and applies the axis rules.
    void Append(double t1, double t2);

    QLineSeries* SeriesT1() const { return m_t1; }
    QLineSeries* SeriesT2() const { return m_t2; }
    QValueAxis* AxisLeft() const { return m_left; }
    QValueAxis* AxisBottom() const { return m_bottom; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitLeftAxis(double t1, double t2);
    void PushToSeries();

    int m_visible;
    int m_invisible;
    QLineSeries* m_t1 = nullptr;
    QLineSeries* m_t2 = nullptr;
    QValueAxis* m_left = nullptr;
    QValueAxis* m_bottom = nullptr;
    // The points are kept here and handed to the series whole: one geometry update per record
    // instead of one per appended or dropped point, and none while the chart is hidden.
    QList<QPointF> m_p1;
    QList<QPointF> m_p2;
    bool m_seriesStale = false;
};
