#pragma once
class QWidget;

namespace tarvik {

// Makes `window` stand above `owner`'s window, so nothing of the program covers
// what the user has to answer: it becomes transient for the owner's window, and
// it stays on top as well when it has no owner or when a shown window of the
// program stays on top (the main window does by default). Call it before the
// window is shown: changing the stay-on-top hint hides a shown window.
void stackAboveOwner(QWidget& window, const QWidget* owner);

} // namespace tarvik
