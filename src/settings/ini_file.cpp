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
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
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

// Splits the file into lines. As in the Windows profile functions, a line ends at a line
// feed, at a carriage return, or at the pair of the two ("\r\n", one break), or at the end
// of the file: old Mac files (CR alone) and files of mixed line ends read line by line.
std::vector<Line> ParseLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        const auto brk = text.find_first_of("\r\n", pos);
        std::size_t end = text.size();
        std::size_t next = text.size();
        if (brk != std::string_view::npos) {
            end = brk;
            next = brk + 1;
            if (text[brk] == '\r' && next < text.size() && text[next] == '\n') ++next;
        }
        lines.push_back(ClassifyLine(text, pos, end, next));
        pos = next;
    }
    return lines;
}

// The file's own line break: that of its first line, or the system's when it has none yet.
std::string_view DetectNewline(std::string_view text) {
    const auto brk = text.find_first_of("\r\n");
    if (brk == std::string_view::npos) return kDefaultNewline;
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

// On Windows copies do not lock the file yet, and the temporary files of killed writers stay:
// this branch gives way to the system's profile functions.
void RemoveStaleTemporaries(const fs::path&) {}
int LockFolder(const fs::path&) { return -1; }
void UnlockFolder(int) {}

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

// The start of the names of the temporary files written beside target: the full name is
// this, the writer's process id, ".", and a number.
std::string TempPrefix(const fs::path& target) { return "." + target.filename().string() + ".tmp."; }

// Writes contents over the file itself, for a file with more than one name: replacing it would
// split the names into two files. Not atomic, so only where it must be.
bool OverwriteInPlace(int fd, const std::string& contents) {
    if (::lseek(fd, 0, SEEK_SET) != 0) return false;
    if (!WriteAll(fd, contents)) return false;
    if (::ftruncate(fd, static_cast<off_t>(contents.size())) != 0) return false;
    return ::fsync(fd) == 0;
}

// Writes contents to a new file beside the target, flushes it to disk and renames it over
// the target, so that readers see either the old or the new file, never a part of one.
// An existing file is written only when it may be: not when none of its write permission
// bits is set (not even by root, as the read-only attribute on Windows), nor when the system
// refuses to open it for writing. A file with several hard links is written in place.
bool ReplaceFileContents(const std::string& path, const std::string& contents) {
    const auto target = ResolveLinks(path);
    if (!target) return false;

    struct stat old {};
    const bool existed = ::stat(target->c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) return false;
    if (!existed && errno != ENOENT) return false;
    if (existed) {
        if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
        if (::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) return false;
        if (old.st_nlink > 1) {
            const int fd = ::open(target->c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0) return false;
            bool ok = OverwriteInPlace(fd, contents);
            if (::close(fd) != 0) ok = false;
            return ok;
        }
    }

    static std::atomic<unsigned> counter{0};
    const fs::path dir = target->parent_path();
    const std::string base = TempPrefix(*target) + std::to_string(::getpid()) + ".";
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

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Removes the temporary files beside target that writers killed in mid-write left behind:
// those named after a process that no longer exists.
void RemoveStaleTemporaries(const fs::path& target) {
    const std::string prefix = TempPrefix(target);
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos || dot > 9 || !AllDigits(rest.substr(0, dot)) ||
            !AllDigits(rest.substr(dot + 1))) {
            continue;
        }
        const pid_t pid = static_cast<pid_t>(std::stol(std::string(rest.substr(0, dot))));
        if (pid <= 0 || pid == ::getpid()) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;  // alive, perhaps another user's
        ::unlink(it->path().c_str());
    }
}

// How long a start waits for another process that holds the settings file.
constexpr int kLockWaitMs = 10000;
constexpr int kLockPollMs = 5;

// Takes the lock of the folder that holds target: the folder stays the same object while the
// file in it is replaced. Waits for another holder for kLockWaitMs at most. -1 without a lock.
int LockFolder(const fs::path& target) {
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    for (int waited = 0;; waited += kLockPollMs) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));
    }
    ::close(fd);
    return -1;
}

void UnlockFolder(int handle) {
    if (handle >= 0) ::close(handle);  // closing the last descriptor releases the lock
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

IniFile::UpdateLock::~UpdateLock() { UnlockFolder(handle_); }

IniFile::UpdateLock& IniFile::UpdateLock::operator=(UpdateLock&& other) noexcept {
    if (this != &other) {
        UnlockFolder(handle_);
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

IniFile::UpdateLock IniFile::LockForUpdate() const {
    UpdateLock lock;
    const auto target = ResolveLinks(path_);
    if (!target) return lock;
    lock.handle_ = LockFolder(*target);
    RemoveStaleTemporaries(*target);
    return lock;
}

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
            out += BreakBefore(text, after, newline);
            out += entry;
            out.append(text, after.next, std::string::npos);
        } else {
            out = text;
            if (!lines.empty()) {
                out += BreakBefore(text, lines.back(), newline);
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
