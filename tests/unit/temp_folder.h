// A fresh, empty folder under the system's temporary folder, made with the standard library
// only so that the tests that use it build for every platform.
#pragma once

#include <filesystem>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

namespace vreko::testing {

inline std::filesystem::path MakeUniqueTempDir(const std::string& prefix) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device seed;
    std::mt19937_64 pick((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 12; ++i) name += kDigits[pick() % (sizeof kDigits - 1)];
        // create_directory is false for a name already taken: another process got it first.
        if (std::filesystem::create_directory(base / name)) return base / name;
    }
    throw std::runtime_error("no fresh temporary folder under " + base.string());
}

}  // namespace vreko::testing
