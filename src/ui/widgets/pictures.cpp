#include "ui/widgets/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <algorithm>

namespace tarvik {
namespace {

// The window's pictures are drawn on a 32 x 32 grid.
constexpr qreal kGrid = 32;

QLinearGradient vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

// 3 x 5 pixel letters for the tray picture, one string per row.
struct PixelGlyph {
    char letter;
    const char* rows[5];
};
constexpr PixelGlyph kPixelGlyphs[] = {
    {'T', {"###", ".#.", ".#.", ".#.", ".#."}}, {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'V', {"#.#", "#.#", "#.#", "#.#", ".#."}}, {'I', {"###", ".#.", ".#.", ".#.", "###"}},
    {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
};

// Every letter drawn is in the table.
void pixelText(QPainter& painter, int x, int y, const char* text, const QColor& color) {
    for (; *text; ++text, x += 4) {
        const auto& rows = std::ranges::find(kPixelGlyphs, *text, &PixelGlyph::letter)->rows;
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 3; ++c)
                if (rows[r][c] == '#') painter.fillRect(x + c, y + r, 1, 1, color);
    }
}

} // namespace

QPixmap drawnPicture(int size, qreal grid, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / grid, size / grid);
    draw(painter);
    return pixmap;
}

QPixmap bookPicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        const QColor outline(10, 28, 90);
        p.setPen(QPen(outline, 1));
        p.setBrush(QColor(16, 42, 120));
        p.drawRoundedRect(QRectF(8.5, 5.5, 19, 24), 1.5, 1.5); // back cover
        p.setPen(QPen(QColor(150, 140, 110), 0.8));
        p.setBrush(QColor(246, 240, 218));
        p.drawRect(QRectF(9.5, 4.5, 16.5, 23)); // pages
        for (qreal y = 25.8; y > 6; y -= 2.2)
            p.drawLine(QPointF(24.6, y), QPointF(25.6, y));
        p.setPen(QPen(outline, 1));
        p.setBrush(vertical(2, 26, QColor(70, 120, 235), QColor(22, 66, 180)));
        p.drawRoundedRect(QRectF(4.5, 2.5, 19, 24), 1.5, 1.5); // front cover
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(18, 46, 130));
        p.drawRect(QRectF(5, 3, 3.5, 23)); // spine
        p.setBrush(QColor(255, 255, 255, 230));
        p.drawRect(QRectF(11, 7.5, 9.5, 4.5)); // label
        p.setBrush(QColor(235, 190, 60));
        p.drawRect(QRectF(11, 17, 9.5, 1.4));
    });
}

QPixmap ringingPhonePicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        const QColor outline(90, 0, 0);
        // Ringing marks either side of the handset.
        p.setPen(QPen(QColor(40, 40, 40), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        for (qreal r : {12.5, 15.5}) {
            const QRectF arc(16 - r, 13 - r, 2 * r, 2 * r);
            p.drawArc(arc, 128 * 16, 24 * 16);
            p.drawArc(arc, 28 * 16, 24 * 16);
        }
        // Body.
        p.setPen(QPen(outline, 1));
        p.setBrush(vertical(15, 29, QColor(240, 60, 50), QColor(160, 10, 10)));
        QPainterPath body;
        body.moveTo(9.5, 15.5);
        body.lineTo(22.5, 15.5);
        body.lineTo(27.5, 28.5);
        body.lineTo(4.5, 28.5);
        body.closeSubpath();
        p.drawPath(body);
        // Handset resting on top.
        QPainterPath handset;
        handset.moveTo(3, 13.5);
        handset.cubicTo(3, 7, 8, 6, 16, 6);
        handset.cubicTo(24, 6, 29, 7, 29, 13.5);
        handset.lineTo(23.5, 13.5);
        handset.lineTo(22.5, 10.5);
        handset.lineTo(9.5, 10.5);
        handset.lineTo(8.5, 13.5);
        handset.closeSubpath();
        p.setBrush(vertical(6, 14, QColor(250, 80, 70), QColor(180, 20, 20)));
        p.drawPath(handset);
        // Dial.
        p.setPen(QPen(QColor(120, 120, 120), 0.8));
        p.setBrush(QColor(250, 246, 236));
        p.drawEllipse(QPointF(16, 22.5), 4.6, 4.6);
        p.setBrush(QColor(200, 30, 30));
        p.drawEllipse(QPointF(16, 22.5), 1.6, 1.6);
    });
}

