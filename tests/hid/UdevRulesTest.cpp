// The shipped udev rule must grant access to exactly the product IDs the
// transport opens; a PID added in one place and not the other leaves a
// technician without access to a frame (or its boot loader during an update).
#include "device/Transport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace tovrin::device;

namespace {

// One rule line as "key op" -> value, e.g. "ATTRS{idVendor}==" -> "1fc9".
using Rule = std::map<std::string, std::string>;

std::vector<Rule> parseRules(const std::string& file)
{
    std::ifstream in(file);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    const std::regex item(R"re(\s*([A-Za-z_]+(?:\{[^}]*\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    std::vector<Rule> rules;
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        Rule rule;
        auto begin = std::sregex_iterator(line.begin(), line.end(), item);
        size_t consumed = 0;
        for (auto it = begin; it != std::sregex_iterator(); ++it) {
            EXPECT_EQ(static_cast<size_t>(it->position()), consumed) << "unparsable text in: " << line;
            consumed = static_cast<size_t>(it->position() + it->length());
            rule[(*it)[1].str() + (*it)[2].str()] = (*it)[3].str();
        }
        EXPECT_EQ(consumed, line.size()) << "unparsable text in: " << line;
        rules.push_back(rule);
    }
    return rules;
}

std::string hex4(uint16_t v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v);
    return buf;
}

} // namespace

TEST(UdevRules, GrantAccessToEveryFrameProductIdAndNothingElse)
{
    const auto rules = parseRules(TOVRIN_UDEV_RULES_FILE);
    ASSERT_FALSE(rules.empty());

    std::set<std::string> expected;
    for (uint16_t pid : kApplicationProductIds)
        expected.insert(hex4(pid));
    expected.insert(hex4(kBootLoaderProductId));

    std::set<std::string> granted;
    for (const Rule& r : rules) {
        SCOPED_TRACE(r.count("ATTRS{idProduct}==") ? r.at("ATTRS{idProduct}==") : "?");
        EXPECT_EQ(r.size(), 5u) << "rule has other keys than expected";
        EXPECT_EQ(r.count("SUBSYSTEM==") ? r.at("SUBSYSTEM==") : "", "hidraw");
        EXPECT_EQ(r.count("KERNEL==") ? r.at("KERNEL==") : "", "hidraw*");
        // sysfs shows the IDs as four lower-case hex digits; "1FC9" never matches.
        EXPECT_EQ(r.count("ATTRS{idVendor}==") ? r.at("ATTRS{idVendor}==") : "", hex4(kFrameVendorId));
        EXPECT_EQ(r.count("TAG+=") ? r.at("TAG+=") : "", "uaccess");
        ASSERT_EQ(r.count("ATTRS{idProduct}=="), 1u);
        EXPECT_TRUE(granted.insert(r.at("ATTRS{idProduct}==")).second) << "product ID listed twice";
    }
    EXPECT_EQ(granted, expected);
}
