// The settings file's own work on the disk, shared by the parts of the Linux settings store
// (ini_file.cpp): reading with the test of who can have written the file (settings_read.cpp),
// and replacing, rewriting in place, cleaning up and locking (file_replace.cpp), over the steps
// of file_parts.cpp.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vreko::posix::files {

namespace fs = std::filesystem;

// --- steps (file_parts.cpp) --------------------------------------------------------------

// Before a step of n units of work: the part of it that may be done before the process ends
// (EndProcessAfterForTesting).
std::size_t Allow(std::size_t n);
// Before a step that changes the disk without writing bytes.
void Step();

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

bool MissingError(int err);
fs::path FolderOf(const fs::path& target);

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
LoadResult ReadOpenFile(int fd, std::size_t maxSize, std::string& out, struct stat& st);
// Opens name, in the folder open as dirFd, for reading: a regular file of at most maxSize bytes,
// not followed when it is a link, opened without waiting; anything else is refused before it is
// opened. entry describes the name as found.
int OpenRegularAt(int dirFd, const std::string& name, std::size_t maxSize, const struct stat& entry);

bool WriteAllAt(int fd, off_t offset, std::string_view data);
bool Sync(int fd);
void SyncDirectory(const fs::path& dir);
// The start of the names of the temporary files written beside target.
std::string TempPrefix(const fs::path& target);
// A new temporary file beside target, open for writing; -1 when none can be made.
int CreateTemporary(const fs::path& target, mode_t mode, fs::path& tmp);
// Flushes the temporary file open as fd, closes it and renames it to target (removed when
// that fails).
bool Commit(int fd, const fs::path& tmp, const fs::path& target, bool ok);

// --- reading (settings_read.cpp) ---------------------------------------------------------

// Reads the settings file at path, of at most maxSize bytes, into out; st describes what was
// read. Links are followed one at a time, each from the folder that holds it. untrusted tells
// why what was read (or, for a missing file, what would be written there) could come from
// another user; it is empty when it could not.
LoadResult ReadSettingsFile(const std::string& path, std::size_t maxSize, std::string& out, struct stat& st,
                            std::string& untrusted);

// --- replacing (file_replace.cpp) --------------------------------------------------------

// The file a path stands for: symbolic links followed to their final target (which need not
// exist yet). Nothing when the links loop.
std::optional<fs::path> ResolveLinks(const std::string& path);
// Finishes the in-place rewrite of target that a writer which has died left undone (see
// file_replace.cpp); the text returned tells the user of a redo file left alone. wrote: the
// settings file was written.
std::string FinishRewrite(const fs::path& target, bool targetTrusted, bool& wrote);
// Writes contents in place of the file at path, in one step; written describes the file as it
// is afterwards.
bool ReplaceFileContents(const std::string& path, std::string_view oldContents, std::string_view contents,
                         struct stat& written);
// Removes the temporary files beside target that writers killed in mid-write left behind.
void RemoveStaleTemporaries(const fs::path& target);
// Takes the lock of the folder that holds target, waiting a while for another holder; -1
// without a lock.
int LockFolder(const fs::path& target);

}  // namespace vreko::posix::files
