#include "ui/set_frm.h"

#include "store/codepage.h"
#include "store/colors.h"
#include "store/keyvalue.h"
#include "store/ncid_address.h"
#include "store/short_text.h"
#include "ui/tarvik_frm.h"
#include "ui/widgets/color_combo.h"
#include "ui/widgets/design_scale.h"
#include "ui/widgets/filename_edit.h"
#include "ui/widgets/form_placement.h"
#include "ui/widgets/panel.h"
#include "ui/widgets/spin_edit.h"
#include "ui/widgets/window_stacking.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tarvik {
namespace {

constexpr int kClientWidth = 347, kClientHeight = 409;
constexpr int kDesignedLeft = 300, kDesignedTop = 227;
constexpr int kKeysPanelHeight = 51;
constexpr int kKeyWidth = 92, kKeyHeight = 31, kKeyTop = 10;
// Half the gap between OK and Cancel, in pixels of the screen.
constexpr int kKeyGapHalf = 15;
constexpr int kModemTextLimit = 45;
const QString kNcidServerHint =
    QStringLiteral("host, host:port or [IPv6 address]:port; the port is 3333 unless given");
constexpr int kFontHeight = 14, kColorBoxWidth = 150, kPageMargin = 8;

TRxSpinEdit* spinEdit(QWidget* parent, const char* name, int minimum, int maximum) {
    auto* edit = named(new TRxSpinEdit(parent), name);
    edit->setRange(minimum, maximum);
    return edit;
}

// A longer stored text is shown and kept whole; the limit only stops typing.
void setLimitedText(QLineEdit* edit, const QString& text, int limit) {
    edit->setMaxLength(qMax<qsizetype>(limit, text.size()));
    edit->setText(text);
}

QByteArray modemText(const QLineEdit* edit) {
    return cutShort(toCp1251(edit->text()));
}

// Re-applies through the main window's own operations.
class MainFormTarget final : public SettingsTarget {
public:
    explicit MainFormTarget(TMainForm& form)
        : form_(form) {}
    void ApplyLedColors(TColor on, TColor off) override { form_.ApplyLedColors(on, off); }
    void ApplyBackgroundColor(TColor color) override { form_.ApplyBackgroundColor(color); }
    void ApplyButtonColors(TColor digit, TColor function) override {
        form_.ApplyButtonColors(digit, function);
    }
    void ApplyTrayDblClick(int action) override { form_.ApplyTrayDblClick(action); }

private:
    TMainForm& form_;
};

} // namespace

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent)
    , group_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout->addWidget(button);
    }
}

void TRadioGroup::setItemIndex(int index) {
    index = qBound(-1, index, int(group_->buttons().size()) - 1);
    if (index >= 0) {
        group_->button(index)->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    group_->setExclusive(false);
    for (QAbstractButton* button : group_->buttons())
        button->setChecked(false);
    group_->setExclusive(true);
}

int TRadioGroup::itemIndex() const {
    return group_->checkedId();
}

QList<QRadioButton*> TRadioGroup::buttons() const {
    QList<QRadioButton*> radios;
    for (QAbstractButton* button : group_->buttons())
        radios << static_cast<QRadioButton*>(button);
    return radios;
}

TSetupForm::TSetupForm(QWidget* owner)
    : QDialog(owner) {
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("TARVIK Settings..."));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    const DesignScale s(*this);
    setFont(s.windowFont(kFontHeight));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PageCtl = named(new QTabWidget(this), "PageCtl");
    layout->addWidget(PageCtl, 1);
    createModemSheet();
    createCallerIdSheet();
    createColorsSheet();
    createMiscSheet();
    createKeys();
    layout->addWidget(pnSetupKeys);
    setDesignedTabOrder();

    // Never smaller than designed, nor than the texts need in the font at hand.
    const QSize smallest = s(kClientWidth, kClientHeight).expandedTo(minimumSizeHint());
    resize(smallest);
    move(kDesignedLeft, kDesignedTop);
    SetPlace = new TFormPlacement(this, kSettingsWinStateSection, smallest);
}

