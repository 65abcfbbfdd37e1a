#pragma once
#include <QAbstractButton>
#include <QColor>

namespace tarvik {

// An oval key with a raised look. It never takes the keyboard focus; its
// pressed look can be set from code (setDown) to show a key typed on the
// keyboard. `Tag` tells like keys apart in a shared click handler.
class TOvalButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ color WRITE setColor)
    Q_PROPERTY(int Tag READ tag WRITE setTag)

public:
    explicit TOvalButton(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QColor color_ = QColor(192, 192, 192);
    int tag_ = 0;
};

} // namespace tarvik
