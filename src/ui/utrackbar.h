#pragma once

#include <QSlider>

// A horizontal track bar that can write its minimum under its left end and its maximum under its
// right end, so the operator sees the range without moving the thumb.
class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(QWidget* parent = nullptr);

    void SetEndLabels(bool on);
    bool EndLabels() const { return m_endLabels; }

    // The x of the tick of value within the widget (the centre of the thumb at that value).
    int TickX(int value) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // With end labels the slider keeps the upper part of the widget, so that painting and mouse
    // hits agree on where the groove is.
    void initStyleOption(QStyleOptionSlider* option) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    int TextRowHeight() const;
    bool m_endLabels = false;
};
