// Every text the installer shows the user, in one place. Dialog templates carry their own
// texts in res/setup.rc.
#pragma once

namespace texts {

inline constexpr wchar_t kErrorCaption[] = L"错误";

// ---- The installer's own patch data is missing or damaged: nothing is written ----
inline constexpr wchar_t kInstallFailedCaption[] = L"安装失败";
inline constexpr wchar_t kPatchDataDamaged[] =
    L"Kestrune 1.2版汉化补丁未能安装：安装程序中的补丁数据缺失或已损坏，"
    L"游戏文件未被修改。请重新下载本安装程序。";
// The embedded patch differs from the digest recorded when the installer was built.
inline constexpr wchar_t kInstallerDamaged[] =
    L"本安装程序已损坏（可能下载不完整或在传输中出错），无法安装，游戏文件未被修改。"
    L"请重新下载本安装程序。";
inline constexpr wchar_t kFingerprintsDamaged[] =
    L"Kestrune 1.2版汉化补丁未能安装：安装程序中用于核对游戏文件版本的数据已损坏，"
    L"游戏文件未被修改。请重新下载本安装程序。";

// ---- One archive that was not patched (the file's path comes first) ----
inline constexpr wchar_t kCannotOpenCaption[] = L"无法打开"; // the text is the file's path alone
inline constexpr wchar_t kUnrecognisedArchive[] =
    L"无法识别此文件的内容（文件可能已损坏，或与本补丁对应的游戏版本不符），"
    L"已跳过此文件，未做任何修改。";
inline constexpr wchar_t kReadOnlyArchive[] =
    L"此文件为只读文件，无法写入，已跳过，未做任何修改。"
    L"请取消它的只读属性后重新运行本安装程序。";
// Followed by the temporary copy's path, then kRewriteFailedAfter.
inline constexpr wchar_t kRewriteFailedBefore[] =
    L"写入此文件时出错（磁盘空间不足，或文件正被其他程序使用）。"
    L"此文件的完整副本保留在：\n";
inline constexpr wchar_t kRewriteFailedAfter[] =
    L"\n\n请排除问题后重新运行本安装程序，即可自动完成此文件的安装。"
    L"在此之前请勿删除该副本。";
// Followed by the temporary copy's path, then kBothDamagedAfter.
inline constexpr wchar_t kBothDamagedBefore[] = L"此文件与上次安装留下的临时文件都不完整，无法自动修复：\n";
inline constexpr wchar_t kBothDamagedAfter[] =
    L"\n\n请从游戏安装盘或备份中恢复此文件，然后重新运行本安装程序。";

} // namespace texts
