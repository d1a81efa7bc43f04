#include "platform/posix/ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <utility>

#include "platform/posix/ownership.h"

namespace vreko::posix {

namespace fs = std::filesystem;

namespace {

// Units of work left before the process ends as if killed (EndProcessAfterForTesting); -1: no end.
long unitsLeft = -1;

// Before a step of n units of work: the part of it that may be done before the process ends.
std::size_t Allow(std::size_t n) {
    if (unitsLeft < 0) return n;
    if (unitsLeft == 0) ::_exit(kEndedForTestingExitCode);
    const std::size_t allowed = std::min(n, static_cast<std::size_t>(unitsLeft));
    unitsLeft -= static_cast<long>(allowed);
    return allowed;
}

// Before a step that changes the disk without writing bytes.
void Step() { Allow(1); }

// What tells one state of a file on disk from another.
struct FileKey {
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime, ctime;

    explicit FileKey(const struct stat& st)
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtime(st.st_mtim), ctime(st.st_ctim) {}
    bool operator==(const FileKey& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

enum class LoadResult { Ok, Missing, Failed };

bool MissingError(int err) { return err == ENOENT || err == ENOTDIR; }

fs::path FolderOf(const fs::path& target) { return target.parent_path().empty() ? fs::path(".") : target.parent_path(); }

// A descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads the regular file open as fd, of at most maxSize bytes, into out; st describes what was
// read. A file that grows meanwhile is read up to the limit; a larger one fails.
LoadResult ReadOpenFile(int fd, std::size_t maxSize, std::string& out, struct stat& st) {
    out.clear();
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= maxSize;
    // One byte more than the file holds, to see its end.
    std::size_t used = 0;
    if (ok) out.resize(static_cast<std::size_t>(st.st_size) + 1);
    while (ok) {
        if (used == out.size()) {
            if (used > maxSize) break;
            out.resize(std::min(2 * used, maxSize + 1));
            continue;
        }
        const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    if (!ok || used > maxSize) {
        out.clear();
        return LoadResult::Failed;
    }
    out.resize(used);
    return LoadResult::Ok;
}

// Opens name, in the folder open as dirFd, for reading: a regular file of at most maxSize
// bytes, not followed when it is a link, opened without waiting. Anything else is refused
// before it is opened (opening some devices does something already), so that a FIFO or a
// device put in its place cannot hold the program up. entry describes the name as found.
int OpenRegularAt(int dirFd, const std::string& name, std::size_t maxSize, const struct stat& entry) {
    if (!S_ISREG(entry.st_mode) || static_cast<std::size_t>(entry.st_size) > maxSize) {
        errno = EINVAL;
        return -1;
    }
    return ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// --- Who can have written the settings ---------------------------------------------------
//
// Commands are taken only from a file that no other user can have written: one of the user or
// of root that neither its group nor others may write, reached through folders (and links)
// that only the user or root can change. A folder that everyone may write to is enough only
// with the sticky bit set and an entry of the user's own, which nobody else can then remove
// or rename. Everything is judged on what was opened, so nothing can be swapped in between.

bool TrustedOwner(uid_t owner) { return owner == ::geteuid() || owner == 0; }

// Why the entry (a link or the file itself, owned by entryOwner) in the folder described by
// dir could have been put there by another user; empty when it could not.
std::string EntryProblem(const std::string& entry, const std::string& folder, const struct stat& dir,
                         uid_t entryOwner) {
    if (!TrustedOwner(dir.st_uid))
        return entry + " lies in " + folder + ", which belongs to another user (" + UserName(dir.st_uid) + ").";
    if ((dir.st_mode & (S_IWGRP | S_IWOTH)) == 0) return {};
    const std::string shared = entry + " lies in " + folder + ", which other users can write to (mode " +
                               ModeText(dir.st_mode) + ")";
    if (!(dir.st_mode & S_ISVTX)) return shared + ".";
    if (entryOwner != ::geteuid()) return shared + ", and it is not yours (it belongs to " + UserName(entryOwner) + ").";
    return {};
}

// Why the file described by st could have been written by another user; empty when it could not.
std::string FileProblem(const std::string& file, const struct stat& st) {
    if (!TrustedOwner(st.st_uid)) return file + " belongs to another user (" + UserName(st.st_uid) + ").";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return file + " is writable by other users (mode " + ModeText(st.st_mode) + ").";
    return {};
}

// Reads the settings file at path, of at most maxSize bytes, into out; st describes what was
// read. Links are followed one at a time, each from the folder that holds it. untrusted tells
// why what was read (or, for a missing file, what would be written there) could come from
// another user; it is empty when it could not.
LoadResult ReadSettingsFile(const std::string& path, std::size_t maxSize, std::string& out, struct stat& st,
                            std::string& untrusted) {
    out.clear();
    untrusted.clear();
    const uid_t me = ::geteuid();
    fs::path entry = path;
    for (int hop = 0; hop < 40; ++hop) {
        const fs::path folder = FolderOf(entry);
        const std::string name = entry.filename().string();
        if (name.empty()) return LoadResult::Failed;
        const Fd dirFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat dir {};
        if (dirFd.get() < 0) return MissingError(errno) ? LoadResult::Missing : LoadResult::Failed;
        if (::fstat(dirFd.get(), &dir) != 0) return LoadResult::Failed;
        struct stat found {};
        if (::fstatat(dirFd.get(), name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0) {
            if (!MissingError(errno)) return LoadResult::Failed;
            // What is written there will be the user's own.
            if (untrusted.empty()) untrusted = EntryProblem(entry.string(), folder.string(), dir, me);
            return LoadResult::Missing;
        }
        if (S_ISLNK(found.st_mode)) {
            if (untrusted.empty()) untrusted = EntryProblem(entry.string(), folder.string(), dir, found.st_uid);
            std::string target(PATH_MAX, '\0');
            const ssize_t n = ::readlinkat(dirFd.get(), name.c_str(), target.data(), target.size());
            if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return LoadResult::Failed;
            target.resize(static_cast<std::size_t>(n));
            entry = target[0] == '/' ? fs::path(target) : folder / target;
            continue;
        }
        const Fd fd(OpenRegularAt(dirFd.get(), name, maxSize, found));
        if (fd.get() < 0) return MissingError(errno) ? LoadResult::Missing : LoadResult::Failed;
        const LoadResult r = ReadOpenFile(fd.get(), maxSize, out, st);
        if (r == LoadResult::Ok && untrusted.empty()) {
            untrusted = EntryProblem(entry.string(), folder.string(), dir, st.st_uid);
            if (untrusted.empty()) untrusted = FileProblem(entry.string(), st);
        }
        return r;
    }
    return LoadResult::Failed;  // the links loop
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

bool WriteAllAt(int fd, off_t offset, std::string_view data) {
    while (!data.empty()) {
        const ssize_t w = ::pwrite(fd, data.data(), Allow(data.size()), offset);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(w));
        offset += w;
    }
    return true;
}

bool Sync(int fd) {
    Step();
    return ::fsync(fd) == 0;
}

void SyncDirectory(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself has been done
    ::close(fd);
}

// The start of the names of the temporary files written beside target: the full name is
// this, the writer's process id, ".", and a number.
std::string TempPrefix(const fs::path& target) { return "." + target.filename().string() + ".tmp."; }

// A new temporary file beside target, open for writing; -1 when none can be made.
int CreateTemporary(const fs::path& target, mode_t mode, fs::path& tmp) {
    static std::atomic<unsigned> counter{0};
    const std::string base = TempPrefix(target) + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = FolderOf(target) / (base + std::to_string(counter++));
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Flushes the temporary file open as fd to disk, closes it and renames it to target, so
// that readers see either the old or the new file, never a part of one. The temporary file
// is removed when this fails.
bool Commit(int fd, const fs::path& tmp, const fs::path& target, bool ok) {
    if (ok) ok = Sync(fd);
    if (::close(fd) != 0) ok = false;
    if (ok) {
        Step();
        ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncDirectory(FolderOf(target));
    return true;
}

// Gives the file open as fd the extended attributes of the file at from: user attributes,
// ACLs, security labels. Those that the system does not let us set are left out.
void CopyExtendedAttributes(const fs::path& from, int fd) {
    std::string names(256, '\0');
    ssize_t size;
    while ((size = ::listxattr(from.c_str(), names.data(), names.size())) < 0 && errno == ERANGE) {
        const ssize_t needed = ::listxattr(from.c_str(), nullptr, 0);
        if (needed < 0) return;
        names.resize(static_cast<std::size_t>(needed) + 1);
    }
    if (size <= 0) return;
    names.resize(static_cast<std::size_t>(size));
    std::string value;
    for (std::size_t pos = 0; pos < names.size(); pos += std::strlen(names.c_str() + pos) + 1) {
        const char* name = names.c_str() + pos;
        const ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
        if (length < 0) continue;
        value.resize(static_cast<std::size_t>(length));
        const ssize_t got = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (got >= 0) (void)::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(got), 0);
    }
}

// --- In-place rewrites of files with several names -------------------------------------
//
// Replacing such a file would split its names into two files, so it is written over. Before
// that, its new contents are saved in full beside it, in the redo file (written as a temporary
// file and renamed, so that it is there whole or not at all), under a line that names the
// writer and the file: "vreko-redo <pid> <device> <inode>". Once the file has been written
// and flushed the redo file goes. A writer that dies in between leaves it behind, and the
// next LockForUpdate writes its contents over the file it names.

fs::path RedoPath(const fs::path& target) { return FolderOf(target) / ("." + target.filename().string() + ".redo"); }

constexpr std::string_view kRedoTag = "vreko-redo";

bool SaveRedo(const fs::path& target, const struct stat& st, std::string_view contents) {
    fs::path tmp;
    const int fd = CreateTemporary(target, 0600, tmp);
    if (fd < 0) return false;
    const std::string header = std::string(kRedoTag) + " " + std::to_string(::getpid()) + " " +
                               std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + "\n";
    const bool ok = WriteAllAt(fd, 0, header) && WriteAllAt(fd, static_cast<off_t>(header.size()), contents);
    return Commit(fd, tmp, RedoPath(target), ok);
}

// Writes contents over the regular file open as fd, from its start, and flushes it.
bool Overwrite(int fd, std::string_view contents) {
    if (!WriteAllAt(fd, 0, contents)) return false;
    Step();
    if (::ftruncate(fd, static_cast<off_t>(contents.size())) != 0) return false;
    return Sync(fd);
}

void RemoveRedo(const fs::path& target) {
    Step();
    ::unlink(RedoPath(target).c_str());
    SyncDirectory(FolderOf(target));
}

// Opens target for writing over it, when it is still the regular file dev and ino name.
int OpenSameFile(const fs::path& target, dev_t dev, ino_t ino) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == dev && st.st_ino == ino) return fd;
    ::close(fd);
    return -1;
}

bool RewriteInPlace(const fs::path& target, const struct stat& old, std::string_view oldContents,
                    std::string_view contents, struct stat& written) {
    const int fd = OpenSameFile(target, old.st_dev, old.st_ino);
    if (fd < 0) return false;
    bool ok = SaveRedo(target, old, contents);
    if (ok) {
        ok = Overwrite(fd, contents) && ::fstat(fd, &written) == 0;
        // A write that failed half-way (a full disk) puts the old contents back, which fit
        // where they were; the redo file stays only when even that fails.
        if (ok || Overwrite(fd, oldContents)) RemoveRedo(target);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// The numbers of a redo file's first line: the writer's process id, the device and the inode
// of the file; nothing when the line is not such a line.
std::optional<std::array<unsigned long long, 3>> RedoHeader(std::string_view line) {
    if (line.substr(0, kRedoTag.size()) != kRedoTag) return std::nullopt;
    std::array<unsigned long long, 3> numbers{};
    const char* p = line.data() + kRedoTag.size();
    const char* end = line.data() + line.size();
    for (unsigned long long& n : numbers) {
        if (p == end || *p != ' ') return std::nullopt;
        const auto r = std::from_chars(p + 1, end, n);
        if (r.ec != std::errc()) return std::nullopt;
        p = r.ptr;
    }
    if (p != end) return std::nullopt;
    return numbers;
}

// Why the redo file described by st (not followed) may not be replayed: a file that another
// user can have made or changed, or that this program never makes. Empty when it may.
std::string RedoProblem(const struct stat& st) {
    if (st.st_uid != ::geteuid()) return "was left by another user (" + UserName(st.st_uid) + ")";
    if (S_ISLNK(st.st_mode)) return "is a link";
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return "is writable by other users (mode " + ModeText(st.st_mode) + ")";
    if (st.st_nlink != 1) return "has several names (hard links)";
    return {};
}

// Finishes the in-place rewrite of target that a writer which has died left undone. Only a
// redo file of this user alone is replayed, with one name, naming target as it is now and a
// writer that has ended (this process included), and only into a settings file that no other
// user can have written (targetTrusted). A redo file that another user can have made or
// changed is left alone: the text returned tells the user about it. Empty otherwise. wrote:
// the settings file was written.
std::string FinishRewrite(const fs::path& target, bool targetTrusted, bool& wrote) {
    wrote = false;
    const fs::path redo = RedoPath(target);
    const std::string name = redo.filename().string();
    const Fd dirFd(::open(FolderOf(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat found {};
    if (dirFd.get() < 0 || ::fstatat(dirFd.get(), name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0) return {};
    if (const std::string problem = RedoProblem(found); !problem.empty())
        return redo.string() + " " + problem + " and is ignored.";
    if (!targetTrusted) return {};  // nothing is written into such a file

    std::string saved;
    struct stat st {};
    constexpr std::size_t kMaxRedoSize = IniFile::kMaxFileSize + 128;
    const Fd fd(OpenRegularAt(dirFd.get(), name, kMaxRedoSize, found));
    const LoadResult r = fd.get() < 0 ? LoadResult::Failed : ReadOpenFile(fd.get(), kMaxRedoSize, saved, st);
    if (r == LoadResult::Ok && (st.st_dev != found.st_dev || st.st_ino != found.st_ino || !RedoProblem(st).empty()))
        return {};  // replaced while we looked: judged again at the next start
    const auto eol = saved.find('\n');
    const auto header = r == LoadResult::Ok && eol != std::string::npos
                            ? RedoHeader(std::string_view(saved).substr(0, eol))
                            : std::nullopt;
    if (header) {
        const auto [pid, dev, ino] = *header;
        const pid_t writer = static_cast<pid_t>(pid);
        // No writer of ours has a process id of 0 or one that does not fit: such a file is
        // not replayed, only removed.
        const bool fromAWriter = pid > 0 && static_cast<unsigned long long>(writer) == pid;
        if (fromAWriter && writer != ::getpid() && ProcessAlive(writer)) return {};  // still at work
        const int out = fromAWriter ? OpenSameFile(target, static_cast<dev_t>(dev), static_cast<ino_t>(ino)) : -1;
        if (out >= 0) {
            wrote = true;
            const bool ok = Overwrite(out, std::string_view(saved).substr(eol + 1));
            ::close(out);
            if (!ok) return {};  // tried again at the next start
        }
    }
    RemoveRedo(target);
    return {};
}

// Writes contents to a new file beside the target, flushes it to disk and renames it over
// the target. An existing file is written only when it may be: not when none of its write
// permission bits is set (not even by root, as the read-only attribute on Windows), nor when
// the system refuses to open it for writing. A file with several hard links is written in
// place. written describes the file as it is afterwards.
bool ReplaceFileContents(const std::string& path, std::string_view oldContents, std::string_view contents,
                         struct stat& written) {
    const auto target = ResolveLinks(path);
    if (!target) return false;

    struct stat old {};
    const bool existed = ::stat(target->c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) return false;
    if (!existed && errno != ENOENT) return false;
    if (existed) {
        if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
        if (::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) return false;
        if (old.st_nlink > 1) return RewriteInPlace(*target, old, oldContents, contents, written);
    }

    fs::path tmp;
    // A new file is readable by everyone the umask lets read it, and writable by the user
    // alone whatever the umask, so that it is taken as the user's own at the next start; a
    // replaced one gets its old mode and the rest of its metadata, set below.
    const int fd = CreateTemporary(*target, existed ? 0600 : 0644, tmp);
    if (fd < 0) return false;
    bool ok = WriteAllAt(fd, 0, contents);
    if (ok && existed) {
        // Keep the owner where we may (as root, or a group of ours); where we may not, the
        // file becomes ours with its old permission bits.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)!::fchown(fd, old.st_uid, old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok) CopyExtendedAttributes(*target, fd);
    }
    struct stat made {};
    if (ok) ok = ::fstat(fd, &made) == 0;
    if (!Commit(fd, tmp, *target, ok)) return false;
    // What the file is now, for as long as nobody else replaces it.
    if (::stat(target->c_str(), &written) != 0 || written.st_ino != made.st_ino) written = {};
    return true;
}

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Removes the temporary files beside target that writers killed in mid-write left behind:
// those named after a process that no longer exists.
void RemoveStaleTemporaries(const fs::path& target) {
    const std::string prefix = TempPrefix(target);
    std::error_code ec;
    for (auto it = fs::directory_iterator(FolderOf(target), ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos || dot > 9 || !AllDigits(rest.substr(0, dot)) ||
            !AllDigits(rest.substr(dot + 1))) {
            continue;
        }
        const pid_t pid = static_cast<pid_t>(std::stol(std::string(rest.substr(0, dot))));
        if (pid <= 0 || pid == ::getpid() || ProcessAlive(pid)) continue;  // alive, perhaps another user's
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || st.st_uid != ::geteuid()) continue;  // not ours to remove
        ::unlink(it->path().c_str());
    }
}

// How long a start waits for another process that holds the settings file.
constexpr int kLockWaitMs = 10000;
constexpr int kLockPollMs = 5;

// Takes the lock of the folder that holds target: the folder stays the same object while the
// file in it is replaced. Waits for another holder for kLockWaitMs at most. -1 without a lock.
int LockFolder(const fs::path& target) {
    const int fd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    for (int waited = 0;; waited += kLockPollMs) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));
    }
    ::close(fd);
    return -1;
}

}  // namespace

void EndProcessAfterForTesting(long units) { unitsLeft = units < 0 ? -1 : units; }

// The file as it was last read or written while an update lock is held.
struct IniFile::Kept {
    int locks = 0;                        // update locks held
    std::shared_ptr<const IniText> text;  // nothing: read at the next use
    std::optional<FileKey> key;           // the file the text is of; nothing for a missing file
    std::string untrusted;                // why the text could come from another user
};

namespace {

// The lock of the settings folder: closing the last descriptor releases it. What was kept of
// the file is let go with it.
class FolderLock : public SettingsStore::UpdateLock {
public:
    FolderLock(int fd, std::function<void()> release) : fd_(fd), release_(std::move(release)) {}
    ~FolderLock() override {
        release_();
        ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
    std::function<void()> release_;
};

}  // namespace

IniFile::IniFile(std::string path) : IniStore("\n"), path_(std::move(path)), kept_(std::make_shared<Kept>()) {}

IniFile::~IniFile() = default;

std::unique_ptr<SettingsStore::UpdateLock> IniFile::TakeUpdateLock() {
    const auto target = ResolveLinks(path_);
    if (!target) return nullptr;
    const int fd = LockFolder(*target);
    RemoveStaleTemporaries(*target);
    if (fd < 0) return nullptr;
    std::string text, untrusted;
    struct stat st {};
    const LoadResult r = ReadSettingsFile(path_, kMaxFileSize, text, st, untrusted);
    bool rewritten = false;
    ignored_ = FinishRewrite(*target, untrusted.empty(), rewritten);
    if (kept_->locks++ == 0 && r != LoadResult::Failed && !rewritten) {
        // Kept for the reads that follow.
        kept_->text = std::make_shared<const IniText>(std::move(text));
        kept_->untrusted = std::move(untrusted);
        if (r == LoadResult::Ok) kept_->key.emplace(st);
    }
    return std::make_unique<FolderLock>(fd, [kept = kept_] {
        if (--kept->locks == 0) *kept = Kept{};
    });
}

std::shared_ptr<const IniText> IniFile::Load() const {
    Kept& kept = *kept_;
    if (kept.locks > 0 && kept.text) {
        struct stat st {};
        const bool same = ::stat(path_.c_str(), &st) == 0 ? kept.key && *kept.key == FileKey(st)
                                                          : !kept.key && MissingError(errno);
        if (same) {
            untrusted_ = kept.untrusted;
            return kept.text;
        }
    }
    std::string contents;
    struct stat st {};
    const LoadResult r = ReadSettingsFile(path_, kMaxFileSize, contents, st, untrusted_);
    if (r == LoadResult::Failed) return nullptr;
    auto text = std::make_shared<const IniText>(std::move(contents));
    if (kept.locks > 0) {
        kept.text = text;
        kept.untrusted = untrusted_;
        kept.key.reset();
        if (r == LoadResult::Ok) kept.key.emplace(st);
    }
    return text;
}

bool IniFile::Replace(const IniText& old, std::string text) {
    if (!untrusted_.empty()) return false;  // never write what another user can have put there
    struct stat written {};
    const bool ok = ReplaceFileContents(path_, old.Text(), text, written);
    if (kept_->locks > 0) {
        *kept_ = Kept{kept_->locks, nullptr, std::nullopt, {}};
        if (ok && written.st_ino != 0) {
            kept_->text = std::make_shared<const IniText>(std::move(text));
            kept_->key.emplace(written);
        }
    }
    return ok;
}

}  // namespace vreko::posix
