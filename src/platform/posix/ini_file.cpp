#include "platform/posix/ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#include "settings/ini_text.h"

namespace vreko::posix {

namespace fs = std::filesystem;

namespace {

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



// The lock of the settings folder: closing the last descriptor releases it.
class FolderLock : public SettingsStore::UpdateLock {
public:
    explicit FolderLock(int fd) : fd_(fd) {}
    ~FolderLock() override { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::unique_ptr<SettingsStore::UpdateLock> IniFile::LockForUpdate() {
    const auto target = ResolveLinks(path_);
    if (!target) return nullptr;
    const int fd = LockFolder(*target);
    RemoveStaleTemporaries(*target);
    if (fd < 0) return nullptr;
    return std::make_unique<FolderLock>(fd);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const {
    std::string text;
    if (LoadFile(path_, text) != LoadResult::Ok) return std::string(defaultText);
    std::optional<std::string> value = IniFindValue(text, section, key);
    return value ? std::move(*value) : std::string(defaultText);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!IniCanStore(section, key, value)) return false;
    std::string text;
    if (LoadFile(path_, text) == LoadResult::Failed) return false;  // never overwrite what we cannot read
    const std::optional<std::string> out = IniWithValue(text, section, key, value, "\n");
    if (!out) return false;
    if (*out == text) return true;  // already stored: leave the file alone
    return ReplaceFileContents(path_, *out);
}

}  // namespace vreko::posix
