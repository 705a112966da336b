// Reading function symbols: records of 18 bytes, a name either inline (up
// to eight characters) or as an offset in the string table that follows the
// records, a section number and an offset in that section.
#include "host/loader/symbols.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace host::loader {
namespace {

struct RawFunction {
    uint32_t start;
    uint32_t sectionEnd;
    std::string name;
};

std::string SymbolName(const std::vector<uint8_t>& file, const ImageHeaders& headers,
                       const CoffSymbol& symbol) {
    if (symbol.Name.LongName.Zeroes == 0) {
        return StringTableEntry(file, headers, symbol.Name.LongName.Offset);
    }
    return std::string(symbol.Name.ShortName, strnlen(symbol.Name.ShortName, 8));
}

std::string Demangle(const std::string& name) {
    if (name.compare(0, 2, "_Z") != 0) {
        return name;
    }
    int status = 0;
    char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (demangled == nullptr) {
        return name;
    }
    std::string result = demangled;
    std::free(demangled);
    return result;
}

bool IsFunction(const CoffSymbol& symbol, const ImageHeaders& headers) {
    return (symbol.Type & SymbolDerivedTypeMask) == SymbolDerivedFunction &&
           (symbol.StorageClass == SymbolClassExternal ||
            symbol.StorageClass == SymbolClassStatic) &&
           symbol.SectionNumber > 0 &&
           static_cast<size_t>(symbol.SectionNumber) <= headers.sections.size();
}

std::vector<RawFunction> ReadFunctions(const std::vector<uint8_t>& file,
                                       const ImageHeaders& headers) {
    std::vector<RawFunction> functions;
    uint64_t count = headers.file.NumberOfSymbols;
    uint64_t tableOffset = headers.file.PointerToSymbolTable;
    if (tableOffset == 0 || tableOffset > file.size() ||
        (file.size() - tableOffset) / CoffSymbolSize < count) {
        return functions;
    }
    for (uint64_t i = 0; i < count; ++i) {
        CoffSymbol symbol;
        ReadRecord(file.data(), file.size(), tableOffset + i * CoffSymbolSize, &symbol);
        i += symbol.NumberOfAuxSymbols;
        if (!IsFunction(symbol, headers)) {
            continue;
        }
        const ImageSection& section = headers.sections[symbol.SectionNumber - 1];
        std::string name = SymbolName(file, headers, symbol);
        if (symbol.Value < section.virtualSize && !name.empty()) {
            functions.push_back({section.virtualAddress + symbol.Value,
                                 section.virtualAddress + section.virtualSize, Demangle(name)});
        }
    }
    return functions;
}

}  // namespace

SymbolTable SymbolTable::Read(const std::vector<uint8_t>& file, const ImageHeaders& headers) {
    std::vector<RawFunction> raw = ReadFunctions(file, headers);
    std::stable_sort(raw.begin(), raw.end(),
                     [](const RawFunction& a, const RawFunction& b) { return a.start < b.start; });
    SymbolTable table;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (i != 0 && raw[i].start == raw[i - 1].start) {
            continue;
        }
        size_t next = i + 1;
        while (next < raw.size() && raw[next].start == raw[i].start) {
            ++next;
        }
        uint32_t end = raw[i].sectionEnd;
        if (next < raw.size() && raw[next].start < end) {
            end = raw[next].start;
        }
        table.functions_.push_back({raw[i].start, end, table.names_.size()});
        table.names_.insert(table.names_.end(), raw[i].name.begin(), raw[i].name.end());
        table.names_.push_back('\0');
    }
    return table;
}

const char* SymbolTable::Find(uint32_t address, uint32_t* offset) const {
    // The last function starting at or before address.
    auto after = std::upper_bound(
        functions_.begin(), functions_.end(), address,
        [](uint32_t value, const Function& function) { return value < function.start; });
    if (after == functions_.begin()) {
        return nullptr;
    }
    const Function& function = *(after - 1);
    if (address >= function.end) {
        return nullptr;
    }
    *offset = address - function.start;
    return names_.data() + function.name;
}

}  // namespace host::loader
