#include "settings/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <algorithm>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#endif

namespace vreko {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
#ifdef _WIN32
constexpr std::string_view kDefaultNewline = "\r\n";
#else
constexpr std::string_view kDefaultNewline = "\n";
#endif

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
    std::string_view name;  // section name, or key name of an entry with '='
    bool hasKey = false;    // an entry with an '='
    std::size_t valueBegin = 0;  // for keys: the value's first non-blank character (or end)
    std::string_view value;      // for keys: the value with blanks trimmed, quotes kept
};

bool HasBreak(const Line& l) { return l.next != l.end; }

Line ClassifyLine(std::string_view text, std::size_t begin, std::size_t end, std::size_t next) {
    Line l;
    l.begin = begin;
    l.end = end;
    l.next = next;
    const std::string_view content = text.substr(begin, end - begin);
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
            l.valueBegin = begin + eq + 1 + (skip == std::string_view::npos ? rest.size() : skip);
            l.value = Trim(rest);
        }
    }
    return l;
}

// Splits the file into lines. A line ends at "\n" (with a "\r" before it counted as part of
// the break) or at the end of the file; a lone "\r" at the very end counts as a break too.
std::vector<Line> ParseLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        const auto lf = text.find('\n', pos);
        std::size_t end;
        std::size_t next;
        if (lf == std::string_view::npos) {
            end = text.size();
            next = text.size();
            if (end > pos && text[end - 1] == '\r') --end;
        } else {
            end = (lf > pos && text[lf - 1] == '\r') ? lf - 1 : lf;
            next = lf + 1;
        }
        lines.push_back(ClassifyLine(text, pos, end, next));
        pos = next;
    }
    return lines;
}

// The file's own line break: that of its first line, or the system's when it has none yet.
std::string_view DetectNewline(std::string_view text) {
    const auto lf = text.find('\n');
    if (lf == std::string_view::npos) return kDefaultNewline;
    return (lf > 0 && text[lf - 1] == '\r') ? std::string_view("\r\n") : std::string_view("\n");
}

struct Location {
    std::optional<std::size_t> section;    // the header of the first matching section
    std::optional<std::size_t> key;        // the first matching key inside it
    std::optional<std::size_t> lastEntry;  // the section's last entry line
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location loc;
    const std::string_view sec = Trim(section);
    const std::string_view k = Trim(key);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        if (l.kind == LineKind::Section) {
            if (loc.section) break;  // end of the first matching section; later duplicates do not count
            if (EqualNoCase(l.name, sec)) loc.section = i;
        } else if (loc.section && l.kind == LineKind::Entry) {
            loc.lastEntry = i;
            if (!loc.key && l.hasKey && EqualNoCase(l.name, k)) loc.key = i;
        }
    }
    return loc;
}

enum class LoadResult { Ok, Missing, Failed };

LoadResult LoadFile(const std::string& path, std::string& out) {
    out.clear();
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return (errno == ENOENT || errno == ENOTDIR) ? LoadResult::Missing : LoadResult::Failed;
    char buf[8192];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? LoadResult::Failed : LoadResult::Ok;
}

// The file a path stands for: symbolic links followed to their final target (which need
// not exist yet). Nothing when the links loop.
std::optional<fs::path> ResolveLinks(const std::string& path) {
    fs::path p = path;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) return std::nullopt;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return std::nullopt;
}

#ifdef _WIN32

