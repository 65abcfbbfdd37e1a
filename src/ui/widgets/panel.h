#pragma once
#include <QColor>
#include <QFrame>

class QMenu;

namespace tarvik {

// A plain panel: a background colour, an optional lowered bevel, a popup menu
// on right click and a click signal.
class TPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ color WRITE setColor)

public:
    explicit TPanel(QWidget* parent = nullptr);

    QColor color() const;
    void setColor(const QColor& color);
    void setLoweredBevel(bool lowered);
    void setPopupMenu(QMenu* menu) { popup_ = menu; }
    QMenu* popupMenu() const { return popup_; }

signals:
    void clicked();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QMenu* popup_ = nullptr;
    bool pressed_ = false;
};

} // namespace tarvik
