#pragma once

#include "controls/gridlayout.h"

#include <QString>

namespace tessal {

// Layout files (".lyt"): a grid's layout as UTF-8 text, one setting a line, readable and
// diffable; docs/grid-layout-format.md describes the format. Both calls throw tessal::Error
// with a message that names the file.

// The number of a refused layout file: not a layout, damaged or from a newer version.
inline constexpr int BadLayoutFile = 321;

// Writes the whole file or, when anything fails, leaves the file that was there untouched.
void writeGridLayout(const QString &path, const GridLayout &layout);

// Refuses (BadLayoutFile) a file that is no layout file, one written by a newer version of the
// program and a damaged one, naming the line at fault where there is one. A refused file
// yields no layout at all, so the caller's grid keeps the one it has.
GridLayout readGridLayout(const QString &path);

} // namespace tessal
