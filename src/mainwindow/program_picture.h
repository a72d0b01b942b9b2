#pragma once

#include <QPixmap>

// The program's picture (a house with an inventory list), drawn rather than shipped, so it
// scales cleanly for every screen-size preset.
QPixmap programPicture(int size);
