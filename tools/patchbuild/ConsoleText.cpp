#include "tools/patchbuild/ConsoleText.h"

#include <cstdarg>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// The console behind the stream, or null when the stream goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

bool WriteToConsole(HANDLE console, const std::string& utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], units);
    DWORD written = 0;
    return WriteConsoleW(console, wide.data(), DWORD(wide.size()), &written, nullptr) != 0;
}
#endif

} // namespace

void WriteText(std::FILE* stream, const std::string& utf8) {
#ifdef _WIN32
    if (HANDLE console = ConsoleOf(stream)) {
        std::fflush(stream); // keeps the order with anything written through the stream
        if (WriteToConsole(console, utf8)) return;
    }
#endif
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

void PrintText(std::FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::vector<char> text(size_t(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        WriteText(stream, std::string(text.data(), size_t(length)));
    }
    va_end(args);
}
