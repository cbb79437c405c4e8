#include "setup/ClosingMessage.h"

#include "setup/InstallerTexts.h"
#include "setup/UserMessage.h"

void ShowClosingMessage(const InstallOutcome& outcome) {
    if (outcome.run.payloadMissing) {
        ShowUserMessage(nullptr, texts::kPatchDataDamaged, texts::kInstallFailedCaption);
        return;
    }
    if (outcome.run.failedCount == 0 && outcome.companionWritten) {
        ShowUserMessage(nullptr,
                        L"您已经成功安装了Kestrune 1.2版汉化补丁！"
                        L"在您开始游戏之前，请先运行游戏目录下的KSTRLangSet.exe！",
                        L"成功安装");
        return;
    }
    wchar_t text[512] = L"Kestrune 1.2版汉化补丁没有完全安装：\n";
    if (outcome.run.failedCount) {
        wchar_t line[160];
        wsprintfW(line, L"共%u个游戏文件（总数%u个）未能打上补丁，出错的文件已在前面逐一提示。\n",
                  outcome.run.failedCount, outcome.run.archiveCount);
        AppendText(text, 512, line);
    }
    if (!outcome.companionWritten)
        AppendText(text, 512, L"未能将KSTRLangSet.exe写入游戏目录。\n");
    AppendText(text, 512,
               L"请排除问题（例如关闭正在运行的游戏）后再次运行本安装程序，"
               L"即可完成未完成的部分。");
    ShowUserMessage(nullptr, text, L"安装未完成");
}