void TSetupForm::createModemSheet() {
    const DesignScale s(*this);
    ModemSheet = named(new QWidget(PageCtl), "ModemSheet");
    PageCtl->addTab(ModemSheet, QStringLiteral("Modem"));
    auto* grid = new QGridLayout(ModemSheet);
    grid->setContentsMargins(s(kPageMargin), s(kPageMargin), s(kPageMargin), s(kPageMargin));

    seCOMNumber = spinEdit(ModemSheet, "seCOMNumber", 1, 4);
    seCOMBaud = spinEdit(ModemSheet, "seCOMBaud", 1200, 115200);
    eDevice = named(new QLineEdit(ModemSheet), "eDevice");
    eDevice->setMaxLength(kShortTextMax);
    eInitStr = named(new QLineEdit(ModemSheet), "eInitStr");
    eInitStr->setMaxLength(kModemTextLimit);
    eAnswerStr = named(new QLineEdit(ModemSheet), "eAnswerStr");
    eAnswerStr->setMaxLength(kModemTextLimit);
    eDialPrefix = named(new QLineEdit(ModemSheet), "eDialPrefix");
    seAnswerOnRing = spinEdit(ModemSheet, "seAnswerOnRing", 1, 8);
    seAnswerOnRing->setMaxLength(1);
    seRedialPause = spinEdit(ModemSheet, "seRedialPause", 1, 8);
    seRedialPause->setMaxLength(1);

    // Each control under its label; the texts run across the page.
    const auto pair = [&](int row, const QString& left, QWidget* leftControl, const QString& right,
                          QWidget* rightControl) {
        grid->addWidget(new QLabel(left, ModemSheet), row, 0);
        grid->addWidget(new QLabel(right, ModemSheet), row, 1);
        grid->addWidget(leftControl, row + 1, 0);
        grid->addWidget(rightControl, row + 1, 1);
    };
    const auto wide = [&](int row, const QString& label, QWidget* control) {
        grid->addWidget(new QLabel(label, ModemSheet), row, 0, 1, 2);
        grid->addWidget(control, row + 1, 0, 1, 2);
    };
    pair(0, QStringLiteral("COM-Port number:"), seCOMNumber, QStringLiteral("COM-Port Baudrate:"),
         seCOMBaud);
    wide(2, QStringLiteral("Device (instead of the COM port):"), eDevice);
    wide(4, QStringLiteral("Init string:"), eInitStr);
    wide(6, QStringLiteral("Answer string:"), eAnswerStr);
    wide(8, QStringLiteral("Dialing Prefix:"), eDialPrefix);
    pair(10, QStringLiteral("Answer On Ring:"), seAnswerOnRing, QStringLiteral("Redial Pause:"),
         seRedialPause);
    grid->setRowStretch(12, 1);
}

void TSetupForm::createCallerIdSheet() {
    const DesignScale s(*this);
    CallerIdSheet = named(new QWidget(PageCtl), "CallerIdSheet");
    PageCtl->addTab(CallerIdSheet, QStringLiteral("Caller ID"));
    auto* column = new QVBoxLayout(CallerIdSheet);
    column->setContentsMargins(s(kPageMargin), s(kPageMargin), s(kPageMargin), s(kPageMargin));

    rgCidMode = named(new TRadioGroup(QStringLiteral("The caller is reported:"),
                                      {QStringLiteral("After TARVIK &answers (TREVA firmware)"),
                                       QStringLiteral("With the &rings, by itself (most modems)"),
                                       QStringLiteral("By an &NCID server (no modem here)")},
                                      CallerIdSheet),
                      "rgCidMode");
    const auto labelled = [this, column](const QString& text, QLineEdit* edit) {
        auto* label = new QLabel(text, CallerIdSheet);
        label->setBuddy(edit);
        column->addWidget(label);
        column->addWidget(edit);
    };
    column->addWidget(rgCidMode);
    eCidInitStr = named(new QLineEdit(CallerIdSheet), "eCidInitStr");
    eCidInitStr->setMaxLength(kModemTextLimit);
    labelled(QStringLiteral("&Caller ID on string:"), eCidInitStr);
    eNcidServer = named(new QLineEdit(CallerIdSheet), "eNcidServer");
    eNcidServer->setMaxLength(kShortTextMax);
    eNcidServer->setToolTip(kNcidServerHint);
    labelled(QStringLiteral("NCID &server:"), eNcidServer);
    cbHangUpBad =
        named(new QCheckBox(QStringLiteral("Hang up on numbers marked &BAD in the phone book"),
                            CallerIdSheet),
              "cbHangUpBad");
    cbHangUpWithheld =
        named(new QCheckBox(QStringLiteral("Hang up on &withheld numbers"), CallerIdSheet),
              "cbHangUpWithheld");
    column->addWidget(cbHangUpBad);
    column->addWidget(cbHangUpWithheld);
    column->addStretch(1);
    connect(rgCidMode->group(), &QButtonGroup::idClicked, this,
            [this](int mode) { cidModeChosen(mode); });
    connect(eNcidServer, &QLineEdit::textChanged, this, [this] { checkNcidServer(); });
}

