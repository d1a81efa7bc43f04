// Starting a program, or opening a document, by path with a parameter string, the way the
// Windows shell's "open" does it, for Linux desktops.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreko::posix {

// Results of StartFile. Above 32: something was started. 32 or less: nothing was; the values
// follow the Windows shell's error numbers where one fits.
constexpr std::intptr_t kShellStarted = 42;
// The program was not found: no such file, no executable of that name on PATH, or an empty name.
// Also an interpreter named by a script's "#!" line that does not exist.
constexpr std::intptr_t kShellFileNotFound = 2;
// The path names something that cannot be run or opened: a directory, a special file, a file
// found on PATH that is not executable, or the system refused the exec (EACCES, EPERM).
constexpr std::intptr_t kShellAccessDenied = 5;
// The system could not create the process (fork, pipe or memory exhausted).
constexpr std::intptr_t kShellOutOfResources = 8;
// The file is executable but is not a program the system can run (bad ELF, no "#!" line...).
constexpr std::intptr_t kShellBadFormat = 11;
// The parameter string cannot be split into arguments (unbalanced quote or a NUL byte).
constexpr std::intptr_t kShellBadParameters = 13;
// A document (existing, not executable) cannot be opened: "xdg-open" is not on PATH, or no
// program is set to open documents of its type.
constexpr std::intptr_t kShellNoAssociation = 31;
// BeginStartFile only: a document's start waits for the check of its type, which runs beside
// the caller; the outcome comes later (FinishStart).
constexpr std::intptr_t kShellPending = 43;

// Splits a parameter string into arguments (replacing the contents of args), without any
// expansion and never through a shell:
//  - blanks (space, tab) separate arguments; runs of blanks count as one, leading and trailing
//    blanks are ignored, so an empty or all-blank string gives no argument;
//  - 'single' and "double" quotes group; they may start or end in the middle of an argument
//    (a"b c"d gives `ab cd`), and an empty pair ("" or '') gives an empty argument;
//  - inside double quotes a backslash escapes only `"` and `\`; before any other character it
//    is kept as it is. Outside double quotes a backslash is an ordinary character, so Windows
//    style paths (C:\dir\file) pass through unchanged;
//  - nothing else is special: $, *, ?, ~, ;, | and the like are plain characters.
// Returns false (args then holds an unspecified part) for an unbalanced quote, or for a NUL byte,
// which no argument of a program can carry.
bool SplitParameters(std::string_view params, std::vector<std::string>& args);

// Starts `file` with the arguments split from `params` and returns at once, without waiting.
//  - A file name containing '/' names that file (relative to the current directory when it does
//    not start with '/'); a name without '/' is looked up on PATH (an empty PATH entry means the
//    current directory; without PATH the system's default path is searched) for an executable
//    regular file.
//  - A file named by a path that exists, is a regular file and is not executable is treated as
//    a document and opened with "xdg-open <path>" (xdg-open looked up on PATH, params ignored).
//    First its type and the program set to open that type are asked of "xdg-mime" (on PATH), by
//    the process that then becomes xdg-open: when it names none, nothing is started. When
//    xdg-mime is missing or fails, xdg-open is started all the same. StartFile waits for that
//    answer; BeginStartFile does not.
//  - The program runs detached, in a session of its own, with stdin from /dev/null, stdout and
//    stderr shared with this process, no other descriptor of this process, default signal
//    dispositions and an empty signal mask. It inherits the current directory and the
//    environment, is not a child of this process (no zombie is ever left) and keeps running
//    after this process ends.
//  - Exec runs the file as it is (no fallback to /bin/sh for a script without "#!").
// Returns kShellStarted once the program has been exec'd, or one of the codes above (all <= 32)
// when nothing was started, including a file that exists but fails to exec.
std::intptr_t StartFile(const std::string& file, const std::string& params);

// StartFile without waiting for the check of a document's type: for a document it returns
// kShellPending and sets pendingFd to a descriptor that becomes readable once the start is
// decided; FinishStart then gives the outcome. Anything else is decided at once, as by StartFile.
std::intptr_t BeginStartFile(const std::string& file, const std::string& params, int& pendingFd);

// The outcome of a pending start, as StartFile would have returned it; waits for it when the
// descriptor is not readable yet, and closes the descriptor.
std::intptr_t FinishStart(int pendingFd);

}  // namespace vreko::posix
