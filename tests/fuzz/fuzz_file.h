// What the file fuzz targets share: a settings file on a memory file system, and a list of
// the (section, key) names a file seems to hold, found without the reader under test.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vreko::fuzz {

inline constexpr std::string_view kBlanks = " \t";

inline std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

inline bool SameName(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One file, Vreko.INI, in a folder of this process on /dev/shm (or the temporary folder when
// there is none), removed when the process ends. A run that failed ends by abort() and
// leaves its folder: the next run removes the folders of processes that no longer exist.
class ScratchFile {
public:
    ScratchFile() {
        // A file that its group may write is taken for another user's and never written.
        ::umask(022);
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        const std::string prefix = "vreko-fuzz-";
        for (auto it = std::filesystem::directory_iterator(base, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            std::error_code removeError;
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                std::filesystem::remove_all(it->path(), removeError);
        }
        dir_ = base / (prefix + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_, ec);
        path_ = (dir_ / "Vreko.INI").string();
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& Path() const { return path_; }

    void Write(std::string_view text) const {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
            std::perror(path_.c_str());
            std::abort();
        }
    }
    std::string Read() const {
        std::string text;
        std::FILE* f = std::fopen(path_.c_str(), "rb");
        if (!f) {
            std::perror(path_.c_str());
            std::abort();
        }
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
        return text;
    }

private:
    std::filesystem::path dir_;
    std::string path_;
};

// Every (section, key) a file could be read as holding: lines broken at either line break
// character, "[name" headers and "key=" entries. More names than the reader finds do no harm:
// they read as missing before and after.
inline std::vector<std::pair<std::string, std::string>> NamesIn(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trim(text.substr(begin, end - begin));
        if (!line.empty() && line.front() == '[') {
            const auto close = line.find(']');
            section = std::string(Trim(line.substr(1, close == std::string_view::npos ? close : close - 1)));
        } else if (!line.empty() && line.front() != ';' && line.front() != '#') {
            const auto eq = line.find('=');
            if (eq != std::string_view::npos && !Trim(line.substr(0, eq)).empty())
                names.emplace_back(section, std::string(Trim(line.substr(0, eq))));
        }
        begin = end + 1;
    }
    return names;
}

[[noreturn]] inline void Fail(const char* what, std::string_view detail, std::string_view before,
                              std::string_view after) {
    auto show = [](const char* label, std::string_view s) {
        std::fprintf(stderr, "%s (%zu bytes): \"", label, s.size());
        for (unsigned char c : s) {
            if (c >= 32 && c < 127 && c != '"' && c != '\\')
                std::fputc(c, stderr);
            else
                std::fprintf(stderr, "\\x%02X", c);
        }
        std::fprintf(stderr, "\"\n");
    };
    std::fprintf(stderr, "%s\n", what);
    show("  about", detail);
    show("  file before", before);
    show("  file after", after);
    std::abort();
}

}  // namespace vreko::fuzz