void TSetupForm::cidModeChosen(int mode) {
    // The InitStr follows the modem's kind while the user left it at its default.
    if (mode != kCidFromServer) {
        const QString otherDefault = fromCp1251(defaultInitStr(1 - mode));
        if (eInitStr->text() == otherDefault) eInitStr->setText(fromCp1251(defaultInitStr(mode)));
    }
    eCidInitStr->setEnabled(mode == kCidWithRings);
    eNcidServer->setEnabled(mode == kCidFromServer);
    // Only a modem can hang up.
    cbHangUpBad->setEnabled(mode != kCidFromServer);
    cbHangUpWithheld->setEnabled(mode != kCidFromServer);
    checkNcidServer();
}

// OK waits for an address the program can connect to.
void TSetupForm::checkNcidServer() {
    const bool usable = rgCidMode->itemIndex() != kCidFromServer ||
                        parseNcidServerAddress(eNcidServer->text()).has_value();
    btnSetOK->setEnabled(usable);
}

void TSetupForm::createColorsSheet() {
    const DesignScale s(*this);
    ColorsSheet = named(new QWidget(PageCtl), "ColorsSheet");
    PageCtl->addTab(ColorsSheet, QStringLiteral("Colors"));
    auto* grid = new QGridLayout(ColorsSheet);
    grid->setContentsMargins(s(kPageMargin), s(kPageMargin), s(kPageMargin), s(kPageMargin));
    grid->setColumnStretch(0, 1);

    struct Row {
        const char* label;
        TColorComboBox*& box;
        const char* name;
        TColor designed;
    };
    const Row rows[] = {
        {"LCD Off Segments Color:", clrOffLCD, "clrOffLCD", clBlack},
        {"LCD On Segments Color:", clrNormalPhone, "clrNormalPhone", clLime},
        {"Background Color:", clrBackGround, "clrBackGround", clBlack},
        {"Phone Buttons Color:", ClrPhBtn, "ClrPhBtn", clSilver},
        {"Phone FuncButtons Color:", clrPhFuncBtn, "clrPhFuncBtn", clGray},
        {"Bad Status Color:", ClrBadPh, "ClrBadPh", clRed},
        {"Normal Status Color:", ClrNormalPh, "ClrNormalPh", clLime},
        {"Good Status Color:", ClrGoodPh, "ClrGoodPh", clBlue},
        {"Prio Status Color:", ClrPrioPh, "ClrPrioPh", clYellow},
    };
    int row = 0;
    for (const Row& r : rows) {
        r.box = named(new TColorComboBox(r.designed, ColorsSheet), r.name);
        r.box->setFixedWidth(s(kColorBoxWidth));
        grid->addWidget(new QLabel(QLatin1String(r.label), ColorsSheet), row, 0);
        grid->addWidget(r.box, row, 1);
        ++row;
    }
    grid->setRowStretch(row, 1);
}

