#pragma once
// Fonts of the skin (title, button and application font) as QFonts.

#include "shell/AppContext.h"

#include <QFont>

namespace tovrin::widgets {

// The font of a FontStyle: its family and point size, normal weight, upright.
// A point size of 0 or less keeps the default size of QFont.
QFont toQFont(const shell::FontStyle& style);

} // namespace tovrin::widgets
