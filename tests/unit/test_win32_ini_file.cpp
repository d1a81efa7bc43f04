// The Windows settings file as editors save it and as copies of the program write it: one file
// in the 8-bit code page, UTF-8, UTF-8 with a byte order mark and UTF-16 with one, each read
// alike (the first section too) and each keeping its encoding when a key is added; writers
// ended in the middle of a first start, and copies racing their first start. Runs under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/native.h"
#include "platform/win32/win32_settings.h"
#include "settings/settings.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using settings_test::ReadAll;
using settings_test::TempDir;
using settings_test::WriteAll;
namespace fs = std::filesystem;

std::string Utf8(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string InCodePage(UINT page, const std::wstring& w) {
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(page, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n), '\0');
    ::WideCharToMultiByte(page, 0, w.data(), int(w.size()), out.data(), n, nullptr, page == CP_UTF8 ? nullptr : &lossy);
    EXPECT_FALSE(lossy) << "the text has no place in code page " << page;
    return out;
}

std::string Utf16Le(const std::wstring& w) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : w) {
        out += char(c & 0xFF);
        out += char((c >> 8) & 0xFF);
    }
    return out;
}

struct Encoded {
    const char* name;
    std::string (*encode)(const std::wstring&);
};

const Encoded kEncodings[] = {
    {"ANSI (cp1252)", [](const std::wstring& w) { return InCodePage(1252, w); }},
    {"UTF-8", [](const std::wstring& w) { return InCodePage(CP_UTF8, w); }},
    {"UTF-8 with BOM", [](const std::wstring& w) { return "\xEF\xBB\xBF" + InCodePage(CP_UTF8, w); }},
    {"UTF-16LE with BOM", [](const std::wstring& w) { return Utf16Le(w); }},
};

