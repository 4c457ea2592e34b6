#include "sim/BootLoader.h"

#include "sim/SimBytes.h"

#include <fstream>
#include <iterator>

namespace tovrin::sim {

namespace {

constexpr uint32_t kBlockSize = 62;
constexpr uint8_t kFirst = 0x80;
constexpr uint8_t kLast = 0x40;
constexpr char kStateMagic[4] = {'T', 'V', 'B', 'L'};
constexpr uint8_t kStateVersion = 1;

uint32_t areaOf(int port)
{
    return port == kPortFirmware ? BootLoader::kFirmwareArea : BootLoader::kSecondImageArea;
}

} // namespace

BootLoader::Block BootLoader::block(Unit unit, int port, uint8_t flags, const uint8_t* payload,
                                    BootLoaderFaults& faults, bool& changed)
{
    changed = false;
    ++blocksSeen_;
    // Every block counts towards the plan's faults, refused ones too.
    const bool vanish = strikes(faults.vanishAtBlockIn);
    const bool refuse = strikes(faults.refuseBlockIn);
    Slot& s = slot(unit, port);
    DownloadedImage& image = s.receiving;
    if ((flags & (kFirst | kLast)) == (kFirst | kLast))
        return Block::Refused;
    if (flags & kFirst) {
        // A new image: the program area is erased before the first block
        // is taken, so whatever happens to the block the old program is gone.
        image = DownloadedImage{};
        image.startedWithFirstBlock = true;
        s.program.clear();
        changed = s.state != Program::Receiving;
        s.state = Program::Receiving;
    } else if (image.blocks == 0 && !(flags & kLast)) {
        return Block::Refused;  // a block in between with no image under way
    } else if (image.blocks == 0) {
        // A one-block image (flagged last only) replaces the program too.
        s.program.clear();
        changed = s.state != Program::Receiving;
        s.state = Program::Receiving;
    }
    if (vanish)
        return Block::Vanish;
    if (refuse)
        return Block::Refused;
    if (static_cast<uint64_t>(image.blocks) * kBlockSize >= areaOf(port))
        return Block::Refused;  // past the program area; the image stays incomplete
    image.data.insert(image.data.end(), payload, payload + kBlockSize);
    ++image.blocks;
    if (flags & kLast) {
        image.complete = true;
        s.program = image.data;
        s.state = Program::Received;
        s.finished.push_back(std::move(image));
        image = DownloadedImage{};
        changed = true;
    }
    return Block::Accepted;
}

bool BootLoader::noteImageInfoWritten(Unit unit)
{
    bool& touched = units_[static_cast<size_t>(unit)].imageInfoTouched;
    const bool changed = !touched;
    touched = true;
    return changed;
}

bool BootLoader::applicationBootable(const std::array<uint32_t, 2>& hinfoMagic) const
{
    for (size_t u = 0; u < 2; ++u) {
        const UnitState& s = units_[u];
        if (s.imageInfoTouched && hinfoMagic[u] != kHInfoMagic)
            return false;
        for (const Slot& slotState : s.ports)
            if (slotState.state == Program::Receiving)
                return false;
    }
    return true;
}

bool BootLoader::receivedAny() const
{
    for (const UnitState& u : units_)
        for (const Slot& s : u.ports)
            if (s.state == Program::Received)
                return true;
    return false;
}

BootLoader::Program BootLoader::programState(Unit unit, int port) const { return slot(unit, port).state; }
std::vector<uint8_t> BootLoader::program(Unit unit, int port) const { return slot(unit, port).program; }
DownloadedImage BootLoader::inProgress(Unit unit, int port) const { return slot(unit, port).receiving; }
std::vector<DownloadedImage> BootLoader::finished(Unit unit, int port) const { return slot(unit, port).finished; }

void BootLoader::attach(const std::filesystem::path& flashFile)
{
    stateFile_ = flashFile;
    stateFile_ += ".loader";
    load();
}

void BootLoader::load()
{
    std::ifstream in(stateFile_, std::ios::binary);
    if (!in)
        return;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    auto take = [&](size_t n) -> const uint8_t* {
        if (bytes.size() - at < n)
            return nullptr;
        const uint8_t* p = bytes.data() + at;
        at += n;
        return p;
    };
    const uint8_t* head = take(5);
    if (!head || !std::equal(kStateMagic, kStateMagic + 4, head) || head[4] != kStateVersion)
        return;
    std::array<UnitState, 2> loaded{};
    for (UnitState& u : loaded) {
        const uint8_t* touched = take(1);
        if (!touched)
            return;
        u.imageInfoTouched = *touched != 0;
        for (Slot& s : u.ports) {
            const uint8_t* fields = take(5);
            if (!fields || fields[0] > static_cast<uint8_t>(Program::Received))
                return;
            const uint32_t length = readU32le(fields + 1);
            const uint8_t* data = take(length);
            if (!data)
                return;
            s.state = static_cast<Program>(fields[0]);
            s.program.assign(data, data + length);
        }
    }
    units_ = std::move(loaded);
}

bool BootLoader::save() const
{
    if (stateFile_.empty())
        return true;
    std::vector<uint8_t> bytes(kStateMagic, kStateMagic + 4);
    bytes.push_back(kStateVersion);
    for (const UnitState& u : units_) {
        bytes.push_back(u.imageInfoTouched ? 1 : 0);
        for (const Slot& s : u.ports) {
            uint8_t fields[5];
            fields[0] = static_cast<uint8_t>(s.state);
            writeU32le(fields + 1, static_cast<uint32_t>(s.program.size()));
            bytes.insert(bytes.end(), fields, fields + 5);
            bytes.insert(bytes.end(), s.program.begin(), s.program.end());
        }
    }
    // Written beside and renamed over, as the flash file is.
    std::filesystem::path temp = stateFile_;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out)
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, stateFile_, ec);
    return !ec;
}

} // namespace tovrin::sim
