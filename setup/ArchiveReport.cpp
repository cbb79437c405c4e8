#include "setup/ArchiveReport.h"

#include "setup/InstallerTexts.h"
#include "win/Text.h"
#include "win/UserMessage.h"

namespace {

void ShowWithPath(const wchar_t* path, const wchar_t* text) {
    MessageText message;
    message.Append(path).Append(L"\n\n").Append(text);
    ShowUserMessage(nullptr, message.Get(), texts::kErrorCaption);
}

// text, the temporary copy's path, and the rest of the text, after the archive's path.
void ShowWithPathAndCopy(const ArchiveOutcome& outcome, const wchar_t* before, const wchar_t* after) {
    MessageText message;
    message.Append(outcome.path).Append(L"\n\n").Append(before).Append(outcome.tempPath).Append(after);
    ShowUserMessage(nullptr, message.Get(), texts::kErrorCaption);
}

} // namespace

bool ReportArchiveOutcome(const ArchiveOutcome& outcome) {
    switch (outcome.result) {
    case ArchiveResult::Patched:
    case ArchiveResult::AlreadyPatched:
        return true;
    case ArchiveResult::CannotOpen:
        ShowUserMessage(nullptr, outcome.File(), texts::kCannotOpenCaption);
        break;
    case ArchiveResult::Unrecognised:
        ShowWithPath(outcome.path, texts::kUnrecognisedArchive);
        break;
    case ArchiveResult::ReadOnly:
        ShowWithPath(outcome.path, texts::kReadOnlyArchive);
        break;
    case ArchiveResult::RewriteFailed:
        ShowWithPathAndCopy(outcome, texts::kRewriteFailedBefore, texts::kRewriteFailedAfter);
        break;
    case ArchiveResult::BothDamaged:
        ShowWithPathAndCopy(outcome, texts::kBothDamagedBefore, texts::kBothDamagedAfter);
        break;
    case ArchiveResult::ForeignTemp:
        ShowWithPathAndCopy(outcome, texts::kForeignTempBefore, texts::kForeignTempAfter);
        break;
    }
    return false;
}
