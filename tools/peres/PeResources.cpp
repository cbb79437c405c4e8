#include "PeResources.h"

#include <algorithm>
#include <cctype>

namespace {

struct Reader {
    const std::vector<unsigned char>& b;
    bool ok = true;
    uint32_t U16(size_t at) {
        if (at + 2 > b.size()) { ok = false; return 0; }
        return b[at] | b[at + 1] << 8;
    }
    uint32_t U32(size_t at) {
        if (at + 4 > b.size()) { ok = false; return 0; }
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
    }
};

struct Section {
    uint32_t va, vsize, raw, rawSize;
};

struct Walker {
    Reader& r;
    std::vector<Section> sections;
    size_t rsrcRaw = 0;
    PeImage* image;
    int budget = 100000; // bounds a malformed tree

    bool VaToOffset(uint32_t va, uint32_t size, size_t* out) {
        for (const Section& s : sections) {
            if (va >= s.va && va - s.va < s.rawSize && size <= s.rawSize - (va - s.va)) {
                *out = s.raw + (va - s.va);
                return *out + size <= r.b.size();
            }
        }
        return false;
    }

    // level 0: type, 1: name, 2: language
    bool Dir(size_t at, int level, uint32_t type, uint32_t id) {
        if (--budget < 0 || level > 2) return false;
        uint32_t named = r.U16(at + 12), numbered = r.U16(at + 14);
        for (uint32_t k = 0; k < named + numbered; ++k) {
            size_t entry = at + 16 + 8 * k;
            uint32_t name = r.U32(entry), target = r.U32(entry + 4);
            if (!r.ok) return false;
            if (name & 0x80000000) continue; // named entries are not used by this project
            size_t child = rsrcRaw + (target & 0x7FFFFFFF);
            if (target & 0x80000000) {
                if (!Dir(child, level + 1, level == 0 ? name : type, level == 1 ? name : id)) return false;
            } else {
                if (level != 2) return false;
                uint32_t dataVa = r.U32(child), size = r.U32(child + 4);
                size_t offset = 0;
                if (!r.ok || !VaToOffset(dataVa, size, &offset)) return false;
                image->resources.push_back({type, id, name, std::vector<unsigned char>(r.b.begin() + offset, r.b.begin() + offset + size)});
            }
        }
        return r.ok;
    }
};

} // namespace

bool ReadPeImage(const std::vector<unsigned char>& file, PeImage* image, std::string* error) {
    Reader r{file};
    auto fail = [&](const char* why) { *error = why; return false; };
    if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') return fail("no MZ header");
    size_t pe = r.U32(60);
    if (r.U32(pe) != 0x4550) return fail("no PE signature");
    image->machine = static_cast<uint16_t>(r.U16(pe + 4));
    uint32_t sectionCount = r.U16(pe + 6), optionalSize = r.U16(pe + 20);
    size_t opt = pe + 24;
    uint32_t magic = r.U16(opt);
    if (magic != 0x10B && magic != 0x20B) return fail("unknown optional header");
    image->gui = r.U16(opt + 68) == 2;
    size_t dirs = opt + (magic == 0x10B ? 96 : 112);
    uint32_t rsrcVa = r.U32(dirs + 2 * 8);
    Walker w{r, {}, 0, image};
    size_t sectionTable = opt + optionalSize;
    for (uint32_t s = 0; s < sectionCount; ++s) {
        size_t at = sectionTable + 40 * s;
        w.sections.push_back({r.U32(at + 12), r.U32(at + 8), r.U32(at + 20), r.U32(at + 16)});
    }
    if (!r.ok) return fail("truncated headers");
    // Import descriptors are 20 bytes (name at 12), delay-import ones 32 (name at 4); both
    // tables end with an all-zero descriptor.
    struct ImportTable { int dir; size_t size, nameAt; };
    for (ImportTable t : {ImportTable{1, 20, 12}, ImportTable{13, 32, 4}}) {
        uint32_t va = r.U32(dirs + t.dir * 8);
        for (int k = 0; va && k < 4096; ++k) {
            size_t at = 0;
            if (!w.VaToOffset(va + k * static_cast<uint32_t>(t.size), static_cast<uint32_t>(t.size), &at))
                return fail("import table outside the file");
            uint32_t nameVa = r.U32(at + t.nameAt);
            if (!nameVa) break;
            size_t name = 0;
            if (!w.VaToOffset(nameVa, 1, &name)) return fail("import name outside the file");
            size_t end = name;
            while (end < file.size() && file[end] && end - name < 256) ++end;
            if (end >= file.size() || file[end]) return fail("import name not terminated");
            image->imports.emplace_back(file.begin() + name, file.begin() + end);
        }
    }
    if (!rsrcVa) return true;
    if (!w.VaToOffset(rsrcVa, 16, &w.rsrcRaw)) return fail("resource directory outside the file");
    if (!w.Dir(w.rsrcRaw, 0, 0, 0)) return fail("malformed resource tree");
    return true;
}

const PeResource* FindPeResource(const PeImage& image, uint32_t type, uint32_t id) {
    for (const PeResource& res : image.resources)
        if (res.type == type && res.id == id) return &res;
    return nullptr;
}

bool IsSystemDll(const std::string& name) {
    static const char* const kSystem[] = {
        "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll", "comdlg32.dll",
        "advapi32.dll", "ole32.dll", "oleaut32.dll", "shlwapi.dll", "msvcrt.dll", "ntdll.dll",
        "bcrypt.dll", "psapi.dll", "version.dll", "uxtheme.dll",
    };
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::find(std::begin(kSystem), std::end(kSystem), lower) != std::end(kSystem);
}
