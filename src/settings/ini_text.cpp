#include "settings/ini_text.h"

#include <limits>
#include <stdexcept>

namespace vreko {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }
bool IsBreak(char c) { return c == '\n' || c == '\r'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value without the pair of quotation marks that encloses it, if it has them.
std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back()) return v.substr(1, v.size() - 2);
    return v;
}

enum class LineKind { Blank, Comment, Section, Entry };

struct Line {
    std::size_t begin = 0;  // first character of the line's text
    std::size_t end = 0;    // end of the text, where the line break starts
    std::size_t next = 0;   // start of the following line
    LineKind kind = LineKind::Blank;
    std::string_view name;       // section name, or key name of an entry with '='
    bool hasKey = false;         // an entry with an '='
    std::size_t valueBegin = 0;  // for keys: the value's first non-blank character (or end)
    std::string_view value;      // for keys: the value with blanks trimmed, quotes kept
};

bool HasBreak(const Line& l) { return l.next != l.end; }

// The bounds of the line that begins at begin (before the end of text). As in the Windows
// profile functions, a line ends at a line feed, at a carriage return, or at the pair of the
// two ("\r\n", one break), or at the end of the text: old Mac files (CR alone) and files of
// mixed line ends read line by line.
Line LineAt(std::string_view text, std::size_t begin) {
    Line l;
    l.begin = begin;
    std::size_t end = begin;
    while (end < text.size() && !IsBreak(text[end])) ++end;
    l.end = end;
    l.next = end;
    if (end < text.size()) {
        l.next = end + 1;
        if (text[end] == '\r' && l.next < text.size() && text[l.next] == '\n') ++l.next;
    }
    return l;
}

Line Classify(std::string_view text, Line l) {
    const std::string_view content = text.substr(l.begin, l.end - l.begin);
    const std::string_view t = Trim(content);
    if (t.empty()) {
        l.kind = LineKind::Blank;
    } else if (t.front() == ';' || t.front() == '#') {
        l.kind = LineKind::Comment;
    } else if (t.front() == '[') {
        l.kind = LineKind::Section;
        std::string_view inner = t.substr(1);
        const auto close = inner.find(']');
        if (close != std::string_view::npos) inner = inner.substr(0, close);
        l.name = Trim(inner);
    } else {
        l.kind = LineKind::Entry;
        const auto eq = content.find('=');
        if (eq != std::string_view::npos) {
            l.hasKey = true;
            l.name = Trim(content.substr(0, eq));
            const std::string_view rest = content.substr(eq + 1);
            const auto skip = rest.find_first_not_of(kBlanks);
            l.valueBegin = l.begin + eq + 1 + (skip == std::string_view::npos ? rest.size() : skip);
            l.value = Trim(rest);
        }
    }
    return l;
}

// The last line of text, whose first line begins at start; nothing when it has no line.
std::optional<Line> LastLine(std::string_view text, std::size_t start) {
    const std::size_t size = text.size();
    if (size <= start) return std::nullopt;
    // Its break, if any: "\r\n", or one of the two alone.
    std::size_t end = size;
    if (text[size - 1] == '\n' && size >= start + 2 && text[size - 2] == '\r') {
        end = size - 2;
    } else if (IsBreak(text[size - 1])) {
        end = size - 1;
    }
    std::size_t begin = end;
    while (begin > start && !IsBreak(text[begin - 1])) --begin;
    Line l;
    l.begin = begin;
    l.end = end;
    l.next = size;
    return Classify(text, l);
}

// The text's own line break: that of its first line, or fallback when it has none yet.
std::string_view DetectNewline(std::string_view text, std::string_view fallback) {
    const auto brk = text.find_first_of("\r\n");
    if (brk == std::string_view::npos) return fallback;
    if (text[brk] == '\n') return "\n";
    return (brk + 1 < text.size() && text[brk + 1] == '\n') ? std::string_view("\r\n") : std::string_view("\r");
}

// What goes between a line and a new line put after it: nothing when the line has its break,
// the file's break when it has none (the file's last line). A lone carriage return in a file
// whose lines end otherwise is completed to "\r\n", so that the new line also shows as a line
// of its own where a viewer breaks lines at line feeds only.
std::string_view BreakBefore(std::string_view text, const Line& l, std::string_view newline) {
    if (!HasBreak(l)) return newline;
    if (newline != "\r" && text.substr(l.end, l.next - l.end) == "\r") return "\n";
    return {};
}

bool ValidSection(std::string_view section) {
    return !section.empty() && section.find_first_of("\r\n]") == std::string_view::npos;
}

bool ValidKey(std::string_view key) {
    return !key.empty() && key.find_first_of("\r\n=") == std::string_view::npos && key.front() != ';' &&
           key.front() != '#' && key.front() != '[';
}

