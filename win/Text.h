// Bounded composition of texts and paths in fixed buffers of UTF-16 units.
#pragma once
#include <cstddef>

// Appends text to the NUL-terminated buffer, as much as fits; the buffer stays terminated.
void AppendText(wchar_t* buffer, size_t capacity, const wchar_t* text);
