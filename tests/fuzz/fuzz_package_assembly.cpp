// Package assembly (tovrin-pack) and version texts: items of any sizes and
// versions make a package that the update's own check accepts whenever
// every item is sound, and every job then sends exactly its item's bytes;
// a version text reads as the word it names and back.
#include "FuzzSupport.h"

#include "maintenance/update/Package.h"
#include "maintenance/update/PackageWriter.h"
#include "maintenance/update/Versions.h"

using namespace tovrin;
using namespace tovrin::update;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const uint8_t present = in.u8();
    PackageItems items;
    std::optional<PackageItem>* itemSlots[6] = {&items.firmware, &items.secondMaster, &items.secondSlave,
                                            &items.flashD,   &items.flashE,       &items.flashF};
    const uint32_t areas[6] = {area::kFirmware, area::kSecondImage, area::kSecondImage,
                               area::kFlashDataD, area::kFlashDataEF, area::kFlashDataEF};
    const int flashLength = in.range(0, 0x1100);
    bool sound = false;
    bool allSound = true;
    for (int i = 0; i < 6; ++i) {
        if (!(present & (1 << i)))
            continue;
        PackageItem item;
        const size_t n = i >= 3 ? static_cast<size_t>(flashLength) : static_cast<size_t>(in.range(0, 0x8100));
        item.data.resize(n);
        for (size_t k = 0; k < n; ++k)
            item.data[k] = static_cast<uint8_t>(k * 31 + i);
        item.version = in.u32();
        const bool ok = n > 0 && n <= areas[i];
        sound = sound || ok;
        allSound = allSound && ok;
        *itemSlots[i] = std::move(item);
    }
    if (present & 0x40)
        items.flagOverrides.push_back({in.range(-1, 6), in.u16()});

    std::string error;
    const auto package = assemblePackage(items, error);
    if (package) {
        const PackageCheck check = checkPackageHead(*package, package->size());
        if (sound && allSound && items.flagOverrides.empty())
            FUZZ_CHECK(check.ok());
        if (check.ok()) {
            const EntryTable table = decodeEntryTable(std::span<const uint8_t>(*package).first<kTableSize>());
            for (const UpdateJob& j : plannedJobs(table)) {
                const std::optional<PackageItem>* item = nullptr;
                switch (j.id) {
                case JobId::A1:
                case JobId::A2: item = &items.firmware; break;
                case JobId::B: item = &items.secondMaster; break;
                case JobId::C: item = &items.secondSlave; break;
                case JobId::D: item = &items.flashD; break;
                case JobId::E: item = &items.flashE; break;
                case JobId::F: item = &items.flashF; break;
                }
                if (!items.flagOverrides.empty() && !*item)
                    continue;  // a flag forced on for an item that is not there
                FUZZ_CHECK(*item && (*item)->data.size() == j.length);
                FUZZ_CHECK(std::equal((*item)->data.begin(), (*item)->data.end(), package->begin() + j.offset));
                if (j.versionEntry >= 0)
                    FUZZ_CHECK(j.version == (*item)->version);
            }
        }
    } else {
        FUZZ_CHECK(!error.empty());
    }

    // Version texts.
    const QByteArray text = in.rest().left(40);
    const std::optional<uint32_t> word = parseVersion(text.toStdString());
    if (word) {
        FUZZ_CHECK(parseVersion(versionString(*word).toStdString()) == word);
    }
    const uint32_t any = static_cast<uint32_t>(text.size() * 0x01010101u) ^ (word ? *word : 0u);
    FUZZ_CHECK(parseVersion(versionString(any).toStdString()) == any);
    return 0;
}
