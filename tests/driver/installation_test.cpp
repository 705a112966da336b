// The installation file against the driver it installs: windows/diskcam.inf
// must register the filter under exactly the categories the driver's filter
// descriptor lists, with the reference string the filter factory is created
// under, name the kernel streaming proxy for every interface, and start the
// settings at the values the driver itself loads and saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/ks/filter_factory.h"
#include "host/nt/registry_store.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

// An INF file as sections of lines, comments and blank lines dropped, with
// %name% replaced from [Strings].
class InfFile {
public:
    explicit InfFile(const std::string& path) {
        std::ifstream in(path);
        std::string section;
        for (std::string line; std::getline(in, line);) {
            line = Trim(line.substr(0, CommentStart(line)));
            if (line.empty()) {
                continue;
            }
            if (line.front() == '[' && line.back() == ']') {
                section = line.substr(1, line.size() - 2);
                sections_[section];
            } else {
                sections_[section].push_back(line);
            }
        }
        for (const std::string& line : Section("Strings")) {
            strings_[Trim(Key(line))] = Unquote(Value(line));
        }
    }

    bool Has(const std::string& name) const { return sections_.count(name) != 0; }
    std::vector<std::string> Section(const std::string& name) const {
        auto found = sections_.find(name);
        return found != sections_.end() ? found->second : std::vector<std::string>{};
    }
    // The values of `key = ...` lines in the section, each split at commas,
    // expanded and unquoted.
    std::vector<std::vector<std::string>> Directives(const std::string& section,
                                                     const std::string& key) const {
        std::vector<std::vector<std::string>> found;
        for (const std::string& line : Section(section)) {
            if (line.find('=') != std::string::npos && Trim(Key(line)) == key) {
                found.push_back(Fields(Value(line)));
            }
        }
        return found;
    }
    // A line's comma-separated fields, expanded and unquoted.
    std::vector<std::string> Fields(const std::string& text) const {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t comma; (comma = text.find(',', start)) != std::string::npos;
             start = comma + 1) {
            fields.push_back(Unquote(Expand(Trim(text.substr(start, comma - start)))));
        }
        fields.push_back(Unquote(Expand(Trim(text.substr(start)))));
        return fields;
    }

private:
    static size_t CommentStart(const std::string& line) {
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            quoted = line[i] == '"' ? !quoted : quoted;
            if (line[i] == ';' && !quoted) {
                return i;
            }
        }
        return line.size();
    }
    static std::string Trim(const std::string& text) {
        size_t first = text.find_first_not_of(" \t\r");
        size_t last = text.find_last_not_of(" \t\r");
        return first == std::string::npos ? "" : text.substr(first, last - first + 1);
    }
    static std::string Key(const std::string& line) { return line.substr(0, line.find('=')); }
    static std::string Value(const std::string& line) {
        return Trim(line.substr(line.find('=') + 1));
    }
    static std::string Unquote(const std::string& text) {
        return text.size() >= 2 && text.front() == '"' && text.back() == '"'
                   ? text.substr(1, text.size() - 2)
                   : text;
    }
    std::string Expand(const std::string& text) const {
        if (text.size() > 2 && text.front() == '%' && text.back() == '%') {
            auto found = strings_.find(text.substr(1, text.size() - 2));
            return found != strings_.end() ? found->second : text;
        }
        return text;
    }

    std::map<std::string, std::vector<std::string>> sections_;
    std::map<std::string, std::string> strings_;
};

GUID ParseGuid(const std::string& text) {
    GUID guid{};
    unsigned parts[11] = {};
    EXPECT_EQ(std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &parts[0],
                          &parts[1], &parts[2], &parts[3], &parts[4], &parts[5], &parts[6],
                          &parts[7], &parts[8], &parts[9], &parts[10]),
              11)
        << text;
    guid.Data1 = parts[0];
    guid.Data2 = static_cast<USHORT>(parts[1]);
    guid.Data3 = static_cast<USHORT>(parts[2]);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = static_cast<UCHAR>(parts[3 + i]);
    }
    return guid;
}

// The model's install section and its description, from the one line of
// the [Devices.NTamd64] models section.
struct Model {
    std::string description;
    std::string section;
};

