#include "ui/widgets/colors_qt.h"

#include "store/colors.h"

namespace tarvik {
namespace {

// System colour indexes of the original design, mapped to the palette roles
// that play the same part here.
bool systemRole(int index, QPalette::ColorGroup& group, QPalette::ColorRole& role) {
    group = QPalette::Active;
    switch (index) {
    case 0:
        role = QPalette::Mid;
        return true; // scroll bar
    case 1:
        role = QPalette::Dark;
        return true; // desktop
    case 2:
        role = QPalette::Highlight;
        return true; // active caption
    case 3:
        role = QPalette::Mid;
        return true; // inactive caption
    case 4:
        role = QPalette::Window;
        return true; // menu
    case 5:
        role = QPalette::Base;
        return true; // window
    case 6:
        role = QPalette::Shadow;
        return true; // window frame
    case 7:
        role = QPalette::WindowText;
        return true; // menu text
    case 8:
        role = QPalette::Text;
        return true; // window text
    case 9:
        role = QPalette::HighlightedText;
        return true; // caption text
    case 10:
        role = QPalette::Button;
        return true; // active border
    case 11:
        role = QPalette::Button;
        return true; // inactive border
    case 12:
        role = QPalette::Dark;
        return true; // application workspace
    case 13:
        role = QPalette::Highlight;
        return true; // highlight
    case 14:
        role = QPalette::HighlightedText;
        return true; // highlight text
    case 15:
        role = QPalette::Button;
        return true; // button face
    case 16:
        role = QPalette::Dark;
        return true; // button shadow
    case 17:
        group = QPalette::Disabled;
        role = QPalette::Text;
        return true; // grey text
    case 18:
        role = QPalette::ButtonText;
        return true; // button text
    case 19:
        role = QPalette::Text;
        return true; // inactive caption text
    case 20:
        role = QPalette::Light;
        return true; // button highlight
    case 21:
        role = QPalette::Shadow;
        return true; // 3-D dark shadow
    case 22:
        role = QPalette::Midlight;
        return true; // 3-D light
    case 23:
        role = QPalette::ToolTipText;
        return true; // info text
    case 24:
        role = QPalette::ToolTipBase;
        return true; // info background
    default:
        return false;
    }
}

} // namespace

QColor toQColor(TColor color, const QPalette& palette) {
    if (color == clNone) return QColor(Qt::transparent);
    const auto value = static_cast<std::uint32_t>(color);
    if ((value & 0xFF000000u) == 0x80000000u) {
        QPalette::ColorGroup group;
        QPalette::ColorRole role;
        if (systemRole(int(value & 0xFF), group, role)) return palette.color(group, role);
        return palette.color(QPalette::Window);
    }
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

TColor fromQColor(const QColor& color) {
    return TColor(color.red() | (color.green() << 8) | (color.blue() << 16));
}

} // namespace tarvik
