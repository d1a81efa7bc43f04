#include "platform/posix/ownership.h"

#include <pwd.h>

#include <cstdio>

namespace vreko::posix {

std::string UserName(uid_t uid) {
    if (const passwd* pw = ::getpwuid(uid); pw && pw->pw_name && pw->pw_name[0] != '\0') return pw->pw_name;
    return "uid " + std::to_string(uid);
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace vreko::posix
