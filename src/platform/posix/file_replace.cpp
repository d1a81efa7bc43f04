// Replacing the settings file in one step, rewriting a file of several names in place (with a
// redo file for a writer that dies in the middle), removing what killed writers left behind,
// and the lock of the folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "platform/posix/file_parts.h"
#include "platform/posix/ini_file.h"
#include "platform/posix/ownership.h"

namespace vreko::posix::files {

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

namespace {

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

}  // namespace

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

namespace {

bool AllDigits(std::string_view s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos; }

}  // namespace

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

}  // namespace vreko::posix::files
