#pragma once
class QWidget;

namespace tarvik {

// Whether the window manager has let go of a window the program hid: an X11
// window manager that has not yet handled the hide still keeps the window's
// state (WM_STATE Normal or Iconic), and a window shown again before that loses
// what it asks for (stay on top) to the manager's late clean-up. True on every
// other platform, and for a window that was never shown.
bool windowManagerLetGo(const QWidget& window);

// Asks an X11 window manager again to keep a shown window above the others
// when the window's state says it no longer is: a window mapped again soon
// after it was hidden can lose that state to the manager's late clean-up of
// the hidden one, even when WM_STATE already said the manager had let go.
void keepAbove(const QWidget& window);

} // namespace tarvik
