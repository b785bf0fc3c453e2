#pragma once
// Pictures the windows name ("PaperClip", "24_folder", "16x16_Add", ...):
// the resource ":/images/<name>.png" when there is one, else a small drawing
// of our own, so every name always gives a picture.
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace bmimages {

QPixmap image(const QString& name, int size = 16);
QIcon icon(const QString& name);
// The empty picture that keeps menu titles aligned.
QIcon blankIcon();

} // namespace bmimages
