// Reads a program file the way Windows does and prints what it finds, one "name=value" line
// each, for tests/wine/test_exe.sh to compare: the version resource (GetFileVersionInfoW), the
// settings of its manifest as the loader's activation context sees them, and its icon.
// Usage: vreko_exe_check.exe path\to\vreko.exe
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const wchar_t* s) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.resize(std::size_t(n - 1));
    return out;
}

void PrintVersion(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) {
        std::printf("version=none\n");
        return;
    }
    std::vector<unsigned char> data(size);
    if (!::GetFileVersionInfoW(file, 0, size, data.data())) {
        std::printf("version=unreadable\n");
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed) {
        std::printf("FixedFileVersion=%u.%u.%u.%u\n", unsigned(HIWORD(fixed->dwFileVersionMS)),
                    unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                    unsigned(LOWORD(fixed->dwFileVersionLS)));
        std::printf("FixedProductVersion=%u.%u.%u.%u\n", unsigned(HIWORD(fixed->dwProductVersionMS)),
                    unsigned(LOWORD(fixed->dwProductVersionMS)), unsigned(HIWORD(fixed->dwProductVersionLS)),
                    unsigned(LOWORD(fixed->dwProductVersionLS)));
        std::printf("FileType=%s\n", fixed->dwFileType == VFT_APP ? "application" : "other");
    }
    // The strings of the first language the file lists.
    struct Translation {
        WORD language, codePage;
    };
    Translation* tr = nullptr;
    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len) || !tr ||
        len < sizeof(Translation)) {
        std::printf("Translation=none\n");
        return;
    }
    std::printf("Translation=%04x/%u\n", tr->language, tr->codePage);
    for (const wchar_t* name : {L"ProductName", L"FileDescription", L"FileVersion", L"ProductVersion",
                                L"OriginalFilename", L"InternalName", L"CompanyName", L"LegalCopyright"}) {
        wchar_t path[128];
        std::swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", tr->language, tr->codePage, name);
        wchar_t* value = nullptr;
        if (::VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&value), &len) && value)
            std::printf("%s=%s\n", Narrow(name).c_str(), Narrow(value).c_str());
    }
}

void PrintManifest(const wchar_t* file) {
    ACTCTXW ctx{};
    ctx.cbSize = sizeof ctx;
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = file;
    ctx.lpResourceName = MAKEINTRESOURCEW(1);  // the process's own manifest
    HANDLE h = ::CreateActCtxW(&ctx);
    if (h == INVALID_HANDLE_VALUE) {
        std::printf("manifest=none (error %lu)\n", ::GetLastError());
        return;
    }
    std::printf("manifest=loaded\n");
    wchar_t value[64] = {};
    SIZE_T written = 0;
    if (::QueryActCtxSettingsW(0, h, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", value, 64,
                               &written))
        std::printf("dpiAware=%s\n", Narrow(value).c_str());
    else
        std::printf("dpiAware=unset\n");
    if (::QueryActCtxSettingsW(0, h, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", value,
                               64, &written))
        std::printf("dpiAwareness=%s\n", Narrow(value).c_str());
    else
        std::printf("dpiAwareness=unset\n");
    ::ReleaseActCtx(h);
}

void PrintIcon(const wchar_t* file) {
    HMODULE module = ::LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        std::printf("icon=unreadable\n");
        return;
    }
    // The icon group the window classes load (resource 1), and in it the picture that Windows
    // picks for each size the shell shows; listed are the sizes the icon holds exactly.
    std::string sizes;
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    auto* dir = group ? static_cast<BYTE*>(::LockResource(::LoadResource(module, group))) : nullptr;
    for (int size : {16, 32, 48, 256}) {
        if (!dir) break;
        const int id = ::LookupIconIdFromDirectoryEx(dir, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image = id ? ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3)) : nullptr;  // RT_ICON
        const auto* bits =
            image ? static_cast<const unsigned char*>(::LockResource(::LoadResource(module, image))) : nullptr;
        if (!bits) continue;
        // A picture is a PNG (its width at byte 16, big-endian) or a bitmap header.
        long width = 0;
        if (std::memcmp(bits, "\x89PNG", 4) == 0)
            width = (long(bits[16]) << 24) | (long(bits[17]) << 16) | (long(bits[18]) << 8) | long(bits[19]);
        else
            width = reinterpret_cast<const BITMAPINFOHEADER*>(bits)->biWidth;
        if (width == size) sizes += (sizes.empty() ? "" : ",") + std::to_string(size);
    }
    std::printf("icon=%s\n", sizes.empty() ? "none" : sizes.c_str());
    ::FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vreko_exe_check.exe path\\to\\program.exe\n");
        return 2;
    }
    PrintVersion(argv[1]);
    PrintManifest(argv[1]);
    PrintIcon(argv[1]);
    return 0;
}
