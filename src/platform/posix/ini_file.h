// The settings file on Linux: an INI file (see settings/ini_text.h for its text rules) read
// and written with the file system's own calls.
//
// Only a regular file of at most kMaxFileSize bytes is read; it is opened without waiting,
// so a FIFO or a device in its place reads as a file that cannot be read (and is never
// written), as does a larger file.
//
// Writing keeps every other line of the file exactly as it was, with the file's own line
// endings ("\n" for a file that has none yet), and replaces the file in one step (temporary
// file, flush to disk, rename), so a failed or interrupted write leaves the old file whole.
// The new file keeps the old one's owner and group (where the system lets us), mode,
// extended attributes and ACLs. A file without any write permission bit is never written. A
// file with several hard links is rewritten in place, so that its names stay one file: its
// new contents are first saved beside it in a redo file, and a writer that dies in the middle
// leaves that file behind for the next LockForUpdate to finish the rewrite with.
//
// Every read also tells whether another user can have written what was read (Untrusted):
// the file must belong to the user or to root and be writable by neither its group nor
// others, and every folder on the way to it, through its links, must belong to the user or to
// root and be writable by nobody else, or be sticky (as /tmp) and hold an entry of the user's
// own. Such a file is never written, and a redo file is replayed only when it is the user's
// own, beside a settings file that passes the same test.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/ini_store.h"
#include "settings/ini_text.h"

namespace vreko::posix {

class IniFile : public IniStore {
public:
    static constexpr std::size_t kMaxValueLength = kIniMaxValueLength;
    // The largest settings file that is read, in bytes.
    static constexpr std::size_t kMaxFileSize = std::size_t(16) << 20;

    explicit IniFile(std::string path);
    ~IniFile() override;

    // Reading and writing as IniStore does; through a symbolic link the link's target is
    // replaced.
    const std::string& Path() const override { return path_; }

    // Why the file as last read (by ReadString or WriteString) could have been written by
    // another user, naming the file or the folder at fault ("/x/Vreko.INI is writable by other
    // users (mode 0666)."); for a missing file, why a file made there could be. Empty when
    // only the user or root can have written it. WriteString never writes such a file.
    std::string Untrusted() const override { return untrusted_; }

    // A redo file that the last LockForUpdate left alone because another user can have made
    // or changed it ("/x/.Vreko.INI.redo was left by another user (mallory) and is ignored.").
    std::string Ignored() const override { return ignored_; }

    // LockForUpdate: other processes that ask for the same lock wait until it is destroyed
    // (ten seconds at most, then they go on without). Taking it also removes the temporary files that writers
    // killed in mid-write left beside the file, and finishes an in-place rewrite that such a
    // writer left undone. While it is held, the file is read and parsed once and kept: later
    // reads and writes use what was kept, and read the file again only when it has changed
    // on disk. Null where the lock cannot be had. A redo file is replayed only as told above.
protected:
    std::unique_ptr<UpdateLock> TakeUpdateLock() override;
    std::shared_ptr<const IniText> Load() const override;
    bool Replace(const IniText& old, std::string text) override;

private:
    struct Kept;

    std::string path_;
    std::shared_ptr<Kept> kept_;
    mutable std::string untrusted_;
    std::string ignored_;
};

// For tests of interrupted writes: the process ends at once, as if killed, when this many
// more units of work on settings files have been done: one unit per byte written and one per
// other step that changes the disk (flush, truncate, rename, removal). Negative: never.
void EndProcessAfterForTesting(long units);
// The exit code of a process ended that way.
inline constexpr int kEndedForTestingExitCode = 86;

}  // namespace vreko::posix
