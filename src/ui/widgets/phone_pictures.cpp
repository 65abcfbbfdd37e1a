#include "ui/widgets/phone_pictures.h"

#include "ui/widgets/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace tarvik {
namespace {

constexpr qreal kGrid = 16;

// An index card with three ruled lines, the common ground of three pictures.
void card(QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 110), 0.8));
    p.setBrush(QColor(255, 252, 235));
    p.drawRect(QRectF(1.5, 2.5, 11, 9));
    p.setPen(QPen(QColor(120, 150, 210), 0.8));
    for (qreal y : {5.0, 7.0, 9.0})
        p.drawLine(QPointF(3, y), QPointF(11, y));
}

} // namespace

QPixmap addEntryPicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        card(p);
        p.setPen(QPen(QColor(0, 90, 0), 0.8));
        p.setBrush(QColor(40, 170, 40));
        QPainterPath plus;
        plus.addRect(QRectF(10.5, 7.5, 3, 8));
        plus.addRect(QRectF(8, 10, 8, 3));
        p.drawPath(plus.simplified());
    });
}

QPixmap editEntryPicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        card(p);
        // A pencil lying from the lower left up to the right.
        p.translate(8.5, 10.5);
        p.rotate(-45);
        p.setPen(QPen(QColor(80, 50, 0), 0.7));
        p.setBrush(QColor(240, 190, 40));
        p.drawRect(QRectF(-3, -1.4, 8, 2.8));
        p.setBrush(QColor(230, 120, 140));
        p.drawRect(QRectF(5, -1.4, 1.8, 2.8));
        QPainterPath tip;
        tip.moveTo(-3, -1.4);
        tip.lineTo(-6, 0);
        tip.lineTo(-3, 1.4);
        tip.closeSubpath();
        p.setBrush(QColor(245, 220, 180));
        p.drawPath(tip);
    });
}

QPixmap deleteEntryPicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        card(p);
        p.setPen(QPen(QColor(200, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8.5, 8.5), QPointF(14, 14));
        p.drawLine(QPointF(14, 8.5), QPointF(8.5, 14));
    });
}

QPixmap dialEntryPicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        QPainterPath handset;
        handset.moveTo(2, 6);
        handset.cubicTo(2, 2.5, 5, 2, 8, 2);
        handset.cubicTo(11, 2, 14, 2.5, 14, 6);
        handset.lineTo(11, 6.5);
        handset.lineTo(10.5, 4.8);
        handset.lineTo(5.5, 4.8);
        handset.lineTo(5, 6.5);
        handset.closeSubpath();
        p.setPen(QPen(QColor(20, 20, 20), 0.8));
        p.setBrush(QColor(40, 40, 48));
        p.drawPath(handset);
        // The dialing keys below.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 200));
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                p.drawRect(QRectF(4.5 + col * 2.7, 8 + row * 2.6, 1.8, 1.8));
    });
}

} // namespace tarvik
