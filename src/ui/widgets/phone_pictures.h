#pragma once
#include <QPixmap>

namespace tarvik {

// The phone book's key and menu pictures, drawn on a 16 x 16 grid and scaled
// to `size` device pixels.
QPixmap addEntryPicture(int size);    // a card with a green plus
QPixmap editEntryPicture(int size);   // a card with a pencil
QPixmap deleteEntryPicture(int size); // a card struck by a red cross
QPixmap dialEntryPicture(int size);   // a handset

} // namespace tarvik
