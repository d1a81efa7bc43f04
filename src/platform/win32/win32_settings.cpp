#include "platform/win32/win32_settings.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/win32/win32_platform.h"
#include "settings/ini_encoding.h"
#include "settings/ini_store.h"

namespace vreko::win32 {

namespace {

// Units of work left before the process ends as if killed (EndProcessAfterForTesting); -1: no end.
long unitsLeft = -1;

// Before a step of n units of work: the part of it that may be done before the process ends.
DWORD Allow(DWORD n) {
    if (unitsLeft < 0) return n;
    if (unitsLeft == 0) ::TerminateProcess(::GetCurrentProcess(), kEndedForTestingExitCode);
    const DWORD allowed = std::min<DWORD>(n, DWORD(std::min<long>(unitsLeft, 0x7FFFFFFF)));
    unitsLeft -= long(allowed);
    return allowed;
}

// Before a step that changes the disk without writing bytes.
void Step() { Allow(1); }

// The system's 8-bit code page (GetACP).
class SystemCodePage : public AnsiCodePage {
public:
    std::string ToUtf8(std::string_view ansi) const override {
        if (ansi.empty()) return {};
        const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
        std::wstring wide(std::size_t(std::max(0, n)), L'\0');
        if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide.data(), n);
        return Narrow(wide);
    }

    std::optional<std::string> FromUtf8(std::string_view utf8) const override {
        if (utf8.empty()) return std::string();
        const int wn = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
        if (wn <= 0) return std::nullopt;
        std::wstring wide(std::size_t(wn), L'\0');
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), wn);
        // Characters the code page lacks are refused rather than written as look-alikes.
        BOOL lossy = FALSE;
        const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wn, nullptr, 0, nullptr, &lossy);
        if (n <= 0 || lossy) return std::nullopt;
        std::string out(std::size_t(n), '\0');
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wn, out.data(), n, nullptr, &lossy);
        if (lossy) return std::nullopt;
        return out;
    }
};

const SystemCodePage& CodePage() {
    static const SystemCodePage page;
    return page;
}

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    void Reset(HANDLE h) {
        Close();
        h_ = h;
    }
    HANDLE Release() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    bool Close() {
        const bool ok = !Valid() || ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

enum class LoadResult { Ok, Missing, Failed };

LoadResult ReadDiskFile(const std::wstring& file, std::string& out) {
    out.clear();
    Handle h(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
        const DWORD err = ::GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? LoadResult::Missing : LoadResult::Failed;
    }
    // A folder fails to open above; a pipe, a console or a device is refused here.
    LARGE_INTEGER size{};
    if (::GetFileType(h.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(h.get(), &size) || size.QuadPart < 0 ||
        std::uint64_t(size.QuadPart) > kMaxSettingsFileSize) {
        return LoadResult::Failed;
    }
    // One byte more than the file holds, to see its end.
    out.resize(std::size_t(size.QuadPart) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == out.size()) {
            if (used > kMaxSettingsFileSize) break;
            out.resize(std::min(2 * used, kMaxSettingsFileSize + 1));
        }
        DWORD got = 0;
        if (!::ReadFile(h.get(), out.data() + used, DWORD(out.size() - used), &got, nullptr)) {
            out.clear();
            return LoadResult::Failed;
        }
        if (got == 0) break;
        used += got;
    }
    if (used > kMaxSettingsFileSize) {
        out.clear();
        return LoadResult::Failed;
    }
    out.resize(used);
    return LoadResult::Ok;
}

bool WriteAll(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        DWORD written = 0;
        const DWORD chunk = Allow(DWORD(std::min<std::size_t>(data.size(), 1u << 20)));
        if (!::WriteFile(h, data.data(), chunk, &written, nullptr)) return false;
        data.remove_prefix(written);
    }
    return true;
}

// n in decimal digits (without the C runtime's formatted printing, which the program needs
// nowhere else).
std::wstring Decimal(unsigned long n) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), wchar_t(L'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return digits;
}

// The new files that writers make beside the settings file: its name, ".", the writer's
// process id, "-", a number, ".new".
std::wstring NewFilePattern(const std::wstring& file) { return file + L".*.new"; }

