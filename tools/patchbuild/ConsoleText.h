// The tool's messages: UTF-8 text (paths may hold Chinese names), shown readably in a Windows
// console whatever its code page (936 or 65001), and written unchanged everywhere else.
#pragma once
#include <cstdio>
#include <string>

// Writes the UTF-8 text to the stream (stdout or stderr): on a Windows console as UTF-16
// through the console itself, otherwise as the bytes given.
void WriteText(std::FILE* stream, const std::string& utf8);

// printf into WriteText.
void PrintText(std::FILE* stream, const char* format, ...);
