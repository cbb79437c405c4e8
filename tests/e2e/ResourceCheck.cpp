// Reads a built setup.exe's resources (as data, so a 64-bit checker can read the 32-bit
// program) and checks them against the design: every resource in Chinese (PRC) but the
// application manifest (1033); the manifest declares no dependency, asks for
// administrator rights and declares DPI awareness (so does the companion program's); the three dialog templates; the banner and icon formats; a
// well-formed patch manifest, the payload and the companion program.
//   resource_check SETUP.EXE [companion=0|1]   -> "RESOURCES PASS" or "RESOURCES FAIL: ..."
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "DialogDesigns.h"
#include "core/PatchManifest.h"
#include "core/PatchParts.h"
#include "setup/resource.h"

namespace {

HMODULE g_module = nullptr;
int g_failures = 0;

void Problem(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("RESOURCES FAIL: ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    ++g_failures;
}

std::string Narrow(const std::wstring& s) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(bytes ? bytes - 1 : 0);
    return out;
}

std::string Name(LPCWSTR id) {
    return IS_INTRESOURCE(id) ? std::to_string(reinterpret_cast<ULONG_PTR>(id)) : Narrow(id);
}

// ---- every resource, with its languages ----

struct Entry {
    std::string type, name;
    std::set<WORD> languages;
};
std::vector<Entry> g_entries;

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<Entry*>(param)->languages.insert(language);
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR) {
    Entry entry{Name(type), Name(name), {}};
    EnumResourceLanguagesW(module, type, name, OnLanguage, reinterpret_cast<LONG_PTR>(&entry));
    g_entries.push_back(entry);
    return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR) {
    EnumResourceNamesW(module, type, OnName, 0);
    return TRUE;
}

void CheckInventory(bool companion) {
    EnumResourceTypesW(g_module, OnType, 0);
    auto rawData = [](int id) { return "10/" + std::to_string(id); };
    std::set<std::string> expected = {"5/143", "5/144", "5/145", "2/165", "14/107", "14/108", "24/1",
                                      rawData(kPatchDigestResourceId)};
    if (companion) expected.insert("10/169");
    // The patch's parts (core/PatchParts.h); the archives' fingerprints and the progress
    // total travel along when the patch has them.
    std::set<std::string> optional;
    for (const PatchPartInfo& part : kPatchParts) (part.optional ? optional : expected).insert(rawData(part.resourceId));
    std::set<std::string> found;
    for (const Entry& e : g_entries) {
        const std::string key = e.type + "/" + e.name;
        const WORD language = key == "24/1" ? 1033 : 2052;
        if (e.languages != std::set<WORD>{language})
            Problem("resource %s is not in language %u alone", key.c_str(), language);
        if (e.type == "3") continue; // the icon images belong to the two groups
        found.insert(key);
        if (!expected.count(key) && !optional.count(key)) Problem("unexpected resource %s", key.c_str());
    }
    for (const std::string& key : expected)
        if (!found.count(key)) Problem("resource %s missing", key.c_str());
    printf("resources: %zu entries, languages as designed\n", g_entries.size());
}

const unsigned char* Load(LPCWSTR type, int id, WORD language, DWORD* size) {
    HRSRC info = FindResourceExW(g_module, type, MAKEINTRESOURCEW(id), language);
    if (!info) return nullptr;
    *size = SizeofResource(g_module, info);
    return static_cast<const unsigned char*>(LockResource(LoadResource(g_module, info)));
}

// ---- application manifest ----

// Without these Windows stretches the program's windows as bitmaps on a scaled display: the
// text blurs. System-aware at least, per monitor (v2) where Windows offers it.
bool DeclaresDpiAwareness(const std::string& xml) {
    return xml.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>") !=
               std::string::npos &&
           xml.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2") !=
               std::string::npos;
}

void CheckManifest() {
    DWORD size = 0;
    const unsigned char* data = Load(MAKEINTRESOURCEW(24), 1, 1033, &size);
    if (!data) return Problem("no application manifest 1 in language 1033");
    std::string xml(reinterpret_cast<const char*>(data), size);
    if (xml.find("<assembly") == std::string::npos) Problem("manifest has no assembly element");
    if (xml.find("<dependency") != std::string::npos) Problem("manifest declares a dependency");
    if (xml.find("<requestedExecutionLevel level=\"requireAdministrator\"") == std::string::npos)
        Problem("manifest does not request administrator rights");
    if (!DeclaresDpiAwareness(xml)) Problem("manifest does not declare DPI awareness");
    printf("manifest: assembly without dependencies, requestedExecutionLevel requireAdministrator, DPI-aware\n");
}

