// A small reader and writer for INI files ("[section]" headers and "key=value" lines).
//
// Reading: section and key names match without regard to ASCII letter case; blanks (spaces
// and tabs) around names and values are ignored; a value enclosed in a pair of the same
// quotation marks (" or ') loses them; at most kMaxValueLength characters of a value are used.
// Lines whose first non-blank character is ';' or '#' are comments. The first of duplicate
// sections, and within it the first of duplicate keys, is the one that counts. A line ends at
// "\n", "\r\n" or a lone "\r", as in the Windows profile functions.
//
// Writing keeps every other line of the file exactly as it was, with the file's own line
// endings, and replaces the file in one step (temporary file, flush to disk, rename), so a
// failed or interrupted write leaves the old file whole. A file without any write permission
// bit is never written; a file with several hard links is written in place, so that its
// names stay one file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vreko {

class IniFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit IniFile(std::string path);

    // The value of key in section, or defaultText when the file, the section or the key is
    // missing. A key line with nothing after its '=' gives an empty text.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const;

    // Stores value under section and key: in place of the first occurrence of the key, or
    // after the last entry of the section, or in a new section at the end of the file; the
    // file is created when it does not exist. Writing the value already stored leaves the
    // file untouched. Through a symbolic link the link's target is replaced. False when the
    // file could not be read or written, or when the names or the value cannot be stored in
    // a line of their own (line breaks, '=' in a key, ']' in a section name, empty names).
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    const std::string& Path() const { return path_; }

    // Held while a sequence of reads and writes must see the file as no other process changes
    // it: other processes that ask for the same lock wait until it is destroyed (ten seconds
    // at most, then they go on without). Taking it also removes the temporary files that
    // writers killed in mid-write left beside the file. Where the lock cannot be had, the
    // object holds nothing and the sequence runs unguarded.
    class UpdateLock {
    public:
        UpdateLock() = default;
        UpdateLock(UpdateLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
        UpdateLock& operator=(UpdateLock&& other) noexcept;
        ~UpdateLock();
        bool Held() const { return handle_ >= 0; }

    private:
        friend class IniFile;
        int handle_ = -1;
    };
    UpdateLock LockForUpdate() const;

private:
    std::string path_;
};

}  // namespace vreko
