#pragma once
#include "modem/main_view.h"
#include "modem/number_display.h"
#include "store/settings.h"
#include "ui/desktop_presence.h"

#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QStatusBar;

namespace tarvik {

class TDigitLed;
class TOvalButton;
class TPanel;

// The main window: nine LED digits on top, the keypad with its four fast keys,
// the status bar, the tray icon and the popup menu. It holds no call or
// dialing logic: it shows what the logic asks through MainView and passes its
// events to MainEvents.
class TMainForm : public QWidget, public MainView {
    Q_OBJECT

public:
    // `settings` is read for colours, toggles and DigCol, and written by the
    // three view toggles; it must outlive the window.
    explicit TMainForm(SettingsRecord& settings, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Hooks for the rest of the program; none is owned and each may be null.
    void setEvents(MainEvents* events);
    void setPort(PortSwitch* port);
    // Where the category lines of caller numbers go; by default WriteLogLine
    // into the settings' log file.
    void setLogSink(LogLineSink sink);
    // The port item's caption and the tray picture follow the port state.
    void setPortState(bool open);
    // The calls come from an NCID server: the port item connects and
    // disconnects, and answering and dialing, which need a modem, are off.
    void setCallSource(bool fromServer);
    bool portStateOpen() const { return portOpen_; }

    // The window's share of the start-up, in order: digits dark, port item and
    // tray picture, DialedNumber empty, colours, status bar and keypad toggles,
    // check marks, tray double-click action, stay-on-top, InCall cleared.
    void SetUpFromSettings(bool portOpen);

    // The tray, the window's showing and the caller's notification.
    DesktopPresence& desktop() { return *desktop_; }
    using ShowFor = DesktopPresence::ShowFor;
    // Operations of the window.
    void SetWindowVisible(bool show, ShowFor showFor = ShowFor::User);
    void ApplyLedColors(TColor on, TColor off);
    void ApplyButtonColors(TColor digit, TColor function);
    void ApplyBackgroundColor(TColor color);
    void ApplyTrayDblClick(int action);
    void ApplyStayOnTop(bool onTop);
    void ShowStatusBar(bool show);
    void ShowPhoneKeys(bool show);

    // The LED row.
    void ShowOnLeds(QByteArrayView text);
    void ShowDialedNumber();
    // Throws TarvikError for a category that is not a digit; the caller's
    // entry point reports it.
    void ShowCallerId(QByteArrayView line);

    // What a double click on the tray icon does: the first enabled default
    // item of the popup menu, if any.
    void TrayDoubleClick();
    // The caller items ("Add to Phone Book...", "Mark as BAD") are on exactly
    // while a caller is on display (CallerNumber). The call logic sets the
    // number without telling the window, so they are brought up to date as
    // the menu opens, as their keys are pressed and as a caller is shown.
    void updateCallerItems();

    // MainView
    MainState& state() override { return state_; }
    LedRow leds() override;
    void setStatusText(const QByteArray& text) override;
    QByteArray statusText() const override;
    void showForCaller(const QByteArray& notice) override;
    bool phoneKeysVisible() const override;
    void setKeyDown(int tag, bool down) override;
    void setRepeatHint(const QString& hint) override;

    // Pixels per inch the window was designed at; sizes scale to the screen's.
    static constexpr qreal kDesignDpi = 120.0;
    qreal designScale() const { return scale_; }

    // Controls, under the names other parts of the program use.
    TPanel* pnDigitalLed = nullptr;
    std::array<TDigitLed*, kLedCount> Led{};
    QStatusBar* sBar = nullptr;
    TPanel* pnPhoneKeys = nullptr;
    TPanel* pnFastKeys = nullptr;
    TOvalButton *btnReset = nullptr, *btnErase = nullptr, *btnOne = nullptr, *btnTwo = nullptr,
                *btnThree = nullptr, *btnFour = nullptr, *btnFive = nullptr, *btnSix = nullptr,
                *btnSeven = nullptr, *btnEight = nullptr, *btnNine = nullptr, *btnFlash = nullptr,
                *btnZero = nullptr, *btnRepeat = nullptr;
    QPushButton *btnPhoneBook = nullptr, *btnAnswer = nullptr, *btnTalk = nullptr,
                *btnClose = nullptr;
    QMenu* RxPopupSys = nullptr;
    QAction *miOpenFullSize = nullptr, *miPhoneKeysSw = nullptr, *miSBarSw = nullptr,
            *miStayOnTop = nullptr, *miSetup = nullptr, *miSplitCaller = nullptr,
            *miAddCaller = nullptr, *miMarkBad = nullptr, *miSplit1 = nullptr, *miAbout = nullptr,
            *miSplit2 = nullptr, *miSwitchPort = nullptr, *miCloseTarvik = nullptr;
    QSystemTrayIcon* TrayIco = nullptr;

    // The fourteen keypad keys, in the order of their tags 10..140.
    std::array<TOvalButton*, 14> phoneKeys() const;
    TOvalButton* keyByTag(int tag) const;

signals:
    // The window has closed and FormClose has run: the program ends here.
    void formClosed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int s(qreal designPixels) const;
    void createControls();
    void createMenu();
    void createDesktop();
    void layoutPanels();
    void setClientHeight(int height);
    void miSwitchPortClick();
    void updatePortItem();
    void miCloseTarvikClick();
    bool previewKey(QKeyEvent* event);
    bool serveAccelerator(const QKeyEvent* event);
    bool serveCallerKey(const QKeyEvent* event);
    void showOpenItem(bool shown);
    void runCallerItem(void (MainEvents::*handler)(const QByteArray&));
    MainEvents& events() const;

    SettingsRecord& settings_;
    MainState state_;
    MainEvents* events_ = nullptr;
    PortSwitch* port_ = nullptr;
    LogLineSink logSink_;
    bool portOpen_ = false;
    bool fromServer_ = false;
    qreal scale_ = 1.0;
    std::unique_ptr<DesktopPresence> desktop_;
    // Key events re-sent to their receiver after the preview; the preview
    // leaves them alone.
    QList<const QEvent*> previewed_;
};

} // namespace tarvik
