#include "ui/tarvik_frm.h"

#include "ui/widgets/design_scale.h"

#include "modem/dialing.h"
#include "platform/errors.h"
#include "store/calllog.h"
#include "store/codepage.h"
#include "store/colors.h"
#include "ui/widgets/colors_qt.h"
#include "ui/widgets/digit_led.h"
#include "ui/widgets/oval_button.h"
#include "ui/widgets/panel.h"
#include "ui/widgets/pictures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <memory>

namespace tarvik {
namespace {

const QString kCaption = QStringLiteral("TARVIK [Courier TREVA 2.51+]");

// Design sizes, in pixels at 120 pixels per inch.
constexpr int kClientWidth = 345, kClientHeight = 289;
constexpr int kLedPanelHeight = 68, kStatusBarHeight = 23, kFastKeysWidth = 126;
constexpr int kLedTop = 6, kLedWidth = 37, kLastLedWidth = 36, kLedHeight = 56;
constexpr int kLedLefts[kLedCount] = {6, 43, 80, 117, 154, 191, 228, 265, 302};
constexpr int kWindowFontHeight = 14, kKeyFontHeight = 11;

struct KeyDesign {
    TOvalButton* TMainForm::*control;
    const char* name;
    const char* caption;
    int tag, left, top, height;
    TColor colour;
    const char* hint;
};

// In the order of their tags, 10 to 140.
const KeyDesign kKeys[] = {
    {&TMainForm::btnOne, "btnOne", "1", 10, 10, 39, 31, clSilver, nullptr},
    {&TMainForm::btnTwo, "btnTwo", "2", 20, 79, 39, 31, clSilver, nullptr},
    {&TMainForm::btnThree, "btnThree", "3", 30, 148, 39, 31, clSilver, nullptr},
    {&TMainForm::btnFour, "btnFour", "4", 40, 10, 79, 31, clSilver, nullptr},
    {&TMainForm::btnFive, "btnFive", "5", 50, 79, 79, 31, clSilver, nullptr},
    {&TMainForm::btnSix, "btnSix", "6", 60, 148, 79, 31, clSilver, nullptr},
    {&TMainForm::btnSeven, "btnSeven", "7", 70, 10, 118, 31, clSilver, nullptr},
    {&TMainForm::btnEight, "btnEight", "8", 80, 79, 118, 31, clSilver, nullptr},
    {&TMainForm::btnNine, "btnNine", "9", 90, 148, 118, 31, clSilver, nullptr},
    {&TMainForm::btnZero, "btnZero", "0", 100, 79, 158, 30, clSilver, nullptr},
    {&TMainForm::btnFlash, "btnFlash", "*", 110, 10, 158, 30, clBtnShadow, "Flash"},
    {&TMainForm::btnRepeat, "btnRepeat", "#", 120, 148, 158, 30, clBtnShadow, "Redial"},
    {&TMainForm::btnReset, "btnReset", "Reset", 130, 10, 4, 30, clTeal, "Reset dialed number."},
    {&TMainForm::btnErase, "btnErase", "<", 140, 148, 4, 30, clTeal, "Erase last entered digit."},
};
constexpr int kKeyColumnWidth = 61;

struct FastKeyDesign {
    QPushButton* TMainForm::*control;
    const char* name;
    const char* caption;
    int top, height;
    const char* hint;
    char accelerator;
};

const FastKeyDesign kFastKeys[] = {
    {&TMainForm::btnPhoneBook, "btnPhoneBook", "&Phones", 6, 31, "Your own phone book...", 'p'},
    {&TMainForm::btnAnswer, "btnAnswer", "&Answer", 42, 31, "Manual answer...", 'a'},
    {&TMainForm::btnTalk, "btnTalk", "&Talk", 79, 50, nullptr, 't'},
    {&TMainForm::btnClose, "btnClose", "&Close", 159, 31, "Close TARVIK.", 'c'},
};
constexpr int kFastKeyLeft = 6, kFastKeyWidth = 116, kFastKeyPicture = 20;

// The caller items' keys: with Ctrl, so that neither the keypad's keys nor the
// fast keys' letters clash with them.
const QKeySequence kAddCallerKey(Qt::CTRL | Qt::Key_N);
const QKeySequence kMarkBadKey(Qt::CTRL | Qt::Key_B);

MainEvents& noEvents() {
    static MainEvents none;
    return none;
}

} // namespace

TMainForm::TMainForm(SettingsRecord& settings, QWidget* parent)
    : QWidget(parent)
    , settings_(settings)
    , logSink_([this](const QByteArray& message) { WriteLogLine(settings_.fnLog, message); }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(kCaption);
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    scale_ = where ? where->logicalDotsPerInch() / kDesignDpi : 1.0;

    setFont(DesignScale(*this).windowFont(kWindowFontHeight));

    createControls();
    createMenu();
    createDesktop();
    setFixedSize(s(kClientWidth), s(kClientHeight));
    layoutPanels();

    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm() = default;

int TMainForm::s(qreal designPixels) const {
    return qRound(designPixels * scale_);
}

void TMainForm::createControls() {
    pnDigitalLed = new TPanel(this);
    pnDigitalLed->setObjectName(QStringLiteral("pnDigitalLed"));
    pnDigitalLed->setColor(Qt::black);
    connect(pnDigitalLed, &TPanel::clicked, this,
            withErrorReport([this] { events().pnDigitalLedClick(); }));
    for (int i = 0; i < kLedCount; ++i) {
        auto* led = new TDigitLed(pnDigitalLed);
        led->setObjectName(QStringLiteral("Led%1").arg(i));
        const int width = i == kLedCount - 1 ? kLastLedWidth : kLedWidth;
        led->setGeometry(s(kLedLefts[i]), s(kLedTop), s(width), s(kLedHeight));
        connect(led, &TDigitLed::clicked, this,
                withErrorReport([this] { events().pnDigitalLedClick(); }));
        Led[i] = led;
    }

    pnPhoneKeys = new TPanel(this);
    pnPhoneKeys->setObjectName(QStringLiteral("pnPhoneKeys"));
    pnPhoneKeys->setLoweredBevel(true);
    pnPhoneKeys->setColor(Qt::black);

    QFont keyFont(font());
    keyFont.setPixelSize(s(kKeyFontHeight));
    for (const KeyDesign& design : kKeys) {
        auto* key = new TOvalButton(pnPhoneKeys);
        key->setObjectName(QString::fromLatin1(design.name));
        key->setText(QString::fromLatin1(design.caption));
        key->setTag(design.tag);
        key->setFont(keyFont);
        key->setColor(toQColor(design.colour));
        if (design.hint) key->setToolTip(QString::fromLatin1(design.hint));
        key->setGeometry(s(design.left), s(design.top), s(kKeyColumnWidth), s(design.height));
        connect(key, &QAbstractButton::clicked, this,
                withErrorReport([this, tag = design.tag] { events().btnPhoneKeysClick(tag); }));
        this->*design.control = key;
    }

    pnFastKeys = new TPanel(pnPhoneKeys);
    pnFastKeys->setObjectName(QStringLiteral("pnFastKeys"));
    pnFastKeys->setLoweredBevel(true);
    pnFastKeys->setColor(Qt::black);
    const int picture = s(kFastKeyPicture);
    const qreal ratio = devicePixelRatioF();
    const int picturePixels = qRound(picture * ratio);
    const QPixmap pictures[] = {bookPicture(picturePixels), ringingPhonePicture(picturePixels),
                                loudspeakerPicture(picturePixels),
                                closePicture(picturePixels, style())};
    for (std::size_t i = 0; i < std::size(kFastKeys); ++i) {
        const FastKeyDesign& design = kFastKeys[i];
        auto* key = new QPushButton(QString::fromLatin1(design.caption), pnFastKeys);
        key->setObjectName(QString::fromLatin1(design.name));
        if (design.hint) key->setToolTip(QString::fromLatin1(design.hint));
        QPixmap image = pictures[i];
        image.setDevicePixelRatio(ratio);
        key->setIcon(keyIcon(image));
        key->setIconSize(QSize(picture, picture));
        // Enter clicks the key that has the focus.
        key->setAutoDefault(true);
        key->setGeometry(s(kFastKeyLeft), s(design.top), s(kFastKeyWidth), s(design.height));
        this->*design.control = key;
    }
    setTabOrder(btnPhoneBook, btnAnswer);
    setTabOrder(btnAnswer, btnTalk);
    setTabOrder(btnTalk, btnClose);
    connect(btnPhoneBook, &QPushButton::clicked, this,
            withErrorReport([this] { events().btnPhoneBookClick(); }));
    connect(btnAnswer, &QPushButton::clicked, this,
            withErrorReport([this] { events().btnAnswerClick(); }));
    connect(btnTalk, &QPushButton::clicked, this,
            withErrorReport([this] { events().btnTalkClick(); }));
    connect(btnClose, &QPushButton::clicked, this, withErrorReport([this] { close(); }));

    sBar = new QStatusBar(this);
    sBar->setObjectName(QStringLiteral("sBar"));
    sBar->setSizeGripEnabled(false);
}

void TMainForm::createMenu() {
    RxPopupSys = new QMenu(this);
    RxPopupSys->setObjectName(QStringLiteral("RxPopupSys"));
    const auto item = [this](const char* name, const char* caption, bool checkable = false) {
        QAction* action = RxPopupSys->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(checkable);
        return action;
    };
    // Checkable items flip their own check mark before the handler runs.
    miOpenFullSize = item("miOpenFullSize", "&Open", true);
    connect(miOpenFullSize, &QAction::triggered, this,
            [this](bool checked) { runWithErrorReport([&] { SetWindowVisible(checked); }); });
    miPhoneKeysSw = item("miPhoneKeysSw", "Phone keys", true);
    connect(miPhoneKeysSw, &QAction::triggered, this, [this](bool checked) {
        runWithErrorReport([&] {
            settings_.PhKeysShow = checked;
            ShowPhoneKeys(checked);
        });
    });
    miSBarSw = item("miSBarSw", "StatusBar", true);
    connect(miSBarSw, &QAction::triggered, this, [this](bool checked) {
        runWithErrorReport([&] {
            settings_.SBarShow = checked;
            ShowStatusBar(checked);
        });
    });
    miStayOnTop = item("miStayOnTop", "Stay On Top", true);
    connect(miStayOnTop, &QAction::triggered, this, [this](bool checked) {
        runWithErrorReport([&] {
            settings_.StayOnTop = checked;
            ApplyStayOnTop(checked);
        });
    });
    miSetup = item("miSetup", "&Settings...");
    connect(miSetup, &QAction::triggered, this,
            withErrorReport([this] { events().miSetupClick(); }));
    miSplitCaller = RxPopupSys->addSeparator();
    miSplitCaller->setObjectName(QStringLiteral("miSplitCaller"));
    miAddCaller = item("miAddCaller", "Add to Phone Book...");
    miAddCaller->setShortcut(kAddCallerKey);
    connect(miAddCaller, &QAction::triggered, this,
            withErrorReport([this] { runCallerItem(&MainEvents::miAddCallerClick); }));
    miMarkBad = item("miMarkBad", "Mark as BAD");
    miMarkBad->setShortcut(kMarkBadKey);
    connect(miMarkBad, &QAction::triggered, this,
            withErrorReport([this] { runCallerItem(&MainEvents::miMarkCallerBadClick); }));
    connect(RxPopupSys, &QMenu::aboutToShow, this, [this] { updateCallerItems(); });
    updateCallerItems();
    miSplit1 = RxPopupSys->addSeparator();
    miSplit1->setObjectName(QStringLiteral("miSplit1"));
    miAbout = item("miAbout", "&About");
    connect(miAbout, &QAction::triggered, this,
            withErrorReport([this] { events().miAboutClick(); }));
    miSplit2 = RxPopupSys->addSeparator();
    miSplit2->setObjectName(QStringLiteral("miSplit2"));
    miSwitchPort = item("miSwitchPort", "&Open Port");
    connect(miSwitchPort, &QAction::triggered, this,
            withErrorReport([this] { miSwitchPortClick(); }));
    miCloseTarvik = item("miCloseTarvik", "Close Tarvik");
    connect(miCloseTarvik, &QAction::triggered, this,
            withErrorReport([this] { miCloseTarvikClick(); }));

    pnDigitalLed->setPopupMenu(RxPopupSys);
    pnPhoneKeys->setPopupMenu(RxPopupSys);
}

void TMainForm::createDesktop() {
    desktop_ = std::make_unique<DesktopPresence>(*this, *RxPopupSys);
    TrayIco = &desktop_->trayIcon();
    connect(desktop_.get(), &DesktopPresence::windowShown, this, &TMainForm::showOpenItem);
    connect(desktop_.get(), &DesktopPresence::trayDefaultAsked, this, &TMainForm::TrayDoubleClick);
}

void TMainForm::setEvents(MainEvents* events) {
    events_ = events;
}
void TMainForm::setPort(PortSwitch* port) {
    port_ = port;
}
void TMainForm::setLogSink(LogLineSink sink) {
    logSink_ = std::move(sink);
}

MainEvents& TMainForm::events() const {
    return events_ ? *events_ : noEvents();
}

void TMainForm::setPortState(bool open) {
    portOpen_ = open;
    desktop_->setPortPicture(open);
    updatePortItem();
}

// A server's item follows the user's choice, not the connection, which
// comes and goes by itself.
void TMainForm::updatePortItem() {
    if (!fromServer_)
        return miSwitchPort->setText(portOpen_ ? QStringLiteral("&Close Port")
                                               : QStringLiteral("&Open Port"));
    const bool on = port_ && port_->isOpen();
    miSwitchPort->setText(on ? QStringLiteral("&Disconnect") : QStringLiteral("&Connect"));
}

void TMainForm::setCallSource(bool fromServer) {
    fromServer_ = fromServer;
    btnAnswer->setEnabled(!fromServer);
    btnTalk->setEnabled(!fromServer);
    const QString why = fromServer ? QString::fromLatin1(kNoDialingText) : QString();
    pnPhoneKeys->setToolTip(why);
    for (const KeyDesign& design : kKeys) {
        (this->*design.control)->setEnabled(!fromServer);
        if (!design.hint) (this->*design.control)->setToolTip(why);
    }
    updatePortItem();
}

void TMainForm::miSwitchPortClick() {
    if (!port_) return;
    port_->setOpen(!port_->isOpen());
    if (fromServer_) return updatePortItem();
    setPortState(port_->isOpen());
}

void TMainForm::miCloseTarvikClick() {
    SetWindowVisible(true);
    close();
}

void TMainForm::SetUpFromSettings(bool portOpen) {
    ShowOnLeds({});
    setPortState(portOpen);
    state_.DialedNumber.clear();
    ApplyLedColors(settings_.ClrNormalLCD, settings_.ClrOffLCD);
    ApplyButtonColors(settings_.ClrPhBtn, settings_.ClrPhFuncBtn);
    ApplyBackgroundColor(settings_.ClrBackGround);
    ShowStatusBar(settings_.SBarShow);
    ShowPhoneKeys(settings_.PhKeysShow);
    miSBarSw->setChecked(settings_.SBarShow);
    miPhoneKeysSw->setChecked(settings_.PhKeysShow);
    miStayOnTop->setChecked(settings_.StayOnTop);
    ApplyTrayDblClick(settings_.TrayDblCl);
    ApplyStayOnTop(settings_.StayOnTop);
    state_.InCall = false;
}

void TMainForm::SetWindowVisible(bool show, ShowFor showFor) {
    if (show)
        desktop_->show(showFor);
    else
        desktop_->hide();
}

void TMainForm::showOpenItem(bool shown) {
    miOpenFullSize->setChecked(shown);
    miOpenFullSize->setText(shown ? QStringLiteral("Hide") : QStringLiteral("Open"));
}

void TMainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The window manager or the task bar can minimise or restore the window;
    // the item keeps naming the other action.
    if (event->type() != QEvent::WindowStateChange || !isVisible()) return;
    showOpenItem(!isMinimized());
}

void TMainForm::ApplyLedColors(TColor on, TColor off) {
    for (TDigitLed* led : Led)
        led->setOnColor(toQColor(on));
    for (TDigitLed* led : Led)
        led->setOffColor(toQColor(off));
}

void TMainForm::ApplyButtonColors(TColor digit, TColor function) {
    for (TOvalButton* key : phoneKeys()) {
        const bool digitKey = key->tag() <= 100;
        key->setColor(toQColor(digitKey ? digit : function));
    }
}

void TMainForm::ApplyBackgroundColor(TColor color) {
    const QColor background = toQColor(color);
    for (TPanel* panel : {pnFastKeys, pnDigitalLed, pnPhoneKeys})
        panel->setColor(background);
}

void TMainForm::ApplyTrayDblClick(int action) {
    if (action == 0)
        RxPopupSys->setDefaultAction(miOpenFullSize);
    else if (action == 1)
        RxPopupSys->setDefaultAction(miSwitchPort);
}

void TMainForm::TrayDoubleClick() {
    QAction* action = RxPopupSys->defaultAction();
    if (action && action->isEnabled()) action->trigger();
}

void TMainForm::updateCallerItems() {
    const bool shown = !state_.CallerNumber.isEmpty();
    miAddCaller->setEnabled(shown);
    miMarkBad->setEnabled(shown);
}

void TMainForm::runCallerItem(void (MainEvents::*handler)(const QByteArray&)) {
    // The caller may have gone since the menu opened; a copy, as the handler
    // waits while another caller may come.
    const QByteArray number = state_.CallerNumber;
    updateCallerItems();
    if (!number.isEmpty()) (events().*handler)(number);
}

void TMainForm::ApplyStayOnTop(bool onTop) {
    desktop_->setStaysOnTop(onTop);
}

void TMainForm::setClientHeight(int height) {
    setFixedHeight(height);
    layoutPanels();
}

void TMainForm::ShowStatusBar(bool show) {
    if (show == !sBar->isHidden()) return;
    sBar->setVisible(show);
    setClientHeight(height() + (show ? sBar->height() : -sBar->height()));
}

void TMainForm::ShowPhoneKeys(bool show) {
    if (show == !pnPhoneKeys->isHidden()) return;
    pnPhoneKeys->setVisible(show);
    setClientHeight(height() + (show ? pnPhoneKeys->height() : -pnPhoneKeys->height()));
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPanels();
}

void TMainForm::layoutPanels() {
    // The LED panel on top and the status bar at the bottom keep their
    // heights; the keypad fills what is left.
    const int w = width();
    int top = 0, bottom = height();
    pnDigitalLed->setGeometry(0, 0, w, s(kLedPanelHeight));
    top += pnDigitalLed->height();
    if (!sBar->isHidden()) {
        sBar->setGeometry(0, bottom - s(kStatusBarHeight), w, s(kStatusBarHeight));
        bottom -= sBar->height();
    } else if (sBar->height() != s(kStatusBarHeight)) {
        sBar->resize(w, s(kStatusBarHeight));
    }
    if (!pnPhoneKeys->isHidden()) pnPhoneKeys->setGeometry(0, top, w, std::max(0, bottom - top));
    const int bevel = pnPhoneKeys->frameWidth();
    pnFastKeys->setGeometry(pnPhoneKeys->width() - bevel - s(kFastKeysWidth), bevel,
                            s(kFastKeysWidth), pnPhoneKeys->height() - 2 * bevel);
}

void TMainForm::ShowOnLeds(QByteArrayView text) {
    tarvik::ShowOnLeds(leds(), text);
}

void TMainForm::ShowDialedNumber() {
    tarvik::ShowDialedNumber(leds(), state_.DialedNumber);
}

void TMainForm::ShowCallerId(QByteArrayView line) {
    tarvik::ShowCallerId(*this, line, settings_.DigCol, logSink_);
}

LedRow TMainForm::leds() {
    LedRow row;
    for (int i = 0; i < kLedCount; ++i)
        row[i] = Led[i];
    return row;
}

void TMainForm::setStatusText(const QByteArray& text) {
    sBar->showMessage(fromCp1251(text));
}

QByteArray TMainForm::statusText() const {
    return toCp1251(sBar->currentMessage());
}

void TMainForm::showForCaller(const QByteArray& notice) {
    desktop_->showForCaller(fromCp1251(notice));
    updateCallerItems();
}

bool TMainForm::phoneKeysVisible() const {
    return !pnPhoneKeys->isHidden();
}

std::array<TOvalButton*, 14> TMainForm::phoneKeys() const {
    std::array<TOvalButton*, 14> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i)
        keys[i] = this->*kKeys[i].control;
    return keys;
}

