#pragma once
// What a job pulled out may leave of the frame's records: each the old one,
// the new one or one the frame cannot take; and nothing else of either
// unit's flash changed.

#include "tests/service/PullSweep.h"

#include <functional>
#include <vector>

namespace tovrin::test {

// A record of both units, in the sector that holds it.
struct RecordArea {
    const char* name;
    int offset, size;
    // A record the frame and the tool cannot take; unset: its sector may
    // change, and the test checks it by itself.
    std::function<bool(const QByteArray&)> invalid;
};

// A record without its validity word at the start.
inline std::function<bool(const QByteArray&)> withoutMagic(const QByteArray& magic)
{
    return [magic](const QByteArray& record) { return !record.startsWith(magic); };
}

// Both units' records in `left` are the old one (`before`), the new one
// (`after`) or invalid; every byte outside their sectors is as before.
inline void expectOldNewOrInvalid(const QByteArray& before, const QByteArray& after, const QByteArray& left,
                                  const std::vector<RecordArea>& areas)
{
    QByteArray rest = left, restBefore = before;
    for (bool slave : {false, true}) {
        for (const RecordArea& a : areas) {
            const int at = (slave ? kUnitFlash : 0) + a.offset;
            const QByteArray now = left.mid(at, a.size);
            if (a.invalid) {
                EXPECT_TRUE(now == before.mid(at, a.size) || now == after.mid(at, a.size) || a.invalid(now))
                    << (slave ? "Slave " : "Master ") << a.name << " is valid and neither the old nor the new one";
            }
            rest.replace(at, 0x1000, QByteArray(0x1000, '\0'));
            restBefore.replace(at, 0x1000, QByteArray(0x1000, '\0'));
        }
    }
    EXPECT_TRUE(rest == restBefore) << "flash changed outside the job's records";
}

} // namespace tovrin::test
