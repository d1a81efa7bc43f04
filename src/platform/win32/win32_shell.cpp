// Launching a command: the shell's ShellExecuteExW, with COM initialised on the thread as the
// shell asks of a program that opens documents, links and URLs through it.
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// The shell and COM, loaded from the system folder only (a DLL of the same name in the
// program's folder or the current one is never taken), at the first launch rather than at
// start: most runs launch once, at the end, and the window shows sooner without them.
struct ShellApi {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
    ShellExecuteExFn shellExecuteEx = nullptr;
    CoInitializeExFn coInitializeEx = nullptr;
};

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

const ShellApi& Api() {
    static const ShellApi api = [] {
        ShellApi a;
        a.coInitializeEx = Lookup<ShellApi::CoInitializeExFn>(
            ::LoadLibraryExW(L"ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "CoInitializeEx");
        // COM once for the thread, before the shell is loaded: the program's one GUI thread
        // is a single-threaded apartment, without the old DDE of OLE 1.
        if (a.coInitializeEx) a.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        a.shellExecuteEx = Lookup<ShellApi::ShellExecuteExFn>(
            ::LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "ShellExecuteExW");
        return a;
    }();
    return api;
}

}  // namespace

Launched Win32Platform::Launch(const std::string& file, const std::string& params) {
    const ShellApi& api = Api();
    if (!api.shellExecuteEx) return {LaunchOutcome::NotStarted, "the shell cannot be loaded"};
    const std::wstring wfile = Widen(file);
    const std::wstring wparams = Widen(params);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The call returns once the shell has started the command (the program may end right
    // after it, as it does after the second command), and a failure comes back as a result
    // for the program's own box rather than as a box of the shell's.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = wfile.c_str();
    info.lpParameters = wparams.empty() ? nullptr : wparams.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (api.shellExecuteEx(&info) != FALSE) return {LaunchOutcome::Started, {}};
    // The shell's own error number (32 or less) when it gives one, else the system's.
    const std::intptr_t result = reinterpret_cast<std::intptr_t>(info.hInstApp);
    const std::uintptr_t code = result > 0 && result <= 32 ? std::uintptr_t(result) : ::GetLastError();
    return {LaunchOutcome::NotStarted, "error " + std::to_string(code)};
}

}  // namespace vreko::win32
