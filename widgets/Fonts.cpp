#include "Fonts.h"

namespace tovrin::widgets {

QFont toQFont(const shell::FontSpec& spec)
{
    QFont font(spec.family);
    if (spec.pointSize > 0)
        font.setPointSize(spec.pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

} // namespace tovrin::widgets
