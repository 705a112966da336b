// Loading and saving the host registry as a .reg file. The loader parses the
// whole file into a list of changes before it touches the registry, so a
// malformed file changes nothing.
#include "host/nt/reg_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "host/nt/registry_store.h"
#include "host/nt/unicode.h"

namespace host {
namespace {

constexpr char16_t Header[] = u"Windows Registry Editor Version 5.00";
constexpr size_t WrapColumn = 76;  // hex data continues on a new line past this

struct Change {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    std::vector<std::u16string> key;  // components below "\Registry"
    std::u16string name;
    ULONG type = REG_NONE;
    std::vector<uint8_t> data;
};

[[noreturn]] void Fail(const std::string& file, size_t line, const std::string& message) {
    throw RegFileError(file + ":" + std::to_string(line) + ": " + message);
}

[[noreturn]] void FailFile(const std::string& file, const std::string& message) {
    throw RegFileError(file + ": " + message);
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c < 0xDC00;
}

bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

// A name the saver can write as UTF-8 on one line: no line break, no NUL,
// no unpaired surrogate. The loader refuses any other, so that every file
// it takes saves back.
bool WritableName(std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        bool paired = IsHighSurrogate(c) && i + 1 < name.size() && IsLowSurrogate(name[i + 1]);
        if (c == u'\r' || c == u'\n' || c == 0 || (IsHighSurrogate(c) && !paired) ||
            IsLowSurrogate(c)) {
            return false;
        }
        i += paired ? 1 : 0;
    }
    return true;
}

// One physical line of the file with its number.
struct SourceLine {
    std::u16string text;
    size_t number;
};

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
std::u16string DecodeUtf8(const std::string& file, std::string_view bytes) {
    static constexpr char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
    std::u16string text;
    size_t line = 1;
    for (size_t i = 0; i < bytes.size();) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        size_t extra = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
        } else if (lead >= 0x80) {
            Fail(file, line, "invalid UTF-8");
        }
        if (i + extra >= bytes.size()) {
            Fail(file, line, "invalid UTF-8");
        }
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                Fail(file, line, "invalid UTF-8");
            }
            code = code << 6 | (next & 0x3F);
        }
        if (code < Smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
            Fail(file, line, "invalid UTF-8");
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
        line += code == u'\n' ? 1 : 0;
        i += extra + 1;
    }
    return text;
}

// UTF-16LE after its byte-order mark; every surrogate must be paired.
std::u16string DecodeUtf16(const std::string& file, std::string_view bytes) {
    if (bytes.size() % 2 != 0) {
        Fail(file, 1, "UTF-16 text with an odd number of bytes");
    }
    std::u16string text;
    size_t line = 1;
    bool afterHigh = false;
    for (size_t i = 2; i < bytes.size(); i += 2) {
        auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (IsLowSurrogate(c) != afterHigh) {
            Fail(file, line, "invalid UTF-16");
        }
        afterHigh = IsHighSurrogate(c);
        text.push_back(c);
        line += c == u'\n' ? 1 : 0;
    }
    if (afterHigh) {
        Fail(file, line, "invalid UTF-16");
    }
    return text;
}

// The line feed that ends the last line starts no new one.
std::vector<SourceLine> SplitLines(const std::u16string& text) {
    std::vector<SourceLine> lines;
    size_t start = 0;
    while (start < text.size() || lines.empty()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        std::u16string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') {
            line.pop_back();
        }
        lines.push_back({std::move(line), lines.size() + 1});
        start = end + 1;
    }
    return lines;
}

std::u16string TrimLeft(std::u16string_view text) {
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) {
        ++first;
    }
    return std::u16string(text.substr(first));
}

std::u16string TrimRight(std::u16string_view text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) {
        --end;
    }
    return std::u16string(text.substr(0, end));
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           nt::EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// A logical line: physical lines joined at hex continuations, with the
// physical line number of every character for error reports.
class LogicalLine {
public:
    LogicalLine(const std::string& file, std::u16string text, size_t number)
        : file_(file), text_(std::move(text)), numbers_(text_.size(), number), last_(number) {}

