#pragma once
// The comparison of one flash dump with the reference dump: 4 KB blocks
// from offset 0, the first differing byte decides; its block's offset is
// what the test reports (not the byte's own offset). In the "ignore part"
// mode a byte is skipped when an ignore entry names its block and a byte
// range holding its index in the block.

#include "FlashTestOptions.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::production {

constexpr uint32_t kFlashBlock = 4096;
constexpr uint32_t kDumpSize = 0x20000;

// The ignore list of the ticked module boxes (exposure, column window, line join).
std::vector<IgnoreEntry> ignoreListFor(bool exposure, bool columns, bool lineJoin);

// The offset of the first block holding a difference that counts, or
// nothing. Dumps of different sizes differ at the first block beyond the
// shorter one.
std::optional<uint32_t> firstDifferentBlock(std::span<const uint8_t> reference, std::span<const uint8_t> current,
                                            CompareMode mode, const std::vector<IgnoreEntry>& ignore);

} // namespace tovrin::production
