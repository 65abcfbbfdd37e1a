#pragma once
#include "modem/led_digit.h"

#include <QColor>
#include <QWidget>

namespace tarvik {

// One digit of an LED/LCD display in the eleven-bar style: seven straight
// bars, four diagonals from the corners to the centre and a decimal point.
// It has no background of its own, so its parent shows through, and draws its
// bars as polygons, so it stays crisp at any size.
class TDigitLed : public QWidget, public LedDigit {
    Q_OBJECT
    Q_PROPERTY(int Segments READ segmentsValue WRITE setSegmentsValue)
    Q_PROPERTY(QColor OnColor READ onColor WRITE setOnColor)
    Q_PROPERTY(QColor OffColor READ offColor WRITE setOffColor)

public:
    explicit TDigitLed(QWidget* parent = nullptr);

    LedSegments segments() const override { return segments_; }
    void setSegments(LedSegments segments) override;

    QColor onColor() const { return onColor_; }
    void setOnColor(const QColor& color);
    QColor offColor() const { return offColor_; }
    void setOffColor(const QColor& color);

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int segmentsValue() const { return segments_; }
    void setSegmentsValue(int value) { setSegments(static_cast<LedSegments>(value)); }

    LedSegments segments_ = kDark;
    QColor onColor_ = QColor(0, 255, 0);
    QColor offColor_ = QColor(0, 0, 0);
    bool pressed_ = false;
};

} // namespace tarvik