    void Append(std::u16string_view text, size_t number) {
        text_ += text;
        numbers_.insert(numbers_.end(), text.size(), number);
        last_ = number;
    }
    const std::u16string& Text() const { return text_; }
    void DropLast() {
        text_.pop_back();
        numbers_.pop_back();
    }

    [[noreturn]] void FailAt(size_t position, const std::string& message) const {
        Fail(file_, position < numbers_.size() ? numbers_[position] : last_, message);
    }

private:
    const std::string& file_;
    std::u16string text_;
    std::vector<size_t> numbers_;
    size_t last_;
};

// A quoted name or string starting at `position` (the opening quote); moves
// past the closing quote.
std::u16string ParseQuoted(const LogicalLine& line, size_t* position) {
    const std::u16string& text = line.Text();
    std::u16string result;
    size_t i = *position + 1;
    for (; i < text.size() && text[i] != u'"'; ++i) {
        if (text[i] == u'\\') {
            if (i + 1 >= text.size() || (text[i + 1] != u'\\' && text[i + 1] != u'"')) {
                line.FailAt(i, "unknown escape: only \\\\ and \\\" are allowed");
            }
            ++i;
        }
        result.push_back(text[i]);
    }
    if (i >= text.size()) {
        line.FailAt(text.size(), "missing closing quote");
    }
    *position = i + 1;
    return result;
}

void ExpectEnd(const LogicalLine& line, size_t position) {
    const std::u16string& text = line.Text();
    for (size_t i = position; i < text.size(); ++i) {
        if (!IsBlank(text[i])) {
            line.FailAt(i, "unexpected text after the value");
        }
    }
}

// 1 to 8 hex digits from `position` up to `end`.
ULONG ParseHexNumber(const LogicalLine& line, size_t position, size_t end, const char* what) {
    const std::u16string& text = line.Text();
    if (end <= position || end - position > 8) {
        line.FailAt(position, std::string(what) + " needs 1 to 8 hex digits");
    }
    ULONG value = 0;
    for (size_t i = position; i < end; ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0) {
            line.FailAt(i, std::string(what) + " needs 1 to 8 hex digits");
        }
        value = value << 4 | static_cast<ULONG>(digit);
    }
    return value;
}

// Comma-separated bytes of one or two hex digits; none at all is empty data.
std::vector<uint8_t> ParseHexBytes(const LogicalLine& line, size_t position) {
    const std::u16string& text = line.Text();
    std::vector<uint8_t> bytes;
    size_t i = position;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i == text.size()) {
        return bytes;
    }
    while (true) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        size_t start = i;
        int value = 0;
        // A third digit is an error; reading on would overflow `value`.
        while (i < text.size() && HexDigit(text[i]) >= 0 && i - start <= 2) {
            value = value * 16 + HexDigit(text[i]);
            ++i;
        }
        if (i == start || i - start > 2) {
            line.FailAt(start, "expected a byte of one or two hex digits");
        }
        bytes.push_back(static_cast<uint8_t>(value));
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            return bytes;
        }
        if (text[i] != u',') {
            line.FailAt(i, "expected ',' between bytes");
        }
        ++i;
    }
}

