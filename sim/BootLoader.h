#pragma once
// The boot loader of the simulated frame, one per frame, for both units.
//
// It listens on the download channel only while the frame runs it (product
// ID 0x0042). An image arrives in blocks of 62 bytes (the reports carry no
// length, so the last block of an image may end in padding):
//
//   flag 0x80  first block: the unit's program area for that port is
//              erased and a new image begins
//   flag 0x00  a block in between: refused unless an image is under way
//   flag 0x40  last block: the image is complete and becomes the unit's
//              program (a last block alone is a one-block image)
//   0xC0       refused
//
// A block past the program area (0x7E00 bytes for port 0x4000, the
// firmware; 0x8000 for port 0x8000, the second image) is refused.
//
// Whether the application may start: a unit whose program area holds a
// half-received image, or whose firmware image information (flash 0x10000)
// the boot loader has erased or rewritten and that does not begin with
// "AGPF", keeps the frame in its boot loader. A frame whose firmware was
// never updated starts its application whatever its flash holds (the
// application's own flash tools may erase that sector freely).
//
// Faults come from the frame's fault plan (FaultPlan.h): the n-th block
// refused or pulling the frame out; after a restart into the boot loader the
// frame never shows up again; a boot loader that enumerates but never
// answers (those two the frame's USB life carries out).
//
// The state survives a restart of the tool: it is kept in a file beside the
// frame's flash file.
//
// Every function runs under the lock of the frame that owns it.

#include "sim/FaultPlan.h"
#include "sim/FrameTypes.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace tovrin::sim {

class BootLoader {
public:
    enum class Block { Accepted, Refused, Vanish };
    enum class Program : uint8_t { Intact = 0, Receiving = 1, Received = 2 };

    static constexpr uint32_t kFirmwareArea = 0x7E00;
    static constexpr uint32_t kSecondImageArea = 0x8000;
    static constexpr uint32_t kHInfoMagic = 0x46504741;  // "AGPF" in flash order

    // One download block; changed is set when the program state moved (so
    // the owner saves it). The plan's block faults are used up here.
    Block block(Unit unit, int port, uint8_t flags, const uint8_t* payload, BootLoaderFaults& faults, bool& changed);

    // The boot loader erased or wrote the firmware image information sector
    // of a unit. Returns true when that changed the state.
    bool noteImageInfoWritten(Unit unit);

    // The application of both units may start (hinfoMagic: the first word of
    // each unit's flash at 0x10000).
    bool applicationBootable(const std::array<uint32_t, 2>& hinfoMagic) const;

    // A program has been received on some port since the loader's state began.
    bool receivedAny() const;

    // What the loader holds.
    Program programState(Unit unit, int port) const;
    std::vector<uint8_t> program(Unit unit, int port) const;
    DownloadedImage inProgress(Unit unit, int port) const;
    std::vector<DownloadedImage> finished(Unit unit, int port) const;
    uint64_t blocksSeen() const { return blocksSeen_; }

    // Persistence beside the flash file ("<flash file>.loader").
    void attach(const std::filesystem::path& flashFile);
    bool save() const;

private:
    struct Slot {
        Program state = Program::Intact;
        std::vector<uint8_t> program;
        DownloadedImage receiving;
        std::vector<DownloadedImage> finished;
    };
    struct UnitState {
        bool imageInfoTouched = false;
        std::array<Slot, 2> ports;
    };
    Slot& slot(Unit unit, int port) { return units_[static_cast<size_t>(unit)].ports[static_cast<size_t>(port)]; }
    const Slot& slot(Unit unit, int port) const
    {
        return units_[static_cast<size_t>(unit)].ports[static_cast<size_t>(port)];
    }
    void load();

    std::array<UnitState, 2> units_{};
    uint64_t blocksSeen_ = 0;
    std::filesystem::path stateFile_;
};

} // namespace tovrin::sim
