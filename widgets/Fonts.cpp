#include "Fonts.h"

namespace tovrin::widgets {

QFont toQFont(const shell::FontStyle& style)
{
    QFont font(style.family);
    if (style.pointSize > 0)
        font.setPointSize(style.pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

} // namespace tovrin::widgets