QPixmap loudspeakerPicture(int size) {
    return drawnPicture(size, kGrid, [](QPainter& p) {
        p.setPen(QPen(QColor(20, 20, 20), 1));
        p.setBrush(vertical(11, 21, QColor(120, 120, 130), QColor(50, 50, 60)));
        p.drawRect(QRectF(3.5, 11.5, 7, 9));
        QPainterPath cone;
        cone.moveTo(10.5, 11.5);
        cone.lineTo(19.5, 4.5);
        cone.lineTo(19.5, 27.5);
        cone.lineTo(10.5, 20.5);
        cone.closeSubpath();
        p.setBrush(vertical(4, 28, QColor(190, 190, 200), QColor(90, 90, 100)));
        p.drawPath(cone);
        p.setPen(QPen(QColor(30, 90, 200), 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        for (qreal r : {4.5, 8.5}) {
            const QRectF arc(19 - r, 16 - r, 2 * r, 2 * r);
            p.drawArc(arc, -45 * 16, 90 * 16);
        }
    });
}

QPixmap closePicture(int size, const QStyle* style) {
    if (style) {
        const QIcon icon = style->standardIcon(QStyle::SP_DialogCloseButton);
        if (!icon.isNull()) {
            const QPixmap pixmap = icon.pixmap(size, size);
            if (!pixmap.isNull()) return pixmap;
        }
    }
    return drawnPicture(size, kGrid, [](QPainter& p) {
        p.setPen(QPen(QColor(170, 20, 20), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(24, 24));
        p.drawLine(QPointF(24, 8), QPointF(8, 24));
    });
}

QPixmap greyedPicture(const QPixmap& picture) {
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 110 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 3 / 5);
        }
    }
    QPixmap greyed = QPixmap::fromImage(image);
    greyed.setDevicePixelRatio(picture.devicePixelRatio());
    return greyed;
}

QIcon keyIcon(const QPixmap& picture) {
    QIcon icon;
    icon.addPixmap(picture, QIcon::Normal);
    icon.addPixmap(greyedPicture(picture), QIcon::Disabled);
    return icon;
}

void paintTrayPicture(QPainter& p, int size, bool struck) {
    // Laid out on 16 x 16 pixels; the 32 pixel picture doubles them and adds
    // shading that the small one has no room for.
    p.save();
    p.scale(size / 16.0, size / 16.0);
    const bool large = size >= 32;

    pixelText(p, 1, 0, "TRV", QColor(0, 0, 255));
    // Modem front.
    p.fillRect(0, 6, 16, 9, QColor(64, 64, 64));
    if (large) {
        p.fillRect(QRectF(0.5, 6.5, 15, 8),
                   vertical(6.5, 14.5, QColor(224, 224, 224), QColor(160, 160, 160)));
    } else {
        p.fillRect(1, 7, 14, 7, QColor(192, 192, 192));
        p.fillRect(1, 7, 14, 1, QColor(255, 255, 255));
    }
    for (int x : {2, 4, 6}) {
        p.fillRect(x, 11, 1, 1, QColor(255, 0, 0));
        if (large) p.fillRect(QRectF(x, 11, 0.5, 0.5), QColor(255, 180, 180));
    }
    pixelText(p, 8, 8, "ID", QColor(128, 0, 128));
    p.fillRect(1, 15, 2, 1, QColor(64, 64, 64)); // feet
    p.fillRect(13, 15, 2, 1, QColor(64, 64, 64));

    if (struck) {
        p.setRenderHint(QPainter::Antialiasing);
        const QColor red(230, 0, 0, 235);
        p.setPen(QPen(red, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(1.4, 1.4, 13.2, 13.2));
        p.setPen(QPen(red, 1.8, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(3.4, 3.4), QPointF(12.6, 12.6));
    }
    p.restore();
}

QPixmap trayPicture(int size, bool struck) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintTrayPicture(p, size, struck);
    return pixmap;
}

QIcon trayIcon(bool struck) {
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(trayPicture(size, struck));
    return icon;
}

} // namespace tarvik