std::wstring Wide(const std::string& utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

TEST(Win32IniFile, TheCodePageIsWindowsWestern) {
    // The ANSI files below are cp1252: the tests run in a Wine prefix of an English locale.
    EXPECT_EQ(::GetACP(), 1252u);
}

// Every key, a command in a folder with a non-ASCII name and parameters beyond ASCII.
std::wstring SettingsText(const std::wstring& folder, const std::wstring& marker, const std::wstring& timer = L"") {
    return L"[Timer]\r\nTimePause=7\r\n" + timer +
           L"PositionTop=0\r\nPositionLeft=0\r\nPositionCenter=1\r\nTest=1\r\n"
           L"[AppStart]\r\nFileName1=" +
           folder +
           L"\\J\u00fcrgen\\warn.bat\r\nParam1=Gr\u00fc\u00dfe aus K\u00f6ln\r\n"
           L"FileName2=" +
           marker +
           L"\r\nParam2=\r\n"
           L"[Text]\r\nFontName=Arial Black\r\nFontSize=90\r\n";
}

TEST(Win32IniFile, EveryEncodingReadsAlikeAndItsCommandLaunches) {
    TempDir dir;
    const std::wstring folder = dir.path().wstring();
    fs::create_directory(dir.path() / L"J\u00fcrgen");
    const fs::path marker = dir.path() / "marker.txt";
    {
        std::ofstream bat(dir.path() / L"J\u00fcrgen" / L"warn.bat", std::ios::binary);
        bat << "@echo %*>>\"" << marker.string() << "\"\r\n";
    }
    std::string error;
    const std::unique_ptr<Platform> platform = CreateNativePlatform(error);
    ASSERT_TRUE(platform) << error;

    for (const Encoded& e : kEncodings) {
        SCOPED_TRACE(e.name);
        const std::string bytes = e.encode(SettingsText(folder, L"unused"));
        const std::string path = dir.File("Vreko.INI");
        WriteAll(path, bytes);
        const std::unique_ptr<SettingsStore> ini = win32::OpenIniFile(path);
        LoadedSettings s;
        EXPECT_EQ(LoadSettings(*ini, platform->DefaultSettings(), 96, s), std::nullopt);
        EXPECT_TRUE(s.complete);
        // The first section is read: its byte order mark does not hide it.
        EXPECT_EQ(s.TimePause, 7);
        EXPECT_TRUE(s.TestMode);
        EXPECT_EQ(s.FileName1, Utf8(folder + L"\\J\u00fcrgen\\warn.bat"));
        EXPECT_EQ(s.Param1,
                  "Gr\xC3\xBC\xC3\x9F"
                  "e aus K\xC3\xB6ln");
        EXPECT_EQ(ReadAll(path), bytes) << "a complete file was written";

        // The command in the folder "Jürgen" starts and gets its parameters, which cmd.exe
        // writes to a file in an 8-bit code page: the console's on Windows, the ANSI one
        // under Wine.
        fs::remove(marker);
        EXPECT_EQ(platform->Launch(s.FileName1, s.Param1).outcome, LaunchOutcome::Started);
        std::string got;
        for (int i = 0; i < 1000 && got.find('\n') == std::string::npos; ++i) {
            ::Sleep(10);
            got = ReadAll(marker.string());
        }
        const std::wstring param = L"Gr\u00fc\u00dfe aus K\u00f6ln\r\n";
        EXPECT_TRUE(got == InCodePage(CP_OEMCP, param) || got == InCodePage(CP_ACP, param)) << got;
    }
}

TEST(Win32IniFile, AKeyAddedKeepsTheFilesEncodingAndEveryOtherByte) {
    TempDir dir;
    const std::wstring folder = dir.path().wstring();
    const std::string path = dir.File("Vreko.INI");
    std::string error;
    const std::unique_ptr<Platform> platform = CreateNativePlatform(error);
    ASSERT_TRUE(platform) << error;
    // The file without its PositionLeft, PositionCenter, and a comment beyond ASCII.
    std::wstring partial = SettingsText(folder, L"x");
    partial.replace(partial.find(L"PositionLeft=0\r\nPositionCenter=1\r\n"), 34, L"; \u00e9t\u00e9\r\n");
    std::wstring completed = partial;
    completed.replace(completed.find(L"Test=1\r\n") + 8, 0, L"PositionLeft=0\r\nPositionCenter=1\r\n");
    for (const Encoded& e : kEncodings) {
        SCOPED_TRACE(e.name);
        WriteAll(path, e.encode(partial));
        const std::unique_ptr<SettingsStore> ini = win32::OpenIniFile(path);
        LoadedSettings s;
        EXPECT_EQ(LoadSettings(*ini, platform->DefaultSettings(), 96, s), std::nullopt);
        EXPECT_EQ(ReadAll(path), e.encode(completed));
        EXPECT_EQ(s.FileName1, Utf8(folder + L"\\J\u00fcrgen\\warn.bat"));
    }

    // A new file: the 8-bit code page, Windows line ends, every key.
    fs::remove(path);
    const std::unique_ptr<SettingsStore> ini = win32::OpenIniFile(path);
    ASSERT_TRUE(ini->WriteString("Timer", "TimePause", "10"));
    ASSERT_TRUE(ini->WriteString("AppStart", "FileName1", "C:\\Caf\xC3\xA9\\x.exe"));
    EXPECT_EQ(ReadAll(path), "[Timer]\r\nTimePause=10\r\n\r\n[AppStart]\r\nFileName1=C:\\Caf\xE9\\x.exe\r\n");
    // A value that the code page cannot hold is not written as a look-alike.
    EXPECT_FALSE(ini->WriteString("AppStart", "Param1", "\xE2\x82\xAC\xE4\xB8\xAD"));  // "€中"
    EXPECT_EQ(ini->ReadString("AppStart", "Param1", "d"), "d");
}

TEST(Win32IniFile, AFileItsEncodingWouldNotGiveBackIsNotWritten) {
    TempDir dir;
    const std::string path = dir.File("Vreko.INI");
    // UTF-16 with an unpaired surrogate: read with U+FFFD in its place, never rewritten.
    const std::string bytes = Utf16Le(L"[Timer]\r\nA=x") + std::string("\x00\xD8", 2) + Utf16Le(L"\r\n").substr(2);
    WriteAll(path, bytes);
    const std::unique_ptr<SettingsStore> ini = win32::OpenIniFile(path);
    EXPECT_EQ(ini->ReadString("Timer", "A", "d"), "x\xEF\xBF\xBD");
    EXPECT_FALSE(ini->WriteString("Timer", "B", "1"));
    EXPECT_EQ(ReadAll(path), bytes);
}

// The files in folder, by name.
std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// Starts this test program again as a child that runs the one test of filter, its output
// dropped (its exit code tells how it went), with the environment variables given.
PROCESS_INFORMATION StartChild(const std::string& filter,
                               const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd =
        L"\"" + std::wstring(self) + L"\" --gtest_also_run_disabled_tests --gtest_filter=" + Wide(filter);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    for (const auto& [k, v] : env) ::SetEnvironmentVariableW(k.c_str(), v.c_str());
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) pi = {};
    for (const auto& [k, v] : env) ::SetEnvironmentVariableW(k.c_str(), nullptr);
    if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
    return pi;
}

