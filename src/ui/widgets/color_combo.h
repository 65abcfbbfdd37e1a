#pragma once
#include "store/settings.h"

#include <QComboBox>
#include <array>

namespace tarvik {

// A drop-down of the sixteen standard colours, shown as swatches without names.
// A colour that is not one of them cannot be chosen: the box then keeps what it
// shows, at first its designed colour.
class TColorComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TColorComboBox(TColor designed, QWidget* parent = nullptr);

    // Black, maroon, green, olive, navy, purple, teal, grey, silver, red, lime,
    // yellow, blue, fuchsia, aqua, white.
    static const std::array<TColor, 16>& standardColors();

    void setColorValue(TColor color);
    TColor colorValue() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarvik
