// Colour texts and the stored-integer rule on any text (the input read as UTF-8,
// as Latin-1 and as UTF-16, so digits and blanks from outside ASCII turn up).
// The integer rule must agree with its written syntax, and every colour read
// must survive the way back through its text form.
#include "fuzz_support.h"

#include "store/colors.h"
#include "store/settings.h"

#include <QRegularExpression>
#include <cstring>
#include <limits>
#include <string>

namespace {

using namespace tarvik;

// The syntax: blanks, then a signed decimal or '$' and one to eight hex digits.
std::optional<std::int32_t> expectedInteger(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral("^[ \\t]*([+-]?)([0-9]+)\\z"));
    static const QRegularExpression hex(QStringLiteral("^[ \\t]*\\$([0-9A-Fa-f]{1,8})\\z"));
    if (const auto m = hex.match(text); m.hasMatch())
        return static_cast<std::int32_t>(m.captured(1).toUInt(nullptr, 16));
    const auto m = decimal.match(text);
    if (!m.hasMatch()) return std::nullopt;
    QString digits = m.captured(2);
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.size() > 11) return std::nullopt;
    const qlonglong value = (m.captured(1) == QLatin1String("-") ? -1 : 1) * digits.toLongLong();
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void check(const QString& text) {
    std::int32_t value = 0;
    const bool parsed = parseStoredInteger(text, value);
    const auto expected = expectedInteger(text);
    FUZZ_CHECK(parsed == expected.has_value(), text.toUtf8());
    if (parsed) FUZZ_CHECK(value == *expected, text.toUtf8());

    const auto color = TextToColor(text);
    if (parsed) FUZZ_CHECK(color.has_value(), text.toUtf8());
    if (!color) return;
    const QString back = ColorToText(*color);
    FUZZ_CHECK(TextToColor(back) == color, back.toUtf8());
    FUZZ_CHECK(back.startsWith(QLatin1String("cl")) ||
                   (back.size() == 9 && back.startsWith(QLatin1Char('$'))),
               back.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    check(QString::fromUtf8(bytes));
    check(QString::fromLatin1(bytes));
    std::u16string wide(size / 2, u'\0');
    std::memcpy(wide.data(), data, wide.size() * sizeof(char16_t));
    check(QString::fromStdU16String(wide));
    return 0;
}
