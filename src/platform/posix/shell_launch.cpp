#include "platform/posix/shell_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

extern char** environ;

namespace vreko::posix {

bool SplitParameters(std::string_view params, std::vector<std::string>& args) {
    args.clear();
    std::string current;
    bool inArgument = false;  // an argument has begun (a quote pair alone begins one)
    char quote = 0;           // the open quote character, or 0
    for (std::size_t i = 0; i < params.size(); ++i) {
        const char c = params[i];
        if (c == '\0') return false;
        if (quote == '\'') {
            if (c == '\'') {
                quote = 0;
            } else {
                current += c;
            }
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < params.size() && (params[i + 1] == '"' || params[i + 1] == '\\')) {
                current += params[++i];
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inArgument) {
                args.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else {
            inArgument = true;
            if (c == '"' || c == '\'') {
                quote = c;
            } else {
                current += c;
            }
        }
    }
    if (quote != 0) return false;
    if (inArgument) args.push_back(std::move(current));
    return true;
}

namespace {

// What a file name resolves to before anything is started.
struct Target {
    std::intptr_t error = 0;  // 0 when path is usable
    std::string path;         // the file to exec, or the document to open
    bool document = false;
};

std::intptr_t CodeForErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG: return kShellFileNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ETXTBSY: return kShellAccessDenied;
        case ENOMEM:
        case EAGAIN:
        case EMFILE:
        case ENFILE:
        case E2BIG: return kShellOutOfResources;
        default:  // ENOEXEC, ELIBBAD, EINVAL...: not something the system can run
            return kShellBadFormat;
    }
}

bool IsExecutable(const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0; }

std::string SearchPathVariable() {
    if (const char* path = std::getenv("PATH")) return path;
    std::size_t size = confstr(_CS_PATH, nullptr, 0);
    if (size > 1) {
        std::string path(size, '\0');
        confstr(_CS_PATH, path.data(), size);
        path.resize(size - 1);
        return path;
    }
    return "/bin:/usr/bin";
}

// Looks a name without '/' up on PATH: the first executable regular file wins. A match that is
// not executable is skipped, as execvp does, but turns "not found" into "access denied".
Target FindOnPath(const std::string& name) {
    const std::string searchPath = SearchPathVariable();
    bool sawNonExecutable = false;
    std::size_t begin = 0;
    while (true) {
        std::size_t end = searchPath.find(':', begin);
        if (end == std::string::npos) end = searchPath.size();
        std::string dir = searchPath.substr(begin, end - begin);
        if (dir.empty()) dir = ".";  // an empty entry is the current directory
        std::string candidate = dir + (dir.back() == '/' ? "" : "/") + name;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (IsExecutable(candidate)) return Target{0, std::move(candidate), false};
            sawNonExecutable = true;
        }
        if (end == searchPath.size()) break;
        begin = end + 1;
    }
    return Target{sawNonExecutable ? kShellAccessDenied : kShellFileNotFound, {}, false};
}

Target Resolve(const std::string& file) {
    if (file.empty() || file.find('\0') != std::string::npos) return Target{kShellFileNotFound, {}, false};
    if (file.find('/') == std::string::npos) return FindOnPath(file);
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return Target{CodeForErrno(errno), {}, false};
    if (!S_ISREG(st.st_mode)) return Target{kShellAccessDenied, {}, false};  // directory, device, fifo...
    return Target{0, file, !IsExecutable(file)};
}

// Moves a descriptor above 2, so that setting up stdin/stdout/stderr in the child cannot hit it.
bool MoveAboveStdio(int& fd) {
    if (fd > 2) return true;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    fd = moved;
    return moved >= 0;
}

// Everything the children use, prepared before forking: after fork they only make system calls.
struct SpawnPlan {
    const char* path;
    char* const* argv;
    char* const* envp;
    int errorFd;  // write end of the CLOEXEC pipe that carries an errno back
    int fallbackMaxFd;
};

