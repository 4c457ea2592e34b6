#pragma once
// A package file as the update uses it: opened as its path is written (any
// characters; nothing is copied elsewhere), its entry table checked against
// the file before the frame is touched, and the bytes of every job that will
// run kept as they were checked. During the update each job reads its bytes
// from the file again; a file that vanished, shrank or changed in between
// ends the update instead of sending bytes that were never checked.

#include "Package.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::update {

class UpdatePackage {
public:
    enum class LoadResult {
        Ok,
        CannotOpen,  // missing, a directory, unreadable: message 38
        Invalid,     // the table or the data are wrong: message 34 or 35
    };
    struct LoadOutcome {
        LoadResult result = LoadResult::CannotOpen;
        int messageId = 38;  // -1 when loaded
        PackageCheck check;
    };

    // Loads and checks a package; nullopt with the reason in outcome.
    static std::optional<UpdatePackage> load(const QString& path, LoadOutcome& outcome);

    const QString& path() const { return m_path; }
    uint64_t fileSize() const { return m_fileSize; }
    const EntryTable& entries() const { return m_entries; }
    const std::vector<UpdateJob>& jobs() const { return m_jobs; }
    // The job's bytes as they were checked.
    std::span<const uint8_t> checkedData(JobId id) const;
    // Bytes sent over the download channel and to flash by the whole update.
    uint64_t bytesToSend() const;

    enum class Reread {
        Same,        // the file still holds the checked bytes: they are in out
        Missing,     // the file is gone
        Unreadable,  // it is there but cannot be opened
        Changed,     // it is shorter, or holds other bytes there
    };
    // Reads the job's bytes from the file again.
    Reread reread(JobId id, std::vector<uint8_t>& out) const;

private:
    const UpdateJob* find(JobId id) const;

    QString m_path;
    uint64_t m_fileSize = 0;
    EntryTable m_entries{};
    std::vector<UpdateJob> m_jobs;
    std::vector<std::vector<uint8_t>> m_data;  // per job of m_jobs
};

} // namespace tovrin::update
