#include "ui/widgets/spin_edit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionSpinBox>

namespace tarvik {
namespace {

std::function<void()>& refusedBeep() {
    static std::function<void()> beep = [] { QApplication::beep(); };
    return beep;
}

bool allowedCharacter(QChar ch) {
    return ch.isDigit() || ch == QLatin1Char('+') || ch == QLatin1Char('-');
}

} // namespace

std::function<void()> setInputRefusedBeep(std::function<void()> beep) {
    if (!beep) beep = [] { QApplication::beep(); };
    std::swap(refusedBeep(), beep);
    return beep;
}

TRxSpinEdit::TRxSpinEdit(QWidget* parent)
    : QAbstractSpinBox(parent) {
    setValue(minimum_);
}

void TRxSpinEdit::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = qMax(minimum, maximum);
    setValue(value());
}

int TRxSpinEdit::clamped(int value) const {
    return qBound(minimum_, value, maximum_);
}

void TRxSpinEdit::setValue(int value) {
    lineEdit()->setText(QString::number(clamped(value)));
    update(); // the step buttons follow the value
}

int TRxSpinEdit::value() const {
    bool ok = false;
    const int typed = text().trimmed().toInt(&ok);
    return ok ? clamped(typed) : minimum_;
}

void TRxSpinEdit::setMaxLength(int characters) {
    lineEdit()->setMaxLength(characters);
}

void TRxSpinEdit::stepBy(int steps) {
    setValue(value() + steps);
    selectAll();
}

QValidator::State TRxSpinEdit::validate(QString&, int&) const {
    // Characters are refused as they are typed; whatever else arrives (a
    // paste) reads as a number or as the minimum.
    return QValidator::Acceptable;
}

QSize TRxSpinEdit::sizeHint() const {
    // Room for the widest value and the step buttons.
    ensurePolished();
    const QString widest = QString::number(maximum_).size() >= QString::number(minimum_).size()
                               ? QString::number(maximum_)
                               : QString::number(minimum_);
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize text(fontMetrics().horizontalAdvance(widest + QLatin1Char(' ')),
                     lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
}

QAbstractSpinBox::StepEnabled TRxSpinEdit::stepEnabled() const {
    const int current = value();
    StepEnabled enabled = StepNone;
    if (current < maximum_) enabled |= StepUpEnabled;
    if (current > minimum_) enabled |= StepDownEnabled;
    return enabled;
}

void TRxSpinEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (!shortcut && typed.size() == 1 && typed[0].isPrint() && !allowedCharacter(typed[0])) {
        refusedBeep()();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TRxSpinEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    const int shown = value();
    if (text() != QString::number(shown)) setValue(shown);
}

} // namespace tarvik
