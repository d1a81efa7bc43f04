// The steps of the settings file's work on the disk: reading a regular file whole, writing,
// flushing, and making a temporary file and renaming it into place. Each step that changes the
// disk counts against EndProcessAfterForTesting.
#include "platform/posix/file_parts.h"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/posix/ini_file.h"

namespace vreko::posix {

namespace {

// Units of work left before the process ends as if killed (EndProcessAfterForTesting); -1: no end.
long unitsLeft = -1;

}  // namespace

void EndProcessAfterForTesting(long units) { unitsLeft = units < 0 ? -1 : units; }

namespace files {

std::size_t Allow(std::size_t n) {
    if (unitsLeft < 0) return n;
    if (unitsLeft == 0) ::_exit(kEndedForTestingExitCode);
    const std::size_t allowed = std::min(n, static_cast<std::size_t>(unitsLeft));
    unitsLeft -= static_cast<long>(allowed);
    return allowed;
}

void Step() { Allow(1); }

bool MissingError(int err) { return err == ENOENT || err == ENOTDIR; }

fs::path FolderOf(const fs::path& target) {
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

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

}  // namespace files

}  // namespace vreko::posix
