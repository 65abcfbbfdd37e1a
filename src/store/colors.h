#pragma once
#include "store/settings.h"

#include <QString>
#include <optional>

namespace tarvik {

inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000,
                        clOlive = 0x008080, clNavy = 0x800000, clPurple = 0x800080,
                        clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                        clLime = 0x00FF00, clYellow = 0x00FFFF, clBlue = 0xFF0000,
                        clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                        clNone = 0x1FFFFFFF;
inline constexpr TColor clSystemBase = static_cast<TColor>(0x80000000u);
inline constexpr TColor clBtnShadow = clSystemBase | 16;

// A toolkit or own colour name when one fits, else "$" and eight hex digits.
QString ColorToText(TColor color);

// Names in any letter case, or the integer syntax; nothing when the text is neither.
std::optional<TColor> TextToColor(const QString& text);

} // namespace tarvik
