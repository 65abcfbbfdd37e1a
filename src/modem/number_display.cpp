#include "modem/number_display.h"

#include "platform/errors.h"
#include "store/call_record.h"
#include "store/caller_report.h"
#include "store/codepage.h"

namespace tarvik {
namespace {

constexpr char kSpace = ' ';

// Fills up to `width` with spaces right after the leading marker.
QByteArray padAfterMarker(QByteArray text, qsizetype width) {
    if (text.size() < width) text.insert(1, QByteArray(width - text.size(), kSpace));
    return text;
}

void showUnknownCaller(MainView& view, int digCol) {
    ShowOnLeds(view.leds(), padAfterMarker("n" + QByteArray(digCol, '-'), kLedCount));
}

} // namespace

QByteArray callerNotice(QByteArrayView digits) {
    return digits.isEmpty() ? QByteArray(kNoCallerIdText)
                            : "Incoming call: " + digits.toByteArray();
}

const std::array<QByteArray, 10>& CallerCategories() {
    static const std::array<QByteArray, 10> texts = [] {
        const char16_t* const source[10] = {
            u"Резервная категория.",
            u"Абоненты квартирные, учрежденческие, имеющие право междугородной и "
            u"международной связи на общих основаниях.",
            u"Абоненты гостиниц, имеющие право по категории 1, но с немедленной оплатой "
            u"переговоров.",
            u"Абоненты не имеющие право выхода на междугородные и международные сети.",
            u"Абоненты, имеющие преимущество выхода на междугородние и международные сети.",
            u"Абоненты, имеющие право связи без тарификации, то есть переговоры не "
            u"оплачиваются, но учитываются.",
            u"Категория междугородних телефонов-автоматов. Иногда, некоторые \"вечерние\" "
            u"телефоны.",
            u"Абоненты, имеющие право кроме междугородной/международной связи, получать "
            u"дополнительные платные услуги.",
            u"Абоненты, имеющие преимущество при установлении связи в междугородних сетях и "
            u"право на платные услуги.",
            u"Категория городских телефонов-автоматов. Допускается применение категории 3.",
        };
        std::array<QByteArray, 10> bytes;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = toCp1251(QStringView(source[i]));
        return bytes;
    }();
    return texts;
}

QByteArray PadLeft9(QByteArrayView text) {
    QByteArray padded = text.toByteArray();
    if (padded.size() < kLedCount) padded.prepend(QByteArray(kLedCount - padded.size(), kSpace));
    return padded;
}

void ShowLedChar(LedDigit& digit, char ch, bool point) {
    if (ch == '-' || ch == '?')
        digit.setSegments(bSeven);
    else
        digit.setCharacter(ch);
    const LedSegments lit = digit.segments();
    digit.setSegments(point ? (lit | bpoint) : (lit & ~bpoint));
}

void ShowOnLeds(const LedRow& leds, QByteArrayView text) {
    if (text.isEmpty()) {
        for (LedDigit* led : leds)
            led->setSegments(kDark);
        return;
    }
    const QByteArray shown = PadLeft9(text.first(std::min<qsizetype>(text.size(), kLedCount)));
    for (int i = 0; i < kLedCount; ++i)
        ShowLedChar(*leds[i], shown[i], false);
}

void ShowDialedNumber(const LedRow& leds, QByteArrayView dialedNumber) {
    if (dialedNumber.size() <= kLedCount) ShowOnLeds(leds, PadLeft9(dialedNumber));
}

void ShowCallerId(MainView& view, QByteArrayView line, int digCol, const LogLineSink& writeLog) {
    std::optional<QByteArray> cut = cutCallerNumber(line, digCol);
    // The last digit is the caller's category, not part of the number.
    view.showForCaller(callerNotice(cut ? cut->chopped(std::min<qsizetype>(1, cut->size())) : ""));
    if (!cut) return showUnknownCaller(view, digCol);

    QByteArray s = std::move(*cut);
    // Nothing left of the number: the marker alone, no category to tell.
    const bool empty = s.isEmpty();
    s.prepend(s.contains('?') ? 'u' : 'o');
    s = padAfterMarker(s, kLedCount + 1);
    ShowOnLeds(view.leds(), s);
    if (empty) return;

    const char category = s.back();
    if (category < '0' || category > '9')
        throw TarvikError(QStringLiteral("'%1' is not a valid integer value")
                              .arg(fromCp1251(QByteArrayView(&category, 1))));
    if (writeLog) writeLog(CallerCategories()[static_cast<std::size_t>(category - '0')]);
}

void ShowReportedCaller(MainView& view, QByteArrayView number, int digCol,
                        const QByteArray& notice) {
    view.showForCaller(notice);
    const QByteArray digits = reportedDigits(number);
    if (digits.isEmpty()) return showUnknownCaller(view, digCol);
    ShowOnLeds(view.leds(), padAfterMarker("o" + digits.right(digCol), kLedCount));
}

QByteArray reportedCallerStatus(QByteArrayView number, const QString& name) {
    QByteArray status = "Incoming call: " + ncidReportedNumber(number);
    if (!name.isEmpty()) status = status.trimmed() + ' ' + toCp1251(name);
    return status.trimmed();
}

} // namespace tarvik
