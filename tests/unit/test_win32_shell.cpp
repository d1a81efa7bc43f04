// Commands as the Windows program launches them, under Wine: a program, a batch file, a
// document through its file type, a URL through its scheme, and a shortcut (.lnk), each seen
// by the marker its command leaves; and what cannot be started is reported, not shown.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/native.h"
#include "test_settings_util.h"

namespace vreko {
namespace {

using settings_test::ReadAll;
using settings_test::TempDir;
namespace fs = std::filesystem;

const std::string kCmd = "C:\\windows\\system32\\cmd.exe";

// The marker's text once it holds a whole line; empty after ten seconds without.
std::string AwaitLine(const fs::path& marker) {
    std::string got;
    for (int i = 0; i < 1000 && got.find('\n') == std::string::npos; ++i) {
        ::Sleep(10);
        got = ReadAll(marker.string());
    }
    return got;
}

// Sets the default value of the key under HKEY_CLASSES_ROOT (made when missing).
void SetClass(const std::wstring& key, const std::wstring& value, const wchar_t* name = nullptr) {
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     DWORD((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
}

class ShellLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        platform_ = CreateNativePlatform(error);
        ASSERT_TRUE(platform_) << error;
        marker_ = dir_.path() / "marker.txt";
    }
    std::wstring MarkerW() const { return marker_.wstring(); }

    TempDir dir_;
    std::unique_ptr<Platform> platform_;
    fs::path marker_;
};

TEST_F(ShellLaunch, AProgramWithAndWithoutParameters) {
    EXPECT_EQ(platform_->Launch(kCmd, "/c echo program>>\"" + marker_.string() + "\"").outcome, LaunchOutcome::Started);
    EXPECT_EQ(AwaitLine(marker_), "program\r\n");

    // A batch file: started by its file type, with the parameters, and without any.
    const fs::path bat = dir_.path() / "job.bat";
    std::ofstream(bat, std::ios::binary) << "@echo [%*]>>\"" << marker_.string() << "\"\r\n";
    fs::remove(marker_);
    EXPECT_EQ(platform_->Launch(bat.string(), "one two").outcome, LaunchOutcome::Started);
    EXPECT_EQ(AwaitLine(marker_), "[one two]\r\n");
    fs::remove(marker_);
    EXPECT_EQ(platform_->Launch(bat.string(), "").outcome, LaunchOutcome::Started);
    EXPECT_EQ(AwaitLine(marker_), "[]\r\n");
}

TEST_F(ShellLaunch, ADocumentOpensWithTheProgramOfItsType) {
    SetClass(L".vrekodoc", L"VrekoTest.Document");
    SetClass(L"VrekoTest.Document\\shell\\open\\command",
             L"C:\\windows\\system32\\cmd.exe /c echo opened %1>>\"" + MarkerW() + L"\"");
    const fs::path doc = dir_.path() / "notes.vrekodoc";
    std::ofstream(doc) << "text\n";
    EXPECT_EQ(platform_->Launch(doc.string(), "").outcome, LaunchOutcome::Started);
    EXPECT_EQ(AwaitLine(marker_), "opened " + doc.string() + "\r\n");
}

TEST_F(ShellLaunch, AUrlOpensWithTheProgramOfItsScheme) {
    SetClass(L"vrekotest", L"URL:Vreko test");
    SetClass(L"vrekotest", L"", L"URL Protocol");
    SetClass(L"vrekotest\\shell\\open\\command",
             L"C:\\windows\\system32\\cmd.exe /c echo url %1>>\"" + MarkerW() + L"\"");
    EXPECT_EQ(platform_->Launch("vrekotest:switch-off", "").outcome, LaunchOutcome::Started);
    EXPECT_EQ(AwaitLine(marker_), "url vrekotest:switch-off\r\n");
}

TEST_F(ShellLaunch, AShortcutStartsItsTarget) {
    // The shortcut, made as Explorer makes one: the shell's own IShellLink.
    const fs::path lnk = dir_.path() / "switch off.lnk";
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)));
    IShellLinkW* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                             reinterpret_cast<void**>(&link))));
    link->SetPath(L"C:\\windows\\system32\\cmd.exe");
    const std::wstring args = L"/c echo shortcut>>\"" + MarkerW() + L"\"";
    link->SetArguments(args.c_str());
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    EXPECT_TRUE(SUCCEEDED(file->Save(lnk.wstring().c_str(), TRUE)));
    file->Release();
    link->Release();
    ::CoUninitialize();
    ASSERT_TRUE(fs::exists(lnk));

    EXPECT_EQ(platform_->Launch(lnk.string(), "").outcome, LaunchOutcome::Started);
    EXPECT_EQ(AwaitLine(marker_), "shortcut\r\n");
}

TEST_F(ShellLaunch, WhatCannotBeStartedIsReported) {
    EXPECT_EQ(platform_->Launch((dir_.path() / "missing" / "nothing.exe").string(), "").outcome,
              LaunchOutcome::NotStarted);
    EXPECT_EQ(platform_->Launch((dir_.path() / "nothing.exe").string(), "-x").outcome, LaunchOutcome::NotStarted);
    EXPECT_EQ(platform_->Launch("novrekoscheme:x", "").outcome, LaunchOutcome::NotStarted);
}

}  // namespace
}  // namespace vreko
