// X keys as Windows virtual keys: the program's keyboard handling reads the Windows codes.

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

namespace {

// Virtual keys without a name in message.h.
constexpr std::uint32_t kVkClear = 0x0C;
constexpr std::uint32_t kVkPause = 0x13;
constexpr std::uint32_t kVkCapital = 0x14;
constexpr std::uint32_t kVkPrior = 0x21;
constexpr std::uint32_t kVkNext = 0x22;
constexpr std::uint32_t kVkEnd = 0x23;
constexpr std::uint32_t kVkHome = 0x24;
constexpr std::uint32_t kVkSelect = 0x29;
constexpr std::uint32_t kVkPrint = 0x2A;
constexpr std::uint32_t kVkExecute = 0x2B;
constexpr std::uint32_t kVkSnapshot = 0x2C;
constexpr std::uint32_t kVkInsert = 0x2D;
constexpr std::uint32_t kVkDelete = 0x2E;
constexpr std::uint32_t kVkHelp = 0x2F;
constexpr std::uint32_t kVkLWin = 0x5B;
constexpr std::uint32_t kVkRWin = 0x5C;
constexpr std::uint32_t kVkNumpad0 = 0x60;
constexpr std::uint32_t kVkMultiply = 0x6A;
constexpr std::uint32_t kVkAdd = 0x6B;
constexpr std::uint32_t kVkSeparator = 0x6C;
constexpr std::uint32_t kVkSubtract = 0x6D;
constexpr std::uint32_t kVkDecimal = 0x6E;
constexpr std::uint32_t kVkDivide = 0x6F;
constexpr std::uint32_t kVkNumLock = 0x90;
constexpr std::uint32_t kVkScroll = 0x91;
constexpr std::uint32_t kVkOem1 = 0xBA;     // ;:
constexpr std::uint32_t kVkOemPlus = 0xBB;  // =+
constexpr std::uint32_t kVkOemComma = 0xBC;
constexpr std::uint32_t kVkOemMinus = 0xBD;
constexpr std::uint32_t kVkOemPeriod = 0xBE;
constexpr std::uint32_t kVkOem2 = 0xBF;     // /?
constexpr std::uint32_t kVkOem3 = 0xC0;     // `~
constexpr std::uint32_t kVkOem4 = 0xDB;     // [{
constexpr std::uint32_t kVkOem5 = 0xDC;     // \|
constexpr std::uint32_t kVkOem6 = 0xDD;     // ]}
constexpr std::uint32_t kVkOem7 = 0xDE;     // '"
constexpr std::uint32_t kVkOem102 = 0xE2;   // the extra key beside left Shift
constexpr std::uint32_t kVkUnknown = 0xFF;  // a key Windows has no code for

std::uint32_t FromKeysym(KeySym sym) {
    if (sym >= XK_a && sym <= XK_z) return std::uint32_t('A' + (sym - XK_a));
    if (sym >= XK_A && sym <= XK_Z) return std::uint32_t('A' + (sym - XK_A));
    if (sym >= XK_0 && sym <= XK_9) return std::uint32_t('0' + (sym - XK_0));
    if (sym >= XK_F1 && sym <= XK_F24) return vk::kF1 + std::uint32_t(sym - XK_F1);
    if (sym >= XK_KP_0 && sym <= XK_KP_9) return kVkNumpad0 + std::uint32_t(sym - XK_KP_0);
    switch (sym) {
        case XK_BackSpace:
            return vk::kBack;
        case XK_Tab:
        case XK_ISO_Left_Tab:
        case XK_KP_Tab:
            return vk::kTab;
        case XK_Clear:
        case XK_KP_Begin:
            return kVkClear;
        case XK_Return:
        case XK_KP_Enter:
            return vk::kReturn;
        case XK_Shift_L:
        case XK_Shift_R:
            return vk::kShift;
        case XK_Control_L:
        case XK_Control_R:
            return vk::kControl;
        case XK_Alt_L:
        case XK_Alt_R:
        case XK_Meta_L:
        case XK_Meta_R:
        case XK_ISO_Level3_Shift:
            return vk::kMenu;
        case XK_Pause:
        case XK_Break:
            return kVkPause;
        case XK_Caps_Lock:
            return kVkCapital;
        case XK_Escape:
            return vk::kEscape;
        case XK_space:
        case XK_KP_Space:
            return vk::kSpace;
        case XK_Prior:
        case XK_KP_Prior:
            return kVkPrior;
        case XK_Next:
        case XK_KP_Next:
            return kVkNext;
        case XK_End:
        case XK_KP_End:
            return kVkEnd;
        case XK_Home:
        case XK_KP_Home:
            return kVkHome;
        case XK_Left:
        case XK_KP_Left:
            return vk::kLeft;
        case XK_Up:
        case XK_KP_Up:
            return vk::kUp;
        case XK_Right:
        case XK_KP_Right:
            return vk::kRight;
        case XK_Down:
        case XK_KP_Down:
            return vk::kDown;
        case XK_Select:
            return kVkSelect;
        case XK_Print:
            return kVkSnapshot;
        case XK_Execute:
            return kVkExecute;
        case XK_Insert:
        case XK_KP_Insert:
            return kVkInsert;
        case XK_Delete:
        case XK_KP_Delete:
            return kVkDelete;
        case XK_Help:
            return kVkHelp;
        case XK_Super_L:
            return kVkLWin;
        case XK_Super_R:
            return kVkRWin;
        case XK_Menu:
            return vk::kApps;
        case XK_KP_Multiply:
            return kVkMultiply;
        case XK_KP_Add:
            return kVkAdd;
        case XK_KP_Separator:
            return kVkSeparator;
        case XK_KP_Subtract:
            return kVkSubtract;
        case XK_KP_Decimal:
            return kVkDecimal;
        case XK_KP_Divide:
            return kVkDivide;
        case XK_Num_Lock:
            return kVkNumLock;
        case XK_Scroll_Lock:
            return kVkScroll;
        case XK_semicolon:
            return kVkOem1;
        case XK_equal:
        case XK_plus:
            return kVkOemPlus;
        case XK_comma:
            return kVkOemComma;
        case XK_minus:
            return kVkOemMinus;
        case XK_period:
            return kVkOemPeriod;
        case XK_slash:
            return kVkOem2;
        case XK_grave:
            return kVkOem3;
        case XK_bracketleft:
            return kVkOem4;
        case XK_backslash:
            return kVkOem5;
        case XK_bracketright:
            return kVkOem6;
        case XK_apostrophe:
            return kVkOem7;
        case XK_less:
            return kVkOem102;
        case XK_Sys_Req:
            return kVkPrint;
        default:
            return 0;
    }
}

}  // namespace

