#pragma once
// What a service worker tells its window about one event: the code of the
// worker's code table and the values its text needs, taken when the event
// happened. A window that formatted the text later from the process-wide
// "last register" values would print the address and value of a later
// request whenever the worker ran ahead of it.

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace tovrin::maintenance {

struct ServiceReport {
    int code = 0;
    QString unit;           // "Master" or "Slave"
    uint32_t address = 0;   // unit address of the request
    uint8_t value = 0;      // the byte transferred
    int number = 0;         // chunk counter, delay, byte count, line number
    qint64 size = 0;        // file sizes
    QString detail;         // file name, line text, reason
};

// Registers the type for queued signals (the workers call it when built).
void registerServiceReport();

} // namespace tovrin::maintenance

Q_DECLARE_METATYPE(tovrin::maintenance::ServiceReport)
