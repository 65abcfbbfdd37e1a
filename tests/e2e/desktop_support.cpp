#include "desktop_support.h"

#include "window_manager.h"

#include <QHash>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace tarvik::e2e {
namespace {

QStringList ids(const QByteArray& lines) {
    QStringList found;
    for (const QByteArray& line : lines.split('\n'))
        if (const QString id = hexId(QString::fromLatin1(line)); !id.isEmpty()) found << id;
    return found;
}

bool isGreen(QRgb c) {
    return qGreen(c) > 150 && qRed(c) < 110 && qBlue(c) < 110;
}
bool isBlue(QRgb c) {
    return qBlue(c) > 150 && qRed(c) < 100 && qGreen(c) < 100;
}
bool isRed(QRgb c) {
    return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) < 100;
}
int distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

} // namespace

TrayHost::TrayHost(const XServer& x)
    : x_(x) {
    trayer_.setProcessEnvironment(displayEnvironment(x.display()));
    trayer_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    trayer_.setStandardOutputFile(QProcess::nullDevice());
    trayer_.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                             "64", "--height", "32"});
    if (!trayer_.waitForStarted(5000)) return;
    static const QRegularExpression panel(R"(^\s*(0x[0-9a-f]+) .*\("panel" "trayer"\))",
                                          QRegularExpression::MultilineOption);
    eventually(
        [this] {
            const auto match =
                panel.match(QString::fromLatin1(runOnDisplay(x_, "xwininfo", {"-root", "-tree"})));
            if (match.hasMatch()) panel_ = match.captured(1);
            return started();
        },
        15s);
}

TrayHost::~TrayHost() {
    trayer_.terminate();
    if (!trayer_.waitForFinished(3000)) trayer_.kill();
    trayer_.waitForFinished(1000);
}

QString TrayHost::icon(const QString& windowClass, milliseconds timeout) const {
    const QRegularExpression embedded(QStringLiteral(R"(^\s*(0x[0-9a-f]+) .*\("%1" "[^"]*"\))")
                                          .arg(QRegularExpression::escape(windowClass)),
                                      QRegularExpression::MultilineOption);
    QString id;
    eventually(
        [&] {
            const auto match = embedded.match(
                QString::fromLatin1(runOnDisplay(x_, "xwininfo", {"-id", panel_, "-tree"})));
            if (match.hasMatch()) id = match.captured(1);
            return !id.isEmpty();
        },
        timeout);
    return id;
}

QRect screenRect(const XServer& x, const QString& window) {
    const QString info = QString::fromLatin1(runOnDisplay(x, "xwininfo", {"-id", hexId(window)}));
    if (!info.contains("IsViewable")) return {};
    const auto field = [&info](const char* name) {
        const QRegularExpression number(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
        return number.match(info).captured(1).toInt();
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height")};
}

QStringList visibleWindows(const XServer& x, const QString& classPattern) {
    return ids(x.xdotool({"search", "--onlyvisible", "--class", classPattern}).toLatin1());
}

QString waitForNewWindow(const XServer& x, const QString& classPattern, const QStringList& known,
                         milliseconds timeout) {
    QString found;
    eventually(
        [&] {
            for (const QString& id : visibleWindows(x, classPattern))
                if (!known.contains(id)) found = id;
            return !found.isEmpty();
        },
        timeout);
    return found;
}

bool waitUntilGone(const XServer& x, const QString& window, milliseconds timeout) {
    return eventually([&] { return screenRect(x, window).isEmpty(); }, timeout);
}

QString openTrayMenu(const XServer& x, const QString& icon) {
    static const QString programClass = QStringLiteral("^tarvik$");
    const QStringList before = visibleWindows(x, programClass);
    const QPoint middle = screenRect(x, icon).center();
    x.xdotool(
        {"mousemove", QString::number(middle.x()), QString::number(middle.y()), "click", "3"});
    const QString menu = waitForNewWindow(x, programClass, before);
    if (!menu.isEmpty()) grabSettled(x, menu);
    return menu;
}

QProcessEnvironment xTrayEnvironment(const XServer& x, const Sandbox& box) {
    QProcessEnvironment env = x.clientEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + box.path("no-bus"));
    return env;
}

bool chooseFromMenu(const XServer& x, const QString& menu, const QStringList& keys) {
    constexpr int kTries = 3;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        x.xdotool(QStringList{"key", "--delay", "100"} + keys);
        if (waitUntilGone(x, menu, 4s)) return true;
        // Some of them arrived: sending them again would choose another item.
        if (!highlightedItem(grab(x, menu)).isEmpty()) return false;
    }
    return false;
}

QImage grab(const XServer& x, const QString& window) {
    return QImage::fromData(
        runOnDisplay(x, "import", {"-silent", "-window", hexId(window), "png:-"}), "PNG");
}

