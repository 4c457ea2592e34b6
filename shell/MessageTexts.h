#pragma once
// The built-in English message texts, indexed by message id (0-155). Windows
// show texts only by id through the application context, which holds the
// texts of the current language; these are the defaults of every language.

#include <QStringList>

namespace tovrin::shell {

constexpr int kMessageCount = 156;

// The built-in English text of a message id; empty for an id out of range.
const char* builtinText(int id);

// All 156 built-in English texts in id order.
QStringList builtinTexts();

} // namespace tovrin::shell
