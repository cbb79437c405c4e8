#include "tools/patchbuild/PatchVerify.h"

#include <memory>
#include <system_error>

#include "core/ArchiveFormat.h"
#include "core/FingerprintWriter.h"
#include "core/ManifestWriter.h"
#include "core/ProgressMath.h"
#include "tools/patchbuild/GamePaths.h"
#include "tools/patchbuild/OutputSet.h"
#include "tools/patchbuild/PatchBuild.h"
#include "tools/patchbuild/PatchDiff.h"
#include "tools/patchbuild/ProgressBar.h"

namespace fs = std::filesystem;

namespace {

std::string Name(const ArchivePatchSet& set) { return NarrowAscii(set.name); }

// Whether entry `index` holds exactly what the record writes.
bool CarriesRecord(ByteSource& archive, const ArchiveImage& image, const EntryPatch& record, ByteSource& payload,
                   bool* carries, const ReadProgress& progress) {
    uint32_t i = record.entryIndex;
    if (image.StoredLength(i) != record.storedLength ||
        image.SizeWord(i) != (record.sizeWord | kSizeWordReplacedBit)) {
        *carries = false;
        return true;
    }
    return SameBytes(archive, image.DataOffset(i), payload, record.payloadOffset, record.storedLength, carries,
                     progress);
}

std::vector<bool> ReplacedSet(const ArchivePatchSet& set, uint32_t entryCount) {
    std::vector<bool> replaced(entryCount, false);
    for (uint32_t r = 0; r < set.recordCount; ++r) replaced[set.records[r].entryIndex] = true;
    return replaced;
}

// Checks the records against the archive and the payload; "" when they fit.
std::string RecordsProblem(const ArchivePatchSet& set, const ArchiveImage& image, uint64_t payloadSize) {
    for (uint32_t r = 0; r < set.recordCount; ++r) {
        const EntryPatch& p = set.records[r];
        if (p.entryIndex >= image.EntryCount())
            return "the patch replaces entry " + std::to_string(p.entryIndex) + ", the archive has only " +
                   std::to_string(image.EntryCount()) + " entries";
        if (uint64_t(p.payloadOffset) + p.storedLength > payloadSize)
            return "the patch's record for entry " + std::to_string(p.entryIndex) + " lies outside the payload";
    }
    return "";
}

// The installer rewrites an archive as a whole, so some replaced entries holding the patch
// and others not is damage (or another tool's work), never an interrupted installation.
std::string PartlyCarried(const std::vector<uint32_t>& without, uint32_t recordCount) {
    std::string entries;
    for (size_t i = 0; i < without.size() && i < 5; ++i) entries += (i ? ", " : "") + std::to_string(without[i]);
    if (without.size() > 5) entries += ", ...";
    return "damaged: " + std::string(without.size() == 1 ? "entry " : "entries ") + entries +
           (without.size() == 1 ? " holds" : " hold") + " other data than the patch's, although the other " +
           std::to_string(recordCount - without.size()) + " of the " + std::to_string(recordCount) +
           " replaced entries carry it";
}

} // namespace

const char* VerifyStateName(VerifyState state) {
    switch (state) {
    case VerifyState::Original: return "original";
    case VerifyState::Patched: return "patched";
    case VerifyState::Unpatched: return "not patched";
    case VerifyState::Neither: return "NEITHER";
    case VerifyState::Missing: return "MISSING";
    }
    return "?";
}

