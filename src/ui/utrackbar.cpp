#include "ui/utrackbar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
    setPageStep(1);
}

void TTrackBar::SetEndLabels(bool on) {
    m_endLabels = on;
    updateGeometry();
    update();
}

int TTrackBar::TickX(int value) const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, opt.upsideDown);
}

QSize TTrackBar::sizeHint() const {
    QSize size = QSlider::sizeHint();
    size.rheight() += TextRowHeight();
    return size;
}

QSize TTrackBar::minimumSizeHint() const {
    QSize size = QSlider::minimumSizeHint();
    size.rheight() += TextRowHeight();
    return size;
}

int TTrackBar::TextRowHeight() const {
    return m_endLabels ? fontMetrics().height() + 2 : 0;
}

void TTrackBar::initStyleOption(QStyleOptionSlider* option) const {
    QSlider::initStyleOption(option);
    option->rect.setHeight(option->rect.height() - TextRowHeight());
}

void TTrackBar::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (!m_endLabels)
        return;
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const int xMin = TickX(minimum());
    const int xMax = TickX(maximum());
    const int yTick = opt.rect.bottom();
    painter.drawLine(xMin, yTick - 3, xMin, yTick);
    painter.drawLine(xMax, yTick - 3, xMax, yTick);
    // The minimum starts at its tick, the maximum ends at its tick; the background shows through.
    const int top = opt.rect.bottom() + 1;
    const int h = TextRowHeight();
    painter.drawText(QRect(xMin, top, width() - xMin, h), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::number(minimum()));
    painter.drawText(QRect(0, top, xMax + 1, h), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(maximum()));
}
