#pragma once
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <typeindex>

class QWidget;

namespace tarvik {

// Keeps a window's placement in one section of the main store key. The
// placement is restored every time the window is shown (only when it was saved
// at the screen's current pixels per inch) and saved when a close of the window
// is accepted, and again when the window is destroyed unless it has been saved
// since it was last shown. A window that was never shown saves nothing.
//
// Values of the section, all strings: "Flags", "ShowCmd" (1 normal,
// 2 minimised, 3 maximised; a minimised window is restored as it was before
// it was minimised), "PixelsPerInch", "MinMaxPos" ("%d,%d,%d,%d"),
// "NormPos" ("%d,%d,%d,%d": left, top, right, bottom of the normal rectangle)
// and "Visible" ("0" saved at a close, "1" at destruction).
class TFormPlacement : public QObject {
    Q_OBJECT

public:
    // A child of `window`. `minimumSize`, when valid, is the smallest size the
    // user can drag the window to, in the window's own pixels; `positionOnly`
    // restores the position and window state but never the size.
    TFormPlacement(QWidget* window, const QString& section, QSize minimumSize = {},
                   bool positionOnly = false);
    ~TFormPlacement() override;
    TFormPlacement(const TFormPlacement&) = delete;
    TFormPlacement& operator=(const TFormPlacement&) = delete;

    // The screen's logical pixels per inch; by default the window's screen.
    using DpiSource = std::function<int()>;
    void setDpiSource(DpiSource source);
    int pixelsPerInch() const;

    const QString& section() const { return section_; }

    // What the showing and the close do; may throw TarvikError when the store
    // cannot be written.
    void RestorePlacement();
    void SavePlacement(bool atDestruction = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window as last seen, so destruction saves without asking a window
    // that is half gone.
    struct Seen {
        Qt::WindowStates state;
        QRect normal;
        int pixelsPerInch = 0;
    };
    void remember();
    void saveAtClose();

    QWidget* window_;
    QString section_;
    bool positionOnly_;
    DpiSource dpi_;
    Seen seen_;
    bool shown_ = false;
    bool savedSinceShown_ = false;
    bool closeRequested_ = false;
    std::optional<std::type_index> shownAs_;
};

} // namespace tarvik
