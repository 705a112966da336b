// The installation file against the driver it installs: windows/diskcam.inf
// must register the filter under exactly the categories the driver's filter
// descriptor lists, with the reference string the filter factory is created
// under, name the kernel streaming proxy for every interface, and start the
// settings at the values the driver itself loads and saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/ks/filter_factory.h"
#include "host/nt/registry_store.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

// An INF file: each section's lines, a line as its key (empty for a line
// without one) and its comma-separated fields, unquoted, with %name%
// replaced from [Strings]. Comments and blank lines are dropped.
class InfFile {
public:
    struct Line {
        std::string key;
        std::vector<std::string> fields;
    };

    explicit InfFile(const std::string& path) {
        std::ifstream in(path);
        std::string section;
        for (std::string text; std::getline(in, text);) {
            text = Trim(text.substr(0, text.find(';')));
            if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
                section = text.substr(1, text.size() - 2);
            } else if (!text.empty()) {
                // Registry lines (HKR,...) have no key: their values may hold "=".
                const size_t equals =
                    text.rfind("HKR,", 0) == 0 ? std::string::npos : text.find('=');
                const bool keyed = equals != std::string::npos;
                sections_[section].push_back({keyed ? Trim(text.substr(0, equals)) : "",
                                              Split(keyed ? text.substr(equals + 1) : text)});
            }
        }
        for (const Line& line : sections_["Strings"]) {
            strings_[line.key] = line.fields.at(0);
        }
    }

    std::vector<Line> Lines(const std::string& section) const {
        auto found = sections_.find(section);
        std::vector<Line> lines = found != sections_.end() ? found->second : std::vector<Line>{};
        for (Line& line : lines) {
            Expand(line.key);
            for (std::string& field : line.fields) {
                Expand(field);
            }
        }
        return lines;
    }
    // The fields of the section's lines with this key.
    std::vector<std::vector<std::string>> Values(const std::string& section,
                                                 const std::string& key) const {
        std::vector<std::vector<std::string>> values;
        for (const Line& line : Lines(section)) {
            if (line.key == key) {
                values.push_back(line.fields);
            }
        }
        return values;
    }

private:
    static std::string Trim(const std::string& text) {
        size_t first = text.find_first_not_of(" \t\r");
        size_t last = text.find_last_not_of(" \t\r");
        return first == std::string::npos ? "" : text.substr(first, last - first + 1);
    }
    static std::vector<std::string> Split(const std::string& text) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t comma = 0; comma != std::string::npos; start = comma + 1) {
            comma = text.find(',', start);
            std::string field = Trim(text.substr(start, comma - start));
            bool quoted = field.size() >= 2 && field.front() == '"' && field.back() == '"';
            fields.push_back(quoted ? field.substr(1, field.size() - 2) : field);
        }
        return fields;
    }
    void Expand(std::string& text) const {
        if (text.size() > 2 && text.front() == '%' && text.back() == '%') {
            auto found = strings_.find(text.substr(1, text.size() - 2));
            text = found != strings_.end() ? found->second : text;
        }
    }

    std::map<std::string, std::vector<Line>> sections_;
    std::map<std::string, std::string> strings_;
};

// The one model: its description and its install section.
InfFile::Line TheModel(const InfFile& inf) {
    std::vector<InfFile::Line> models = inf.Lines("Devices.NTamd64");
    EXPECT_EQ(models.size(), 1u);
    return models.empty() ? InfFile::Line{} : models[0];
}

// The registry lines of the section's AddReg sections: root, subkey, value
// name, type and value.
std::vector<std::vector<std::string>> RegistryLines(const InfFile& inf,
                                                    const std::string& section) {
    std::vector<std::vector<std::string>> lines;
    for (const auto& addReg : inf.Values(section, "AddReg")) {
        for (const InfFile::Line& line : inf.Lines(addReg.at(0))) {
            EXPECT_EQ(line.fields.size(), 5u) << addReg[0];
            lines.push_back(line.fields);
        }
    }
    return lines;
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
    const InfFile::Line model = TheModel(inf_);
    const std::string install = model.fields.at(0) + ".NTamd64";
    // Category GUID text: reference string, interface section.
    std::map<std::string, std::vector<std::string>> registered;
    for (const auto& fields : inf_.Values(install + ".Interfaces", "AddInterface")) {
        ASSERT_EQ(fields.size(), 3u);
        registered[fields[0]] = {fields[1], fields[2]};
    }

    const KSFILTER_DESCRIPTOR* descriptor = filter_->Kernel()->Descriptor;
    ASSERT_EQ(registered.size(), descriptor->CategoriesCount);
    const std::string first = client::FindFilters(descriptor->Categories[0]).at(0);
    for (ULONG i = 0; i < descriptor->CategoriesCount; ++i) {
        const GUID& category = descriptor->Categories[i];
        auto entry = registered.find(host::ks::GuidText(category));
        ASSERT_NE(entry, registered.end()) << host::ks::GuidText(category) << " is not in the INF";
        const std::string path = client::FilterAlias(first, category);
        const std::string reference = "\\" + entry->second[0];
        EXPECT_EQ(path.substr(path.size() - std::min(path.size(), reference.size())), reference)
            << path;
        std::map<std::string, std::string> values;
        for (const auto& line : RegistryLines(inf_, entry->second[1])) {
            values[line.at(2)] = line.at(4);
        }
        EXPECT_EQ(values["CLSID"], ProxyClsid) << entry->first;
        EXPECT_EQ(values["FriendlyName"], model.key) << entry->first;
    }
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
    for (const auto& line : RegistryLines(inf_, TheModel(inf_).fields.at(0) + ".NTamd64")) {
        ASSERT_EQ(line.at(0) + "," + line.at(1) + "," + line.at(3), "HKR,Settings,0x00010001")
            << line.at(2) << ": not a REG_DWORD under Settings";
        names.push_back(line[2]);
        EXPECT_EQ(host::RegistryGetDword(SettingsKey(), line[2]).value_or(~0u),
                  static_cast<uint32_t>(std::stoul(line.at(4), nullptr, 0)))
            << line[2];
    }
    EXPECT_EQ(names, host::RegistryValueNames(SettingsKey()));
}

}  // namespace
}  // namespace driver_test
