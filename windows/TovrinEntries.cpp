#include "TovrinEntries.h"

#include "PreviewThreadSource.h"

#include <map>

namespace tovrin::windows {

namespace {

std::map<Entry, EntryFunction>& overrides()
{
    static std::map<Entry, EntryFunction> table;
    return table;
}

std::function<std::unique_ptr<PreviewSource>(QObject*)>& previewOverride()
{
    static std::function<std::unique_ptr<PreviewSource>(QObject*)> factory;
    return factory;
}

// The entries as they are wired. Each returns its function once its job has
// landed; until then nothing.
EntryFunction wiredEntry(Entry entry)
{
    switch (entry) {
    case Entry::Leveling:
    case Entry::Calibration:
    case Entry::Settings:
    case Entry::KeyCalibration:
    case Entry::KeyTest:
    case Entry::FpgaBrowse:
    case Entry::FpgaDownload:
    case Entry::ScriptBrowse:
    case Entry::ScriptRun:
    case Entry::RegisterWrite:
    case Entry::RegisterRead:
    case Entry::EraseFlash:
    case Entry::ReadFlash:
    case Entry::WriteFlash:
    case Entry::FingerInto:
    case Entry::DeviceInfo:
        return {};
    }
    return {};
}

} // namespace

const char* entryName(Entry entry)
{
    switch (entry) {
    case Entry::Leveling: return "Leveling";
    case Entry::Calibration: return "Calibrate";
    case Entry::Settings: return "Set";
    case Entry::KeyCalibration: return "Shortcuts";
    case Entry::KeyTest: return "Key Test";
    case Entry::FpgaBrowse: return "FPGA browse";
    case Entry::FpgaDownload: return "FPGA download";
    case Entry::ScriptBrowse: return "Script browse";
    case Entry::ScriptRun: return "Run Script";
    case Entry::RegisterWrite: return "Step Debug write";
    case Entry::RegisterRead: return "Step Debug read";
    case Entry::EraseFlash: return "Erase Flash";
    case Entry::ReadFlash: return "Read Flash";
    case Entry::WriteFlash: return "Write Flash";
    case Entry::FingerInto: return "K274_3 Debug";
    case Entry::DeviceInfo: return "Device information";
    }
    return "?";
}

EntryFunction entryFunction(Entry entry)
{
    if (auto it = overrides().find(entry); it != overrides().end() && it->second)
        return it->second;
    return wiredEntry(entry);
}

bool entryAvailable(Entry entry)
{
    return static_cast<bool>(entryFunction(entry));
}

std::unique_ptr<PreviewSource> makePreviewSource(QObject* parent)
{
    if (previewOverride())
        return previewOverride()(parent);
    return std::make_unique<PreviewThreadSource>(parent);
}

void overrideEntry(Entry entry, EntryFunction function)
{
    if (function)
        overrides()[entry] = std::move(function);
    else
        overrides().erase(entry);
}

void overridePreviewSource(std::function<std::unique_ptr<PreviewSource>(QObject*)> factory)
{
    previewOverride() = std::move(factory);
}

} // namespace tovrin::windows