[[noreturn]] void ReportAndExit(int fd, int err) {
    ssize_t written;
    do {
        written = write(fd, &err, sizeof err);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// Turns the grandchild into a clean process: default signal dispositions, stdin from /dev/null,
// stdout and stderr usable, and none of our other descriptors but the error pipe.
void MakeCleanProcess(const SpawnPlan& plan) {
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &defaultAction, nullptr);  // SIGKILL etc. just fail

    int nullFd = open("/dev/null", O_RDWR);
    if (nullFd < 0) ReportAndExit(plan.errorFd, errno);
    if (dup2(nullFd, 0) < 0) ReportAndExit(plan.errorFd, errno);
    for (int fd = 1; fd <= 2; ++fd) {  // a closed stdout/stderr gets /dev/null, not a file opened later
        if (fcntl(fd, F_GETFD) < 0 && dup2(nullFd, fd) < 0) ReportAndExit(plan.errorFd, errno);
    }
    if (nullFd > 2) close(nullFd);

    // Nothing of ours beyond 0-2 reaches the program (the window system connection included).
    // The error pipe is already close-on-exec, so it stays usable until the exec.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < plan.fallbackMaxFd; ++fd) {
            int flags = fcntl(fd, F_GETFD);
            if (flags >= 0 && (flags & FD_CLOEXEC) == 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }

    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// The grandchild: sets up a clean process and becomes the program.
[[noreturn]] void RunProgram(const SpawnPlan& plan) {
    MakeCleanProcess(plan);
    execve(plan.path, plan.argv, plan.envp);
    ReportAndExit(plan.errorFd, errno);
}

// ---- associations ---------------------------------------------------------------------------

// Runs a helper program with stdin and stderr on /dev/null, in a process group of its own, and
// returns what it wrote to stdout; nothing when it could not be started or its output failed.
std::optional<std::string> QueryOutput(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    if (!MoveAboveStdio(fds[0]) || !MoveAboveStdio(fds[1])) {
        if (fds[0] >= 0) close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int err = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    if (err != 0) {
        close(fds[0]);
        return std::nullopt;
    }

    std::string out;
    bool ended = false;
    for (;;) {
        char buffer[512];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ended = got == 0;
            break;
        }
        if (out.size() < 65536) out.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    if (!ended) kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) return std::nullopt;
    return out;
}

// The first word of a helper's answer, up to a blank, a line end or a ';' (parameters).
std::string FirstWord(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_first_of(" \t\r\n;", begin) - begin);
}

enum class Association { Found, None, Unknown };

// Whether the desktop names a program for the document's type, asked the way xdg-open itself
// asks (xdg-mime follows the same desktop and the same settings). Unknown when the question
// cannot be put or gets no answer.
Association FindAssociation(const std::string& mimePath, const std::string& document) {
    if (mimePath.empty()) return Association::Unknown;
    const std::optional<std::string> type = QueryOutput(mimePath, {"xdg-mime", "query", "filetype", document});
    if (!type) return Association::Unknown;
    const std::string typeName = FirstWord(*type);
    if (typeName.empty()) return Association::None;
    const std::optional<std::string> app = QueryOutput(mimePath, {"xdg-mime", "query", "default", typeName});
    if (!app) return Association::Unknown;
    return FirstWord(*app).empty() ? Association::None : Association::Found;
}

// What the grandchild asks before it becomes xdg-open: the document's type and its program.
struct DocumentCheck {
    std::string mimePath;  // xdg-mime, or empty when it is not on PATH
    std::string document;
};

// Marks a shell error code on the error pipe, apart from the errno values (all positive).
constexpr int ShellCodeReport(std::intptr_t code) { return -static_cast<int>(code); }

// The grandchild of a document's start: it alone waits for xdg-mime's answer, then becomes
// xdg-open, or reports that no program is set for the document's type.
[[noreturn]] void RunDocumentOpener(const SpawnPlan& plan, const DocumentCheck& check) {
    MakeCleanProcess(plan);
    // It may live a while before the exec: none of our descriptors but the error pipe stays
    // open meanwhile (the window system would keep our windows for the connection).
    const unsigned int keep = static_cast<unsigned int>(plan.errorFd);
    if ((keep > 3 && close_range(3, keep - 1, 0) != 0) || close_range(keep + 1, ~0U, 0) != 0) {
        for (int fd = 3; fd < plan.fallbackMaxFd; ++fd)
            if (fd != plan.errorFd) close(fd);
    }
    if (FindAssociation(check.mimePath, check.document) == Association::None) {
        const int report = ShellCodeReport(kShellNoAssociation);
        ssize_t written;
        do {
            written = write(plan.errorFd, &report, sizeof report);
        } while (written < 0 && errno == EINTR);
        _exit(0);
    }
    execve(plan.path, plan.argv, plan.envp);
    ReportAndExit(plan.errorFd, errno);
}

// The intermediate child: leaves our session, starts the program and exits at once, so that the
// program is adopted by init (or a subreaper) and never becomes our zombie.
[[noreturn]] void RunIntermediate(const SpawnPlan& plan, const DocumentCheck* check) {
    if (setsid() < 0) ReportAndExit(plan.errorFd, errno);
    // A document's opener runs our own code before its exec: it is made by fork, so that the C
    // library is in order in it; a program's start only makes system calls until its exec.
    pid_t pid = check ? fork() : _Fork();
    if (pid < 0) ReportAndExit(plan.errorFd, errno);
    if (pid == 0) {
        if (check) RunDocumentOpener(plan, *check);
        RunProgram(plan);
    }
    _exit(0);
}

// Starts the program (or, with a check, the document's opener) and returns its outcome, or,
// with pendingFd, kShellPending and the descriptor that carries the outcome later.
std::intptr_t Spawn(const std::string& path, const std::vector<std::string>& args, const DocumentCheck* check = nullptr,
                    int* pendingFd = nullptr) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    long openMax = sysconf(_SC_OPEN_MAX);
    const int fallbackMaxFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return kShellOutOfResources;
    if (!MoveAboveStdio(fds[0])) {
        close(fds[1]);
        return kShellOutOfResources;
    }
    if (!MoveAboveStdio(fds[1])) {
        close(fds[0]);
        return kShellOutOfResources;
    }
    const SpawnPlan plan{path.c_str(), argv.data(), environ, fds[1], fallbackMaxFd};

    // No handler of ours may run in the children before the exec resets them.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        RunIntermediate(plan, check);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return kShellOutOfResources;
    }

    // The intermediate child exits right after its fork; reap it (ECHILD when SIGCHLD is ignored).
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (pendingFd) {
        *pendingFd = fds[0];
        return kShellPending;
    }
    return FinishStart(fds[0]);
}

}  // namespace