// Waits for a child to end; its exit code.
DWORD Finish(const PROCESS_INFORMATION& pi) {
    if (!pi.hProcess) return DWORD(-1);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

DWORD RunChild(const std::string& filter, const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    return Finish(StartChild(filter, env));
}

std::optional<std::string> Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

// The child of the next tests: a first start on the file VREKO_TEST_FILE, ended after
// VREKO_TEST_UNITS units of work, begun when the event VREKO_TEST_GATE is set.
TEST(Win32IniFileChild, DISABLED_FirstStart) {
    const auto file = Env("VREKO_TEST_FILE");
    ASSERT_TRUE(file);
    if (const auto units = Env("VREKO_TEST_UNITS")) win32::EndProcessAfterForTesting(std::stol(*units));
    // Copies started together wait for the one event that lets them all go at once.
    if (const auto gate = Env("VREKO_TEST_GATE")) {
        HANDLE go = ::OpenEventW(SYNCHRONIZE, FALSE, Wide(*gate).c_str());
        HANDLE ready = ::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, Wide(*gate + ".ready").c_str());
        ASSERT_TRUE(go && ready);
        ::ReleaseSemaphore(ready, 1, nullptr);
        ::CloseHandle(ready);
        ::WaitForSingleObject(go, 20000);
        ::CloseHandle(ready);
        ::CloseHandle(go);
    }
    const std::unique_ptr<SettingsStore> ini = win32::OpenIniFile(*file);
    LoadedSettings s;
    SettingsDefaults d;
    d.FileName1 = "C:\\Windows\\System32\\mshta.exe";
    d.Param1 = "about:blank";
    d.FileName2 = "C:\\Windows\\System32\\shutdown.exe";
    d.Param2 = "/s /t 0";
    EXPECT_EQ(LoadSettings(*ini, d, 96, s), std::nullopt);
    EXPECT_TRUE(s.complete);
}

