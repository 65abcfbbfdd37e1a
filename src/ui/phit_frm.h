#pragma once
#include "store/phonebook.h"

#include <QDialog>
#include <QFont>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvik {

class DesignScale;
class TFormPlacement;

// The designed window font of the phone book windows, scaled to the screen.
QFont phoneBookFont(const DesignScale& scale);

// The phone book entry dialog. It exists hidden for the whole run; the phone
// book window fills it, shows it modally and reads it afterwards.
class TPhItemForm : public QDialog {
    Q_OBJECT

public:
    explicit TPhItemForm(QWidget* parent = nullptr);

    // The radio group's item index, which is the PhoneStatus; -1 when none.
    int statusIndex() const;
    void setStatusIndex(int index);

    // The fields as phone book bytes, and back.
    PhoneItem item() const;
    void setItem(const PhoneItem& item);

    // Shows the dialog modally over `owner`; QDialog::Accepted for OK.
    int ShowModal(QWidget* owner);

    QLabel *lbPhone = nullptr, *lbName = nullptr, *lbNotes = nullptr;
    QLineEdit *ePhone = nullptr, *eName = nullptr, *eNotes = nullptr;
    QPushButton *btnPhItOK = nullptr, *btnPhItCancel = nullptr;
    QGroupBox* gbStatus = nullptr;
    TFormPlacement* PhItFrmPlace = nullptr;

private:
    QButtonGroup* statusItems_ = nullptr;
};

} // namespace tarvik