ArchiveVerdict VerifyArchive(ByteSource* archive, const ArchivePatchSet& set, ByteSource& payload,
                             const ArchiveFingerprint* fingerprint, const ReadProgress& progress) {
    if (!archive) return {VerifyState::Missing, ""};
    ArchiveImage image;
    std::string why;
    if (!ReadArchiveImage(*archive, &image, &why)) return {VerifyState::Neither, "damaged: " + why};
    uint32_t n = image.EntryCount();
    if (fingerprint && n == fingerprint->entryCount && FingerprintHeaderDiffers(image.header, *fingerprint))
        return {VerifyState::Neither, "damaged or not the release this patch was made for (its header differs)"};
    if (fingerprint && !MatchesFingerprint(image.header, image.table.data(), *fingerprint)) {
        std::string counts = n == fingerprint->entryCount
                                 ? "entry records differ"
                                 : std::to_string(n) + " entries, the patch expects " +
                                       std::to_string(fingerprint->entryCount);
        return {VerifyState::Neither, "not the release this patch was made for (" + counts + ")"};
    }
    why = RecordsProblem(set, image, payload.Size());
    if (!why.empty()) return {VerifyState::Neither, why};

    uint32_t carried = 0;
    std::vector<uint32_t> without; // entries whose record's data they do not hold
    for (uint32_t r = 0; r < set.recordCount; ++r) {
        bool carries = false;
        if (!CarriesRecord(*archive, image, set.records[r], payload, &carries, progress))
            return {VerifyState::Neither, "read error"};
        carried += carries;
        if (!carries) without.push_back(set.records[r].entryIndex);
    }

    if (!fingerprint) {
        if (set.recordCount && carried == set.recordCount) return {VerifyState::Patched, ""};
        if (carried == 0) return {VerifyState::Unpatched, ""};
        return {VerifyState::Neither, PartlyCarried(without, set.recordCount)};
    }

    FingerprintRecord now;
    if (!FingerprintArchive(*archive, image, ReplacedSet(set, n), &now, progress))
        return {VerifyState::Neither, "read error"};
    if (now.keptHash != fingerprint->keptHash)
        return {VerifyState::Neither, "entries that the patch leaves alone differ from the original release"};
    if (carried == set.recordCount) return {VerifyState::Patched, ""};
    if (now.originalHash == fingerprint->originalHash) return {VerifyState::Original, ""};
    if (carried) return {VerifyState::Neither, PartlyCarried(without, set.recordCount)};
    return {VerifyState::Neither, "entries that the patch replaces hold neither the original nor the patched data"};
}

namespace {

struct PatchFolder {
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    FingerprintTable fingerprints{0, nullptr, 0};
    bool haveFingerprints = false;
    FileSource payload;
    ~PatchFolder() {
        FreePatchSets(sets, count);
        FreeFingerprintTable(&fingerprints);
    }
};

bool OpenPatchFolder(const fs::path& dir, PatchFolder* patch, std::string* error) {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(dir / PartFile(kPartManifest), &bytes, error)) return false;
    if (!ParsePatchManifest(bytes.data(), bytes.size(), &patch->sets, &patch->count)) {
        *error = (dir / PartFile(kPartManifest)).u8string() + ": not a well-formed manifest";
        return false;
    }
    if (!patch->payload.Open(dir / PartFile(kPartPayload), error)) return false;
    std::error_code ec;
    fs::path fingerprints = dir / PartFile(kPartFingerprints);
    if (fs::exists(fingerprints, ec)) {
        if (!ReadWholeFile(fingerprints, &bytes, error)) return false;
        if (!ParseFingerprints(bytes.data(), bytes.size(), &patch->fingerprints)) {
            *error = fingerprints.u8string() + ": not a well-formed fingerprint file";
            return false;
        }
        patch->haveFingerprints = true;
    }
    return true;
}

std::string TempName(const std::string& name) {
    return name.size() < 3 ? name : name.substr(0, name.size() - 3) + "tmp";
}

uint64_t FolderBytes(const fs::path& game, const PatchFolder& patch) {
    uint64_t total = 0;
    for (uint32_t i = 0; i < patch.count; ++i) {
        fs::path path;
        std::error_code ec;
        if (ResolveArchivePath(game, Name(patch.sets[i]), &path)) total += fs::file_size(path, ec);
    }
    return total;
}

} // namespace

