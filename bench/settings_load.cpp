// Time and peak memory of the settings' loading at start on the Linux settings file, for files
// of 1, 10 and 100 thousand lines, and for whole settings followed by 10 MB of blank lines.
// Every load runs in a fresh process; the figures are that process's wall time for the load
// and its peak resident memory (which includes the few MiB the process holds before it).
// Prints figures, asserts nothing.
//
//   bench/settings_load [folder for the files]   (default: the system's temporary folder)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/ini_file.h"
#include "platform/posix/settings_file.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;

const char* const kComplete =
    "[Timer]\nTimePause=10\nPositionTop=0\nPositionLeft=0\nPositionCenter=1\nTest=0\n\n"
    "[AppStart]\nFileName1=notify-send\nParam1=Vreko\nFileName2=true\nParam2=\n\n"
    "[Text]\nFontName=Arial Black\nFontSize=90\n";

enum class Kind { BlankLines, OtherKeys, KeysMissing };

const char* Describe(Kind kind) {
    switch (kind) {
        case Kind::BlankLines: return "whole settings, then blank lines";
        case Kind::OtherKeys: return "whole settings, then other keys";
        default: return "other keys, every setting missing";
    }
}

void WriteFile(const fs::path& path, Kind kind, long lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (kind != Kind::KeysMissing) out << kComplete;
    if (kind == Kind::BlankLines) {
        out << std::string(static_cast<std::size_t>(lines), '\n');
        return;
    }
    out << "[Other]\n";
    for (long i = 0; i < lines; ++i) out << "Key" << i << "=value " << i << "\n";
}

struct Figures {
    double ms = 0;
    double peakMiB = 0;
    bool ok = false;
};

Figures LoadInFreshProcess(const fs::path& path) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const auto start = std::chrono::steady_clock::now();
        vreko::posix::IniFile ini(path.string());
        vreko::LoadedSettings loaded;
        const bool ok = !vreko::LoadSettings(ini, vreko::posix::DefaultSettings(), 96, loaded) && loaded.complete;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        (void)!::write(pipeFds[1], &ms, sizeof ms);
        ::_exit(ok ? 0 : 1);
    }
    ::close(pipeFds[1]);
    Figures f;
    if (child < 0 || ::read(pipeFds[0], &f.ms, sizeof f.ms) != sizeof f.ms) f.ms = -1;
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child) {
        f.peakMiB = double(usage.ru_maxrss) / 1024.0;
        f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("vreko-settings-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path path = dir / "Vreko.INI";

    std::printf("%-36s %10s %12s %10s %10s\n", "file", "lines", "bytes", "load ms", "peak MiB");
    auto run = [&](Kind kind, long lines) {
        WriteFile(path, kind, lines);
        const auto bytes = fs::file_size(path);
        const Figures f = LoadInFreshProcess(path);
        std::printf("%-36s %10ld %12ju %10.1f %10.1f%s\n", Describe(kind), lines, static_cast<std::uintmax_t>(bytes),
                    f.ms, f.peakMiB, f.ok ? "" : "  (the load failed)");
    };
    for (Kind kind : {Kind::BlankLines, Kind::OtherKeys, Kind::KeysMissing})
        for (long lines : {1000L, 10000L, 100000L}) run(kind, lines);
    run(Kind::BlankLines, 10L << 20);  // 10 MB of blank lines
    fs::remove_all(dir);
    return 0;
}
