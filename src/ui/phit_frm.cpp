#include "ui/phit_frm.h"

#include "store/codepage.h"
#include "store/keyvalue.h"
#include "ui/widgets/design_scale.h"
#include "ui/widgets/form_placement.h"
#include "ui/widgets/window_stacking.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace tarvik {
namespace {

constexpr int kFontHeight = 14;
constexpr int kMargin = 10;

constexpr int kPhoneLength = 40, kNameLength = 60, kNotesLength = 60;
const char* const kStatusNames[] = {"BAD", "NORMAL", "GOOD", "PRIO"};

} // namespace

QFont phoneBookFont(const DesignScale& s) {
    return s.windowFont(kFontHeight);
}

TPhItemForm::TPhItemForm(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("PhItemForm"));
    const DesignScale s(*this);
    setFont(phoneBookFont(s));

    const auto edit = [this, &s](const char* name, const char* labelName, const char* caption,
                                 int top, int maxLength, QLabel*& label) {
        label = named(new QLabel(QString::fromLatin1(caption), this), labelName);
        label->move(s(6), s(top - 20));
        label->adjustSize();
        auto* box = named(new QLineEdit(this), name);
        box->setMaxLength(maxLength);
        box->setGeometry(s(10, top, 247, 24));
        return box;
    };
    ePhone = edit("ePhone", "lbPhone", "Phone:", 20, kPhoneLength, lbPhone);
    eName = edit("eName", "lbName", "Name:", 69, kNameLength, lbName);
    eNotes = edit("eNotes", "lbNotes", "Notes:", 118, kNotesLength, lbNotes);

    btnPhItOK = named(new QPushButton(QStringLiteral("OK"), this), "btnPhItOK");
    btnPhItOK->setGeometry(s(30, 217, 92, 30));
    btnPhItOK->setDefault(true);
    connect(btnPhItOK, &QPushButton::clicked, this, &QDialog::accept);
    btnPhItCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btnPhItCancel");
    btnPhItCancel->setGeometry(s(158, 217, 92, 30));
    connect(btnPhItCancel, &QPushButton::clicked, this, &QDialog::reject);

    gbStatus = named(new QGroupBox(QStringLiteral("Phone Number Status:"), this), "gbStatus");
    gbStatus->setGeometry(s(10, 148, 247, 60));
    auto* grid = new QGridLayout(gbStatus);
    grid->setContentsMargins(s(8), s(2), s(8), s(2));
    statusItems_ = new QButtonGroup(this);
    for (int index = 0; index < 4; ++index) {
        auto* item = new QRadioButton(QString::fromLatin1(kStatusNames[index]), gbStatus);
        item->setObjectName(QStringLiteral("gbStatus%1").arg(index));
        // Two columns, filled top to bottom.
        grid->addWidget(item, index % 2, index / 2);
        statusItems_->addButton(item, index);
    }

    // The group was made to hold its items in the designed font; in the font in
    // use it grows to hold them, and the keys move down with it.
    const int grow = std::max(0, gbStatus->minimumSizeHint().height() - gbStatus->height());
    gbStatus->resize(gbStatus->width(), gbStatus->height() + grow);
    for (QPushButton* key : {btnPhItOK, btnPhItCancel})
        key->move(key->x(), key->y() + grow);

    setTabOrder(ePhone, eName);
    setTabOrder(eName, eNotes);
    setTabOrder(eNotes, btnPhItOK);
    setTabOrder(btnPhItOK, btnPhItCancel);
    setTabOrder(btnPhItCancel, statusItems_->button(0));

    // The designed height counted the caption bar and the border, which the
    // window manager adds here: the window ends under its keys, with the margin
    // the controls keep from its left edge, and is never cut into them.
    const int height = btnPhItOK->geometry().bottom() + 1 + s(kMargin);
    resize(s(280), height);
    move(s(353), s(254));
    PhItFrmPlace = new TFormPlacement(this, kPhItemWinStateSection, {s(250), height});
}

int TPhItemForm::statusIndex() const {
    return statusItems_->checkedId();
}

void TPhItemForm::setStatusIndex(int index) {
    if (QAbstractButton* item = statusItems_->button(index)) {
        item->setChecked(true);
        return;
    }
    // No item: clear the group, which an exclusive group refuses while on.
    statusItems_->setExclusive(false);
    for (QAbstractButton* button : statusItems_->buttons())
        button->setChecked(false);
    statusItems_->setExclusive(true);
}

PhoneItem TPhItemForm::item() const {
    return {toCp1251(ePhone->text()), toCp1251(eName->text()), toCp1251(eNotes->text()),
            statusIndex()};
}

void TPhItemForm::setItem(const PhoneItem& item) {
    ePhone->setText(fromCp1251(item.Phone));
    eName->setText(fromCp1251(item.Name));
    eNotes->setText(fromCp1251(item.Notes));
    setStatusIndex(item.Status);
}

int TPhItemForm::ShowModal(QWidget* owner) {
    // Stacked over the window that asks, though it belongs to no window.
    stackAboveOwner(*this, owner);
    ePhone->setFocus();
    return exec();
}

} // namespace tarvik
