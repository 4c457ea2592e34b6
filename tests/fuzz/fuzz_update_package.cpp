// The update package as the update and tovrin-pack --list read it: the
// entry table and its check against the file, the jobs it plans, the file
// loaded and its checked bytes. A package that passes the check has every
// job's data inside the file, after the table, and within its area.
#include "FuzzSupport.h"

#include "maintenance/update/Package.h"
#include "maintenance/update/UpdatePackage.h"
#include "tools/pack/PackList.h"

#include <sstream>

using namespace tovrin;
using namespace tovrin::update;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    // The declared size may differ from the bytes at hand (a file that grew).
    const uint64_t fileSize = size;
    const PackageCheck check = checkPackageHead(bytes, fileSize);
    if (size >= static_cast<size_t>(kTableSize)) {
        const EntryTable table = decodeEntryTable(bytes.first<kTableSize>());
        std::array<uint8_t, kTableSize> head{};
        std::copy_n(bytes.begin(), kTableSize, head.begin());
        FUZZ_CHECK(encodeEntryTable(table) == head);
        FUZZ_CHECK(jobTable(table).size() == 7);
        if (check.ok()) {
            const std::vector<UpdateJob> jobs = plannedJobs(table);
            FUZZ_CHECK(!jobs.empty());
            for (const UpdateJob& j : jobs) {
                FUZZ_CHECK(j.length > 0 && j.length <= j.areaSize);
                FUZZ_CHECK(j.offset >= static_cast<uint32_t>(kTableSize) && j.end() <= fileSize);
            }
        }
    } else {
        FUZZ_CHECK(!check.ok());
    }
    FUZZ_CHECK(check.ok() == (check.messageId < 0));
    (void)check.describe();

    std::ostringstream listing;
    FUZZ_CHECK(pack::listPackage(bytes, listing) == check.ok());

    // The same bytes as a file the update opens.
    fuzz::scratchFolder();
    fuzz::writeFile(QStringLiteral("package.bin"), QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    UpdatePackage::LoadOutcome outcome;
    const std::optional<UpdatePackage> package = UpdatePackage::load(QStringLiteral("package.bin"), outcome);
    FUZZ_CHECK(package.has_value() == check.ok());
    if (package) {
        for (const UpdateJob& j : package->jobs()) {
            const std::span<const uint8_t> checked = package->checkedData(j.id);
            FUZZ_CHECK(checked.size() == j.length);
            FUZZ_CHECK(std::equal(checked.begin(), checked.end(), bytes.begin() + j.offset));
            std::vector<uint8_t> again;
            FUZZ_CHECK(package->reread(j.id, again) == UpdatePackage::Reread::Same);
        }
    }
    return 0;
}