Model TheModel(const InfFile& inf) {
    std::vector<std::string> lines = inf.Section("Devices.NTamd64");
    EXPECT_EQ(lines.size(), 1u);
    if (lines.empty()) {
        return {};
    }
    const std::string& line = lines[0];
    std::vector<std::string> description = inf.Fields(line.substr(0, line.find('=')));
    std::vector<std::string> install = inf.Fields(line.substr(line.find('=') + 1));
    return {description[0], install[0] + ".NTamd64"};
}

// The kernel streaming proxy, the COM object applications open a filter
// through.
constexpr char ProxyClsid[] = "{17CCA71B-ECD7-11D0-B908-00A0C9223196}";

class Installation : public CaptureTest {
protected:
    InfFile inf_{DISKCAM_INF};
};

TEST_F(Installation, TheInfRegistersEveryCategoryOfTheFilterAndNoOther) {
    sim_ = AttachCamera();
    ASSERT_NE(StartDevice(), nullptr);
    filter_ = OpenFilter();
    ASSERT_NE(filter_, nullptr);
    const KSFILTER_DESCRIPTOR* descriptor = filter_->Kernel()->Descriptor;
    std::set<std::string> published;
    for (ULONG i = 0; i < descriptor->CategoriesCount; ++i) {
        published.insert(host::ks::GuidText(descriptor->Categories[i]));
    }

    const Model model = TheModel(inf_);
    ASSERT_TRUE(inf_.Has(model.section + ".Interfaces"));
    std::set<std::string> registered;
    std::string firstPath;
    for (const auto& fields : inf_.Directives(model.section + ".Interfaces", "AddInterface")) {
        ASSERT_EQ(fields.size(), 3u);
        const GUID category = ParseGuid(fields[0]);
        registered.insert(host::ks::GuidText(category));
        std::vector<std::string> paths = client::FindFilters(category);
        ASSERT_EQ(paths.size(), 1u) << fields[0];
        EXPECT_TRUE(paths[0].size() > fields[1].size() &&
                    paths[0].compare(paths[0].size() - fields[1].size() - 1, std::string::npos,
                                     "\\" + fields[1]) == 0)
            << paths[0] << " is not under the reference string " << fields[1];
        firstPath = firstPath.empty() ? paths[0] : firstPath;
        EXPECT_EQ(client::FilterAlias(firstPath, category), paths[0]) << "one filter";

        std::map<std::string, std::string> values;
        for (const auto& addReg : inf_.Directives(fields[2], "AddReg")) {
            for (const std::string& line : inf_.Section(addReg[0])) {
                std::vector<std::string> value = inf_.Fields(line);
                ASSERT_EQ(value.size(), 5u) << line;
                values[value[2]] = value[4];
            }
        }
        EXPECT_EQ(values["CLSID"], ProxyClsid) << fields[0];
        EXPECT_EQ(values["FriendlyName"], model.description) << fields[0];
    }
    EXPECT_EQ(registered, published);
}

TEST_F(Installation, TheInfSettingsAreTheDriversLoadDefaultsInItsOrder) {
    sim_ = AttachCamera();
    camera_ = AddDevice();
    ASSERT_NE(camera_, nullptr);
    ASSERT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    // A filter's close saves every setting.
    filter_ = OpenFilter();
    filter_.reset();

    std::vector<std::string> names;
    for (const auto& addReg : inf_.Directives(TheModel(inf_).section, "AddReg")) {
        for (const std::string& line : inf_.Section(addReg[0])) {
            std::vector<std::string> value = inf_.Fields(line);
            ASSERT_EQ(value.size(), 5u) << line;
            ASSERT_EQ(value[0] + "," + value[1], "HKR,Settings") << line;
            EXPECT_EQ(value[3], "0x00010001") << line << ": not a REG_DWORD";
            names.push_back(value[2]);
            EXPECT_EQ(host::RegistryGetDword(SettingsKey(), value[2]).value_or(~0u),
                      static_cast<uint32_t>(std::stoul(value[4], nullptr, 0)))
                << line;
        }
    }
    EXPECT_EQ(names, host::RegistryValueNames(SettingsKey()));
}

}  // namespace
}  // namespace driver_test
