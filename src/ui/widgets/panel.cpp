#include "ui/widgets/panel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

namespace tarvik {

TPanel::TPanel(QWidget* parent)
    : QFrame(parent) {
    setAutoFillBackground(true);
    setFrameStyle(QFrame::NoFrame);
}

QColor TPanel::color() const {
    return palette().color(QPalette::Window);
}

void TPanel::setColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, color);
    setPalette(colours);
}

void TPanel::setLoweredBevel(bool lowered) {
    setFrameStyle(lowered ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame);
    setLineWidth(1);
}

void TPanel::contextMenuEvent(QContextMenuEvent* event) {
    if (!popup_) {
        event->ignore();
        return;
    }
    popup_->popup(event->globalPos());
}

void TPanel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    if (!pressed_) event->ignore();
}

void TPanel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->pos());
    pressed_ = false;
    if (click) emit clicked();
}

} // namespace tarvik
