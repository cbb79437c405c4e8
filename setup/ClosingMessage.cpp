#include "setup/ClosingMessage.h"

#include "setup/InstallerTexts.h"
#include "win/Text.h"
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
    MessageText text;
    text.Append(texts::kIncompleteHead);
    if (outcome.run.failedCount) {
        wchar_t line[160];
        wsprintfW(line, texts::kIncompleteArchivesFormat,
                  outcome.run.failedCount, outcome.run.archiveCount);
        text.Append(line);
    }
    if (!outcome.companionWritten)
        text.Append(texts::kIncompleteCompanion);
    text.Append(texts::kIncompleteTail);
    ShowUserMessage(nullptr, text.Get(), texts::kIncompleteCaption);
}
