#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's own pictures, drawn as SVG and compiled into the program.
namespace tideplot {

// The picture `name` ("globe", "new", "open", "save", "play", "stop", "kmlimport") drawn
// at `sizePx` by `devicePixelRatio`, on a transparent background.
QPixmap Artwork(const QString& name, int sizePx, double devicePixelRatio = 1.0);

// The picture at the sizes a window system asks for: 16, 24, 32 and 48 pixels.
QIcon ArtworkIcon(const QString& name);

} // namespace tideplot
