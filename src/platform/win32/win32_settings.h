// The settings file on Windows: an INI file (see settings/ini_text.h for its text rules) in
// any of the encodings editors save it in (settings/ini_encoding.h), read and written with
// the program's own code rather than the system's profile functions, which read every file
// but a UTF-16 one in the 8-bit code page.
//
// Only a disk file of at most kMaxFileSize bytes is read. Writing keeps every other line of
// the file exactly as it was, in the file's own encoding and line endings (a new file is
// written in the 8-bit code page with "\r\n"), and replaces the file in one step: a new file
// beside it, flushed to disk, then moved over it (MoveFileExW with MOVEFILE_REPLACE_EXISTING
// and MOVEFILE_WRITE_THROUGH), so a failed or killed write leaves the old file whole. A file
// with the read-only attribute is never written, nor one whose bytes its encoding would not
// give back as they are.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace vreko::win32 {

inline constexpr std::size_t kMaxSettingsFileSize = std::size_t(16) << 20;

// The settings file at path (UTF-8). Its update lock is a lock (LockFileEx) on the hidden
// file path + ".lock" beside it, which copies of the program share: another copy waits for it
// ten seconds at most, then goes on without. Taking it also removes the new files that
// writers killed in mid-write left beside the settings file.
std::unique_ptr<SettingsStore> OpenIniFile(const std::string& path);

// For tests of interrupted writes: the process ends at once (TerminateProcess, as a kill
// does), when this many more units of work on settings files have been done: one unit per
// byte written and one per other step that changes the disk (flush, move). Negative: never.
void EndProcessAfterForTesting(long units);
// The exit code of a process ended that way.
inline constexpr unsigned kEndedForTestingExitCode = 86;

}  // namespace vreko::win32
