// The single-instance guard's named locks and the running copy's window on Windows: locks are
// named mutexes of the session, and the running copy's application window is found by its
// class and title, and restored or brought forward by the system.
#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// A named mutex of the session: the lock the copies of the program share.
class MutexLock : public NamedLock {
public:
    explicit MutexLock(HANDLE h) : h_(h) {}
    ~MutexLock() override { ::CloseHandle(h_); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    LockWait TakeWithin(int limitMs) override {
        switch (::WaitForSingleObject(h_, DWORD(std::max(0, limitMs)))) {
            case WAIT_OBJECT_0: return LockWait::Taken;
            case WAIT_ABANDONED: return LockWait::Abandoned;
            case WAIT_TIMEOUT: return LockWait::TimedOut;
            default: return LockWait::Failed;
        }
    }
    void Release() override { ::ReleaseMutex(h_); }

private:
    HANDLE h_;
};

}  // namespace

std::unique_ptr<NamedLock> Win32Platform::MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) {
    const std::wstring wname = Widen(name);
    ::SetLastError(ERROR_SUCCESS);
    HANDLE h = ::CreateMutexW(nullptr, takeNow ? TRUE : FALSE, wname.c_str());
    const DWORD error = ::GetLastError();
    if (!h) {
        // Made by another copy with rights this one lacks (one started elevated, the other not).
        how = error == ERROR_ACCESS_DENIED ? LockOpened::Denied : LockOpened::Failed;
        return nullptr;
    }
    how = error == ERROR_ALREADY_EXISTS ? LockOpened::Existed : LockOpened::Created;
    return std::make_unique<MutexLock>(h);
}

WindowRef Win32Platform::FindAppWindow(WindowRef after, const std::string& className, const std::string& title) {
    const std::wstring wclass = Widen(className);
    const std::wstring wtitle = Widen(title);
    return Ref(::FindWindowExW(nullptr, Hwnd(after), wclass.c_str(), wtitle.c_str()));
}

bool Win32Platform::Exists(WindowRef w) { return w && ::IsWindow(Hwnd(w)); }

bool Win32Platform::IsMinimised(WindowRef w) { return w && ::IsIconic(Hwnd(w)); }

void Win32Platform::Restore(WindowRef w, std::uint64_t) {
    if (w) ::OpenIcon(Hwnd(w));
}

void Win32Platform::BringForward(WindowRef w, std::uint64_t) {
    if (w) ::SetForegroundWindow(Hwnd(w));
}

}  // namespace vreko::win32
