// The settings file on Linux: an INI file (see settings/ini_text.h for its text rules) read
// and written with the file system's own calls.
//
// Writing keeps every other line of the file exactly as it was, with the file's own line
// endings ("\n" for a file that has none yet), and replaces the file in one step (temporary
// file, flush to disk, rename), so a failed or interrupted write leaves the old file whole. A
// file without any write permission bit is never written; a file with several hard links is
// written in place, so that its names stay one file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/ini_text.h"

namespace vreko::posix {

class IniFile : public SettingsStore {
public:
    static constexpr std::size_t kMaxValueLength = kIniMaxValueLength;

    explicit IniFile(std::string path);

    // The value of key in section, or defaultText when the file, the section or the key is
    // missing. A key line with nothing after its '=' gives an empty text.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const override;

    // Stores value under section and key: in place of the first occurrence of the key, or
    // after the last entry of the section, or in a new section at the end of the file; the
    // file is created when it does not exist. Writing the value already stored leaves the
    // file untouched. Through a symbolic link the link's target is replaced. False when the
    // file could not be read or written, or when the names or the value cannot be stored in
    // a line of their own (line breaks, '=' in a key, ']' in a section name, empty names).
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) override;

    const std::string& Path() const override { return path_; }

    // Other processes that ask for the same lock wait until it is destroyed (ten seconds at
    // most, then they go on without). Taking it also removes the temporary files that writers
    // killed in mid-write left beside the file. Null where the lock cannot be had.
    std::unique_ptr<UpdateLock> LockForUpdate() override;

private:
    std::string path_;
};

}  // namespace vreko::posix