// ---- pictures ----

void CheckBitmapAndIcons() {
    DWORD size = 0;
    const auto* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(Load(RT_BITMAP, IDB_BANNER, 2052, &size));
    if (!bitmap || size < sizeof(BITMAPINFOHEADER)) return Problem("no banner bitmap");
    if (bitmap->biWidth != 640 || std::abs(bitmap->biHeight) != 316 || bitmap->biBitCount != 24)
        Problem("banner is %ldx%ld at %u bits", bitmap->biWidth, bitmap->biHeight, bitmap->biBitCount);
    printf("banner: %ldx%ld, %u bits per pixel\n", bitmap->biWidth, std::abs(bitmap->biHeight), bitmap->biBitCount);

    const int groups[2][2] = {{IDI_APP, 64}, {IDI_SMALL, 48}};
    for (const auto& group : groups) {
        const unsigned char* dir = Load(RT_GROUP_ICON, group[0], 2052, &size);
        if (!dir || size < 6 + 14) { Problem("icon group %d missing", group[0]); continue; }
        const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
        // GRPICONDIRENTRY: width, height, colors, reserved, planes, bit count, bytes, id.
        const unsigned char* entry = dir + 6;
        const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
        const WORD imageId = *reinterpret_cast<const WORD*>(entry + 12);
        if (count != 1 || entry[0] != group[1] || entry[1] != group[1] || bits != 32)
            Problem("icon group %d: %u images, first %ux%u at %u bits", group[0], count, entry[0], entry[1], bits);
        DWORD imageSize = 0;
        const auto* image = reinterpret_cast<const BITMAPINFOHEADER*>(Load(RT_ICON, imageId, 2052, &imageSize));
        if (!image || image->biWidth != group[1] || image->biHeight != 2 * group[1] || image->biBitCount != 32)
            Problem("icon group %d: its image is not %dx%d at 32 bits", group[0], group[1], group[1]);
        printf("icon group %d: one %dx%d image, 32 bits per pixel\n", group[0], group[1], group[1]);
    }
}

// ---- dialog templates ----

