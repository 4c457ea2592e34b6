#include "sim/FlashFile.h"

#include "sim/BootLoader.h"

#include <cstring>
#include <fstream>
#include <vector>

namespace tovrin::sim {

namespace {
constexpr auto kThrottledSaveInterval = std::chrono::milliseconds(500);
} // namespace

bool FlashFile::attach(const std::filesystem::path& file, PersistPolicy policy, Banks& banks, BootLoader& loader)
{
    m_path = file;
    m_policy = policy;
    loader.attach(file);
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) == 2 * kFlashSize && !ec) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes(2 * kFlashSize);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (in) {
            std::memcpy(banks[0].flash.data(), bytes.data(), kFlashSize);
            std::memcpy(banks[1].flash.data(), bytes.data() + kFlashSize, kFlashSize);
            m_dirty = false;
            return true;
        }
    }
    m_dirty = true;
    return false;
}

void FlashFile::changed(const Banks& banks, const BootLoader& loader)
{
    m_dirty = true;
    if (m_path.empty())
        return;
    if (m_policy == PersistPolicy::EveryChange || std::chrono::steady_clock::now() - m_lastSave >= kThrottledSaveInterval)
        save(banks, loader);
}

void FlashFile::saveIfDue(const Banks& banks, const BootLoader& loader)
{
    if (unsaved() && std::chrono::steady_clock::now() - m_lastSave >= kThrottledSaveInterval)
        save(banks, loader);
}

bool FlashFile::save(const Banks& banks, const BootLoader& loader)
{
    std::error_code ec;
    if (m_path.has_parent_path())
        std::filesystem::create_directories(m_path.parent_path(), ec);
    std::filesystem::path temp = m_path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(banks[0].flash.data()), kFlashSize);
        out.write(reinterpret_cast<const char*>(banks[1].flash.data()), kFlashSize);
        out.flush();
        if (!out)
            return false;
    }
    std::filesystem::rename(temp, m_path, ec);
    if (ec || !loader.save())
        return false;
    m_dirty = false;
    m_lastSave = std::chrono::steady_clock::now();
    return true;
}

} // namespace tovrin::sim
