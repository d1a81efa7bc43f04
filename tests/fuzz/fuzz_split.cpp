// Splitting of a command's parameter string: a list of arguments, each quoted and joined by
// blanks, splits back into the same list; and whatever a string splits into survives the
// same quoting and splitting again.
//
// Input: one byte choosing the quoting and the blanks, then NUL-separated arguments. The
// whole input after that byte is also split as a parameter string of its own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/shell_launch.h"

namespace {

// "..." with `"` and `\` escaped: the only escapes the splitter knows inside double quotes.
std::string DoubleQuoted(std::string_view arg) {
    std::string q = "\"";
    for (char c : arg) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

// '...', with a single quote written as '"'"' (close, a double-quoted quote, reopen).
std::string SingleQuoted(std::string_view arg) {
    std::string q = "'";
    for (char c : arg) {
        if (c == '\'')
            q += "'\"'\"'";
        else
            q += c;
    }
    return q + "'";
}

// Bare where nothing needs quoting, else double quotes.
std::string Minimal(std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"'") == std::string_view::npos) return std::string(arg);
    return DoubleQuoted(arg);
}

std::string Join(const std::vector<std::string>& args, std::uint8_t style) {
    // Blanks between arguments: one space, a tab, or a run of both; sometimes around the ends too.
    static const char* const kSeparators[] = {" ", "\t", " \t  "};
    const char* separator = kSeparators[(style >> 2) % 3];
    std::string joined = (style & 0x40) ? separator : "";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) joined += separator;
        switch (style & 3) {
            case 0: joined += DoubleQuoted(args[i]); break;
            case 1: joined += SingleQuoted(args[i]); break;
            default: joined += Minimal(args[i]); break;
        }
    }
    if (style & 0x80) joined += separator;
    return joined;
}

std::string Show(const std::vector<std::string>& args) {
    std::string s;
    for (const std::string& a : args) s += "<" + a + ">";
    return s;
}

void ExpectRoundTrip(const std::vector<std::string>& args, std::uint8_t style) {
    const std::string joined = Join(args, style);
    std::vector<std::string> again;
    if (!vreko::posix::SplitParameters(joined, again)) {
        std::fprintf(stderr, "quoted list %s as [%s] does not split\n", Show(args).c_str(), joined.c_str());
        std::abort();
    }
    if (again != args) {
        std::fprintf(stderr, "quoted list %s as [%s] splits into %s\n", Show(args).c_str(), joined.c_str(),
                     Show(again).c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t style = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    // A list of arguments of our own (none can hold a NUL).
    std::vector<std::string> args;
    if (!rest.empty()) {
        std::size_t begin = 0;
        while (true) {
            const std::size_t nul = rest.find('\0', begin);
            args.emplace_back(rest.substr(begin, nul == std::string_view::npos ? std::string_view::npos : nul - begin));
            if (nul == std::string_view::npos) break;
            begin = nul + 1;
        }
    }
    ExpectRoundTrip(args, style);

    // The input as a parameter string: a NUL or an unbalanced quote is refused; anything else
    // splits into arguments that quote and split back unchanged.
    std::vector<std::string> split;
    const bool ok = vreko::posix::SplitParameters(rest, split);
    if (!ok && rest.find('\0') == std::string_view::npos) {
        // Refused without a NUL: some quote must be left open. Count the quotes the rules
        // allow to close, scanning as a reader of the rules would.
        char open = 0;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const char c = rest[i];
            if (open == '"' && c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '"' || rest[i + 1] == '\\'))
                ++i;
            else if (open != 0 && c == open)
                open = 0;
            else if (open == 0 && (c == '"' || c == '\''))
                open = c;
        }
        if (open == 0) {
            std::fprintf(stderr, "[%.*s] refused though every quote is closed\n", static_cast<int>(rest.size()),
                         rest.data());
            std::abort();
        }
    }
    if (ok && rest.find('\0') != std::string_view::npos) {
        std::fprintf(stderr, "a parameter string with a NUL byte was split\n");
        std::abort();
    }
    if (ok) ExpectRoundTrip(split, style);
    return 0;
}
