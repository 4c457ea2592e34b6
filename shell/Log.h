#pragma once
// The dated log. One folder per day under log/ of the data folder (Folders.h),
// one file per start of a main window; every line is one open-append-close so
// that the file survives a crash and lines of different threads never tear.
//
// Line: "(%d-%d-%d %02d:%02d:%02d) <text>", year-month-day unpadded, the
// text bringing its own "\n"; a line holds at most 263 characters.

#include <QDateTime>
#include <QString>
#include <string>

namespace tovrin::shell {

constexpr int kMaxLogLine = 263;

// Creates log/ and today's folder, removes every other folder under log/
// except today and the six calendar days before it (read-only files too).
void PrepareLogFolders();

// Appends one timestamped line, starts a new file (newFile), or appends the
// text unchanged (raw). A folder or file that cannot be written drops the line.
void WriteLog(const std::string& text, bool newFile = false, bool raw = false);

// printf-style append of one timestamped line.
void LogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style raw append (table dumps).
void LogRawF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formatting helpers, exposed for tests.
QString logFolderName(const QDate& date);  // "2026-03-07"
std::string formatLogLine(const QDateTime& when, const std::string& text);

} // namespace tovrin::shell
