#include "tools/patchbuild/GamePaths.h"

#include <algorithm>
#include <system_error>

#include "core/ManifestWriter.h"
#include "core/PatchManifest.h"

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool EndsWithArc(const std::string& name) {
    return name.size() > 4 && SameIgnoringCase(name.substr(name.size() - 4), ".arc");
}

bool IsPlainAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

} // namespace

bool ResolveArchivePath(const fs::path& root, const std::string& name, fs::path* path) {
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    *path = root / relative;
    std::error_code ec;
    if (fs::is_regular_file(*path, ec)) return true;

    fs::path at = root;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (fs::exists(at / fs::u8path(part), ec)) {
            at /= part;
            continue;
        }
        bool found = false;
        for (fs::directory_iterator it(at, ec), last; !ec && it != last; it.increment(ec)) {
            if (SameIgnoringCase(it->path().filename().u8string(), part)) {
                at = it->path();
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    if (!fs::is_regular_file(at, ec)) return false;
    *path = at;
    return true;
}

bool ListArchives(const fs::path& root, std::vector<std::string>* names, std::vector<std::string>* ignored,
                  std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        *error = root.u8string() + ": not a folder";
        return false;
    }
    fs::recursive_directory_iterator it(root, ec), last;
    for (; !ec && it != last; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        std::string relative = fs::relative(it->path(), root, ec).generic_u8string();
        if (ec) break;
        std::string name = relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        (EndsWithArc(name) ? names : ignored)->push_back(name);
    }
    if (ec) {
        *error = root.u8string() + ": cannot list: " + ec.message();
        return false;
    }
    std::sort(names->begin(), names->end());
    std::sort(ignored->begin(), ignored->end());
    return true;
}

bool ManifestCanCarry(const std::string& name) {
    if (!IsPlainAscii(name)) return false;
    std::vector<unsigned char> bytes = SerializeManifest({{WidenAscii(name), {}}});
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    if (!ParsePatchManifest(bytes.data(), bytes.size(), &sets, &count)) return false;
    FreePatchSets(sets, count);
    return true;
}