std::vector<uint8_t> StringData(std::u16string_view text) {
    std::vector<uint8_t> data;
    for (char16_t c : text) {
        data.push_back(static_cast<uint8_t>(c & 0xFF));
        data.push_back(static_cast<uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

// The data after "=": a value change, or a deletion.
void ParseData(const LogicalLine& line, size_t position, Change* change) {
    const std::u16string& text = line.Text();
    std::u16string_view rest = std::u16string_view(text).substr(position);
    if (TrimRight(rest) == u"-") {
        change->kind = Change::Kind::DeleteValue;
        return;
    }
    change->kind = Change::Kind::SetValue;
    if (!rest.empty() && rest[0] == u'"') {
        std::u16string value = ParseQuoted(line, &position);
        ExpectEnd(line, position);
        change->type = REG_SZ;
        change->data = StringData(value);
        return;
    }
    if (StartsWithIgnoringCase(rest, u"dword:")) {
        size_t start = position + 6;
        size_t end = start + TrimRight(std::u16string_view(text).substr(start)).size();
        ULONG value = ParseHexNumber(line, start, end, "dword");
        change->type = REG_DWORD;
        for (int i = 0; i < 4; ++i) {
            change->data.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return;
    }
    if (StartsWithIgnoringCase(rest, u"hex:")) {
        change->type = REG_BINARY;
        change->data = ParseHexBytes(line, position + 4);
        return;
    }
    if (StartsWithIgnoringCase(rest, u"hex(")) {
        size_t close = text.find(u')', position + 4);
        if (close == std::u16string::npos || close + 1 >= text.size() || text[close + 1] != u':') {
            line.FailAt(position, "expected hex(TYPE):");
        }
        change->type = ParseHexNumber(line, position + 4, close, "a value type");
        change->data = ParseHexBytes(line, close + 2);
        return;
    }
    line.FailAt(position, "expected \"text\", dword:, hex:, hex(TYPE): or -");
}

// Key path components below "\Registry"; the first names a root key.
std::vector<std::u16string> ParseKeyPath(const std::string& file, size_t number,
                                         std::u16string_view path) {
    std::vector<std::u16string> components;
    size_t start = 0;
    while (true) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        if (end == start) {
            Fail(file, number, "empty key name in the path");
        }
        components.emplace_back(path.substr(start, end - start));
        if (!WritableName(components.back())) {
            Fail(file, number, "a key name with a NUL or an unpaired surrogate");
        }
        if (end == path.size()) {
            break;
        }
        start = end + 1;
    }
    if (nt::EqualsIgnoringCase(components[0], u"HKEY_LOCAL_MACHINE")) {
        components[0] = u"Machine";
    } else if (nt::EqualsIgnoringCase(components[0], u"HKEY_USERS")) {
        components[0] = u"User";
    } else {
        Fail(file, number,
             "unknown root key '" + ToUtf8(components[0]) +
                 "': use HKEY_LOCAL_MACHINE or HKEY_USERS");
    }
    return components;
}

std::vector<Change> Parse(const std::string& file, const std::u16string& text) {
    std::vector<SourceLine> lines = SplitLines(text);
    if (TrimRight(lines[0].text) != Header) {
        Fail(file, 1, "expected the header line 'Windows Registry Editor Version 5.00'");
    }
    std::vector<Change> changes;
    std::optional<std::vector<std::u16string>> key;
    bool inDeletedKey = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        size_t number = lines[i].number;
        std::u16string trimmed = TrimRight(TrimLeft(lines[i].text));
        if (trimmed.empty() || trimmed[0] == u';') {
            continue;
        }
        if (trimmed[0] == u'[') {
            if (trimmed.back() != u']') {
                Fail(file, number, "expected ']' at the end of the key line");
            }
            bool deletes = trimmed.size() > 1 && trimmed[1] == u'-';
            std::u16string_view path(trimmed);
            path = path.substr(deletes ? 2 : 1, trimmed.size() - (deletes ? 3 : 2));
            std::vector<std::u16string> components = ParseKeyPath(file, number, path);
            if (deletes && components.size() == 1) {
                Fail(file, number, "a root key cannot be deleted");
            }
            changes.push_back({deletes ? Change::Kind::DeleteKey : Change::Kind::CreateKey,
                               components,
                               {},
                               REG_NONE,
                               {}});
            key = std::move(components);
            inDeletedKey = deletes;
            continue;
        }
        if (trimmed[0] != u'"' && trimmed[0] != u'@') {
            Fail(file, number, "expected a [key] line, a \"name\"= or @= value line, or a comment");
        }
        if (!key) {
            Fail(file, number, "value line before the first [key] line");
        }
        if (inDeletedKey) {
            Fail(file, number, "value line in a deleted key");
        }
        LogicalLine line(file, trimmed, number);
        Change change{Change::Kind::SetValue, *key, {}, REG_NONE, {}};
        size_t position = 1;
        if (trimmed[0] == u'"') {
            position = 0;
            change.name = ParseQuoted(line, &position);
            if (!WritableName(change.name)) {
                Fail(file, number, "a value name with a NUL or an unpaired surrogate");
            }
        }
        while (position < trimmed.size() && IsBlank(trimmed[position])) {
            ++position;
        }
        if (position >= trimmed.size() || trimmed[position] != u'=') {
            line.FailAt(position, "expected '=' after the value name");
        }
        ++position;
        while (position < trimmed.size() && IsBlank(trimmed[position])) {
            ++position;
        }
        // Hex data goes on over lines that end in a backslash.
        if (StartsWithIgnoringCase(std::u16string_view(trimmed).substr(position), u"hex")) {
            while (line.Text().back() == u'\\') {
                line.DropLast();
                if (++i == lines.size()) {
                    Fail(file, number, "hex data continues past the end of the file");
                }
                number = lines[i].number;
                line.Append(TrimRight(TrimLeft(lines[i].text)), number);
            }
        }
        ParseData(line, position, &change);
        changes.push_back(std::move(change));
    }
    return changes;
}

// The file's bytes; nullopt when it does not exist.
std::optional<std::string> ReadBytes(const std::string& file) {
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (stream == nullptr) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        FailFile(file, std::string("cannot be read: ") + std::strerror(errno));
    }
    std::string bytes;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        bytes.append(buffer, count);
    }
    int error = std::ferror(stream) ? errno : 0;
    std::fclose(stream);
    if (error != 0) {
        FailFile(file, std::string("cannot be read: ") + std::strerror(error));
    }
    return bytes;
}

