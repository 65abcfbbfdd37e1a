#pragma once
#include <QAbstractSpinBox>
#include <functional>

namespace tarvik {

// A spin edit for whole numbers: up and down buttons and arrow keys step by 1
// within the range. Unlike QSpinBox it lets any digits be typed and pulls the
// value to the nearest bound only when the field loses the focus; a text that
// is not a whole number reads as the minimum.
class TRxSpinEdit : public QAbstractSpinBox {
    Q_OBJECT

public:
    explicit TRxSpinEdit(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // Shows the nearest bound for a value outside the range.
    void setValue(int value);
    // The typed number held to the range; the minimum for any other text.
    int value() const;

    void setMaxLength(int characters);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    QSize sizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int clamped(int value) const;

    int minimum_ = 0;
    int maximum_ = 100;
};

// What a refused character sounds; QApplication::beep unless replaced.
// Returns the previous one.
std::function<void()> setInputRefusedBeep(std::function<void()> beep);

} // namespace tarvik