QImage grabFramed(const XServer& x, const QString& window) {
    const QRect client = screenRect(x, window);
    if (client.isEmpty()) return {};
    const QRect framed = client.marginsAdded(frameExtents(x, window));
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(framed.width())
                             .arg(framed.height())
                             .arg(framed.x())
                             .arg(framed.y());
    return QImage::fromData(
        runOnDisplay(x, "import",
                     {"-silent", "-window", "root", "-crop", crop, "+repage", "png:-"}),
        "PNG");
}

QImage grabSettled(const XServer& x, const QString& window, milliseconds timeout,
                   QImage (*take)(const XServer&, const QString&)) {
    QImage last = take(x, window);
    eventually(
        [&] {
            QThread::msleep(150);
            QImage next = take(x, window);
            const bool same = !next.isNull() && next == last;
            last = std::move(next);
            return same;
        },
        timeout);
    return last;
}

QRect highlightedItem(const QImage& menu) {
    if (menu.width() < 16) return {};
    const int column = menu.width() - 8;
    QHash<QRgb, int> counts;
    for (int y = 0; y < menu.height(); ++y)
        ++counts[menu.pixel(column, y)];
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(background)) background = it.key();

    // The longest run of rows of one colour other than the background.
    int bestTop = 0, bestLength = 0;
    for (int y = 0; y < menu.height();) {
        const QRgb colour = menu.pixel(column, y);
        int end = y + 1;
        while (end < menu.height() && distance(menu.pixel(column, end), colour) < 24)
            ++end;
        if (distance(colour, background) > 60 && end - y > bestLength) {
            bestTop = y;
            bestLength = end - y;
        }
        y = end;
    }
    return bestLength >= 8 ? QRect(0, bestTop, menu.width(), bestLength) : QRect();
}

QString readLeds(const QImage& mainWindow) {
    // Where the digits are, in pixels of the 120 dpi design, and the digit's own
    // 37 x 56 grid with its bars' middles and its italic slant.
    static constexpr int kLefts[9] = {6, 43, 80, 117, 154, 191, 228, 265, 302};
    static constexpr qreal kTop = 6, kHeight = 56, kGridW = 37, kGridH = 56;
    static constexpr qreal kSlant = 0.07, kSlantBase = 50;
    static constexpr qreal kXl = 7.8, kXm = 16.5, kXr = 25.2;
    static constexpr qreal kY0 = 7.3, kYu = 17.4, kY1 = 27.5, kYl = 37.6, kY2 = 47.7;
    static constexpr QPointF kBars[7] = {{kXm, kY0}, {kXr, kYu}, {kXr, kYl}, {kXm, kY2},
                                         {kXl, kYl}, {kXl, kYu}, {kXm, kY1}}; // a..g
    static const QHash<int, QChar> kGlyphs = {
        {0, ' '}, {63, '0'},  {6, '1'},   {91, '2'}, {79, '3'}, {102, '4'}, {109, '5'}, {125, '6'},
        {7, '7'}, {127, '8'}, {111, '9'}, {92, 'o'}, {84, 'n'}, {28, 'u'},  {64, '-'}};

    const qreal scale = mainWindow.width() / 345.0;
    QString text;
    for (int i = 0; i < 9; ++i) {
        const QRectF cell(kLefts[i] * scale, kTop * scale, (i == 8 ? 36 : 37) * scale,
                          kHeight * scale);
        const qreal unit = std::min(cell.width() / kGridW, cell.height() / kGridH);
        const QPointF origin = cell.topLeft() + QPointF((cell.width() - kGridW * unit) / 2,
                                                        (cell.height() - kGridH * unit) / 2);
        int bars = 0;
        for (int bar = 0; bar < 7; ++bar) {
            const QPointF grid = kBars[bar];
            const QPointF at =
                origin +
                QPointF(grid.x() - kSlant * grid.y() + kSlant * kSlantBase, grid.y()) * unit;
            int green = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const QPoint p(qRound(at.x()) + dx, qRound(at.y()) + dy);
                    if (mainWindow.valid(p) && isGreen(mainWindow.pixel(p))) ++green;
                }
            if (green >= 3) bars |= 1 << bar;
        }
        text += kGlyphs.value(bars, '?');
    }
    return text;
}

TrayLook lookAtTrayPicture(const QImage& icon) {
    TrayLook look;
    if (icon.isNull()) return look;
    // The picture is what differs from the tray's own background around it.
    const QRgb background = icon.pixel(0, 0);
    int top = icon.height(), bottom = -1;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            if (distance(icon.pixel(x, y), background) > 60) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (bottom < top) return look;
    const int topPart = top + (bottom - top + 1) * 2 / 5;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < icon.width(); ++x) {
            const QRgb c = icon.pixel(x, y);
            if (isRed(c)) ++look.red;
            if (y >= topPart) continue;
            if (isBlue(c)) ++look.blueTop;
            if (isRed(c)) ++look.redTop;
        }
    return look;
}

} // namespace tarvik::e2e
