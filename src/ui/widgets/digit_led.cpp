#include "ui/widgets/digit_led.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tarvik {
namespace {

// The digit is laid out on a 37 x 56 grid (its designed size) and scaled to
// the widget, keeping its proportions.
constexpr qreal kGridW = 37, kGridH = 56;
constexpr qreal kLeft = 5.5, kRight = 27.5, kTop = 5, kBottom = 50;
constexpr qreal kBar = 4.6;    // thickness of a straight bar
constexpr qreal kDiag = 3.8;   // thickness of a diagonal bar
constexpr qreal kGap = 0.55;   // dark gap where bars meet
constexpr qreal kSlant = 0.07; // italic slant, like most LED displays

struct BarShapes {
    QPainterPath bars[12];
};

QPainterPath polygon(std::initializer_list<QPointF> points) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

// A straight bar between two centre-line points, with pointed ends.
QPainterPath straightBar(QPointF from, QPointF to) {
    const qreal h = kBar / 2;
    if (from.y() == to.y()) {
        const qreal y = from.y(), x0 = from.x() + kGap, x1 = to.x() - kGap;
        return polygon(
            {{x0, y}, {x0 + h, y - h}, {x1 - h, y - h}, {x1, y}, {x1 - h, y + h}, {x0 + h, y + h}});
    }
    const qreal x = from.x(), y0 = from.y() + kGap, y1 = to.y() - kGap;
    return polygon(
        {{x, y0}, {x + h, y0 + h}, {x + h, y1 - h}, {x, y1}, {x - h, y1 - h}, {x - h, y0 + h}});
}

// A diagonal bar from a corner of `box` to the centre point, clipped to the box
// and to its own half of it so the ends sit flush against the straight bars.
QPainterPath diagonalBar(const QRectF& box, QPointF corner, QPointF centre, bool leftHalf) {
    const QPointF along = centre - corner;
    const qreal length = std::hypot(along.x(), along.y());
    const QPointF unit = along / length;
    const QPointF normal(-unit.y() * kDiag / 2, unit.x() * kDiag / 2);
    const QPointF a = corner - unit * kDiag, b = centre + unit * kDiag;
    QPainterPath stroke = polygon({a + normal, b + normal, b - normal, a - normal});

    QRectF half = box;
    if (leftHalf)
        half.setRight(centre.x() - kGap / 2);
    else
        half.setLeft(centre.x() + kGap / 2);
    QPainterPath clip;
    clip.addRect(half);
    return stroke.intersected(clip);
}

const BarShapes& barShapes() {
    static const BarShapes shapes = [] {
        BarShapes s;
        const qreal h = kBar / 2;
        const qreal x0 = kLeft + h, x1 = kRight - h;
        const qreal y0 = kTop + h, y1 = (kTop + kBottom) / 2, y2 = kBottom - h;
        s.bars[0] = straightBar({x0, y0}, {x1, y0}); // a
        s.bars[1] = straightBar({x1, y0}, {x1, y1}); // b
        s.bars[2] = straightBar({x1, y1}, {x1, y2}); // c
        s.bars[3] = straightBar({x0, y2}, {x1, y2}); // d
        s.bars[4] = straightBar({x0, y1}, {x0, y2}); // e
        s.bars[5] = straightBar({x0, y0}, {x0, y1}); // f
        s.bars[6] = straightBar({x0, y1}, {x1, y1}); // g

        const qreal in = h + kGap * 1.6;
        const QRectF upper(QPointF(x0 + in, y0 + in), QPointF(x1 - in, y1 - in));
        const QRectF lower(QPointF(x0 + in, y1 + in), QPointF(x1 - in, y2 - in));
        const qreal xc = (x0 + x1) / 2;
        s.bars[8] = diagonalBar(upper, upper.topLeft(), {xc, upper.bottom()}, true);
        s.bars[9] = diagonalBar(upper, upper.topRight(), {xc, upper.bottom()}, false);
        s.bars[10] = diagonalBar(lower, lower.bottomRight(), {xc, lower.top()}, false);
        s.bars[11] = diagonalBar(lower, lower.bottomLeft(), {xc, lower.top()}, true);

        QPainterPath point;
        const qreal r = kBar * 0.6;
        point.addEllipse(QPointF(kRight + 2.6, kBottom - r), r, r);
        s.bars[7] = point;
        return s;
    }();
    return shapes;
}

} // namespace

TDigitLed::TDigitLed(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void TDigitLed::setSegments(LedSegments segments) {
    if (segments == segments_) return;
    segments_ = segments;
    update();
}

void TDigitLed::setOnColor(const QColor& color) {
    onColor_ = color;
    update();
}

void TDigitLed::setOffColor(const QColor& color) {
    offColor_ = color;
    update();
}

QSize TDigitLed::sizeHint() const {
    return QSize(int(kGridW), int(kGridH));
}

void TDigitLed::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const qreal scale = std::min(width() / kGridW, height() / kGridH);
    painter.translate((width() - kGridW * scale) / 2, (height() - kGridH * scale) / 2);
    painter.scale(scale, scale);
    painter.translate(kSlant * kBottom, 0);
    painter.shear(-kSlant, 0);

    const BarShapes& shapes = barShapes();
    for (int bit = 0; bit < 12; ++bit) {
        const bool lit = segments_ & (1u << bit);
        const QColor& color = lit ? onColor_ : offColor_;
        if (color.alpha() == 0) continue;
        painter.fillPath(shapes.bars[bit], color);
    }
}

void TDigitLed::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    if (!pressed_) event->ignore();
}

void TDigitLed::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->pos());
    pressed_ = false;
    if (click) emit clicked();
}

} // namespace tarvik
