#include "store/colors.h"

#include <array>

namespace tarvik {
namespace {

struct NamedColor {
    const char* name;
    TColor value;
};

constexpr TColor sys(int index) {
    return clSystemBase | index;
}

// The toolkit's identifiers in table order: the first match wins when saving.
constexpr std::array<NamedColor, 42> kToolkitColors = {{
    {"clBlack", clBlack},         {"clMaroon", clMaroon},
    {"clGreen", clGreen},         {"clOlive", clOlive},
    {"clNavy", clNavy},           {"clPurple", clPurple},
    {"clTeal", clTeal},           {"clGray", clGray},
    {"clSilver", clSilver},       {"clRed", clRed},
    {"clLime", clLime},           {"clYellow", clYellow},
    {"clBlue", clBlue},           {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},           {"clWhite", clWhite},
    {"clScrollBar", sys(0)},      {"clBackground", sys(1)},
    {"clActiveCaption", sys(2)},  {"clInactiveCaption", sys(3)},
    {"clMenu", sys(4)},           {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)},    {"clMenuText", sys(7)},
    {"clWindowText", sys(8)},     {"clCaptionText", sys(9)},
    {"clActiveBorder", sys(10)},  {"clInactiveBorder", sys(11)},
    {"clAppWorkSpace", sys(12)},  {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)}, {"clBtnFace", sys(15)},
    {"clBtnShadow", sys(16)},     {"clGrayText", sys(17)},
    {"clBtnText", sys(18)},       {"clInactiveCaptionText", sys(19)},
    {"clBtnHighlight", sys(20)},  {"cl3DDkShadow", sys(21)},
    {"cl3DLight", sys(22)},       {"clInfoText", sys(23)},
    {"clInfoBk", sys(24)},        {"clNone", clNone},
}};

// The program's own names, which the toolkit's table lacks.
constexpr std::array<NamedColor, 3> kOwnColors = {{
    {"clCream", 0xA6CAF0},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xFFFBF0},
}};

template <std::size_t N>
const NamedColor* findByValue(const std::array<NamedColor, N>& table, TColor value) {
    for (const auto& entry : table)
        if (entry.value == value) return &entry;
    return nullptr;
}

template <std::size_t N>
const NamedColor* findByName(const std::array<NamedColor, N>& table, const QString& name) {
    for (const auto& entry : table)
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) return &entry;
    return nullptr;
}

} // namespace

QString ColorToText(TColor color) {
    if (const auto* named = findByValue(kToolkitColors, color)) return QLatin1String(named->name);
    if (const auto* named = findByValue(kOwnColors, color)) return QLatin1String(named->name);
    return QStringLiteral("$%1")
        .arg(static_cast<quint32>(color), 8, 16, QLatin1Char('0'))
        .toUpper();
}

std::optional<TColor> TextToColor(const QString& text) {
    if (const auto* named = findByName(kOwnColors, text.left(63))) return named->value;
    if (const auto* named = findByName(kToolkitColors, text)) return named->value;
    std::int32_t value = 0;
    if (parseStoredInteger(text, value)) return value;
    return std::nullopt;
}

} // namespace tarvik
