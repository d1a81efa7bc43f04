// Where the program keeps its settings, as the backend provides it: named texts in sections,
// read and written one at a time: an INI file with atomic replacement (settings/ini_store.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vreko {

inline constexpr const char* kSettingsFileName = "Vreko.INI";

// The texts written for missing keys. The two commands are each backend's own; the rest is
// the same everywhere.
struct SettingsDefaults {
    std::string TimePause = "10";
    std::string FileName1, Param1, FileName2, Param2;
    std::string FontName = "Arial Black", FontSize = "90";
    std::string PositionTop = "0", PositionLeft = "0", PositionCenter = "1", Test = "0";
};

class SettingsStore {
public:
    // Held while a sequence of reads and writes must see the settings as no other copy of the
    // program changes them; released when destroyed.
    class UpdateLock {
    public:
        virtual ~UpdateLock() = default;
    };

    virtual ~SettingsStore() = default;

    // The value of key in section, or defaultText when it is missing.
    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultText) const = 0;
    // Stores value under section and key; false when it could not be stored.
    virtual bool WriteString(std::string_view section, std::string_view key, std::string_view value) = 0;
    // Where the settings are, as the user is told when they cannot be written.
    virtual const std::string& Path() const = 0;
    // Why the settings as last read could have been written by another user, in words for the
    // user that name what is at fault; empty when only the user (or the system's administrator)
    // can have written them. No command is taken from such settings, and nothing is written
    // into them.
    virtual std::string Untrusted() const { return {}; }
    // What the last LockForUpdate found beside the settings and left alone because another user
    // can have made it, in words for the user; empty when nothing.
    virtual std::string Ignored() const { return {}; }
    // The lock of the settings against other copies; null where none can be had (the
    // sequence then runs unguarded). A lock thrown away at once guards nothing: the compiler
    // refuses to let the result go unused.
    [[nodiscard]] std::unique_ptr<UpdateLock> LockForUpdate() { return TakeUpdateLock(); }

protected:
    // The store's own way of taking the lock.
    virtual std::unique_ptr<UpdateLock> TakeUpdateLock() = 0;
};

}  // namespace vreko
