// The INI reader and writer on a real file: the write properties of ini_properties.h, through
// the file system (reading, replacing and re-reading the file). For the text rules alone at
// full speed, see fuzz_ini_text.cpp.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_file.h"
#include "ini_properties.h"
#include "platform/posix/ini_file.h"

namespace {

class FileStore {
public:
    void Reset(std::string_view text) {
        file_.Write(text);
        ini_ = std::make_unique<vreko::posix::IniFile>(file_.Path());
    }
    std::string Read(std::string_view section, std::string_view key) const {
        return ini_->ReadString(section, key, vreko::fuzz::kAbsent);
    }
    bool Write(std::string_view section, std::string_view key, std::string_view value) {
        return ini_->WriteString(section, key, value);
    }
    std::string Contents() const { return file_.Read(); }

private:
    vreko::fuzz::ScratchFile file_;
    std::unique_ptr<vreko::posix::IniFile> ini_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FileStore store;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    vreko::fuzz::CheckWrite(store, vreko::fuzz::SplitWriteCase(input), vreko::posix::IniFile::kMaxValueLength);
    return 0;
}
