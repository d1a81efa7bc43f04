// A settings store kept in an INI file, with the text rules of settings/ini_text.h. How the
// file is read, replaced and locked is the backend's.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/ini_text.h"

namespace vreko {

class IniStore : public SettingsStore {
public:
    // The value of key in section, or defaultText when the file, the section or the key is
    // missing, or the file cannot be read. A key line with nothing after its '=' gives an
    // empty text.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const override;

    // Stores value under section and key: in place of the first occurrence of the key, or
    // after the last entry of the section, or in a new section at the end of the file; the
    // file is created when it does not exist. Writing the value already stored leaves the
    // file untouched. False when the file could not be read or written, or when the names or
    // the value cannot be stored in a line of their own (line breaks, '=' in a key, ']' in a
    // section name, empty names).
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) override;

protected:
    // newFileLineBreak: how the lines of a file that has none yet end.
    explicit IniStore(std::string newFileLineBreak) : newFileLineBreak_(std::move(newFileLineBreak)) {}

    // The file's text in UTF-8 (empty for a missing file); null when it cannot be read.
    virtual std::shared_ptr<const IniText> Load() const = 0;
    // Puts text in place of the file that old was loaded from; false when that failed, and
    // the file is then as it was.
    virtual bool Replace(const IniText& old, std::string text) = 0;

private:
    std::string newFileLineBreak_;
};

}  // namespace vreko