TEST(Win32IniFile, AFirstStartEndedAtAnyStepLeavesAWholeFile) {
    // The file after each of the eleven writes of a first start, and the size of each write.
    TempDir reference;
    const std::string refPath = reference.File("Vreko.INI");
    ASSERT_EQ(RunChild("Win32IniFileChild.DISABLED_FirstStart", {{L"VREKO_TEST_FILE", Wide(refPath)}}), 0u);
    const std::string complete = ReadAll(refPath);
    std::vector<std::string> states;
    {
        // The keys in the order a first start writes them, each file the one before plus a key.
        const std::unique_ptr<SettingsStore> ini = win32::OpenIniFile(reference.File("steps.ini"));
        const std::unique_ptr<SettingsStore> done = win32::OpenIniFile(refPath);
        for (const auto& [section, key] : std::vector<std::pair<std::string, std::string>>{{"Timer", "TimePause"},
                                                                                           {"AppStart", "FileName1"},
                                                                                           {"AppStart", "Param1"},
                                                                                           {"AppStart", "FileName2"},
                                                                                           {"AppStart", "Param2"},
                                                                                           {"Text", "FontName"},
                                                                                           {"Text", "FontSize"},
                                                                                           {"Timer", "PositionTop"},
                                                                                           {"Timer", "PositionLeft"},
                                                                                           {"Timer", "PositionCenter"},
                                                                                           {"Timer", "Test"}}) {
            ASSERT_TRUE(ini->WriteString(section, key, done->ReadString(section, key, "missing")));
            states.push_back(ReadAll(reference.File("steps.ini")));
        }
    }
    ASSERT_EQ(states.back(), complete);
    // Ends: at the first byte, half-way and after the last byte of each write, after its flush
    // and after its move.
    std::vector<long> ends;
    long base = 0;
    for (const std::string& s : states) {
        const long size = long(s.size());
        for (long at : {0L, size / 2, size, size + 1}) ends.push_back(base + at);
        base += size + 2;
    }
    ends.push_back(base);
    for (const long units : ends) {
        SCOPED_TRACE("ended after " + std::to_string(units) + " units");
        TempDir dir;
        const std::string path = dir.File("Vreko.INI");
        const DWORD code = RunChild("Win32IniFileChild.DISABLED_FirstStart",
                                    {{L"VREKO_TEST_FILE", Wide(path)}, {L"VREKO_TEST_UNITS", std::to_wstring(units)}});
        EXPECT_TRUE(code == win32::kEndedForTestingExitCode || (code == 0 && units == ends.back())) << code;
        if (fs::exists(path)) {
            const std::string now = ReadAll(path);
            EXPECT_NE(std::find(states.begin(), states.end(), now), states.end()) << ::testing::PrintToString(now);
        }
        // The next start completes the file and tidies what the ended one left.
        ASSERT_EQ(RunChild("Win32IniFileChild.DISABLED_FirstStart", {{L"VREKO_TEST_FILE", Wide(path)}}), 0u);
        EXPECT_EQ(ReadAll(path), complete);
        EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"Vreko.INI", "Vreko.INI.lock"}));
    }
}

TEST(Win32IniFile, CopiesRacingTheirFirstStartCompleteOneFile) {
    TempDir reference;
    ASSERT_EQ(RunChild("Win32IniFileChild.DISABLED_FirstStart", {{L"VREKO_TEST_FILE", Wide(reference.File("a.ini"))}}),
              0u);
    const std::string complete = ReadAll(reference.File("a.ini"));
    constexpr int kTrials = 4;
    constexpr int kCopies = 8;
    for (int trial = 0; trial < kTrials; ++trial) {
        TempDir dir;
        const std::string path = dir.File("Vreko.INI");
        const std::wstring gate =
            L"Vreko.Test.Gate." + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(trial);
        HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, gate.c_str());
        HANDLE ready = ::CreateSemaphoreW(nullptr, 0, kCopies, (gate + L".ready").c_str());
        ASSERT_TRUE(go && ready);
        std::vector<PROCESS_INFORMATION> children;
        for (int i = 0; i < kCopies; ++i)
            children.push_back(StartChild("Win32IniFileChild.DISABLED_FirstStart",
                                          {{L"VREKO_TEST_FILE", Wide(path)}, {L"VREKO_TEST_GATE", gate}}));
        // Every child has started and waits at the gate: all go at once.
        int waiting = 0;
        while (waiting < kCopies && ::WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0) ++waiting;
        EXPECT_EQ(waiting, kCopies);
        ::SetEvent(go);
        int succeeded = 0;
        for (const PROCESS_INFORMATION& pi : children) succeeded += Finish(pi) == 0 ? 1 : 0;
        EXPECT_EQ(succeeded, kCopies) << "trial " << trial;
        EXPECT_EQ(ReadAll(path), complete) << "trial " << trial;
        ::CloseHandle(ready);
        ::CloseHandle(go);
    }
}

}  // namespace
}  // namespace vreko
