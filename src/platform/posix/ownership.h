// Who may change a file: the words in which the program tells the user about the owner and
// the mode of a file that another user could have written.
#pragma once

#include <sys/types.h>

#include <string>

namespace vreko::posix {

// The name of the user with the number uid, or "uid <number>" when the system knows none.
std::string UserName(uid_t uid);

// A file mode's permission bits as four octal digits ("0755", "1777").
std::string ModeText(mode_t mode);

}  // namespace vreko::posix