void TSetupForm::createMiscSheet() {
    const DesignScale s(*this);
    MiscSheet = named(new QWidget(PageCtl), "MiscSheet");
    PageCtl->addTab(MiscSheet, QStringLiteral("Miscellaneous"));
    auto* column = new QVBoxLayout(MiscSheet);
    column->setContentsMargins(s(kPageMargin), s(kPageMargin), s(kPageMargin), s(kPageMargin));

    fnLogEdit = named(new TFilenameEdit(MiscSheet), "fnLogEdit");
    seDigCol = spinEdit(MiscSheet, "seDigCol", 2, 8);
    rgTrayDblCl = named(
        new TRadioGroup(QStringLiteral("Double Click On Tray Icon Action:"),
                        {QStringLiteral("Open/Hide &TARVIK"), QStringLiteral("Open/Close &Port")},
                        MiscSheet),
        "rgTrayDblCl");
    fnSound = named(new TFilenameEdit(MiscSheet), "fnSound");
    fnSound->setFilter(QStringLiteral("Sound-Files (*.wav)|*.wav"));
    fnSound->setHandledAsFileName(true);

    column->addWidget(new QLabel(QStringLiteral("Enter Log-file name:"), MiscSheet));
    column->addWidget(fnLogEdit);
    column->addWidget(new QLabel(QStringLiteral("Number of Digits in phone number:"), MiscSheet));
    column->addWidget(seDigCol);
    column->addWidget(rgTrayDblCl);
    column->addWidget(new QLabel(QStringLiteral("Sound File for Ring:"), MiscSheet));
    column->addWidget(fnSound);
    column->addStretch(1);
}

void TSetupForm::createKeys() {
    const DesignScale s(*this);
    pnSetupKeys = named(new TPanel(this), "pnSetupKeys");
    pnSetupKeys->setFixedHeight(s(kKeysPanelHeight));
    btnSetOK = named(new QPushButton(QStringLiteral("OK"), pnSetupKeys), "btnSetOK");
    btnSetCancel = named(new QPushButton(QStringLiteral("Cancel"), pnSetupKeys), "btnSetCancel");
    for (QPushButton* key : {btnSetOK, btnSetCancel})
        key->setGeometry(0, s(kKeyTop), s(kKeyWidth), s(kKeyHeight));
    btnSetOK->setDefault(true);
    connect(btnSetOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnSetCancel, &QPushButton::clicked, this, &QDialog::reject);
    pnSetupKeys->installEventFilter(this);
    FormResize();
}

void TSetupForm::setDesignedTabOrder() {
    // As designed, not top to bottom. Pages not shown are skipped by Tab. The
    // chain starts at the page tabs: the page control as a whole would stand
    // for every control on its pages.
    QList<QWidget*> chain{PageCtl->tabBar(), seCOMNumber,    seCOMBaud,   eDevice,
                          seAnswerOnRing,    eInitStr,       eDialPrefix, eAnswerStr,
                          seRedialPause,     clrNormalPhone, clrOffLCD,   clrBackGround,
                          ClrPhBtn,          clrPhFuncBtn,   ClrBadPh,    ClrNormalPh,
                          ClrGoodPh,         ClrPrioPh,      seDigCol,    fnLogEdit->edit()};
    // The caller-ID page after the modem's: its controls are hidden, and so
    // skipped, while another page shows.
    qsizetype at = chain.indexOf(seRedialPause) + 1;
    for (QRadioButton* radio : rgCidMode->buttons())
        chain.insert(at++, radio);
    chain.insert(at++, eCidInitStr);
    chain.insert(at++, eNcidServer);
    chain.insert(at++, cbHangUpBad);
    chain.insert(at, cbHangUpWithheld);
    for (QRadioButton* radio : rgTrayDblCl->buttons())
        chain << radio;
    chain << fnSound->edit() << btnSetCancel << btnSetOK;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
}

void TSetupForm::FormResize() {
    const int w = pnSetupKeys->width() / 2;
    btnSetOK->move(w - btnSetOK->width() - kKeyGapHalf, btnSetOK->y());
    btnSetCancel->move(w + kKeyGapHalf, btnSetCancel->y());
}

bool TSetupForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnSetupKeys && event->type() == QEvent::Resize) FormResize();
    return QDialog::eventFilter(watched, event);
}

