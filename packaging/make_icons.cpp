// Draws the program's icons from its tray picture: PNGs for the hicolor theme's
// fixed sizes and a scalable SVG. Run at build time.
#include "ui/widgets/pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        QDir().mkpath(folder);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            tarvik::paintTrayPicture(p, size, false);
        }
        if (!image.save(folder + QStringLiteral("/tarvik.png"))) return 1;
    }
    const QString scalable = out + QStringLiteral("/scalable/apps");
    QDir().mkpath(scalable);
    QSvgGenerator svg;
    svg.setFileName(scalable + QStringLiteral("/tarvik.svg"));
    svg.setSize(QSize(256, 256));
    svg.setViewBox(QRect(0, 0, 256, 256));
    svg.setTitle(QStringLiteral("TARVIK"));
    svg.setDescription(QStringLiteral("TARVIK caller-ID and dialing tool"));
    {
        QPainter p(&svg);
        tarvik::paintTrayPicture(p, 256, false);
    }
    return 0;
}