std::u16string Decode(const std::string& file, std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        return DecodeUtf16(file, bytes);
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        Fail(file, 1, "UTF-16 big-endian text: save it as UTF-8 or UTF-16LE");
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return DecodeUtf8(file, bytes.substr(3));
    }
    return DecodeUtf8(file, bytes);
}

// Deleted keys stay allocated, out of the tree, so that a handle still open
// on one keeps a valid key (Windows keeps a deleted key's object for its
// handles too).
std::vector<std::unique_ptr<RegistryKey>>& DeletedKeys() {
    static std::vector<std::unique_ptr<RegistryKey>> keys;
    return keys;
}

// With the registry mutex held.
RegistryKey* Walk(const std::vector<std::u16string>& components, bool create) {
    RegistryKey* key = &RegistryRoot();
    for (const std::u16string& component : components) {
        RegistryKey* next = key->FindSubkey(component);
        if (next == nullptr && create) {
            next = key->AddSubkey(component, false);
        }
        if (next == nullptr) {
            return nullptr;
        }
        key = next;
    }
    return key;
}

void Apply(const Change& change) {
    switch (change.kind) {
        case Change::Kind::CreateKey:
            Walk(change.key, true);
            break;
        case Change::Kind::SetValue:
            Walk(change.key, true)
                ->SetValue(change.name, change.type, change.data.data(), change.data.size());
            break;
        case Change::Kind::DeleteValue:
            Walk(change.key, true)->RemoveValue(change.name);
            break;
        case Change::Kind::DeleteKey: {
            std::vector<std::u16string> parentPath(change.key.begin(), change.key.end() - 1);
            RegistryKey* parent = Walk(parentPath, false);
            if (parent == nullptr) {
                break;
            }
            std::unique_ptr<RegistryKey> deleted = parent->DetachSubkey(change.key.back());
            if (deleted != nullptr) {
                DeletedKeys().push_back(std::move(deleted));
            }
            break;
        }
    }
}

// Saving.

// The text of a REG_SZ that a quoted string gives back exactly: whole UTF-16
// with one terminating NUL and no line breaks. nullopt otherwise.
std::optional<std::u16string> StringText(const RegistryValue& value) {
    const std::vector<uint8_t>& data = value.data;
    if (data.size() < 2 || data.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string text;
    for (size_t i = 0; i < data.size(); i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    if (text.back() != 0) {
        return std::nullopt;
    }
    text.pop_back();
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == 0 || c == u'\r' || c == u'\n' || IsLowSurrogate(c)) {
            return std::nullopt;
        }
        if (IsHighSurrogate(c)) {
            if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) {
                return std::nullopt;
            }
            ++i;
        }
    }
    return text;
}

// Names become UTF-8 on one line; a name that cannot is refused.
std::string NameText(const std::string& file, std::u16string_view name) {
    if (!WritableName(name)) {
        FailFile(file, "the name '" + ToUtf8(name) + "' cannot be written to a .reg file");
    }
    return ToUtf8(name);
}

std::string Quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            result.push_back('\\');
        }
        result.push_back(c);
    }
    result.push_back('"');
    return result;
}

