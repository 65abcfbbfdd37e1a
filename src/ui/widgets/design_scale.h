#pragma once
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtMath>

namespace tarvik {

// The dialogs were laid out at 120 pixels per inch; their sizes follow the
// screen's logical pixels per inch, as the main window's do.
class DesignScale {
public:
    static constexpr qreal kDesignDpi = 120.0;

    explicit DesignScale(const QWidget& window) {
        const QScreen* screen =
            window.screen() ? window.screen() : QGuiApplication::primaryScreen();
        factor_ = screen ? screen->logicalDotsPerInch() / kDesignDpi : 1.0;
    }
    int operator()(qreal designPixels) const { return qRound(designPixels * factor_); }
    QSize operator()(int width, int height) const { return {(*this)(width), (*this)(height)}; }
    QRect operator()(int left, int top, int width, int height) const {
        return {(*this)(left), (*this)(top), (*this)(width), (*this)(height)};
    }

    // The windows' designed font at a character height given in design pixels.
    QFont windowFont(int designHeight) const {
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize((*this)(designHeight));
        return font;
    }

private:
    qreal factor_ = 1.0;
};

// A control of a designed window, given its designed name.
template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace tarvik
