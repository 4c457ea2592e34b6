#pragma once
// Time and waiting, replaceable so that a test of a 5000 ms retry runs in
// milliseconds. Every wait of the tool that is part of a device procedure
// (status test attempts, mode-switch retries, detection polling) goes through
// sleepMs(); the wall-clock date and time of log lines through localNow().

#include <QDateTime>

#include <atomic>
#include <functional>

namespace tovrin {

// Waits ms milliseconds with the installed sleeper (real sleep by default).
void sleepMs(int ms);

// Installs a sleeper; an empty function restores the real one.
void setSleeper(std::function<void(int)> sleeper);

// Waits ms milliseconds in short slices, ending early when *stop becomes
// true. Returns false when it ended early. A null stop waits the whole time.
bool sleepMsUnless(int ms, const std::atomic<bool>* stop);

// The local date and time used by the log (QDateTime::currentDateTime by default).
QDateTime localNow();

// Installs a date/time source; an empty function restores the real one.
void setLocalNow(std::function<QDateTime()> source);

} // namespace tovrin