void WriteHex(std::string* out, std::string line, const std::vector<uint8_t>& data) {
    static constexpr char Digits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        line.push_back(Digits[data[i] >> 4]);
        line.push_back(Digits[data[i] & 0xF]);
        if (i + 1 < data.size()) {
            line.push_back(',');
            if (line.size() > WrapColumn) {
                *out += line + "\\\n";
                line = "  ";
            }
        }
    }
    *out += line + "\n";
}

void WriteValue(const std::string& file, std::string* out, const RegistryValue& value) {
    std::string line = value.name.empty() ? "@=" : Quoted(NameText(file, value.name)) + "=";
    if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                          static_cast<uint32_t>(value.data[3]) << 24;
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", number);
        *out += line + "dword:" + digits + "\n";
        return;
    }
    if (value.type == REG_SZ) {
        if (std::optional<std::u16string> text = StringText(value)) {
            *out += line + Quoted(ToUtf8(*text)) + "\n";
            return;
        }
    }
    if (value.type == REG_BINARY) {
        WriteHex(out, line + "hex:", value.data);
        return;
    }
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    WriteHex(out, line + type, value.data);
}

// The .reg name of a key below "\\Registry"; empty for one a .reg file cannot
// name.
std::string RootKeyName(std::u16string_view name) {
    if (nt::EqualsIgnoringCase(name, u"Machine")) {
        return "HKEY_LOCAL_MACHINE";
    }
    if (nt::EqualsIgnoringCase(name, u"User")) {
        return "HKEY_USERS";
    }
    return {};
}

void WriteKey(const std::string& file, std::string* out, const RegistryKey& key,
              const std::string& path) {
    *out += "[" + path + "]\n";
    for (const RegistryValue& value : key.Values()) {
        WriteValue(file, out, value);
    }
    *out += "\n";
    for (const auto& subkey : key.Subkeys()) {
        WriteKey(file, out, *subkey, path + "\\" + NameText(file, subkey->Name()));
    }
}

// Writes `text` to a new file beside `file`, then renames it over `file`, so
// that `file` is either the old one or the new one, whole.
void ReplaceFile(const std::string& file, const std::string& text) {
    std::string temporary = file + ".XXXXXX";
    int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        FailFile(file, std::string("cannot be written: ") + std::strerror(errno));
    }
    auto fail = [&](int error) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        unlink(temporary.c_str());
        FailFile(file, std::string("cannot be written: ") + std::strerror(error));
    };
    struct stat existing;
    mode_t mode = stat(file.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
    if (fchmod(descriptor, mode) != 0) {
        fail(errno);
    }
    for (size_t written = 0; written < text.size();) {
        ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count < 0 && errno != EINTR) {
            fail(errno);
        }
        written += count > 0 ? static_cast<size_t>(count) : 0;
    }
    if (fsync(descriptor) != 0) {
        fail(errno);
    }
    int closed = close(descriptor);
    descriptor = -1;
    if (closed != 0 || rename(temporary.c_str(), file.c_str()) != 0) {
        fail(errno);
    }
}

}  // namespace

bool LoadRegFile(const std::string& file) {
    std::optional<std::string> bytes = ReadBytes(file);
    if (!bytes) {
        return false;
    }
    std::vector<Change> changes = Parse(file, Decode(file, *bytes));
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (const Change& change : changes) {
        Apply(change);
    }
    return true;
}

void SaveRegFile(const std::string& file, std::string_view keyPath) {
    std::string text = ToUtf8(Header) + "\n\n";
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        auto components = RegistryPathComponents(keyPath);
        RegistryKey* key = &RegistryRoot();
        std::string path;
        for (size_t i = 0; components && key != nullptr && i < components->size(); ++i) {
            key = key->FindSubkey((*components)[i]);
            if (key != nullptr && i == 0) {
                path = RootKeyName(key->Name());
            } else if (key != nullptr) {
                path += "\\" + NameText(file, key->Name());
            }
        }
        if (!components || key == nullptr || path.empty()) {
            FailFile(file, "not saved: there is no registry key " + std::string(keyPath));
        }
        WriteKey(file, &text, *key, path);
    }
    ReplaceFile(file, text);
}

}  // namespace host
