// The INI text rules in memory, without a file: the write properties of ini_properties.h on
// IniText alone, some hundred times faster than through the file system, so that a short run
// reaches the odd names and values (a key that starts like a comment, a lone carriage return).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ini_properties.h"
#include "settings/ini_text.h"

namespace {

class MemoryStore {
public:
    void Reset(std::string_view text) { ini_ = vreko::IniText(std::string(text)); }
    std::string Read(std::string_view section, std::string_view key) const {
        const std::optional<std::string> v = ini_.Find(section, key);
        return v ? *v : std::string(vreko::fuzz::kAbsent);
    }
    bool Write(std::string_view section, std::string_view key, std::string_view value) {
        std::optional<std::string> text = ini_.WithValue(section, key, value, "\n");
        if (!text) return false;
        ini_ = vreko::IniText(std::move(*text));
        return true;
    }
    std::string Contents() const { return ini_.Text(); }

private:
    vreko::IniText ini_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryStore store;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    vreko::fuzz::CheckWrite(store, vreko::fuzz::SplitWriteCase(input), vreko::kIniMaxValueLength);
    return 0;
}
