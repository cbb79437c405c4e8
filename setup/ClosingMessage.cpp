#include "setup/ClosingMessage.h"

#include "setup/InstallerTexts.h"
#include "win/UserMessage.h"

void ShowClosingMessage(const InstallOutcome& outcome) {
    if (outcome.run.payloadMissing) {
        ShowUserMessage(nullptr, texts::kPatchDataDamaged, texts::kInstallFailedCaption);
        return;
    }
    if (outcome.run.failedCount == 0 && outcome.companionWritten) {
        ShowUserMessage(nullptr, texts::kInstalled, texts::kInstalledCaption);
        return;
    }
    wchar_t text[512] = L"";
    AppendText(text, 512, texts::kIncompleteHead);
    if (outcome.run.failedCount) {
        wchar_t line[160];
        wsprintfW(line, texts::kIncompleteArchivesFormat,
                  outcome.run.failedCount, outcome.run.archiveCount);
        AppendText(text, 512, line);
    }
    if (!outcome.companionWritten)
        AppendText(text, 512, texts::kIncompleteCompanion);
    AppendText(text, 512, texts::kIncompleteTail);
    ShowUserMessage(nullptr, text, texts::kIncompleteCaption);
}