struct Reader {
    const unsigned char* p;
    const unsigned char* end;
    WORD Word() { WORD w = p + 2 <= end ? *reinterpret_cast<const WORD*>(p) : 0; p += 2; return w; }
    DWORD Dword() { DWORD d = Word(); return d | (DWORD(Word()) << 16); }
    short Short() { return static_cast<short>(Word()); }
    std::wstring String() {
        std::wstring s;
        for (WORD w; (w = Word()) != 0 && p <= end;) s += static_cast<wchar_t>(w);
        return s;
    }
    // A string or an ordinal (returned as "#n").
    std::wstring StringOrOrdinal() {
        if (p + 2 <= end && *reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    void Align4(const unsigned char* base) { p = base + ((p - base + 3) & ~3); }
};

std::wstring ClassName(const std::wstring& raw) {
    static const wchar_t* names[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
    if (raw.size() > 1 && raw[0] == L'#') {
        int ordinal = _wtoi(raw.c_str() + 1);
        if (ordinal >= 0x80 && ordinal <= 0x85) return names[ordinal - 0x80];
    }
    return raw;
}

void CheckTemplate(int id, const DialogDesign& design) {
    DWORD size = 0;
    const unsigned char* data = Load(RT_DIALOG, id, 2052, &size);
    if (!data) return Problem("dialog %d missing", id);
    Reader r{data, data + size};
    const DWORD style = r.Dword();
    r.Dword(); // extended style
    const WORD count = r.Word();
    const short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
    const std::wstring menu = r.StringOrOrdinal(), cls = r.StringOrOrdinal(), caption = r.String();
    const DWORD frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    if ((style & frame) != frame) Problem("dialog %d style %08lx", id, static_cast<unsigned long>(style));
    if (!menu.empty() || !cls.empty()) Problem("dialog %d has a menu or class", id);
    if (caption != design.caption) Problem("dialog %d caption %s", id, Narrow(caption).c_str());
    if (x != design.x || y != design.y || cx != design.w || cy != design.h)
        Problem("dialog %d at %d,%d size %dx%d", id, x, y, cx, cy);
    const WORD points = r.Word();
    const std::wstring face = r.String();
    if (points != 10 || face != L"宋体") Problem("dialog %d font %s %u", id, Narrow(face).c_str(), points);
    if (count != design.controls.size()) Problem("dialog %d has %u controls", id, count);
    for (size_t i = 0; i < count && i < design.controls.size(); ++i) {
        const ControlDesign& c = design.controls[i];
        r.Align4(data);
        const DWORD itemStyle = r.Dword();
        r.Dword();
        const short ix = r.Short(), iy = r.Short(), icx = r.Short(), icy = r.Short();
        const WORD itemId = r.Word();
        const std::wstring itemClass = ClassName(r.StringOrOrdinal());
        const std::wstring text = r.StringOrOrdinal();
        const WORD extra = r.Word();
        r.p += extra;
        const bool sameText = c.match == kAny || (c.match == kExact ? text == c.text : text.find(c.text) != std::wstring::npos);
        if (lstrcmpiW(itemClass.c_str(), c.className) != 0 || itemId != c.id || ix != c.x || iy != c.y ||
            icx != c.w || icy != c.h || (itemStyle & c.styleMask) != c.style || !sameText ||
            (itemStyle & (WS_CHILD | WS_VISIBLE)) != (WS_CHILD | WS_VISIBLE))
            Problem("dialog %d control %zu: %s %u at %d,%d size %dx%d style %08lx text %s", id, i + 1,
                    Narrow(itemClass).c_str(), itemId, ix, iy, icx, icy, static_cast<unsigned long>(itemStyle),
                    Narrow(text).c_str());
        if (c.style == SS_BITMAP && text != L"#" + std::to_wstring(IDB_BANNER))
            Problem("dialog %d picture shows %s, not the banner", id, Narrow(text).c_str());
        if (c.id == 1001 || c.id == 1002) {
            if (!(itemStyle & WS_BORDER)) Problem("dialog %d control %u has no border", id, itemId);
        }
    }
    printf("dialog %d (%s): template as designed, font 宋体 10\n", id, Narrow(design.name).c_str());
}

void CheckPatchData(bool companion) {
    DWORD size = 0;
    const unsigned char* manifest = Load(RT_RCDATA, IDR_MANIFEST, 2052, &size);
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    if (!manifest || !ParsePatchManifest(manifest, size, &sets, &count))
        return Problem("the patch manifest is missing or malformed");
    FreePatchSets(sets, count);
    DWORD payloadSize = 0, companionSize = 0;
    if (!Load(RT_RCDATA, IDR_PAYLOAD, 2052, &payloadSize) || !payloadSize) Problem("no payload");
    const unsigned char* exe = Load(RT_RCDATA, IDR_LANGSET, 2052, &companionSize);
    if (companion && (!exe || companionSize < 2 || exe[0] != 'M' || exe[1] != 'Z'))
        Problem("the companion program is missing or not a program");
    // Its manifest lies in its resources as plain text.
    if (companion && exe && !DeclaresDpiAwareness(std::string(reinterpret_cast<const char*>(exe), companionSize)))
        Problem("the companion program's manifest does not declare DPI awareness");
    printf("patch data: manifest of %u archives, payload of %lu bytes, companion of %lu bytes\n", count,
           static_cast<unsigned long>(payloadSize), static_cast<unsigned long>(companionSize));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const bool companion = argc < 3 || std::wstring(argv[2]) != L"companion=0";
    g_module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!g_module) {
        printf("RESOURCES FAIL: cannot load %s (error %lu)\n", Narrow(argv[1]).c_str(), GetLastError());
        return 1;
    }
    CheckInventory(companion);
    CheckManifest();
    CheckBitmapAndIcons();
    CheckTemplate(IDD_NOTICE, kNotice);
    CheckTemplate(IDD_PROGRESS, kProgress);
    CheckTemplate(IDD_FOLDER, kFolder);
    CheckPatchData(companion);
    if (g_failures) return 1;
    printf("RESOURCES PASS\n");
    return 0;
}
