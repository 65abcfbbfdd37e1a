#pragma once
#include <QIcon>
#include <QPixmap>
#include <functional>

class QPainter;
class QStyle;

namespace tarvik {

// A picture of `size` device pixels, drawn antialiased on a `grid` x `grid`
// square that is scaled to the size asked for.
QPixmap drawnPicture(int size, qreal grid, const std::function<void(QPainter&)>& draw);

// The window's pictures, drawn here so they look the same on every desktop
// and stay sharp at any size. Each takes its size in device pixels.
QPixmap bookPicture(int size);         // the phone book key: a blue book
QPixmap ringingPhonePicture(int size); // the answer key: a ringing red telephone
QPixmap loudspeakerPicture(int size);  // the talk key
// The toolkit's own close picture, or a drawn cross where the style has none.
QPixmap closePicture(int size, const QStyle* style);

// The greyed image of a picture, for a disabled key.
QPixmap greyedPicture(const QPixmap& picture);
// A key's icon: the picture and its greyed image.
QIcon keyIcon(const QPixmap& picture);

// The tray pictures: the program's letters over a modem front with a row of
// red lights and "ID"; struck through by a red no-entry sign while the port
// is closed. 16 and 32 pixels.
QPixmap trayPicture(int size, bool struck);
// Paints the tray picture into a square of `size` at the painter's origin, on
// any paint device (the program's icons are drawn from it too).
void paintTrayPicture(QPainter& p, int size, bool struck);
QIcon trayIcon(bool struck);

} // namespace tarvik
