#include "ui/phb_frm.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "store/codepage.h"
#include "store/keyvalue.h"
#include "store/phone_index.h"
#include "store/phone_list.h"
#include "store/phonebook.h"
#include "ui/phit_frm.h"
#include "ui/widgets/design_scale.h"
#include "ui/widgets/ext_list_view.h"
#include "ui/widgets/form_placement.h"
#include "ui/widgets/panel.h"
#include "ui/widgets/phone_pictures.h"
#include "ui/widgets/pictures.h"
#include "ui/widgets/window_stacking.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>

namespace tarvik {
namespace {

const QString kCaption = QStringLiteral("Phone Book");
constexpr int kKeysPanelWidth = 108;
constexpr int kKeyWidth = 92, kKeyHeight = 31, kCancelFromBottom = 35;
constexpr int kGlyphSize = 16;

enum Image : int { imgAdd = 0, imgEdit = 1, imgDelete = 2, imgDial = 3 };
constexpr int kStatusColumn = 3;

QPixmap picture(QPixmap (*draw)(int), int size, qreal ratio) {
    QPixmap pixmap = draw(qRound(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

// The entry dialog for a new entry, filled with `phone`; nothing when cancelled.
std::optional<PhoneItem> askNewEntry(TPhItemForm& entry, QWidget* owner, const QByteArray& phone) {
    entry.setWindowTitle(QStringLiteral("Add phone item..."));
    entry.setItem({phone, QByteArray(), QByteArray(), psNormal});
    if (entry.ShowModal(owner) != QDialog::Accepted) return std::nullopt;
    return entry.item();
}

void appendEntry(PhoneRows& rows, const PhoneItem& item) {
    rows.appendRow(item.Phone, item.Name, item.Notes, StatusToText(item.Status));
}

// The first row whose number matches `phone`, or -1.
int firstMatch(const PhoneRows& rows, QByteArrayView phone) {
    for (int row = 0; row < rows.rowCount(); ++row)
        if (phoneNumbersMatch(rows.caption(row), phone)) return row;
    return -1;
}

} // namespace

// Marks a handler that may run a nested event loop.
class TPhoneForm::BusyScope {
public:
    explicit BusyScope(TPhoneForm& form)
        : form_(form) {
        ++form_.busy_;
    }
    ~BusyScope() { --form_.busy_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TPhoneForm& form_;
};

TPhoneForm::TPhoneForm(QWidget* owner, QString programDir, TPhItemForm& entryDialog,
                       PhoneDialer dial)
    // A dialog to the window system, so that it is tied to the main window
    // (WM_TRANSIENT_FOR) and every window manager keeps it above it.
    : QWidget(owner, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , programDir_(std::move(programDir))
    , entry_(entryDialog)
    , dial_(std::move(dial)) {
    setObjectName(QStringLiteral("PhoneForm"));
    setWindowTitle(kCaption);
    const DesignScale s(*this);
    setFont(phoneBookFont(s));
    createControls();
    createMenu();
    resize(s(382, 268));
    move(s(314), s(142));
    layoutPanels();
    PhFrmPlace = new TFormPlacement(this, kPhBookStateSection, s(360, 250));
    // A phone book that reads only in part is reported; the window shows what was read.
    runWithErrorReport([this] { FormCreate(); });
}

TPhoneForm::~TPhoneForm() = default;

template <class Sender, class Signal>
void TPhoneForm::wire(Sender* sender, Signal signal, void (TPhoneForm::*handler)()) {
    connect(sender, signal, this, [this, handler] {
        runWithErrorReport([&] {
            const BusyScope busy(*this);
            (this->*handler)();
        });
    });
}

void TPhoneForm::createControls() {
    const DesignScale s(*this);
    const qreal ratio = devicePixelRatioF();

    pnPhoneList = named(new TPanel(this), "pnPhoneList");
    QStringList statusTexts;
    for (int status = psBad; status <= psPrio; ++status)
        statusTexts << QString::fromLatin1(StatusToText(status));
    PhoneList = new TExtListView({{QStringLiteral("Phone"), s(100)},
                                  {QStringLiteral("Name"), s(50)},
                                  {QStringLiteral("Notes"), s(50)},
                                  {QStringLiteral("Status"), s(50), statusTexts}},
                                 phoneListKeyPath(), pnPhoneList);
    PhoneList->setObjectName(QStringLiteral("PhoneList"));

    pnPhListKeys = named(new TPanel(this), "pnPhListKeys");
    struct KeyDesign {
        QPushButton* TPhoneForm::*control;
        const char* name;
        const char* caption;
        int left, top;
        QPixmap (*glyph)(int);
    };
    const KeyDesign keys[] = {
        {&TPhoneForm::btnAddPhone, "btnAddPhone", "&Add", 9, 10, addEntryPicture},
        {&TPhoneForm::btnEditPhone, "btnEditPhone", "&Edit", 10, 59, editEntryPicture},
        {&TPhoneForm::btnDelPhone, "btnDelPhone", "&Delete", 10, 108, deleteEntryPicture},
        {&TPhoneForm::btnPhCancel, "btnPhCancel", "&Cancel", 10, 196, nullptr},
    };
    for (const KeyDesign& design : keys) {
        auto* key =
            named(new QPushButton(QString::fromLatin1(design.caption), pnPhListKeys), design.name);
        key->setGeometry(s(design.left, design.top, kKeyWidth, kKeyHeight));
        if (design.glyph) {
            // Two states: the picture and its greyed image for a disabled key.
            key->setIcon(keyIcon(picture(design.glyph, s(kGlyphSize), ratio)));
            key->setIconSize(s(kGlyphSize, kGlyphSize));
        }
        this->*design.control = key;
    }
    wire(btnAddPhone, &QPushButton::clicked, &TPhoneForm::btnAddPhoneClick);
    wire(btnEditPhone, &QPushButton::clicked, &TPhoneForm::btnEditPhoneClick);
    wire(btnDelPhone, &QPushButton::clicked, &TPhoneForm::btnDelPhoneClick);
    wire(btnPhCancel, &QPushButton::clicked, &TPhoneForm::miClosePhClick);
    wire(PhoneList, &QAbstractItemView::doubleClicked, &TPhoneForm::miDialCurrentClick);

    for (QPixmap (*draw)(int) :
         {addEntryPicture, editEntryPicture, deleteEntryPicture, dialEntryPicture})
        PopImgLst << keyIcon(picture(draw, kGlyphSize, ratio));
}

void TPhoneForm::createMenu() {
    PopPhB = named(new QMenu(this), "PopPhB");
    const auto item = [this](const char* name, const char* caption, void (TPhoneForm::*handler)()) {
        QAction* action = named(PopPhB->addAction(QString::fromLatin1(caption)), name);
        wire(action, &QAction::triggered, handler);
        return action;
    };
    const auto separator = [this](const char* name) { named(PopPhB->addSeparator(), name); };
    miDialCurrent = item("miDialCurrent", "&Dial current", &TPhoneForm::miDialCurrentClick);
    PopPhB->setDefaultAction(miDialCurrent);
    QFont bold = miDialCurrent->font();
    bold.setBold(true);
    miDialCurrent->setFont(bold);
    separator("N1");
    miAddPh = item("miAddPh", "&Add phone", &TPhoneForm::btnAddPhoneClick);
    miEditPh = item("miEditPh", "&Edit phone", &TPhoneForm::btnEditPhoneClick);
    miDelPh = item("miDelPh", "De&lete phone", &TPhoneForm::btnDelPhoneClick);
    separator("N2");
    miClosePh = item("miClosePh", "&Close Phone Book", &TPhoneForm::miClosePhClick);

    // Images are asked for as the menu is about to be drawn.
    connect(PopPhB, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : PopPhB->actions()) {
            const int image = PopPhBGetImageIndex(action);
            action->setIcon(image >= 0 ? PopImgLst.value(image) : QIcon());
        }
    });
    PhoneList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PhoneList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopPhB->popup(PhoneList->viewport()->mapToGlobal(at)); });
}

void TPhoneForm::FormCreate() {
    LoadSavePhoneBook(false, *PhoneList, programDir_);
}

void TPhoneForm::FormClose() {
    LoadSavePhoneBook(true, *PhoneList, programDir_);
}

void TPhoneForm::closeEvent(QCloseEvent* event) {
    runWithErrorReport([this] { FormClose(); });
    // Closing hides the window; its host decides when it goes.
    event->accept();
}

void TPhoneForm::Close() {
    hide();
    QCloseEvent event;
    QCoreApplication::sendEvent(this, &event);
}

void TPhoneForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPanels();
    runWithErrorReport([this] { FormResize(); });
}

void TPhoneForm::layoutPanels() {
    const DesignScale s(*this);
    const int keysWidth = std::min(width(), s(kKeysPanelWidth));
    pnPhListKeys->setGeometry(width() - keysWidth, 0, keysWidth, height());
    pnPhoneList->setGeometry(0, 0, width() - keysWidth, height());
    PhoneList->setGeometry(pnPhoneList->rect());
}

void TPhoneForm::FormResize() {
    const DesignScale s(*this);
    btnPhCancel->move(btnPhCancel->x(), pnPhListKeys->height() - s(kCancelFromBottom));
}

void TPhoneForm::keyPressEvent(QKeyEvent* event) {
    // Escape presses the Cancel key, as in a dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnPhCancel->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TPhoneForm::miClosePhClick() {
    ModalResult = mrCancel;
}

void TPhoneForm::miDialCurrentClick() {
    const int row = PhoneList->selectedRow();
    if (row < 0 || !dial_) return;
    dial_(PhoneList->caption(row));
}

void TPhoneForm::btnAddPhoneClick() {
    const std::optional<PhoneItem> item = askNewEntry(entry_, this, QByteArray());
    if (!item) return;
    appendEntry(*PhoneList, *item);
    PhoneList->resort();
}

void TPhoneForm::btnEditPhoneClick() {
    const int row = PhoneList->selectedRow();
    if (row < 0) return;
    entry_.setWindowTitle(QStringLiteral("Edit phone item..."));
    entry_.setItem({PhoneList->caption(row), PhoneList->subItem(row, 0), PhoneList->subItem(row, 1),
                    TextToStatus(PhoneList->subItem(row, 2))});
    if (entry_.ShowModal(this) != QDialog::Accepted) return;
    // The dialog is modal, so the list has not changed meanwhile; no re-sort.
    const PhoneItem item = entry_.item();
    PhoneList->setCell(row, 0, item.Phone);
    PhoneList->setCell(row, 1, item.Name);
    PhoneList->setCell(row, 2, item.Notes);
    PhoneList->setCell(row, 3, StatusToText(item.Status));
}

void TPhoneForm::btnDelPhoneClick() {
    const int row = PhoneList->selectedRow();
    if (row < 0) return;
    const QString question =
        QStringLiteral("Удалить запись?") + QLatin1Char('\r') + fromCp1251(PhoneList->caption(row));
    if (ShowBox({QStringLiteral("Confirm"), question, BoxIcon::Question, BoxButtons::YesNo}) ==
        BoxResult::Yes)
        PhoneList->removeRow(row);
}

int TPhoneForm::PopPhBGetImageIndex(const QAction* item) const {
    const QString name = item ? item->objectName() : QString();
    if (name == miAddPh->objectName()) return imgAdd;
    if (name == miEditPh->objectName()) return imgEdit;
    if (name == miDelPh->objectName()) return imgDelete;
    if (name == miDialCurrent->objectName()) return imgDial;
    return -1;
}

PhoneBookHost::PhoneBookHost(QWidget* owner, QString programDir, TPhItemForm& entryDialog,
                             PhoneDialer dial)
    : owner_(owner)
    , programDir_(std::move(programDir))
    , entry_(entryDialog)
    , dial_(std::move(dial)) {
    // However the program ends, an open phone book is saved.
    quitHook_ = QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                                 [this] { runWithErrorReport([this] { closeAtProgramEnd(); }); });
}

