// The installer's three dialogs as designed: caption, place and size in dialog units, and
// the controls in template order. Shared by the on-screen checks and the resource check.
#pragma once
#include <windows.h>

#include <vector>

enum Match { kExact, kContains, kAny };

struct ControlDesign {
    const wchar_t* className;
    int id;
    int x, y, w, h;        // dialog units
    DWORD styleMask, style; // (GetWindowLong(GWL_STYLE) & styleMask) == style
    Match match;
    const wchar_t* text;    // exact text, or a part of it, or nothing to compare
};

struct DialogDesign {
    const wchar_t* name;
    const wchar_t* caption;
    int x, y, w, h;
    std::vector<ControlDesign> controls;
};

inline constexpr int kStatic = 0xFFFF;
inline constexpr DWORD kButtonType = 0x0F;
inline constexpr DWORD kStaticType = 0x1F;

inline const DialogDesign kNotice = {
    L"notice", L"Kestrune汉化补丁安装程序 V1.2", 150, 150, 279, 130,
    {
        {L"Button", IDOK, 159, 112, 50, 14, kButtonType, BS_DEFPUSHBUTTON, kExact, L"同意"},
        {L"Button", IDCANCEL, 219, 112, 50, 14, kButtonType, BS_PUSHBUTTON, kExact, L"不同意"},
        {L"Static", kStatic, 3, 22, 267, 60, kStaticType | SS_SUNKEN, SS_LEFT | SS_SUNKEN, kContains,
         L"本补丁仅供学习与交流使用"},
        {L"Static", kStatic, 63, 4, 140, 11, kStaticType, SS_CENTER, kExact, L"欢迎使用Kestrune汉化补丁"},
        {L"Static", kStatic, 23, 89, 235, 19, kStaticType, SS_LEFT, kContains, L"https://forum.example.org/"},
    }};

inline const DialogDesign kFolder = {
    L"game-folder dialog", L"Kestrune汉化补丁安装程序", 100, 100, 367, 221,
    {
        {L"Button", IDOK, 242, 203, 50, 14, kButtonType, BS_DEFPUSHBUTTON, kExact, L"下一步"},
        {L"Button", IDCANCEL, 300, 203, 50, 14, kButtonType, BS_PUSHBUTTON, kExact, L"取消"},
        // On screen the picture control takes the bitmap's size (checked on its own).
        {L"Static", kStatic, 1, 1, 366, 194, kStaticType, SS_BITMAP, kAny, nullptr},
    }};

inline const DialogDesign kProgress = {
    L"progress dialog", L"Kestrune汉化补丁安装程序", 100, 100, 350, 73,
    {
        {L"Static", kStatic, 1, 2, 230, 8, kStaticType, SS_LEFT, kExact, L"欢迎使用Kestrune汉化补丁"},
        {L"Static", kStatic, 1, 15, 87, 8, kStaticType, SS_LEFT, kExact, L"补丁将被安装在以下目录:"},
        // Its border: WS_BORDER in the template; on screen the control draws its own frame.
        {L"msctls_progress32", 1001, 1, 55, 349, 13, 0, 0, kAny, nullptr},
        {L"Edit", 1002, 1, 26, 349, 12, ES_AUTOHSCROLL | WS_DISABLED, ES_AUTOHSCROLL | WS_DISABLED, kAny,
         nullptr}, // bordered: WS_BORDER in the template, a client edge on screen
        {L"Static", kStatic, 1, 42, 31, 8, kStaticType, SS_LEFT, kExact, L"安装进度"},
        {L"Static", 1005, 33, 42, 317, 10, kStaticType, SS_LEFT, kAny, nullptr},
    }};