bool VerifyGameFolder(const VerifyOptions& options, VerifyReport* report) {
    PatchFolder patch;
    if (!OpenPatchFolder(options.patch, &patch, &report->error)) return false;
    report->haveFingerprints = patch.haveFingerprints;
    ProgressBar bar(options.progress, "checking archives ", FolderBytes(options.game, patch));
    for (uint32_t i = 0; i < patch.count; ++i) {
        const ArchivePatchSet& set = patch.sets[i];
        VerifyLine line;
        line.name = Name(set);
        fs::path path, temp;
        std::unique_ptr<FileSource> file;
        if (ResolveArchivePath(options.game, line.name, &path)) {
            file = std::make_unique<FileSource>();
            std::string error;
            if (!file->Open(path, &error)) {
                line.verdict = {VerifyState::Neither, "cannot be read: " + error};
                report->lines.push_back(line);
                continue;
            }
        }
        // An archive the fingerprint file does not name is not checked by the installer
        // either; it is classified as without fingerprints.
        const ArchiveFingerprint* fingerprint =
            patch.haveFingerprints ? FindFingerprint(patch.fingerprints, set.name) : nullptr;
        line.verdict = VerifyArchive(file.get(), set, patch.payload, fingerprint, nullptr);
        if (file) bar.Advance(file->Size());
        line.leftoverTemp = ResolveArchivePath(options.game, TempName(line.name), &temp);
        report->lines.push_back(line);
    }
    return true;
}

bool WriteFingerprintsForPatch(const VerifyOptions& options, std::vector<std::string>* problems, size_t* archives,
                               uint32_t* progressUnits) {
    PatchFolder patch;
    std::string error;
    if (!OpenPatchFolder(options.patch, &patch, &error)) {
        problems->push_back(error);
        return false;
    }
    if (!CheckOutputFolder(options.patch, {PartFile(kPartFingerprints), PartFile(kPartProgressTotal)}, &error)) {
        problems->push_back(error);
        return false;
    }
    std::vector<FingerprintRecord> records;
    uint32_t units = 0; // as the installer's run adds them
    ProgressBar bar(options.progress, "reading archives  ", FolderBytes(options.game, patch));
    for (uint32_t i = 0; i < patch.count; ++i) {
        const ArchivePatchSet& set = patch.sets[i];
        std::string name = Name(set);
        fs::path path;
        FileSource file;
        ArchiveImage image;
        std::string why;
        if (!ResolveArchivePath(options.game, name, &path)) {
            problems->push_back(name + ": missing from " + options.game.u8string());
            continue;
        }
        if (!file.Open(path, &why) || !ReadArchiveImage(file, &image, &why)) {
            problems->push_back(name + ": not a readable archive: " + why);
            continue;
        }
        why = RecordsProblem(set, image, patch.payload.Size());
        if (!why.empty()) {
            problems->push_back(name + ": " + why);
            continue;
        }
        ArchiveVerdict verdict = VerifyArchive(&file, set, patch.payload, nullptr, nullptr);
        if (verdict.state == VerifyState::Patched) {
            problems->push_back(name + ": already patched; fingerprints must be taken from the original game");
            continue;
        }
        FingerprintRecord record;
        record.name = set.name;
        if (!FingerprintArchive(file, image, ReplacedSet(set, image.EntryCount()), &record, nullptr)) {
            problems->push_back(name + ": read error");
            continue;
        }
        uint32_t patchedSize = 0;
        if (!PatchedArchiveSize(image, std::vector<EntryPatch>(set.records, set.records + set.recordCount),
                                &patchedSize)) {
            problems->push_back(name + ": the patched archive would reach 2 GiB");
            continue;
        }
        units = AddArchiveUnits(units, patchedSize);
        bar.Advance(file.Size());
        records.push_back(std::move(record));
    }
    bar.Finish();
    if (!problems->empty()) return false;
    OutputSet out(options.patch);
    if (!out.AddBytes(PartFile(kPartFingerprints), SerializeFingerprints(records), &error) ||
        !out.AddBytes(PartFile(kPartProgressTotal), ProgressTotalBytes(units), &error) || !out.Commit(&error)) {
        problems->push_back(error);
        return false;
    }
    *archives = records.size();
    *progressUnits = units;
    return true;
}
