#pragma once
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QPushButton;

namespace tarvik {

class TExtListView;
class TFormPlacement;
class TPanel;
class TPhItemForm;
class PhoneRows;

// Dials a phone book entry's number (the main window's DialedNumber,
// ShowDialedNumber and DialNumber).
using PhoneDialer = std::function<void(const QByteArray& phone)>;

// The phone book window: the phone book as a sortable list, with keys and a
// popup menu to add, edit, delete and dial entries. It loads "phones.dat" when
// created and saves it whenever it closes; closing hides it. Its own Cancel
// key and menu item only ask to be closed (ModalResult); its host carries the
// request out.
class TPhoneForm : public QWidget {
    Q_OBJECT

public:
    enum : int { mrNone = 0, mrCancel = 2 };

    TPhoneForm(QWidget* owner, QString programDir, TPhItemForm& entryDialog, PhoneDialer dial);
    ~TPhoneForm() override;

    // The close request: mrCancel once asked for.
    int ModalResult = mrNone;
    // True while a handler runs that waits (a modal dialog, a box, a dial);
    // the window must not be destroyed then.
    bool busy() const { return busy_ > 0; }

    // Hides the window and runs its close (which saves), also when it is
    // already hidden, where the toolkit's close() would do nothing.
    void Close();

    // Handlers, by their designed names.
    void FormCreate();
    void FormClose();
    void FormResize();
    void miClosePhClick();
    void miDialCurrentClick();
    void btnAddPhoneClick();
    void btnEditPhoneClick();
    void btnDelPhoneClick();
    // The image of a popup item in PopImgLst, or -1 for none.
    int PopPhBGetImageIndex(const QAction* item) const;

    TPanel* pnPhoneList = nullptr;
    TExtListView* PhoneList = nullptr;
    TPanel* pnPhListKeys = nullptr;
    QPushButton *btnAddPhone = nullptr, *btnEditPhone = nullptr, *btnDelPhone = nullptr,
                *btnPhCancel = nullptr;
    QMenu* PopPhB = nullptr;
    QAction *miDialCurrent = nullptr, *miAddPh = nullptr, *miEditPh = nullptr, *miDelPh = nullptr,
            *miClosePh = nullptr;
    // Add, edit, delete, dial.
    QList<QIcon> PopImgLst;
    TFormPlacement* PhFrmPlace = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class BusyScope;
    void createControls();
    void createMenu();
    void layoutPanels();
    // Connects a key or menu item to a handler that may wait.
    template <class Sender, class Signal>
    void wire(Sender* sender, Signal signal, void (TPhoneForm::*handler)());

    QString programDir_;
    TPhItemForm& entry_;
    PhoneDialer dial_;
    int busy_ = 0;
};

// The main window's side of the phone book window: at most one exists; it is
// opened and closed by the "&Phones" key, and a close request it was given is
// carried out by the idle handler. At the program's end it is closed, so its
// phone book is saved.
class PhoneBookHost {
public:
    PhoneBookHost(QWidget* owner, QString programDir, TPhItemForm& entryDialog, PhoneDialer dial);
    ~PhoneBookHost();
    PhoneBookHost(const PhoneBookHost&) = delete;
    PhoneBookHost& operator=(const PhoneBookHost&) = delete;

    // The "&Phones" key: closes (saving) and destroys an existing window,
    // visible or hidden, or else creates and shows a new one.
    void btnPhoneBookClick();
    // The idle handler's step: carries out the window's close request.
    void runDeferredClose();
    // The main window's close: asks a visible window to close.
    void requestCloseIfVisible();
    // The program's end: closes (saving) and destroys the window now.
    void closeAtProgramEnd();

    // The caller on display into the book, which is saved at once, as the
    // line's lookup reads the file: an existing window's list is changed (and
    // its own save keeps it), else the file. A file that does not read whole
    // is left alone (TarvikError); a failed save is told (a window keeps the
    // change for its own save).
    //
    // The entry dialog for a new entry, filled with `phone`: the number added,
    // or nothing when cancelled, when the save failed or when the dialog is
    // already in use.
    std::optional<QByteArray> addCaller(const QByteArray& phone);
    // The first entry in the book's order whose number matches `phone` becomes
    // BAD, or the number becomes a BAD entry without a name. False when the
    // save failed.
    bool markBad(const QByteArray& phone);

    TPhoneForm* PhoneForm() const { return form_; }

private:
    using SetStatus = std::function<void(int row, std::int32_t status)>;
    using BookChange = std::function<void(PhoneRows& rows, const SetStatus& setStatus)>;
    void closeAndDestroy();
    bool changeBook(const BookChange& change);
    QWidget* dialogOwner() const;

    QWidget* owner_;
    QString programDir_;
    TPhItemForm& entry_;
    PhoneDialer dial_;
    QPointer<TPhoneForm> form_;
    bool closing_ = false;
    QMetaObject::Connection quitHook_;
};

} // namespace tarvik
