// Every text the switcher shows the user, in one place. Its dialog template carries its own
// texts in res/langset.rc.
#pragma once

namespace texts {

inline constexpr wchar_t kErrorCaption[] = L"错误";
inline constexpr wchar_t kCannotOpenCaption[] = L"无法打开"; // the text is the file's name
inline constexpr wchar_t kNoticeCaption[] = L"注意";
inline constexpr wchar_t kDoneCaption[] = L"成功设置";       // the text is the file's name

inline constexpr wchar_t kNotRecognised[] =
    L"无法识别您的EXE文件，请在控制面板-〉区域和语言设置中修改您的语言为“日语”来启动中文版";
// Followed by the file's name.
inline constexpr wchar_t kReadFailed[] = L"读取此文件时出错，文件未被修改：\n";
inline constexpr wchar_t kWriteFailed[] = L"写入此文件时出错（文件可能正被其他程序使用），文件未被修改：\n";
inline constexpr wchar_t kWriteLost[] =
    L"写入此文件时出错，且无法恢复其原有内容，文件可能已损坏。请从游戏安装盘或备份中恢复：\n";

} // namespace texts
