#include "ui/widgets/color_combo.h"

#include "store/colors.h"
#include "ui/widgets/colors_qt.h"

#include <QPainter>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace tarvik {
namespace {

constexpr int kColorRole = Qt::UserRole;

void paintSwatch(QPainter& painter, const QRect& area, const QColor& color) {
    const QRect swatch = area.adjusted(2, 2, -3, -3);
    painter.fillRect(swatch, color);
    painter.setPen(Qt::black);
    painter.drawRect(swatch);
}

// Popup items are swatches across the whole row.
class SwatchDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        QStyledItemDelegate::paint(painter, background, index);
        paintSwatch(*painter, option.rect.adjusted(1, 1, -1, -1),
                    toQColor(index.data(kColorRole).toInt()));
    }
};

} // namespace

const std::array<TColor, 16>& TColorComboBox::standardColors() {
    static const std::array<TColor, 16> colors{
        clBlack,  clMaroon, clGreen, clOlive,  clNavy, clPurple,  clTeal, clGray,
        clSilver, clRed,    clLime,  clYellow, clBlue, clFuchsia, clAqua, clWhite};
    return colors;
}

TColorComboBox::TColorComboBox(TColor designed, QWidget* parent)
    : QComboBox(parent) {
    setItemDelegate(new SwatchDelegate(this));
    for (const TColor color : standardColors())
        addItem(QString(), color);
    setColorValue(designed);
}

void TColorComboBox::setColorValue(TColor color) {
    const int index = findData(color, kColorRole);
    if (index >= 0) setCurrentIndex(index);
}

TColor TColorComboBox::colorValue() const {
    return currentData(kColorRole).toInt();
}

void TColorComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    paintSwatch(painter, field, toQColor(colorValue()));
}

} // namespace tarvik
