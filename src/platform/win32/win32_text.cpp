// Text at the edge of the backend: UTF-8 inside the program, UTF-16 for the system, and the
// GDI fonts text is drawn in.
#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(std::size_t(std::max(0, n)), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(std::max(0, n)), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

HFONT Win32Platform::Font(const FontSpec& request) {
    auto key = std::make_tuple(request.face, request.height, request.bold, request.italic);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    const std::wstring face = Widen(request.face);
    HFONT font = ::CreateFontW(request.height, 0, 0, 0, request.bold ? FW_BOLD : FW_NORMAL,
                               request.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    fonts_[key] = font;
    return font;
}

}  // namespace vreko::win32
