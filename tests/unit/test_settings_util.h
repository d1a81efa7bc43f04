// Temporary folders and whole-file helpers for the settings tests.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace vreko::settings_test {

// The tests make their files and folders as a user with the common umask 022 does: a settings
// file or folder that its group may write is one that the program takes for another user's.
[[maybe_unused]] static const bool kUsualUmask = (::umask(022), true);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() { path_ = testing::MakeUniqueTempDir("vreko-settings-"); }
    ~TempDir() {
        std::error_code ec;
        // Give back write access to any folder a test made read-only, then remove all.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
            }
        }
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

}  // namespace vreko::settings_test
