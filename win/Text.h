// Bounded composition of texts and paths in fixed buffers of UTF-16 units.
#pragma once
#include <cstddef>

// Appends text to the NUL-terminated buffer, as much as fits; the buffer stays terminated.
void AppendText(wchar_t* buffer, size_t capacity, const wchar_t* text);

// The text of one message box, composed piece by piece: its sentences and the paths they
// name. What does not fit is cut at the end; the longest message (two paths of up to
// MAX_PATH units and its sentences) fits.
class MessageText {
public:
    MessageText& Append(const wchar_t* text) {
        AppendText(m_units, kUnits, text);
        return *this;
    }
    const wchar_t* Get() const { return m_units; }

private:
    static constexpr size_t kUnits = 1024;
    wchar_t m_units[kUnits] = L"";
};