void TSetupForm::Fill(const SettingsRecord& settings, const QString& programDir) {
    fnLogEdit->setText(settings.fnLog);
    seAnswerOnRing->setValue(settings.AnswerOnRing);
    seDigCol->setValue(settings.DigCol);
    seCOMNumber->setValue(settings.ComNumber);
    seCOMBaud->setValue(settings.Baud);
    clrNormalPhone->setColorValue(settings.ClrNormalLCD);
    clrOffLCD->setColorValue(settings.ClrOffLCD);
    setLimitedText(eInitStr, fromCp1251(settings.InitStr), kModemTextLimit);
    eDialPrefix->setText(fromCp1251(settings.DialPrefix));
    rgTrayDblCl->setItemIndex(settings.TrayDblCl);
    fnSound->setInitialDir(programDir);
    fnSound->setFileName(settings.SoundFile);
    clrBackGround->setColorValue(settings.ClrBackGround);
    ClrPhBtn->setColorValue(settings.ClrPhBtn);
    clrPhFuncBtn->setColorValue(settings.ClrPhFuncBtn);
    ClrBadPh->setColorValue(settings.ClrBad);
    ClrNormalPh->setColorValue(settings.ClrNormal);
    ClrGoodPh->setColorValue(settings.ClrGood);
    ClrPrioPh->setColorValue(settings.ClrPrio);
    setLimitedText(eAnswerStr, fromCp1251(settings.AnswerStr), kModemTextLimit);
    seRedialPause->setValue(settings.RedialPause);
    rgCidMode->setItemIndex(settings.CidMode);
    setLimitedText(eCidInitStr, fromCp1251(settings.CidInitStr), kModemTextLimit);
    setLimitedText(eDevice, settings.Device, kShortTextMax);
    setLimitedText(eNcidServer, settings.NcidServer, kShortTextMax);
    cbHangUpBad->setChecked(settings.HangUpBad);
    cbHangUpWithheld->setChecked(settings.HangUpWithheld);
    cidModeChosen(settings.CidMode);
}

void TSetupForm::ReadBack(SettingsRecord& settings) const {
    settings.fnLog = cutShort(fnLogEdit->text());
    settings.AnswerOnRing = seAnswerOnRing->value();
    settings.DigCol = static_cast<std::uint8_t>(seDigCol->value());
    settings.ComNumber = seCOMNumber->value();
    settings.Baud = seCOMBaud->value();
    settings.ClrNormalLCD = clrNormalPhone->colorValue();
    settings.ClrOffLCD = clrOffLCD->colorValue();
    settings.InitStr = modemText(eInitStr);
    settings.DialPrefix = modemText(eDialPrefix);
    settings.TrayDblCl = rgTrayDblCl->itemIndex();
    settings.SoundFile = cutShort(fnSound->fileName());
    settings.ClrBackGround = clrBackGround->colorValue();
    settings.ClrPhBtn = ClrPhBtn->colorValue();
    settings.ClrPhFuncBtn = clrPhFuncBtn->colorValue();
    settings.ClrBad = ClrBadPh->colorValue();
    settings.ClrNormal = ClrNormalPh->colorValue();
    settings.ClrGood = ClrGoodPh->colorValue();
    settings.ClrPrio = ClrPrioPh->colorValue();
    settings.AnswerStr = modemText(eAnswerStr);
    settings.RedialPause = seRedialPause->value();
    const int mode = rgCidMode->itemIndex();
    settings.CidMode = mode == kCidWithRings || mode == kCidFromServer ? mode : kCidAfterAnswer;
    const QByteArray cidInit = modemText(eCidInitStr).trimmed();
    settings.CidInitStr = cidInit.isEmpty() ? QByteArray(kCidInitStrDefault) : cidInit;
    settings.Device = cutShort(eDevice->text().trimmed());
    settings.NcidServer = cutShort(eNcidServer->text().trimmed());
    settings.HangUpBad = cbHangUpBad->isChecked();
    settings.HangUpWithheld = cbHangUpWithheld->isChecked();
}

void runSettingsDialog(QWidget* owner, SettingsRecord& settings, const QString& programDir,
                       SettingsTarget& target) {
    TSetupForm form(owner);
    stackAboveOwner(form, owner);
    form.Fill(settings, programDir);
    if (form.exec() != QDialog::Accepted) return;
    form.ReadBack(settings);
    LoadSaveSettings(kSaveSettings, settings, programDir);
    target.ApplyLedColors(settings.ClrNormalLCD, settings.ClrOffLCD);
    target.ApplyBackgroundColor(settings.ClrBackGround);
    target.ApplyButtonColors(settings.ClrPhBtn, settings.ClrPhFuncBtn);
    target.ApplyTrayDblClick(settings.TrayDblCl);
}

void runSettingsDialog(TMainForm& mainForm, SettingsRecord& settings, const QString& programDir) {
    MainFormTarget target(mainForm);
    runSettingsDialog(&mainForm, settings, programDir, target);
}

} // namespace tarvik
