#include "ui/widgets/window_stacking.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace tarvik {
namespace {

bool anotherWindowStaysOnTop(const QWidget& window) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [&window](const QWidget* other) {
        return other != &window && other->isVisible() &&
               other->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    });
}

} // namespace

void stackAboveOwner(QWidget& window, const QWidget* owner) {
    const QWidget* ownerWindow = owner ? owner->window() : nullptr;
    if (ownerWindow == &window) ownerWindow = nullptr;
    window.setWindowFlag(Qt::WindowStaysOnTopHint, !ownerWindow || anotherWindowStaysOnTop(window));
    if (!ownerWindow || !ownerWindow->windowHandle()) return;
    // The native window exists from here on; a later flag change would replace it.
    window.winId();
    if (QWindow* handle = window.windowHandle())
        handle->setTransientParent(ownerWindow->windowHandle());
}

} // namespace tarvik