bool ReplaceFileContents(const std::string& path, const std::string& contents) {
    const auto target = ResolveLinks(path);
    if (!target) return false;
    std::error_code ec;
    const fs::file_status old = fs::status(*target, ec);
    const bool existed = fs::exists(old);
    if (existed && !fs::is_regular_file(old)) return false;
    const fs::path dir = target->parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path tmp = dir / ("." + target->filename().string() + ".tmp" + std::to_string(attempt));
        int fd = -1;
        if (_wsopen_s(&fd, tmp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                      _S_IREAD | _S_IWRITE) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        bool ok = true;
        std::size_t done = 0;
        while (ok && done < contents.size()) {
            const std::size_t chunk = std::min<std::size_t>(contents.size() - done, 1u << 20);
            const int w = _write(fd, contents.data() + done, static_cast<unsigned>(chunk));
            if (w <= 0) ok = false;
            else done += static_cast<std::size_t>(w);
        }
        if (ok && _commit(fd) != 0) ok = false;
        if (_close(fd) != 0) ok = false;
        if (ok && existed) fs::permissions(tmp, old.permissions(), ec);
        if (ok) {
            fs::rename(tmp, *target, ec);
            ok = !ec;
        }
        if (!ok) fs::remove(tmp, ec);
        return ok;
    }
    return false;
}

#else

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t w = ::write(fd, data.data(), data.size());
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(w));
    }
    return true;
}

void SyncDirectory(const fs::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself has been done
    ::close(fd);
}

// Writes contents to a new file beside the target, flushes it to disk and renames it over
// the target, so that readers see either the old or the new file, never a part of one.
bool ReplaceFileContents(const std::string& path, const std::string& contents) {
    const auto target = ResolveLinks(path);
    if (!target) return false;

    struct stat old {};
    const bool existed = ::stat(target->c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) return false;
    if (!existed && errno != ENOENT) return false;

    static std::atomic<unsigned> counter{0};
    const fs::path dir = target->parent_path();
    const std::string base = "." + target->filename().string() + ".tmp." + std::to_string(::getpid()) + ".";
    fs::path tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = dir / (base + std::to_string(counter++));
        // A new file gets the usual mode for new files (umask applied); a replaced one its old
        // mode, set below.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existed ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, contents);
    if (ok && existed) {
        // Keep the owner where we may (as root, or a group of ours); where we may not, the
        // file becomes ours with its old permission bits.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)!::fchown(fd, old.st_uid, old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(tmp.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncDirectory(dir);
    return true;
}

#endif

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

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const {
    std::string text;
    if (LoadFile(path_, text) != LoadResult::Ok) return std::string(defaultText);
    const std::vector<Line> lines = ParseLines(text);
    const Location loc = Locate(lines, section, key);
    if (!loc.key) return std::string(defaultText);
    const std::string_view value = Unquote(lines[*loc.key].value);
    return std::string(value.substr(0, kMaxValueLength));
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (!ValidSection(section) || !ValidKey(key)) return false;
    if (value.find_first_of("\r\n") != std::string_view::npos) return false;

    std::string text;
    if (LoadFile(path_, text) == LoadResult::Failed) return false;  // never overwrite what we cannot read
    const std::vector<Line> lines = ParseLines(text);
    const Location loc = Locate(lines, section, key);
    const std::string_view newline = DetectNewline(text);
    const std::string encoded = EncodeValue(value);

    std::string out;
    if (loc.key) {
        const Line& l = lines[*loc.key];
        if (Unquote(l.value) == value) return true;  // already stored: leave the file alone
        // Keep the key and the spacing up to the value; the line break stays as it was.
        out.reserve(text.size() + encoded.size());
        out.append(text, 0, l.valueBegin);
        out += encoded;
        out.append(text, l.end, std::string::npos);
    } else {
        std::string entry = std::string(key) + "=" + encoded;
        entry += newline;
        if (loc.section) {
            const Line& after = lines[loc.lastEntry.value_or(*loc.section)];
            out.reserve(text.size() + entry.size() + newline.size());
            out.append(text, 0, after.next);
            if (!HasBreak(after)) out += newline;  // the last line of a file without a final break
            out += entry;
            out.append(text, after.next, std::string::npos);
        } else {
            out = text;
            if (!lines.empty()) {
                if (!HasBreak(lines.back())) out += newline;
                if (lines.back().kind != LineKind::Blank) out += newline;  // a blank line between sections
            }
            out += "[";
            out += section;
            out += "]";
            out += newline;
            out += entry;
        }
    }
    return ReplaceFileContents(path_, out);
}

}  // namespace vreko
