#pragma once
// Where the simulated frame keeps both units' flash between runs of the
// tool: one file, Master's 128 KB then Slave's, written beside and renamed
// over so that a crash never leaves half a flash behind. The boot loader
// keeps its own state beside it (BootLoader.h).
//
// Every function runs under the lock of the frame that owns it.

#include "sim/FrameTypes.h"
#include "sim/MemoryBank.h"

#include <array>
#include <chrono>
#include <filesystem>

namespace tovrin::sim {

class BootLoader;

class FlashFile {
public:
    using Banks = std::array<MemoryBank, 2>;

    // Loads the file when it exists with the right size and returns true
    // then; otherwise the flash is kept as it is and saved there on the
    // next change.
    bool attach(const std::filesystem::path& file, PersistPolicy policy, Banks& banks, BootLoader& loader);
    // Flash changed: saved at once, or at most every 500 ms (Throttled).
    void changed(const Banks& banks, const BootLoader& loader);
    // Saves what a throttled file has left unsaved for a while.
    void saveIfDue(const Banks& banks, const BootLoader& loader);
    bool unsaved() const { return m_dirty && !m_path.empty(); }
    bool save(const Banks& banks, const BootLoader& loader);

private:
    std::filesystem::path m_path;
    PersistPolicy m_policy = PersistPolicy::EveryChange;
    bool m_dirty = false;
    std::chrono::steady_clock::time_point m_lastSave{};
};

} // namespace tovrin::sim
