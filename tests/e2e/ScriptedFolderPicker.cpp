// The folder picker of the installer's test build, for the choices the shell's browser
// cannot offer on demand (no file-system path, folders too long): each call takes the next answer from
// KSTR_E2E_PICKS, answers separated by '|': a folder path, "<nopath>" (a choice without a
// file-system path) or "<cancel>". No answer left means cancel.
#include "setup/FolderPicker.h"

#include "setup/Globals.h"

int PickGameFolder(wchar_t* path) {
    static int next = 0;
    static wchar_t picks[8192];
    if (!GetEnvironmentVariableW(L"KSTR_E2E_PICKS", picks, 8192)) return 0;
    // Find answer number `next`.
    wchar_t* answer = picks;
    for (int i = 0; i < next && answer; ++i) {
        answer = wcschr(answer, L'|');
        if (answer) ++answer;
    }
    ++next;
    if (!answer || !*answer) return 0;
    wchar_t* end = wcschr(answer, L'|');
    if (end) *end = 0;
    Sleep(200); // as long as a quick user takes
    if (lstrcmpW(answer, L"<cancel>") == 0) return 0;
    path[0] = 0;
    if (lstrcmpW(answer, L"<nopath>") == 0) return 1;
    lstrcpynW(path, answer, kPathUnits);
    return 1;
}
