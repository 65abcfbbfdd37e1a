#pragma once
#include "store/settings.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace tarvik {

// A stored colour as the widgets paint it: RGB values directly, system colours
// (top byte 0x80) through the matching role of `palette`, "none" transparent.
QColor toQColor(TColor color, const QPalette& palette = QGuiApplication::palette());

// The stored form of an RGB colour (top byte 0).
TColor fromQColor(const QColor& color);

} // namespace tarvik
