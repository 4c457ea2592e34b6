// tovrin-pack: assembles a firmware update package from its items, or lists
// what a package holds and what an update would do with it.
//
//   tovrin-pack -o <package.bin> [items] [--flag <entry>=<value>]...
//   tovrin-pack --list <package.bin>
//
// Items: --firmware <file> <version>, --second-master <file> <version>,
// --second-slave <file> <version>, --data-d <file>, --data-e <file>,
// --data-f <file>. Versions are written major.minor.patch. The flash-data
// items share one length.
//
// Exit codes: 0 done (or the package would be accepted), 1 the items or the
// package are refused, 2 bad usage.

#include "PackList.h"
#include "maintenance/update/PackageWriter.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace tovrin;
using namespace tovrin::update;

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

int usage()
{
    std::cerr << "usage: tovrin-pack -o <package.bin> [--firmware <file> <version>]\n"
                 "                   [--second-master <file> <version>] [--second-slave <file> <version>]\n"
                 "                   [--data-d <file>] [--data-e <file>] [--data-f <file>] [--flag <entry>=<value>]...\n"
                 "       tovrin-pack --list <package.bin>\n";
    return kUsage;
}

std::optional<std::vector<uint8_t>> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--list") {
        const auto bytes = readFile(args[1]);
        if (!bytes) {
            std::cerr << "tovrin-pack: cannot read " << args[1] << '\n';
            return kRefused;
        }
        std::cout << "package: " << args[1] << '\n';
        return pack::listPackage(*bytes, std::cout) ? kDone : kRefused;
    }

    PackageItems items;
    std::string output;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        auto loadItem = [&](std::optional<PackageItem>& slot, bool versioned) -> bool {
            const auto file = next();
            if (!file)
                return false;
            PackageItem item;
            if (versioned) {
                const auto versionArg = next();
                const auto version = versionArg ? parseVersion(*versionArg) : std::nullopt;
                if (!version) {
                    std::cerr << "tovrin-pack: " << a << ": version as major.minor.patch\n";
                    return false;
                }
                item.version = *version;
            }
            const auto bytes = readFile(*file);
            if (!bytes) {
                std::cerr << "tovrin-pack: cannot read " << *file << '\n';
                return false;
            }
            item.data = *bytes;
            slot = std::move(item);
            return true;
        };
        bool ok = true;
        if (a == "-o") {
            const auto o = next();
            ok = o.has_value();
            if (o)
                output = *o;
        } else if (a == "--firmware") {
            ok = loadItem(items.firmware, true);
        } else if (a == "--second-master") {
            ok = loadItem(items.secondMaster, true);
        } else if (a == "--second-slave") {
            ok = loadItem(items.secondSlave, true);
        } else if (a == "--data-d") {
            ok = loadItem(items.flashD, false);
        } else if (a == "--data-e") {
            ok = loadItem(items.flashE, false);
        } else if (a == "--data-f") {
            ok = loadItem(items.flashF, false);
        } else if (a == "--flag") {
            const auto assignment = next();
            unsigned entry = 0;
            unsigned value = 0;
            char tail = 0;
            ok = assignment && std::sscanf(assignment->c_str(), "%u=%u%c", &entry, &value, &tail) == 2 && entry < 6 && value <= 0xFFFF;
            if (ok)
                items.flagOverrides.emplace_back(static_cast<int>(entry), static_cast<uint16_t>(value));
        } else {
            ok = false;
        }
        if (!ok)
            return usage();
    }
    if (output.empty())
        return usage();

    std::string error;
    const auto package = assemblePackage(items, error);
    if (!package) {
        std::cerr << "tovrin-pack: " << error << '\n';
        return kRefused;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(package->data()), static_cast<std::streamsize>(package->size()));
    out.close();
    if (!out) {
        std::cerr << "tovrin-pack: cannot write " << output << '\n';
        return kRefused;
    }
    std::cout << "package: " << output << '\n';
    // The same listing as --list, so a package that the tool would refuse
    // (flags of 2, say) is plain at once.
    return pack::listPackage(*package, std::cout) ? kDone : kRefused;
}
