#include "ui/widgets/oval_button.h"

#include <QPainter>

namespace tarvik {

TOvalButton::TOvalButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TOvalButton::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize TOvalButton::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
    return QSize(text.width() + 24, text.height() + 12);
}

bool TOvalButton::hitButton(const QPoint& pos) const {
    // Inside the ellipse only, as the key is drawn.
    const QPointF c = QRectF(rect()).center();
    const qreal rx = width() / 2.0, ry = height() / 2.0;
    const qreal dx = (pos.x() + 0.5 - c.x()) / rx, dy = (pos.y() + 0.5 - c.y()) / ry;
    return dx * dx + dy * dy <= 1.0;
}

void TOvalButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown() || isChecked();
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal rim = std::max<qreal>(1.5, height() / 14.0);
    const QRectF face = outer.adjusted(rim, rim, -rim, -rim);

    // Rim: light from the upper left on a raised key, the other way round when
    // pressed, so the key looks pushed into the panel.
    QLinearGradient rimShade(outer.topLeft(), outer.bottomRight());
    const QColor light = color_.lighter(165), dark = color_.darker(260);
    rimShade.setColorAt(0, down ? dark : light);
    rimShade.setColorAt(1, down ? light : dark);
    painter.setPen(QPen(QColor(0, 0, 0, 160), 1));
    painter.setBrush(rimShade);
    painter.drawEllipse(outer);

    QRadialGradient body(face.center() + QPointF(-face.width() * 0.18, -face.height() * 0.28),
                         face.width() * 0.75);
    body.setColorAt(0, down ? color_.darker(108) : color_.lighter(125));
    body.setColorAt(1, down ? color_.darker(135) : color_.darker(112));
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawEllipse(face);

    if (!isEnabled()) painter.setOpacity(0.45);
    const bool lightFace = qGray(color_.rgb()) > 110;
    painter.setPen(lightFace ? QColor(0, 0, 0) : QColor(255, 255, 255));
    painter.setFont(font());
    const QRectF textRect = down ? face.translated(1, 1) : face;
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

} // namespace tarvik