PhoneBookHost::~PhoneBookHost() {
    QObject::disconnect(quitHook_);
    runWithErrorReport([this] { closeAtProgramEnd(); });
}

void PhoneBookHost::btnPhoneBookClick() {
    if (form_) {
        closeAndDestroy();
        return;
    }
    form_ = new TPhoneForm(owner_, programDir_, entry_, dial_); // owned by the main window
    // Its keys must not hide under a main window that stays on top.
    stackAboveOwner(*form_, owner_);
    form_->show();
}

void PhoneBookHost::runDeferredClose() {
    // A busy window is left until its handler has returned.
    if (form_ && form_->ModalResult == TPhoneForm::mrCancel && !form_->busy()) closeAndDestroy();
}

void PhoneBookHost::requestCloseIfVisible() {
    if (form_ && form_->isVisible()) form_->ModalResult = TPhoneForm::mrCancel;
}

void PhoneBookHost::closeAtProgramEnd() {
    if (form_) closeAndDestroy();
}

std::optional<QByteArray> PhoneBookHost::addCaller(const QByteArray& phone) {
    // The dialog is the window's too: one already open is left to its user.
    if (entry_.isVisible()) return std::nullopt;
    const std::optional<PhoneItem> item = askNewEntry(entry_, dialogOwner(), phone);
    // The book is taken as it is now: its window may have come or gone meanwhile.
    if (!item ||
        !changeBook([&item](PhoneRows& rows, const SetStatus&) { appendEntry(rows, *item); }))
        return std::nullopt;
    return item->Phone;
}

