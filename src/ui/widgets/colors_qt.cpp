#include "ui/widgets/colors_qt.h"

#include "store/colors.h"

#include <iterator>

namespace tarvik {
namespace {

// System colour indexes of the original design, mapped to the palette roles
// that play the same part here.
struct SystemRole {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
constexpr SystemRole kSystemRoles[] = {
    {QPalette::Active, QPalette::Mid},             // scroll bar
    {QPalette::Active, QPalette::Dark},            // desktop
    {QPalette::Active, QPalette::Highlight},       // active caption
    {QPalette::Active, QPalette::Mid},             // inactive caption
    {QPalette::Active, QPalette::Window},          // menu
    {QPalette::Active, QPalette::Base},            // window
    {QPalette::Active, QPalette::Shadow},          // window frame
    {QPalette::Active, QPalette::WindowText},      // menu text
    {QPalette::Active, QPalette::Text},            // window text
    {QPalette::Active, QPalette::HighlightedText}, // caption text
    {QPalette::Active, QPalette::Button},          // active border
    {QPalette::Active, QPalette::Button},          // inactive border
    {QPalette::Active, QPalette::Dark},            // application workspace
    {QPalette::Active, QPalette::Highlight},       // highlight
    {QPalette::Active, QPalette::HighlightedText}, // highlight text
    {QPalette::Active, QPalette::Button},          // button face
    {QPalette::Active, QPalette::Dark},            // button shadow
    {QPalette::Disabled, QPalette::Text},          // grey text
    {QPalette::Active, QPalette::ButtonText},      // button text
    {QPalette::Active, QPalette::Text},            // inactive caption text
    {QPalette::Active, QPalette::Light},           // button highlight
    {QPalette::Active, QPalette::Shadow},          // 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},        // 3-D light
    {QPalette::Active, QPalette::ToolTipText},     // info text
    {QPalette::Active, QPalette::ToolTipBase},     // info background
};

} // namespace

QColor toQColor(TColor color, const QPalette& palette) {
    if (color == clNone) return QColor(Qt::transparent);
    const auto value = static_cast<std::uint32_t>(color);
    if ((value & 0xFF000000u) == 0x80000000u) {
        const std::uint32_t index = value & 0xFF;
        if (index >= std::size(kSystemRoles)) return palette.color(QPalette::Window);
        return palette.color(kSystemRoles[index].group, kSystemRoles[index].role);
    }
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

TColor fromQColor(const QColor& color) {
    return TColor(color.red() | (color.green() << 8) | (color.blue() << 16));
}

} // namespace tarvik
