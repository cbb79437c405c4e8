#include "win/Text.h"

#include <windows.h>

void AppendText(wchar_t* buffer, size_t capacity, const wchar_t* text) {
    size_t used = lstrlenW(buffer);
    while (*text && used + 1 < capacity) buffer[used++] = *text++;
    buffer[used] = 0;
}