std::uint32_t VirtualKeyOf(XKeyEvent& ev) {
    // Windows names the key, not the character: the unshifted symbol of the first group
    // decides, except on the keypad, where Num Lock chooses between digits and movement.
    KeySym sym = XLookupKeysym(&ev, 0);
    if (IsKeypadKey(sym) || (sym >= XK_KP_Home && sym <= XK_KP_Delete)) {
        KeySym withState = NoSymbol;
        char text[8];
        XLookupString(&ev, text, sizeof text, &withState, nullptr);
        if (withState != NoSymbol) sym = withState;
    }
    if (sym == NoSymbol) {
        // A key of another layout only: try its other levels before giving up.
        for (int i = 1; i < 4 && sym == NoSymbol; ++i) sym = XLookupKeysym(&ev, i);
    }
    const std::uint32_t vk = FromKeysym(sym);
    return vk ? vk : kVkUnknown;
}

std::uint32_t ScanBitsOf(unsigned int keycode) {
    // X key codes of evdev keyboards are the kernel's key numbers plus 8; the first 89 of those
    // are the PC scan codes. The keys of the navigation block and the right-hand modifiers have
    // the extended flag (bit 24) and scan codes of their own.
    struct Extended {
        unsigned int keycode;
        std::uint32_t scan;
    };
    static constexpr Extended kExtended[] = {
        {104, 0x1C},  // keypad Enter
        {105, 0x1D},  // right Ctrl
        {106, 0x35},  // keypad /
        {108, 0x38},  // right Alt
        {110, 0x47},  // Home
        {111, 0x48},  // Up
        {112, 0x49},  // Page Up
        {113, 0x4B},  // Left
        {114, 0x4D},  // Right
        {115, 0x4F},  // End
        {116, 0x50},  // Down
        {117, 0x51},  // Page Down
        {118, 0x52},  // Insert
        {119, 0x53},  // Delete
        {133, 0x5B},  // left Windows key
        {134, 0x5C},  // right Windows key
        {135, 0x5D},  // Menu
    };
    for (const Extended& e : kExtended)
        if (e.keycode == keycode) return (e.scan << 16) | (1u << 24);
    const unsigned int scan = keycode >= 8 && keycode < 8 + 89 ? keycode - 8 : 0;
    return std::uint32_t(scan) << 16;
}

}  // namespace vreko::x11
