#include "settings/ini_store.h"

#include <optional>

namespace vreko {

std::string IniStore::ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const {
    const std::shared_ptr<const IniText> text = Load();
    if (!text) return std::string(defaultText);
    std::optional<std::string> value = text->Find(section, key);
    return value ? std::move(*value) : std::string(defaultText);
}

bool IniStore::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!IniCanStore(section, key, value)) return false;
    const std::shared_ptr<const IniText> text = Load();
    if (!text) return false;  // never overwrite what we cannot read
    std::optional<std::string> out = text->WithValue(section, key, value, newFileLineBreak_);
    if (!out) return false;
    if (*out == text->Text()) return true;  // already stored: leave the file alone
    return Replace(*text, std::move(*out));
}

}  // namespace vreko
