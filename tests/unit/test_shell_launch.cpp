// Launching programs and documents on Linux. Every launch here runs a small script written by the
// test into its own temporary directory; the script proves it ran by leaving a marker file.
#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/shell_launch.h"

namespace vreko::posix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// ---------------------------------------------------------------------------------------------
// Splitting the parameter string

struct SplitCase {
    const char* what;
    std::string_view params;
    bool ok;
    std::vector<std::string> args;
};

TEST(SplitParameters, FollowsQuotingAndBlankRules) {
    const std::vector<SplitCase> cases = {
        // blanks
        {"empty", "", true, {}},
        {"only blanks", "  \t \t ", true, {}},
        {"single word", "x", true, {"x"}},
        {"runs of blanks", "  -run   MY_MESSAGE  ", true, {"-run", "MY_MESSAGE"}},
        {"tabs separate", "a\tb \t c", true, {"a", "b", "c"}},
        // quotes
        {"double quotes group", "\"a b\" c", true, {"a b", "c"}},
        {"single quotes group", "'a  b' c", true, {"a  b", "c"}},
        {"tab inside quotes kept", "\"a\tb\"", true, {"a\tb"}},
        {"quotes mid-word", "a\"b c\"d", true, {"ab cd"}},
        {"mixed quotes in one word", "x'y z'\"w v\"", true, {"xy zw v"}},
        {"empty double pair", "\"\"", true, {""}},
        {"empty single pair", "''", true, {""}},
        {"empty pair between words", "a \"\" b", true, {"a", "", "b"}},
        {"other quote kept inside double", "\"it's\"", true, {"it's"}},
        {"other quote kept inside single", "'say \"hi\"'", true, {"say \"hi\""}},
        // backslashes
        {"escaped double quote", "\"a\\\"b\"", true, {"a\"b"}},
        {"escaped backslash", "\"a\\\\b\"", true, {"a\\b"}},
        {"other backslash kept in quotes", "\"a\\nb\"", true, {"a\\nb"}},
        {"backslash plain outside quotes", "C:\\dir\\file.txt a\\ b", true, {"C:\\dir\\file.txt", "a\\", "b"}},
        {"no escapes in single quotes", "'a\\' b", true, {"a\\", "b"}},
        // nothing is expanded
        {"no expansion", "$HOME *.txt ~ ; | `x` $(y)", true, {"$HOME", "*.txt", "~", ";", "|", "`x`", "$(y)"}},
        // failures
        {"unbalanced double", "\"abc", false, {}},
        {"unbalanced single", "a 'bc", false, {}},
        {"unbalanced mid-word", "a\"b", false, {}},
        {"no escaping outside quotes", "\\\"a", false, {}},
        {"escaped quote leaves it open", "\"a\\\"", false, {}},
        {"quote reopened", "'it''s", false, {}},
        {"NUL byte", std::string_view("a\0b", 3), false, {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"left over"};
        ASSERT_EQ(SplitParameters(c.params, args), c.ok);
        if (c.ok) {
            EXPECT_EQ(args, c.args);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Launching

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// The processes whose parent is this process, from /proc.
std::set<pid_t> OurChildren() {
    std::set<pid_t> children;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        pid_t ppid = 0;
        if (rest >> state >> ppid && ppid == getpid()) children.insert(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

// The full path of an executable on PATH, or empty.
std::string FindOnPathForTest(const std::string& name) {
    std::istringstream path(getenv("PATH") ? getenv("PATH") : "");
    for (std::string dir; std::getline(path, dir, ':');) {
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

class ShellLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vreko-shell-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = fs::canonical(pattern);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static void WriteFile(const fs::path& path, const std::string& text, mode_t mode) {
        {
            std::ofstream out(path, std::ios::binary);
            out << text;
        }
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    }

    // A shell script that runs `body` with stdout going to `marker`, then writes "end" last.
    fs::path WriteScript(const std::string& name, const std::string& body, const fs::path& marker) {
        fs::path path = dir_ / name;
        WriteFile(path, "#!/bin/sh\nexec >" + Quote(marker) + "\n" + body + "\necho end\n", 0755);
        return path;
    }

    // The marker's text without its final "end" line, once the script has finished writing it.
    static std::optional<std::string> WaitForMarker(const fs::path& marker, std::chrono::milliseconds limit = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        const std::string end = "end\n";
        do {
            std::ifstream in(marker, std::ios::binary);
            if (in) {
                std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                if (text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0) {
                    return text.substr(0, text.size() - end.size());
                }
            }
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return std::nullopt;
    }

    fs::path dir_;
};

TEST_F(ShellLaunch, StartsProgramWithArgumentsIntact) {
    const fs::path marker = dir_ / "argv";
    const fs::path script = WriteScript("show args.sh", "printf '<%s>\\n' \"$0\" \"$@\"", marker);

    std::intptr_t result =
        StartFile(script.string(), "-run  \"two words\" 'say \"hi\"' a\"b c\"d \"\" \"back\\\\slash \\\"q\\\"\" $HOME");
    EXPECT_EQ(result, kShellStarted);
    std::optional<std::string> argv = WaitForMarker(marker);
    ASSERT_TRUE(argv);
    EXPECT_EQ(*argv, "<" + script.string() +
                         ">\n<-run>\n<two words>\n<say \"hi\">\n<ab cd>\n<>\n<back\\slash \"q\">\n<$HOME>\n");

    // An empty parameter string starts the program without arguments.
    fs::remove(marker);
    EXPECT_EQ(StartFile(script.string(), ""), kShellStarted);
    argv = WaitForMarker(marker);
    ASSERT_TRUE(argv);
    EXPECT_EQ(*argv, "<" + script.string() + ">\n");
}

TEST_F(ShellLaunch, ProgramInheritsDirectoryAndEnvironment) {
    const fs::path marker = dir_ / "where";
    WriteScript("where.sh", "pwd -P\nprintf '%s\\n' \"$VREKO_SHELL_PROBE\"", marker);
    ScopedEnv probe("VREKO_SHELL_PROBE", "probe value 42");
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    std::intptr_t result = StartFile("./where.sh", "");  // relative to the current directory
    fs::current_path(previous);

    EXPECT_EQ(result, kShellStarted);
    std::optional<std::string> text = WaitForMarker(marker);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, dir_.string() + "\nprobe value 42\n");
}

TEST_F(ShellLaunch, LooksUpBareNamesOnPath) {
    const fs::path marker = dir_ / "found";
    const fs::path notExecutable = dir_ / "a";
    const fs::path directory = dir_ / "b";
    const fs::path executable = dir_ / "c";
    fs::create_directories(notExecutable);
    fs::create_directories(directory / "tool");
    fs::create_directories(executable);
    WriteFile(notExecutable / "tool", "#!/bin/sh\nexec >" + Quote(dir_ / "wrong") + "\necho end\n", 0644);
    WriteFile(executable / "tool",
              "#!/bin/sh\nexec >" + Quote(marker) + "\nprintf '%s|%s\\n' \"$0\" \"$1\"\necho end\n", 0755);

    {
        // Entries with a non-executable file or a directory of that name are skipped.
        ScopedEnv path("PATH", notExecutable.string() + ":" + directory.string() + ":" + executable.string());
        EXPECT_EQ(StartFile("tool", "arg"), kShellStarted);
    }
    std::optional<std::string> text = WaitForMarker(marker);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, (executable / "tool").string() + "|arg\n");
    EXPECT_FALSE(fs::exists(dir_ / "wrong"));

    {
        ScopedEnv path("PATH", directory.string());
        EXPECT_EQ(StartFile("tool", ""), kShellFileNotFound);
        EXPECT_EQ(StartFile("no-such-program-vreko", ""), kShellFileNotFound);
    }
    {
        ScopedEnv path("PATH", notExecutable.string());
        EXPECT_EQ(StartFile("tool", ""), kShellAccessDenied);
    }
    {
        // A bare name is never taken from the current directory unless PATH says so.
        ScopedEnv path("PATH", directory.string());
        const fs::path previous = fs::current_path();
        fs::current_path(executable);
        std::intptr_t result = StartFile("tool", "");
        fs::current_path(previous);
        EXPECT_EQ(result, kShellFileNotFound);
    }
}

TEST_F(ShellLaunch, ReportsFailureWhenNothingStarts) {
    const fs::path marker = dir_ / "never";
    const fs::path script = WriteScript("ok.sh", "echo ran", marker);
    const fs::path garbage = dir_ / "garbage";
    WriteFile(garbage, "this is neither ELF nor a script\n", 0755);
    const fs::path badElf = dir_ / "bad-elf";
    const std::string elfHeader =
        "\x7f"
        "ELF\x02\x01\x01";  // the magic, then nothing valid
    WriteFile(badElf, elfHeader + std::string(64, '\0'), 0755);
    const fs::path noInterpreter = dir_ / "no-interpreter";
    WriteFile(noInterpreter, "#!/nonexistent/vreko/sh\necho hi\n", 0755);

    struct FailCase {
        const char* what;
        std::string file;
        std::string params;
        std::intptr_t expected;
    };
    const std::vector<FailCase> cases = {
        {"missing file", (dir_ / "missing").string(), "", kShellFileNotFound},
        {"missing directory on the way", (dir_ / "nodir" / "x").string(), "", kShellFileNotFound},
        {"empty name", "", "", kShellFileNotFound},
        {"directory", dir_.string(), "", kShellAccessDenied},
        {"special file", "/dev/null", "", kShellAccessDenied},
        {"unbalanced quote", script.string(), "\"open", kShellBadParameters},
        {"not a program", garbage.string(), "", kShellBadFormat},
        {"broken ELF", badElf.string(), "", kShellBadFormat},
        {"missing interpreter", noInterpreter.string(), "", kShellFileNotFound},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::intptr_t result = StartFile(c.file, c.params);
        EXPECT_LE(result, 32);
        EXPECT_EQ(result, c.expected);
    }
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(ShellLaunch, OpensDocumentsWithXdgOpen) {
    const fs::path bin = dir_ / "bin";
    fs::create_directories(bin);
    const fs::path document = dir_ / "notes.txt";
    WriteFile(document, "hello\n", 0644);

    {
        ScopedEnv path("PATH", bin.string());  // no xdg-open there
        EXPECT_EQ(StartFile(document.string(), ""), kShellNoAssociation);
    }

    const fs::path marker = dir_ / "opened";
    WriteFile(bin / "xdg-open", "#!/bin/sh\nexec >" + Quote(marker) + "\nprintf '<%s>\\n' \"$0\" \"$@\"\necho end\n",
              0755);
    {
        ScopedEnv path("PATH", bin.string());
        EXPECT_EQ(StartFile(document.string(), "parameters are 'not passed'"), kShellStarted);
    }
    std::optional<std::string> text = WaitForMarker(marker);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "<" + (bin / "xdg-open").string() + ">\n<" + document.string() + ">\n");
}

// The desktop's own xdg-open and xdg-mime, in a desktop of the test's making: its own home,
// data and settings folders, no desktop session, and stand-ins for every way xdg-open has of
// falling back to something on the machine.
TEST_F(ShellLaunch, OpensADocumentOnlyWhenAProgramIsSetForItsType) {
    if (FindOnPathForTest("xdg-open").empty() || FindOnPathForTest("xdg-mime").empty() ||
        FindOnPathForTest("file").empty())
        GTEST_SKIP() << "xdg-utils or file is not installed";
    const fs::path bin = dir_ / "bin", data = dir_ / "data", config = dir_ / "config";
    for (const fs::path& d : {bin, data / "applications", config, dir_ / "home", dir_ / "sysdata", dir_ / "sysconfig"})
        fs::create_directories(d);
    const fs::path fallback = dir_ / "fallback";
    for (const char* stand : {"run-mailcap", "mimeopen", "browser"})
        WriteFile(bin / stand, "#!/bin/sh\necho \"$0 $*\" >>" + Quote(fallback) + "\nexit 1\n", 0755);
    for (const char* probe : {"dbus-send", "xprop"})  // how it looks for a desktop session: none
        WriteFile(bin / probe, "#!/bin/sh\nexit 1\n", 0755);
    std::vector<std::unique_ptr<ScopedEnv>> env;
    auto set = [&](const char* name, const std::string& value) {
        env.push_back(std::make_unique<ScopedEnv>(name, value));
    };
    set("PATH", bin.string() + ":" + getenv("PATH"));
    set("HOME", (dir_ / "home").string());
    set("XDG_DATA_HOME", data.string());
    set("XDG_CONFIG_HOME", config.string());
    set("XDG_DATA_DIRS", (dir_ / "sysdata").string());
    set("XDG_CONFIG_DIRS", (dir_ / "sysconfig").string());
    set("DISPLAY", ":vreko-none");  // xdg-open asks xdg-mime only where there is a display
    set("BROWSER", (bin / "browser").string());
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
                             "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "XDG_MENU_PREFIX",
                             "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY"}) {
        set(name, "");
        unsetenv(name);
    }

    const fs::path document = dir_ / "notes.txt";
    WriteFile(document, "plain words\n", 0644);
    const fs::path marker = dir_ / "opened";
    const fs::path viewer = WriteScript("viewer.sh", "printf '<%s>\\n' \"$@\"", marker);
    WriteFile(data / "applications" / "vreko-test-viewer.desktop",
              "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + viewer.string() + " %f\n", 0644);

    // No program is set for plain text: nothing is started, and that is reported.
    const std::intptr_t unset = StartFile(document.string(), "");
    EXPECT_LE(unset, 32);
    EXPECT_EQ(unset, kShellNoAssociation);

    // Once the viewer is set for it, the document opens in it.
    WriteFile(config / "mimeapps.list", "[Default Applications]\ntext/plain=vreko-test-viewer.desktop\n", 0644);
    EXPECT_EQ(StartFile(document.string(), "ignored"), kShellStarted);
    std::optional<std::string> text = WaitForMarker(marker, 60s);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "<" + document.string() + ">\n");
    EXPECT_FALSE(fs::exists(fallback)) << "xdg-open fell back to another way of opening";
}

TEST_F(ShellLaunch, ADocumentsStartIsDecidedBesideTheCallerOnceItsTypeIsKnown) {
    // Stand-ins on PATH: xdg-mime answers only once the test opens its gate, and tells no program
    // for the second document's type; xdg-open leaves a marker.
    const fs::path bin = dir_ / "bin", gate = dir_ / "gate", asked = dir_ / "asked", opened = dir_ / "opened";
    fs::create_directories(bin);
    WriteFile(bin / "xdg-mime",
              "#!/bin/sh\necho \"$2\" >>" + Quote(asked) + "\nwhile [ ! -e " + Quote(gate) +
                  " ]; do sleep 0.02; done\n"
                  "case \"$2:$3\" in filetype:*none.txt) echo ;; filetype:*) echo text/plain ;; default:*) echo "
                  "viewer.desktop ;; esac\n",
              0755);
    WriteFile(bin / "xdg-open", "#!/bin/sh\necho \"$1\" >>" + Quote(opened) + "\n", 0755);
    ScopedEnv path("PATH", bin.string() + ":" + getenv("PATH"));
    const fs::path shown = dir_ / "shown.txt", none = dir_ / "none.txt";
    WriteFile(shown, "words\n", 0644);
    WriteFile(none, "words\n", 0644);

    auto readable = [](int fd) {
        pollfd pfd{fd, POLLIN, 0};
        return poll(&pfd, 1, 0) > 0;
    };
    int first = -1, second = -1;
    ASSERT_EQ(BeginStartFile(shown.string(), "", first), kShellPending);
    ASSERT_EQ(BeginStartFile(none.string(), "", second), kShellPending);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    // Both checks have asked xdg-mime and wait for it; the caller does not, and nothing is decided.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    auto lines = [](const fs::path& f) {
        std::ifstream in(f);
        return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
    };
    while (lines(asked) < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
    ASSERT_EQ(lines(asked), 2);
    EXPECT_FALSE(readable(first));
    EXPECT_FALSE(readable(second));
    EXPECT_FALSE(fs::exists(opened));

    WriteFile(gate, "", 0644);
    EXPECT_EQ(FinishStart(first), kShellStarted);
    EXPECT_EQ(FinishStart(second), kShellNoAssociation);
    const auto openDeadline = std::chrono::steady_clock::now() + 60s;
    while (lines(opened) < 1 && std::chrono::steady_clock::now() < openDeadline) std::this_thread::sleep_for(20ms);
    std::ifstream in(opened);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, shown.string() + "\n");  // only the document with a program was opened
}

TEST_F(ShellLaunch, ProgramOutlivesTheLaunchingProcess) {
    const fs::path marker = dir_ / "later";
    const fs::path script = WriteScript("later.sh", "sleep 1\necho survived", marker);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A process group of its own, killed as a whole right after the launch: only a program
        // that left the launcher's session and group lives on.
        setpgid(0, 0);
        if (StartFile(script.string(), "") != kShellStarted) _exit(1);
        kill(0, SIGKILL);
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "launch failed in the child, exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_FALSE(WaitForMarker(marker, 0ms)) << "the program should still be sleeping";

    std::optional<std::string> text = WaitForMarker(marker);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "survived\n");
}

TEST_F(ShellLaunch, LeavesNoChildProcessBehind) {
    const fs::path marker = dir_ / "done";
    const fs::path script = WriteScript("busy.sh", "sleep 0.5\necho busy", marker);
    const fs::path garbage = dir_ / "garbage";
    WriteFile(garbage, "not a program\n", 0755);
    const std::set<pid_t> before = OurChildren();

    ASSERT_EQ(StartFile(script.string(), ""), kShellStarted);
    ASSERT_EQ(StartFile(garbage.string(), ""), kShellBadFormat);

    // The program is still running, yet neither it nor a zombie helper is a child of ours.
    EXPECT_EQ(OurChildren(), before);
    if (before.empty()) {
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
    EXPECT_FALSE(WaitForMarker(marker, 0ms)) << "the program should still be sleeping";
    std::optional<std::string> text = WaitForMarker(marker);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "busy\n");
}

TEST_F(ShellLaunch, ProgramStartsWithCleanProcessState) {
    const fs::path marker = dir_ / "state";
    const fs::path script = WriteScript("state.sh",
                                        "ls -l /proc/$$/fd\n"
                                        "read -r stat </proc/$$/stat\n"
                                        "printf 'stat %s\\n' \"$stat\"",
                                        marker);
    // The shell resets its own signal mask at start, so the signals are observed by awk, which
    // leaves them as it finds them.
    const fs::path awk = "/usr/bin/awk";
    const fs::path signalMarker = dir_ / "signals";
    const fs::path signalScript = dir_ / "signals.awk";
    WriteFile(signalScript,
              "#!" + awk.string() +
                  " -f\nBEGIN {\n"
                  "  while ((getline line < \"/proc/self/status\") > 0)\n"
                  "    if (line ~ /^Sig(Blk|Ign):/) print line > \"" +
                  signalMarker.string() +
                  "\"\n"
                  "  print \"end\" > \"" +
                  signalMarker.string() + "\"\n}\n",
              0755);
    const bool haveAwk = access(awk.c_str(), X_OK) == 0;

    // Descriptors a real program holds without close-on-exec (a file, a pipe, a socket such as
    // the window system connection), a stdin that is not /dev/null, an ignored and a blocked signal.
    const fs::path probe = dir_ / "probe-file";
    int file = open(probe.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(file, 0);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    ASSERT_EQ(dup2(file, 77), 77);
    ASSERT_EQ(dup2(pipeFds[1], 78), 78);
    ASSERT_EQ(dup2(sockets[0], 79), 79);
    const int savedStdin = dup(0);
    ASSERT_GE(savedStdin, 0);
    ASSERT_EQ(dup2(pipeFds[0], 0), 0);
    struct sigaction ignore {
    }, oldPipe{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &oldPipe);
    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, &oldMask);

    std::intptr_t result = StartFile(script.string(), "");
    std::intptr_t signalResult = haveAwk ? StartFile(signalScript.string(), "") : 0;

    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    dup2(savedStdin, 0);
    close(savedStdin);
    for (int fd : {file, pipeFds[0], pipeFds[1], sockets[0], sockets[1], 77, 78, 79}) close(fd);

    ASSERT_EQ(result, kShellStarted);
    std::optional<std::string> text = WaitForMarker(marker);
    ASSERT_TRUE(text);
    SCOPED_TRACE(*text);

    std::istringstream lines(*text);
    std::string line;
    std::set<int> fds;
    std::string stat;
    while (std::getline(lines, line)) {
        std::size_t arrow = line.find(" -> ");
        if (arrow != std::string::npos) {
            std::size_t start = line.rfind(' ', arrow - 1) + 1;
            int fd = std::stoi(line.substr(start, arrow - start));
            std::string target = line.substr(arrow + 4);
            fds.insert(fd);
            if (fd == 0) {
                EXPECT_EQ(target, "/dev/null");
            } else if (fd > 2) {
                // Beyond 0-2 only the shell's own handle on its script may be open.
                EXPECT_EQ(target, script.string()) << "descriptor " << fd << " leaked";
            }
        } else if (line.rfind("stat ", 0) == 0) {
            stat = line.substr(5);
        }
    }
    EXPECT_TRUE(fds.count(0) && fds.count(1) && fds.count(2));
    EXPECT_EQ(fds.count(77) + fds.count(78) + fds.count(79), 0u);

    // Fields after the command name: state, parent, process group, session.
    std::size_t close = stat.rfind(')');
    ASSERT_NE(close, std::string::npos);
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    pid_t parent = 0, group = 0, session = 0;
    ASSERT_TRUE(fields >> state >> parent >> group >> session);
    EXPECT_NE(parent, getpid());
    EXPECT_NE(session, getsid(0));
    EXPECT_NE(group, getpgrp());

    if (!haveAwk) GTEST_SKIP() << "no " << awk << ": signal mask and dispositions not checked";
    ASSERT_EQ(signalResult, kShellStarted);
    std::optional<std::string> signals = WaitForMarker(signalMarker);
    ASSERT_TRUE(signals);
    SCOPED_TRACE(*signals);
    std::string sigBlk, sigIgn;
    std::istringstream signalLines(*signals);
    while (std::getline(signalLines, line)) {
        if (line.rfind("SigBlk:", 0) == 0) sigBlk = line.substr(7);
        if (line.rfind("SigIgn:", 0) == 0) sigIgn = line.substr(7);
    }
    ASSERT_FALSE(sigBlk.empty());
    ASSERT_FALSE(sigIgn.empty());
    EXPECT_EQ(std::stoull(sigBlk, nullptr, 16), 0u) << "signals still blocked";
    EXPECT_EQ(std::stoull(sigIgn, nullptr, 16), 0u) << "signals still ignored";
}

}  // namespace
}  // namespace vreko::posix
