#include "UpdatePackage.h"

#include "shell/Log.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tovrin::update {

namespace {

// Reads exactly length bytes at offset; false on any short read.
bool readRange(QFile& file, uint64_t offset, uint32_t length, std::vector<uint8_t>& out)
{
    out.assign(length, 0);
    if (!file.seek(static_cast<qint64>(offset)))
        return false;
    qint64 done = 0;
    while (done < static_cast<qint64>(length)) {
        const qint64 n = file.read(reinterpret_cast<char*>(out.data()) + done, static_cast<qint64>(length) - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

std::optional<UpdatePackage> UpdatePackage::load(const QString& path, LoadOutcome& outcome)
{
    outcome = LoadOutcome{};
    const QByteArray shownPath = path.toUtf8();
    const QFileInfo info(path);
    QFile file(path);
    if (path.isEmpty() || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        shell::LogF("update: cannot open the package %s\n", shownPath.constData());
        return std::nullopt;
    }
    UpdatePackage package;
    package.m_path = path;
    package.m_fileSize = static_cast<uint64_t>(std::max<qint64>(file.size(), 0));
    const QByteArray head = file.read(kTableSize);
    const auto headBytes = std::span(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(head.size()));
    outcome.check = checkPackageHead(headBytes, package.m_fileSize);
    if (outcome.check.ok()) {
        package.m_entries = decodeEntryTable(headBytes.first<kTableSize>());
        package.m_jobs = plannedJobs(package.m_entries);
        for (const UpdateJob& job : package.m_jobs) {
            std::vector<uint8_t> bytes;
            if (!readRange(file, job.offset, job.length, bytes)) {
                // The file changed under us between its size and its bytes.
                outcome.check.problem = PackageProblem::OutsideFile;
                outcome.check.messageId = 34;
                outcome.check.job = job.id;
                break;
            }
            package.m_data.push_back(std::move(bytes));
        }
    }
    if (!outcome.check.ok()) {
        outcome.result = LoadResult::Invalid;
        outcome.messageId = outcome.check.messageId;
        shell::LogF("update: package %s refused: %s\n", shownPath.constData(), outcome.check.describe().c_str());
        return std::nullopt;
    }
    outcome.result = LoadResult::Ok;
    outcome.messageId = -1;
    return package;
}

const UpdateJob* UpdatePackage::find(JobId id) const
{
    for (const UpdateJob& j : m_jobs)
        if (j.id == id)
            return &j;
    return nullptr;
}

std::span<const uint8_t> UpdatePackage::checkedData(JobId id) const
{
    for (size_t i = 0; i < m_jobs.size(); ++i)
        if (m_jobs[i].id == id)
            return m_data[i];
    return {};
}

uint64_t UpdatePackage::bytesToSend() const
{
    uint64_t total = 0;
    for (const UpdateJob& j : m_jobs)
        total += j.length;
    return total;
}

UpdatePackage::Reread UpdatePackage::reread(JobId id, std::vector<uint8_t>& out) const
{
    out.clear();
    const UpdateJob* job = find(id);
    if (!job)
        return Reread::Changed;
    if (!QFileInfo::exists(m_path))
        return Reread::Missing;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return Reread::Unreadable;
    if (static_cast<uint64_t>(std::max<qint64>(file.size(), 0)) < job->end() || !readRange(file, job->offset, job->length, out)) {
        out.clear();
        return Reread::Changed;
    }
    const std::span<const uint8_t> checked = checkedData(id);
    if (!std::equal(out.begin(), out.end(), checked.begin(), checked.end())) {
        out.clear();
        return Reread::Changed;
    }
    return Reread::Same;
}

} // namespace tovrin::update