bool PhoneBookHost::markBad(const QByteArray& phone) {
    return changeBook([&phone](PhoneRows& rows, const SetStatus& setStatus) {
        const int row = firstMatch(rows, phone);
        if (row >= 0)
            setStatus(row, psBad);
        else
            appendEntry(rows, {phone, QByteArray(), QByteArray(), psBad});
    });
}

bool PhoneBookHost::changeBook(const BookChange& change) {
    if (TPhoneForm* form = form_) {
        TExtListView& list = *form->PhoneList;
        change(list, [&list](int row, std::int32_t status) {
            list.setCell(row, kStatusColumn, StatusToText(status));
        });
        // A handler that waits (an edit, a delete) holds a row number: the
        // rows stay where they are, a new one at the end.
        if (!form->busy()) list.resort();
        return LoadSavePhoneBook(true, list, programDir_);
    }
    PhoneList book;
    // A file that does not read whole throws here, before anything is written.
    LoadSavePhoneBook(false, book, programDir_);
    change(book, [&book](int row, std::int32_t status) { book.setStatus(row, status); });
    return LoadSavePhoneBook(true, book, programDir_);
}

QWidget* PhoneBookHost::dialogOwner() const {
    if (form_ && form_->isVisible()) return form_;
    return owner_ && owner_->isVisible() ? owner_ : nullptr;
}

void PhoneBookHost::closeAndDestroy() {
    // A box shown by the save runs a nested loop; nothing in it closes the window twice.
    if (closing_) return;
    closing_ = true;
    form_->Close(); // FormClose saves
    closing_ = false;
    if (!form_) return;
    if (form_->busy()) {
        // One of its handlers still runs below us: the idle pass after it finishes the job.
        form_->ModalResult = TPhoneForm::mrCancel;
        return;
    }
    delete form_.data();
}

} // namespace tarvik
