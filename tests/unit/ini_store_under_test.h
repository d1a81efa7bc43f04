// The settings file of the system the tests run on: the Linux one, or the Windows one under
// Wine. The tests of the rules every settings file follows run on either.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/ini_text.h"

namespace vreko::settings_test {

// The system's settings file at path.
std::unique_ptr<SettingsStore> OpenIniStore(const std::string& path);
// How the lines of a file that the store creates end.
extern const std::string kNewFileLineBreak;

// The system's settings file, as a value.
class StoreUnderTest : public SettingsStore {
public:
    static constexpr std::size_t kMaxValueLength = kIniMaxValueLength;

    explicit StoreUnderTest(const std::string& path) : store_(OpenIniStore(path)) {}
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultText) const override {
        return store_->ReadString(section, key, defaultText);
    }
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) override {
        return store_->WriteString(section, key, value);
    }
    const std::string& Path() const override { return store_->Path(); }
    std::string Untrusted() const override { return store_->Untrusted(); }
    std::string Ignored() const override { return store_->Ignored(); }

protected:
    std::unique_ptr<UpdateLock> TakeUpdateLock() override { return store_->LockForUpdate(); }

private:
    std::unique_ptr<SettingsStore> store_;
};

}  // namespace vreko::settings_test
