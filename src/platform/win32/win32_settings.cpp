// The settings through the system's profile functions, which read and write the usual 8-bit
// INI files as well as Unicode ones.
#include <algorithm>
#include <cwctype>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// Held while one copy reads and completes the settings file; other copies wait for it.
class MutexLock : public SettingsStore::UpdateLock {
public:
    explicit MutexLock(HANDLE h) : h_(h) {}
    ~MutexLock() override {
        ::ReleaseMutex(h_);
        ::CloseHandle(h_);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    HANDLE h_;
};

// How long a copy waits for another to finish with the settings before it goes on unguarded.
constexpr DWORD kLockWaitMs = 10000;

class ProfileSettings : public SettingsStore {
public:
    explicit ProfileSettings(std::string path) : path_(std::move(path)), file_(Widen(path_)) {}

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultText) const override {
        const std::wstring s = Widen(section), k = Widen(key), d = Widen(defaultText);
        std::wstring buf(256, L'\0');
        for (;;) {
            const DWORD n = ::GetPrivateProfileStringW(s.c_str(), k.c_str(), d.c_str(), buf.data(), DWORD(buf.size()),
                                                       file_.c_str());
            // A value that filled the buffer may have been cut short: read again with more room.
            if (n + 1 < buf.size() || buf.size() >= (1u << 20)) {
                buf.resize(n);
                return Narrow(buf);
            }
            buf.resize(buf.size() * 4);
        }
    }

    bool WriteString(std::string_view section, std::string_view key, std::string_view value) override {
        const std::wstring s = Widen(section), k = Widen(key), v = Widen(value);
        return ::WritePrivateProfileStringW(s.c_str(), k.c_str(), v.c_str(), file_.c_str()) != FALSE;
    }

    const std::string& Path() const override { return path_; }

protected:
    std::unique_ptr<UpdateLock> TakeUpdateLock() override {
        // One mutex per settings file, named after its path (case does not matter to Windows
        // paths, and a mutex name cannot hold a backslash).
        std::wstring name = L"Vreko.Settings.";
        for (wchar_t c : file_) name += c == L'\\' ? L'/' : wchar_t(std::towupper(c));
        HANDLE h = ::CreateMutexW(nullptr, FALSE, name.c_str());
        if (!h) return nullptr;
        const DWORD r = ::WaitForSingleObject(h, kLockWaitMs);
        if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {
            ::CloseHandle(h);
            return nullptr;
        }
        return std::make_unique<MutexLock>(h);
    }

private:
    std::string path_;
    std::wstring file_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenProfileSettings(const std::string& path) {
    return std::make_unique<ProfileSettings>(path);
}

}  // namespace vreko::win32
