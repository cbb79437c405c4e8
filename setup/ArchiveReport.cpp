#include "setup/ArchiveReport.h"

#include "setup/InstallerTexts.h"
#include "win/UserMessage.h"

namespace {

void ShowWithPath(const wchar_t* path, const wchar_t* text) {
    wchar_t message[1024] = L"";
    AppendText(message, 1024, path);
    AppendText(message, 1024, L"\n\n");
    AppendText(message, 1024, text);
    ShowUserMessage(nullptr, message, texts::kErrorCaption);
}

// text, the temporary copy's path, and the rest of the text, after the archive's path.
void ShowWithPathAndCopy(const ArchiveOutcome& outcome, const wchar_t* before, const wchar_t* after) {
    wchar_t text[700] = L"";
    AppendText(text, 700, before);
    AppendText(text, 700, outcome.tempPath);
    AppendText(text, 700, after);
    ShowWithPath(outcome.path, text);
}

} // namespace

bool ReportArchiveOutcome(const ArchiveOutcome& outcome) {
    switch (outcome.result) {
    case ArchiveResult::Patched:
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
    }
    return false;
}