std::intptr_t FinishStart(int pendingFd) {
    // The pipe reaches end of file when the program has been exec'd (the last write end closes
    // on exec) and carries an errno, or a shell code, when anything before that failed.
    int childError = 0;
    ssize_t got;
    do {
        got = read(pendingFd, &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(pendingFd);
    if (got == 0) return kShellStarted;
    if (got != static_cast<ssize_t>(sizeof childError)) return kShellOutOfResources;
    if (childError < 0) return -childError;
    return CodeForErrno(childError);
}

std::intptr_t BeginStartFile(const std::string& file, const std::string& params, int& pendingFd) {
    pendingFd = -1;
    std::vector<std::string> args;
    if (!SplitParameters(params, args)) return kShellBadParameters;

    Target target = Resolve(file);
    if (target.error != 0) return target.error;

    if (target.document) {
        Target opener = FindOnPath("xdg-open");
        if (opener.error != 0) return kShellNoAssociation;
        // A name that starts with '-' would read as an option.
        DocumentCheck check;
        check.document = target.path[0] == '-' ? "./" + target.path : target.path;
        // As the Windows shell does, a document whose type no program is set to open is not
        // handed on: xdg-open would only report that after the program it runs has ended.
        const Target mime = FindOnPath("xdg-mime");
        if (mime.error == 0) check.mimePath = mime.path;
        return Spawn(opener.path, {"xdg-open", check.document}, &check, &pendingFd);
    }
    args.insert(args.begin(), file);
    return Spawn(target.path, args);
}

std::intptr_t StartFile(const std::string& file, const std::string& params) {
    int pendingFd = -1;
    const std::intptr_t result = BeginStartFile(file, params, pendingFd);
    return result == kShellPending ? FinishStart(pendingFd) : result;
}

}  // namespace vreko::posix
