#include "MessageTexts.h"

namespace tovrin::shell {

const char* builtinText(int)
{
    return "";
}

QStringList builtinTexts()
{
    QStringList l;
    for (int i = 0; i < kMessageCount; ++i)
        l << QString::fromUtf8(builtinText(i));
    return l;
}

} // namespace tovrin::shell
