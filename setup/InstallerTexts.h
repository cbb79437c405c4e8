// Every text the installer shows the user, in one place. Dialog templates carry their own
// texts in res/setup.rc.
#pragma once

namespace texts {

inline constexpr wchar_t kErrorCaption[] = L"错误";

// ---- The game-folder choice ----
inline constexpr wchar_t kFolderBrowserTitle[] = L"设定游戏所在目录";
// The browser was cancelled; the one English caption.
inline constexpr wchar_t kEmptyChoice[] = L"选择为空";
inline constexpr wchar_t kEmptyChoiceCaption[] = L"Choose";
inline constexpr wchar_t kNotGameFolder[] = L"您所选择的目录不是Kestrune目录！请重新选择！";
inline constexpr wchar_t kFolderPathTooLong[] =
    L"您所选择的目录路径过长，补丁无法安装到该目录！"
    L"请将游戏移动到路径较短的目录后重新选择！";
inline constexpr wchar_t kFreeSpaceUnknown[] = L"无法获取游戏所在分区的剩余空间！请重新选择！";
inline constexpr wchar_t kFreeSpaceTooLow[] = L"游戏所在分区剩余空间不足！请至少保证140MB的可用空间！";

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
// Followed by the temporary path, then kForeignTempAfter.
inline constexpr wchar_t kForeignTempBefore[] = L"此文件旁有一个不是本安装程序留下的同名临时文件：\n";
inline constexpr wchar_t kForeignTempAfter[] =
    L"\n\n为免误删该文件，已跳过此文件，未做任何修改。请将该文件移走后重新运行本安装程序。";

// ---- The patching run: an archive skipped (followed by its name on a line of its own) ----
inline constexpr wchar_t kArchivePathTooLong[] = L"游戏目录的路径过长，无法处理以下文件：";
inline constexpr wchar_t kOtherRelease[] =
    L"以下文件与本补丁对应的游戏版本不符（可能属于其他版本的游戏）。"
    L"为避免损坏游戏文件，此文件已被跳过，未做任何修改：";
inline constexpr wchar_t kArchiveDataIncomplete[] = L"安装程序中的补丁数据不完整，已跳过以下文件：";
// The run was given no payload.
inline constexpr wchar_t kPayloadMissing[] =
    L"安装程序中的补丁数据缺失或已损坏，无法安装。游戏文件未被修改。"
    L"请重新下载本安装程序。";

// ---- The closing message ----
inline constexpr wchar_t kInstalledCaption[] = L"成功安装";
inline constexpr wchar_t kInstalled[] =
    L"您已经成功安装了Kestrune 1.2版汉化补丁！"
    L"在您开始游戏之前，请先运行游戏目录下的KSTRLangSet.exe！";
inline constexpr wchar_t kIncompleteCaption[] = L"安装未完成";
// The lines that apply, in this order.
inline constexpr wchar_t kIncompleteHead[] = L"Kestrune 1.2版汉化补丁没有完全安装：\n";
inline constexpr wchar_t kIncompleteArchivesFormat[] = // failed count, archive count
    L"共%u个游戏文件（总数%u个）未能打上补丁，出错的文件已在前面逐一提示。\n";
inline constexpr wchar_t kIncompleteCompanion[] = L"未能将KSTRLangSet.exe写入游戏目录。\n";
inline constexpr wchar_t kIncompleteTail[] =
    L"请排除问题（例如关闭正在运行的游戏）后再次运行本安装程序，"
    L"即可完成未完成的部分。";

} // namespace texts
