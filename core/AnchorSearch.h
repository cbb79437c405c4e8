// The switcher's search for the language code in a game executable. Portable.
//
// The anchor is a fixed 12-byte sequence; the six bytes that start 6 bytes after its end
// (anchor + 18) load the game's language identifier and are what the switcher rewrites.
// Only the first anchor counts, and only starts 0 .. S - 13 are examined (the window that
// starts at S - 12 is not). The file is read front to back in large blocks; an anchor that
// straddles two blocks is found, and a partial match never hides an anchor that starts at
// one of its later bytes.
#pragma once
#include <cstdint>

constexpr uint32_t kAnchorSize = 12;
extern const unsigned char kAnchor[kAnchorSize];

// The language code: its offset from the anchor's start and its size.
constexpr uint32_t kLanguageCodeOffset = kAnchorSize + 6;
constexpr uint32_t kLanguageCodeSize = 6;
extern const unsigned char kChineseCode[kLanguageCodeSize]; // mov eax, 0x411; nop
extern const unsigned char kEnglishCode[kLanguageCodeSize]; // mov eax, 0x409; nop

// The progress bar is set when the scan reaches a start that is a multiple of this.
constexpr uint32_t kScanProgressStep = 0x40000;

// Blocks of this size keep a 30 MB executable to a few dozen reads.
constexpr uint32_t kScanBufferSize = 1u << 20;

// Number of starts examined in a file of `size` bytes: 0 for files of 12 bytes or fewer.
uint32_t AnchorScanLimit(uint32_t size);

// Progress position shown when the scan reaches `position`: position / size * 100,
// computed in floating point, truncated.
int ScanProgressPosition(uint32_t position, uint32_t size);

// True when the language code behind an anchor at `anchorPos` lies inside the file.
bool LanguageCodeFits(uint32_t anchorPos, uint32_t size);

enum class AnchorScanResult { Found, NotFound, ReadFailed };

// Reads the next `count` bytes of the file into `buffer`; false when they cannot all be read.
using ScanReadFn = bool (*)(void* context, unsigned char* buffer, uint32_t count);
// Shows a progress position (0 to 99).
using ScanProgressFn = void (*)(void* context, int position);

struct AnchorScanIo {
    ScanReadFn read;
    ScanProgressFn progress;
    void* context;
};

// Scans a file of `size` bytes, read from its start, for the first anchor. `buffer` holds
// `bufferSize` bytes (at least kAnchorSize); the file is read in blocks of up to
// bufferSize - 11 bytes, and only as far as the last examined start needs. The progress
// callback sees the same positions, in the same order, as a scan that walks the starts one
// at a time: every multiple of kScanProgressStep up to the anchor (or through the last
// start examined).
AnchorScanResult FindAnchor(uint32_t size, unsigned char* buffer, uint32_t bufferSize,
                            const AnchorScanIo& io, uint32_t* anchorPos);