// The folder part of a path, with its separator ("" for a bare name).
std::wstring FolderOf(const std::wstring& file) {
    const auto cut = file.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : file.substr(0, cut + 1);
}

// Writes contents to a new file beside file, flushes it and moves it over file.
bool ReplaceContents(const std::wstring& file, std::string_view contents) {
    const DWORD old = ::GetFileAttributesW(file.c_str());
    const bool existed = old != INVALID_FILE_ATTRIBUTES;
    if (!existed) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_NOT_FOUND) return false;
    }
    // A folder, or a file the user marked read-only: never written.
    if (existed && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) return false;
    // The new file keeps the old one's hidden, system and archive marks.
    const DWORD keep = existed ? old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE) : 0;

    static unsigned counter = 0;
    std::wstring tmp;
    Handle h;
    for (int attempt = 0; attempt < 100 && !h.Valid(); ++attempt) {
        tmp = file + L"." + Decimal(::GetCurrentProcessId()) + L"-" + Decimal(counter++) + L".new";
        // Not shared: the next start's clean-up cannot remove it while it is being written.
        h.Reset(::CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, keep ? keep : FILE_ATTRIBUTE_NORMAL,
                              nullptr));
        if (!h.Valid() && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (!h.Valid()) return false;
    bool ok = WriteAll(h.get(), contents);
    if (ok) {
        Step();
        ok = ::FlushFileBuffers(h.get()) != FALSE;
    }
    if (!h.Close()) ok = false;
    if (ok) {
        Step();
        ok = ::MoveFileExW(tmp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!ok) ::DeleteFileW(tmp.c_str());
    return ok;
}

// Removes the new files that writers killed in mid-write left beside file. One that is still
// being written is open without sharing, and stays.
void RemoveStaleNewFiles(const std::wstring& file) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(NewFilePattern(file).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const std::wstring folder = FolderOf(file);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// How long a start waits for another copy that holds the settings file.
constexpr DWORD kLockWaitMs = 10000;
constexpr DWORD kLockPollMs = 5;

class FileLock : public SettingsStore::UpdateLock {
public:
    explicit FileLock(HANDLE h) : h_(h) {}
    ~FileLock() override {
        OVERLAPPED at{};
        ::UnlockFileEx(h_.get(), 0, 1, 0, &at);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    Handle h_;
};

class IniFile : public IniStore {
public:
    explicit IniFile(std::string path) : IniStore("\r\n"), path_(std::move(path)), file_(Widen(path_)) {}

    const std::string& Path() const override { return path_; }

protected:
    std::unique_ptr<UpdateLock> TakeUpdateLock() override {
        // Shared for reading and writing, not for deleting: nobody removes it while it is held.
        Handle h(::CreateFileW((file_ + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN,
                               nullptr));
        if (!h.Valid()) return nullptr;
        for (DWORD waited = 0;; waited += kLockPollMs) {
            OVERLAPPED at{};
            if (::LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
            if (waited >= kLockWaitMs) return nullptr;
            ::Sleep(kLockPollMs);
        }
        RemoveStaleNewFiles(file_);
        return std::make_unique<FileLock>(h.Release());
    }

    std::shared_ptr<const IniText> Load() const override {
        std::string bytes;
        const LoadResult r = ReadDiskFile(file_, bytes);
        if (r == LoadResult::Failed) return nullptr;
        encoding_ = DetectIniEncoding(bytes);
        std::string text = DecodeIni(bytes, encoding_, CodePage());
        // Only a file that its encoding gives back byte for byte may be written.
        writable_ = EncodeIni(text, encoding_, CodePage()) == bytes;
        return std::make_shared<const IniText>(std::move(text));
    }

    bool Replace(const IniText&, std::string text) override {
        if (!writable_) return false;
        const std::optional<std::string> bytes = EncodeIni(text, encoding_, CodePage());
        return bytes && ReplaceContents(file_, *bytes);
    }

private:
    std::string path_;
    std::wstring file_;
    // Of the file as last loaded.
    mutable IniEncoding encoding_ = IniEncoding::Ansi;
    mutable bool writable_ = true;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenIniFile(const std::string& path) { return std::make_unique<IniFile>(path); }

void EndProcessAfterForTesting(long units) { unitsLeft = units < 0 ? -1 : units; }

}  // namespace vreko::win32
