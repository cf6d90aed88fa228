#include "platform/profile_file.h"

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace plat {
namespace {

// One read-modify-write at a time inside the process, so two writers of the same file do
// not lose each other's keys.
std::mutex g_writeMutex;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// One physical line of the file: [begin, end) without its line break.
struct LineSpan {
    size_t begin;
    size_t end;
};

std::vector<LineSpan> SplitLines(const std::string& contents) {
    std::vector<LineSpan> lines;
    size_t pos = 0;
    while (pos < contents.size()) {
        size_t nl = contents.find('\n', pos);
        size_t end = nl == std::string::npos ? contents.size() : nl;
        lines.push_back({pos, end});
        pos = nl == std::string::npos ? contents.size() : nl + 1;
    }
    return lines;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

ParsedLine ParseLine(std::string_view raw) {
    ParsedLine parsed;
    std::string_view text = Trim(raw);
    if (text.empty()) {
        parsed.kind = LineKind::Blank;
    } else if (text.front() == ';') {
        parsed.kind = LineKind::Comment;
    } else if (text.front() == '[') {
        size_t close = text.rfind(']');
        if (close == std::string_view::npos) return parsed;  // a broken header belongs to nothing
        parsed.kind = LineKind::Section;
        parsed.name = Trim(text.substr(1, close - 1));
    } else {
        parsed.kind = LineKind::Key;
        size_t eq = text.find('=');
        if (eq == std::string_view::npos) {
            parsed.name = text;
        } else {
            parsed.name = Trim(text.substr(0, eq));
            parsed.value = Trim(text.substr(eq + 1));
        }
    }
    return parsed;
}

// Finds the value of the key in the first section of that name that holds it.
bool FindValue(const std::string& contents, std::string_view section, std::string_view key,
               std::string_view& value) {
    bool inSection = false;
    for (const LineSpan& span : SplitLines(contents)) {
        ParsedLine line = ParseLine(std::string_view(contents).substr(span.begin, span.end - span.begin));
        if (line.kind == LineKind::Section) {
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == LineKind::Key && SameName(line.name, key)) {
            value = line.value;
            return true;
        }
    }
    return false;
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The classic profile API's integer reading: blanks, one sign, "0x" for hex, then digits
// until the first other character. Accumulates in 32 unsigned bits, so overflow wraps.
int ParseProfileInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint32_t result = 0;
    for (; i < text.size(); ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= base) break;
        result = result * base + static_cast<uint32_t>(digit);
    }
    if (negative) result = 0u - result;
    return static_cast<int>(result);
}

bool ValidName(const std::string& name, bool isSection) {
    if (Trim(name).empty()) return false;
    for (char c : name) {
        if (c == '\n' || c == '\r' || c == '\0') return false;
        if (isSection && c == ']') return false;
        if (!isSection && c == '=') return false;
    }
    if (!isSection && (name.front() == '[' || name.front() == ';')) return false;
    return true;
}

}  // namespace

int ProfileGetInt(const std::string& file, const std::string& section, const std::string& key,
                  int defaultValue) {
    std::string contents;
    if (!ReadWholeFile(file, contents)) return defaultValue;
    std::string_view value;
    if (!FindValue(contents, section, key, value)) return defaultValue;
    value = StripQuotes(value);
    if (value.empty()) return defaultValue;
    return ParseProfileInt(value);
}

std::string ProfileGetString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& defaultValue,
                             size_t maxLength) {
    if (maxLength == 0) return {};
    std::string result = defaultValue;
    std::string contents;
    std::string_view value;
    if (ReadWholeFile(file, contents) && FindValue(contents, section, key, value))
        result = std::string(StripQuotes(value));
    if (result.size() > maxLength - 1) result.resize(maxLength - 1);
    return result;
}

bool ProfileWriteString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
    if (!ValidName(section, true) || !ValidName(key, false)) return false;
    // A line break in the value would smuggle further keys into the file.
    std::string safeValue = value.substr(0, value.find_first_of("\r\n"));
    safeValue = safeValue.substr(0, safeValue.find('\0'));
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);

    std::lock_guard<std::mutex> lock(g_writeMutex);
    std::string contents;
    if (!ReadWholeFile(file, contents)) contents.clear();
    const bool crlf = contents.find("\r\n") != std::string::npos;
    const std::string newline = crlf ? "\r\n" : "\n";

    std::vector<LineSpan> lines = SplitLines(contents);
    bool inSection = false;
    bool sectionFound = false;
    size_t insertAt = std::string::npos;  // end of the last non-blank line of the section
    for (const LineSpan& span : lines) {
        std::string_view raw = std::string_view(contents).substr(span.begin, span.end - span.begin);
        ParsedLine line = ParseLine(raw);
        if (line.kind == LineKind::Section) {
            if (sectionFound && inSection) break;  // left the first matching section
            inSection = SameName(line.name, sectionName);
            if (inSection) {
                sectionFound = true;
                insertAt = span.end;
            }
            continue;
        }
        if (!inSection) continue;
        if (line.kind == LineKind::Key && SameName(line.name, keyName)) {
            std::string replacement = std::string(line.name) + "=" + safeValue;
            if (!raw.empty() && raw.back() == '\r') replacement += '\r';
            contents.replace(span.begin, span.end - span.begin, replacement);
            return WriteWholeFileAtomic(file, contents);
        }
        if (line.kind != LineKind::Blank) insertAt = span.end;
    }

    std::string keyLine = std::string(keyName) + "=" + safeValue;
    if (sectionFound) {
        // insertAt is just before the line break of that line (or the end of the file).
        if (insertAt >= contents.size()) {
            contents += newline + keyLine + newline;
        } else {
            size_t afterBreak = contents.find('\n', insertAt);
            afterBreak = afterBreak == std::string::npos ? contents.size() : afterBreak + 1;
            contents.insert(afterBreak, keyLine + newline);
        }
    } else {
        if (!contents.empty() && contents.back() != '\n') contents += newline;
        if (!contents.empty()) contents += newline;
        contents += "[" + std::string(sectionName) + "]" + newline + keyLine + newline;
    }
    return WriteWholeFileAtomic(file, contents);
}

}  // namespace plat