TOvalButton* TMainForm::keyByTag(int tag) const {
    for (TOvalButton* key : phoneKeys())
        if (key->tag() == tag) return key;
    return nullptr;
}

void TMainForm::setKeyDown(int tag, bool down) {
    if (TOvalButton* key = keyByTag(tag)) key->setDown(down);
}

void TMainForm::setRepeatHint(const QString& hint) {
    btnRepeat->setToolTip(hint);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    runWithErrorReport([this] { events().FormClose(); });
    event->accept();
    emit formClosed();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || previewed_.contains(event))
        return false;
    auto* receiver = static_cast<QWidget*>(watched);
    if (receiver->window() != this) return false;

    auto* key = static_cast<QKeyEvent*>(event);
    if (previewKey(key)) return true;
    // Deliver a copy, which the preview leaves alone however far it travels
    // up to the window; the original stops here so it is not previewed twice.
    std::unique_ptr<QEvent> copy(event->clone());
    previewed_.append(copy.get());
    QCoreApplication::sendEvent(receiver, copy.get());
    previewed_.removeOne(copy.get());
    event->accept();
    return true;
}

// Key codes first, then the fast keys' accelerators, then characters, as the
// handlers expect. Returns true when the focused control must not see the key.
bool TMainForm::previewKey(QKeyEvent* event) {
    int code = event->key();
    runWithErrorReport([&] { events().FormKeyDown(code, event->modifiers()); });
    const bool keyTaken = code == 0;

    if (serveAccelerator(event) || serveCallerKey(event)) return true;

    const QString text = event->text();
    if (text.size() != 1 || event->modifiers().testFlag(Qt::AltModifier)) return keyTaken;
    char ch = toCp1251(text).at(0);
    runWithErrorReport([&] { events().FormKeyPress(ch); });
    return keyTaken || ch == 0;
}

bool TMainForm::serveAccelerator(const QKeyEvent* event) {
    if (pnPhoneKeys->isHidden() || event->modifiers().testFlag(Qt::ControlModifier) ||
        event->text().size() != 1)
        return false;
    const QChar letter = event->text().at(0).toLower();
    for (const FastKeyDesign& design : kFastKeys) {
        QPushButton* key = this->*design.control;
        if (letter == QLatin1Char(design.accelerator) && !key->isHidden() && key->isEnabled()) {
            key->click();
            return true;
        }
    }
    return false;
}

// The caller items' keys, whatever has the focus and whether the keypad shows.
bool TMainForm::serveCallerKey(const QKeyEvent* event) {
    const QKeySequence pressed(event->keyCombination());
    for (QAction* item : {miAddCaller, miMarkBad}) {
        if (item->shortcut() != pressed) continue;
        updateCallerItems();
        item->trigger();
        return true;
    }
    return false;
}

} // namespace tarvik
