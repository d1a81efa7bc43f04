// Reading the settings file, and telling whether another user can have written what was read.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

#include "platform/posix/file_parts.h"
#include "platform/posix/ownership.h"

namespace vreko::posix::files {

namespace {

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
    const std::string shared =
        entry + " lies in " + folder + ", which other users can write to (mode " + ModeText(dir.st_mode) + ")";
    if (!(dir.st_mode & S_ISVTX)) return shared + ".";
    if (entryOwner != ::geteuid())
        return shared + ", and it is not yours (it belongs to " + UserName(entryOwner) + ").";
    return {};
}

// Why the file described by st could have been written by another user; empty when it could not.
std::string FileProblem(const std::string& file, const struct stat& st) {
    if (!TrustedOwner(st.st_uid)) return file + " belongs to another user (" + UserName(st.st_uid) + ").";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return file + " is writable by other users (mode " + ModeText(st.st_mode) + ").";
    return {};
}

}  // namespace

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

}  // namespace vreko::posix::files
