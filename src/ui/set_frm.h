#pragma once
#include "store/settings.h"

#include <QDialog>
#include <QGroupBox>
#include <QList>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace tarvik {

class TColorComboBox;
class TFilenameEdit;
class TFormPlacement;
class TMainForm;
class TPanel;
class TRxSpinEdit;

// What the settings dialog re-applies to the main window after OK.
class SettingsTarget {
public:
    virtual ~SettingsTarget() = default;
    virtual void ApplyLedColors(TColor on, TColor off) = 0;
    virtual void ApplyBackgroundColor(TColor color) = 0;
    virtual void ApplyButtonColors(TColor digit, TColor function) = 0;
    virtual void ApplyTrayDblClick(int action) = 0;
};

// A group of radio buttons with the index of the chosen one; -1 when none is.
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    // Held to -1 .. the last item.
    void setItemIndex(int index);
    int itemIndex() const;
    QList<QRadioButton*> buttons() const;
    QButtonGroup* group() const { return group_; }

private:
    QButtonGroup* group_;
};

// The settings dialog "TARVIK Settings...": three pages over a panel with OK
// and Cancel. Created for one opening and destroyed after it.
class TSetupForm : public QDialog {
    Q_OBJECT

public:
    explicit TSetupForm(QWidget* owner = nullptr);

    // Fills the controls from the settings in the designed order; throws
    // TarvikError for a SoundFile the file name box refuses.
    void Fill(const SettingsRecord& settings, const QString& programDir);
    // Reads every control back into the settings, in the designed order.
    void ReadBack(SettingsRecord& settings) const;

    // Keeps OK and Cancel centred in pnSetupKeys, 30 pixels apart.
    void FormResize();

    QTabWidget* PageCtl = nullptr;
    QWidget *ModemSheet = nullptr, *CallerIdSheet = nullptr, *ColorsSheet = nullptr,
            *MiscSheet = nullptr;
    TPanel* pnSetupKeys = nullptr;
    QPushButton *btnSetOK = nullptr, *btnSetCancel = nullptr;

    TRxSpinEdit *seCOMNumber = nullptr, *seCOMBaud = nullptr, *seAnswerOnRing = nullptr,
                *seRedialPause = nullptr, *seDigCol = nullptr;
    QLineEdit *eDevice = nullptr, *eInitStr = nullptr, *eAnswerStr = nullptr,
              *eDialPrefix = nullptr;

    TColorComboBox *clrOffLCD = nullptr, *clrNormalPhone = nullptr, *clrBackGround = nullptr,
                   *ClrPhBtn = nullptr, *clrPhFuncBtn = nullptr, *ClrBadPh = nullptr,
                   *ClrNormalPh = nullptr, *ClrGoodPh = nullptr, *ClrPrioPh = nullptr;

    TFilenameEdit *fnLogEdit = nullptr, *fnSound = nullptr;
    TRadioGroup *rgTrayDblCl = nullptr, *rgCidMode = nullptr;
    QLineEdit *eCidInitStr = nullptr, *eNcidServer = nullptr;
    QCheckBox *cbHangUpBad = nullptr, *cbHangUpWithheld = nullptr;

    TFormPlacement* SetPlace = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createModemSheet();
    void createCallerIdSheet();
    // Another caller-ID kind: an InitStr left at the other kind's default
    // becomes this kind's, so that the modem takes it at start.
    void cidModeChosen(int mode);
    void checkNcidServer();
    void createColorsSheet();
    void createMiscSheet();
    void createKeys();
    void setDesignedTabOrder();
};

// miSetupClick: fills the dialog from `settings` and shows it modally; on OK
// reads it back, saves the settings and re-applies the colours and the tray
// action through `target`. Cancel changes nothing. Throws TarvikError when
// the dialog cannot be filled (the dialog then does not open) or the settings
// cannot be saved; the caller's entry point reports it.
void runSettingsDialog(QWidget* owner, SettingsRecord& settings, const QString& programDir,
                       SettingsTarget& target);
// The same with the main window as owner and target.
void runSettingsDialog(TMainForm& mainForm, SettingsRecord& settings, const QString& programDir);

} // namespace tarvik
