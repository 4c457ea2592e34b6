#pragma once
// Message texts in the chosen language. The language file
// (Tovrin_language.lrp, INI syntax, UTF-8) lists its languages in group
// [Language] (LanguageCnt, Language_0, Language_1, ...) and holds the texts
// of language N in group [Language_N], keyed by message id. Whatever it
// lacks falls back to the built-in English text.

#include <QString>
#include <QStringList>

namespace tovrin::shell {

// The texts of language `language` from the language file at `path`, in id
// order (one per message id).
QStringList loadTextsFrom(const QString& path, int language);

// Loads the texts of the language chosen in Tovrin.ini into the context.
void LoadTexts();

// The language names of the language file. When the chosen language is not
// below their count, the choice is written back as 0 for the next start.
QStringList CheckLanguage();

// Builds the context: skin folder and fonts by screen size, texts.
void BuildContext();

// Switches to another language: writes the choice and rebuilds the context.
// Returns true when the language changed.
bool SetLanguage(int language);

} // namespace tovrin::shell