// The text to put after "key=" so that reading it back gives value exactly: a value that
// would lose blanks at its ends or its own enclosing quotes is put in double quotes.
std::string EncodeValue(std::string_view value) {
    const bool blankEnds = !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                                              kBlanks.find(value.back()) != std::string_view::npos);
    if (blankEnds || Unquote(value).size() != value.size()) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

}  // namespace

struct IniText::Location {
    std::optional<Line> section;    // the header of the first matching section
    std::optional<Line> key;        // the first matching key inside it
    std::optional<Line> lastEntry;  // the section's last entry line, when the key is missing
};

IniText::IniText(std::string text) : text_(std::move(text)) {
    if (text_.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("settings text too long");
    start_ = std::string_view(text_).substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
    const std::string_view t = text_;
    for (std::size_t pos = start_; pos < t.size();) {
        // Only the first character that is not blank tells a header; the rest of each line
        // is looked at when a lookup comes to it.
        std::size_t first = pos;
        while (first < t.size() && IsBlank(t[first])) ++first;
        if (first < t.size() && t[first] == '[') headers_.push_back(static_cast<std::uint32_t>(pos));
        pos = LineAt(t, first).next;
    }
}

IniText::Location IniText::Locate(std::string_view section, std::string_view key) const {
    Location loc;
    const std::string_view t = text_;
    const std::string_view sec = Trim(section);
    const std::string_view k = Trim(key);
    std::size_t bodyEnd = t.size();
    for (std::size_t i = 0; i < headers_.size(); ++i) {
        const Line header = Classify(t, LineAt(t, headers_[i]));
        if (EqualNoCase(header.name, sec)) {
            loc.section = header;
            if (i + 1 < headers_.size()) bodyEnd = headers_[i + 1];  // later duplicates do not count
            break;
        }
    }
    if (!loc.section) return loc;
    for (std::size_t pos = loc.section->next; pos < bodyEnd;) {
        const Line l = Classify(t, LineAt(t, pos));
        if (l.kind == LineKind::Entry) {
            if (l.hasKey && EqualNoCase(l.name, k)) {
                loc.key = l;
                return loc;
            }
            loc.lastEntry = l;
        }
        pos = l.next;
    }
    return loc;
}

std::optional<std::string> IniText::Find(std::string_view section, std::string_view key) const {
    const Location loc = Locate(section, key);
    if (!loc.key) return std::nullopt;
    const std::string_view value = Unquote(loc.key->value);
    return std::string(value.substr(0, kIniMaxValueLength));
}

std::optional<std::string> IniText::WithValue(std::string_view section, std::string_view key, std::string_view value,
                                              std::string_view newNewline) const {
    if (!IniCanStore(section, key, value)) return std::nullopt;
    section = Trim(section);
    key = Trim(key);
    const std::string_view text = text_;
    const Location loc = Locate(section, key);
    const std::string_view newline = DetectNewline(text, newNewline);
    const std::string encoded = EncodeValue(value);

    std::string out;
    if (loc.key) {
        const Line& l = *loc.key;
        if (Unquote(l.value) == value) return text_;  // already stored
        // Keep the key and the spacing up to the value; the line break stays as it was.
        out.reserve(text.size() + encoded.size());
        out.append(text.substr(0, l.valueBegin));
        out += encoded;
        out.append(text.substr(l.end));
    } else {
        std::string entry = std::string(key) + "=" + encoded;
        entry += newline;
        if (loc.section) {
            const Line& after = loc.lastEntry ? *loc.lastEntry : *loc.section;
            out.reserve(text.size() + entry.size() + newline.size());
            out.append(text.substr(0, after.next));
            out += BreakBefore(text, after, newline);
            out += entry;
            out.append(text.substr(after.next));
        } else {
            const std::optional<Line> last = LastLine(text, start_);
            out.reserve(text.size() + 2 * newline.size() + section.size() + 2 + newline.size() + entry.size());
            out = text;
            if (last) {
                out += BreakBefore(text, *last, newline);
                if (last->kind != LineKind::Blank) out += newline;  // a blank line between sections
            }
            out += "[";
            out += section;
            out += "]";
            out += newline;
            out += entry;
        }
    }
    return out;
}

std::optional<std::string> IniFindValue(std::string_view text, std::string_view section, std::string_view key) {
    return IniText(std::string(text)).Find(section, key);
}

std::optional<std::string> IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                                        std::string_view value, std::string_view newNewline) {
    return IniText(std::string(text)).WithValue(section, key, value, newNewline);
}

bool IniCanStore(std::string_view section, std::string_view key, std::string_view value) {
    return ValidSection(Trim(section)) && ValidKey(Trim(key)) && value.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace vreko
