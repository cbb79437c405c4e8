#include "payload/InstallerImage.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/PatchDigest.h"
#include "payload/Sha256.h"
#include "win/PathOps.h"
#include "win/WinFile.h"

namespace {

// A program loaded for its resources only: mapped as an image, so that a file cut short is
// refused by the loader instead of being read past its end; no code of it runs.
class ResourceModule {
public:
    explicit ResourceModule(const wchar_t* path)
        : m_module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)),
          m_error(m_module ? 0 : GetLastError()) {}
    ~ResourceModule() {
        if (m_module) FreeLibrary(m_module);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE Get() const { return m_module; }
    DWORD Error() const { return m_error; }

private:
    HMODULE m_module;
    DWORD m_error;
};

struct RawResource {
    const unsigned char* data = nullptr;
    size_t size = 0;
    WORD language = 0;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

// A raw-data resource present in exactly one language (so that replacing it in that language
// leaves no second copy behind); false otherwise.
bool FindRaw(HMODULE module, int id, RawResource* out) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, MAKEINTRESOURCEW(10) /* RT_RCDATA */, MAKEINTRESOURCEW(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    if (languages.size() != 1) return false;
    HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(id), languages[0]);
    if (!info) return false;
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return false;
    *out = {static_cast<const unsigned char*>(data), SizeofResource(module, info), languages[0]};
    return true;
}

// The patch parts, the companion and the digest of a template or a written installer.
struct InstallerResources {
    RawResource parts[kPatchPartCount];
    RawResource companion, digest;
};

bool FindAll(HMODULE module, InstallerResources* out) {
    for (int part = 0; part < kPatchPartCount; ++part)
        if (!FindRaw(module, kPatchParts[part].resourceId, &out->parts[part])) return false;
    return FindRaw(module, kCompanionResourceId, &out->companion) &&
           FindRaw(module, kPatchDigestResourceId, &out->digest);
}

bool MatchesOwnDigest(const InstallerResources& found) {
    PatchBytes bytes;
    for (int part = 0; part < kPatchPartCount; ++part) bytes.parts[part] = {found.parts[part].data, found.parts[part].size};
    return PatchBytesMatchDigest(bytes, found.digest.data, found.digest.size);
}

TemplateCheck Check(const ResourceModule& module, InstallerResources* found) {
    if (!module.Get()) {
        DWORD error = module.Error();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
                       error == ERROR_SHARING_VIOLATION
                   ? TemplateCheck::Unreadable
                   : TemplateCheck::NotAProgram;
    }
    if (!FindAll(module.Get(), found)) return TemplateCheck::NotThisInstaller;
    return MatchesOwnDigest(*found) ? TemplateCheck::Usable : TemplateCheck::Damaged;
}

bool DigestOf(const PatchPartBytes (&parts)[kPatchPartCount], std::string* text) {
    PatchDigest digest{};
    for (int part = 0; part < kPatchPartCount; ++part) {
        digest.listed[part] = true;
        if (!Sha256(parts[part].data, parts[part].size, digest.sha256[part])) return false;
    }
    *text = FormatPatchDigest(digest);
    return true;
}

bool Same(const RawResource& found, const void* data, size_t size) {
    return found.size == size && (size == 0 || std::memcmp(found.data, data, size) == 0);
}

bool Replace(HANDLE update, const RawResource& old, int id, const void* data, size_t size) {
    return UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(id), old.language, const_cast<void*>(data),
                           static_cast<DWORD>(size)) != 0;
}

// Every part and the digest as written, the companion as in the template, and the parts
// matching the digest once more (hashed anew from what the file now holds).
bool ReadBack(const wchar_t* path, const PatchPartBytes (&parts)[kPatchPartCount], const std::string& digest,
              const std::vector<unsigned char>& companion) {
    ResourceModule module(path);
    InstallerResources found;
    if (!module.Get() || !FindAll(module.Get(), &found)) return false;
    for (int part = 0; part < kPatchPartCount; ++part)
        if (!Same(found.parts[part], parts[part].data, parts[part].size)) return false;
    return Same(found.digest, digest.data(), digest.size()) &&
           Same(found.companion, companion.data(), companion.size()) && MatchesOwnDigest(found);
}

bool FlushToDisk(const wchar_t* path) {
    WinFile file;
    return file.OpenWrite(path) && file.Flush() && file.Close();
}

} // namespace

TemplateCheck CheckInstallerTemplate(const wchar_t* templatePath) {
    ResourceModule module(templatePath);
    InstallerResources found;
    return Check(module, &found);
}

std::wstring InstallerTempPath(const wchar_t* target) { return std::wstring(target) + L".part"; }

InstallerResult WriteInstaller(const wchar_t* templatePath, const wchar_t* target,
                               const PatchPartBytes (&parts)[kPatchPartCount]) {
    InstallerResult result;
    InstallerResources old;
    std::vector<unsigned char> companion;
    {
        ResourceModule module(templatePath);
        result.check = Check(module, &old);
        if (result.check != TemplateCheck::Usable) {
            result.step = InstallerStep::TemplateRefused;
            return result;
        }
        companion.assign(old.companion.data, old.companion.data + old.companion.size);
    } // the template's languages stay valid in `old`; its bytes are no longer used
    std::string digest;
    for (const PatchPartBytes& part : parts) {
        if (!part.data) {
            result.step = InstallerStep::Update;
            return result;
        }
    }
    if (!DigestOf(parts, &digest)) {
        result.step = InstallerStep::Update;
        return result;
    }

    const std::wstring temp = InstallerTempPath(target);
    auto fail = [&](InstallerStep step) {
        result.step = step;
        result.error = GetLastError();
        DeleteFileChecked(temp.c_str());
        return result;
    };
    if (!CopyFileOver(templatePath, temp.c_str())) return fail(InstallerStep::Copy);
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL); // a read-only template makes a read-only copy

    HANDLE update = BeginUpdateResourceW(temp.c_str(), FALSE);
    if (!update) return fail(InstallerStep::Update);
    bool replaced = true;
    for (int part = 0; part < kPatchPartCount && replaced; ++part)
        replaced = Replace(update, old.parts[part], kPatchParts[part].resourceId, parts[part].data, parts[part].size);
    replaced = replaced && Replace(update, old.digest, kPatchDigestResourceId, digest.data(), digest.size());
    DWORD updateError = replaced ? 0 : GetLastError();
    if (!EndUpdateResourceW(update, !replaced) || !replaced) {
        if (updateError) SetLastError(updateError);
        return fail(InstallerStep::Update);
    }

    if (!ReadBack(temp.c_str(), parts, digest, companion)) return fail(InstallerStep::ReadBack);
    if (!FlushToDisk(temp.c_str())) return fail(InstallerStep::Flush);
    if (!RenameFileDurably(temp.c_str(), target)) return fail(InstallerStep::Rename);
    return result;
}
