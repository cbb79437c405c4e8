#include "tools/patchbuild/PatchBuild.h"

#include <memory>
#include <system_error>

#include "core/ArchiveFormat.h"
#include "core/FingerprintWriter.h"
#include "core/ManifestWriter.h"
#include "core/PatchManifest.h"
#include "core/ProgressMath.h"
#include "core/ProgressTotal.h"
#include "tools/patchbuild/ByteSource.h"
#include "tools/patchbuild/GamePaths.h"
#include "tools/patchbuild/OutputSet.h"
#include "tools/patchbuild/PatchDiff.h"
#include "tools/patchbuild/PatchLayout.h"
#include "tools/patchbuild/ProgressBar.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyChunk = 1 << 20;

struct Pair {
    std::string name;
    fs::path original, translated;
    uint64_t bytes = 0; // both files' sizes, for the progress bar
};

// Finds every translated archive's original; problems for those that have none.
std::vector<Pair> PairArchives(const BuildOptions& options, BuildReport* report) {
    std::vector<std::string> names, ignored;
    std::string error;
    if (!ListArchives(options.translated, &names, &ignored, &error)) {
        report->problems.push_back(error);
        return {};
    }
    for (const std::string& name : ignored)
        report->notes.push_back(name + ": ignored (not an .arc file)");
    std::vector<Pair> pairs;
    for (const std::string& name : names) {
        Pair pair{name, {}, {}, 0};
        ResolveArchivePath(options.translated, name, &pair.translated);
        if (!ManifestCanCarry(name)) {
            report->problems.push_back(name + ": the installer cannot carry this name (it must be plain ASCII, "
                                              "at most 199 characters, and must not end in \"tmp\" or \"tm~\")");
            continue;
        }
        if (!ResolveArchivePath(options.original, name, &pair.original)) {
            report->problems.push_back(name + ": no original archive at " + pair.original.u8string());
            continue;
        }
        std::error_code ec;
        pair.bytes = fs::file_size(pair.original, ec) + fs::file_size(pair.translated, ec);
        pairs.push_back(std::move(pair));
    }
    if (names.empty())
        report->problems.push_back(options.translated.u8string() + ": holds no .arc file");
    return pairs;
}

bool CopyRange(ByteSource& source, uint64_t offset, uint32_t length, OutputFile& out, std::vector<unsigned char>& buffer,
               ProgressBar& bar) {
    for (uint32_t done = 0; done < length;) {
        size_t n = std::min<size_t>(buffer.size(), length - done);
        if (!source.ReadAt(offset + done, buffer.data(), n) || !out.Write(buffer.data(), n)) return false;
        done += uint32_t(n);
        bar.Advance(n);
    }
    return true;
}

// Copies every record's bytes from the translated archives in payload order.
bool WritePayload(const std::vector<ArchiveDiff>& diffs, const PatchPlan& plan, OutputFile& out, std::FILE* progress,
                  std::string* error) {
    ProgressBar bar(progress, "writing payload   ", plan.payloadSize);
    std::vector<unsigned char> buffer(kCopyChunk);
    std::unique_ptr<FileSource> source;
    size_t open = SIZE_MAX;
    for (const PayloadPiece& piece : plan.payloadOrder) {
        const ArchiveDiff& diff = diffs[piece.archive];
        if (open != piece.archive) {
            source = std::make_unique<FileSource>();
            if (!source->Open(diff.translated, error)) return false;
            open = piece.archive;
        }
        const ReplacedEntry& entry = diff.replaced[piece.record];
        if (!CopyRange(*source, entry.dataOffset, entry.storedLength, out, buffer, bar)) {
            *error = diff.name + ": entry " + std::to_string(entry.index) +
                     ": cannot copy its bytes into the payload (did the file change?)";
            return false;
        }
    }
    bar.Finish();
    if (out.Written() != plan.payloadSize) {
        *error = "payload size mismatch";
        return false;
    }
    return true;
}

// Reads the manifest back as the installer will and checks the payload layout.
bool SelfCheck(const std::vector<unsigned char>& manifestBytes, const PatchPlan& plan, std::string* why) {
    ArchivePatchSet* sets = nullptr;
    uint32_t count = 0;
    if (!ParsePatchManifest(manifestBytes.data(), manifestBytes.size(), &sets, &count)) {
        *why = "the written manifest does not read back";
        return false;
    }
    FreePatchSets(sets, count);
    if (count != plan.manifest.size()) {
        *why = "the written manifest reads back with a different archive count";
        return false;
    }
    return CheckPayloadLayout(plan.manifest, plan.payloadSize, why);
}

// Every part's file, all of which a build writes.
std::vector<std::string> PatchFileNames() {
    std::vector<std::string> names;
    for (const PatchPartInfo& part : kPatchParts) names.push_back(part.fileName);
    return names;
}

} // namespace

std::vector<unsigned char> ProgressTotalBytes(uint32_t units) {
    unsigned char stored[kProgressTotalSize];
    StoreProgressTotal(units, stored);
    return std::vector<unsigned char>(stored, stored + sizeof stored);
}

bool BuildPatch(const BuildOptions& options, BuildReport* report) {
    std::error_code ec;
    if (!fs::is_directory(options.original, ec)) {
        report->problems.push_back(options.original.u8string() + ": not a folder");
        return false;
    }
    if (fs::equivalent(options.original, options.translated, ec)) {
        report->problems.push_back("the original and the translated folder are the same folder");
        return false;
    }
    // An --out that cannot take the files is told before the long comparison.
    std::string error;
    if (!CheckOutputFolder(options.out, PatchFileNames(), &error)) {
        report->problems.push_back(error);
        return false;
    }
    // Archives without a usable original are reported together with what the comparison
    // of the others finds.
    std::vector<Pair> pairs = PairArchives(options, report);

    uint64_t total = 0;
    for (const Pair& p : pairs) total += p.bytes;
    std::vector<ArchiveDiff> diffs;
    {
        ProgressBar bar(options.progress, "comparing archives", total);
        for (const Pair& p : pairs) {
            FileSource original, translated;
            if (!original.Open(p.original, &error) || !translated.Open(p.translated, &error)) {
                report->problems.push_back(p.name + ": " + error);
                continue;
            }
            ArchiveDiff diff;
            diff.name = p.name;
            diff.translated = p.translated;
            uint64_t read = 0;
            bool ok = DiffArchive(original, translated, &diff, &report->problems, [&](uint64_t n) {
                read += n;
                bar.Advance(n);
            });
            bar.Advance(read < p.bytes ? p.bytes - read : 0); // unread gaps and table
            if (!ok) continue;
            if (diff.replaced.empty()) {
                report->notes.push_back(p.name + ": no entry differs from the original; left out of the patch");
                continue;
            }
            diff.fingerprint.name = WidenAscii(p.name);
            diffs.push_back(std::move(diff));
        }
    }
    if (!report->problems.empty()) return false;
    if (diffs.empty()) {
        report->problems.push_back("no entry of any translated archive differs from the original: nothing to patch");
        return false;
    }

    PatchPlan plan;
    if (!PlanPatch(&diffs, options.first, &plan, &error)) {
        report->problems.push_back(error);
        return false;
    }
    std::vector<unsigned char> manifestBytes = SerializeManifest(plan.manifest);
    if (!SelfCheck(manifestBytes, plan, &error)) {
        report->problems.push_back("internal check failed: " + error);
        return false;
    }
    std::vector<FingerprintRecord> fingerprints;
    uint32_t units = 0; // as the installer's run adds them
    for (const ArchiveDiff& d : diffs) {
        fingerprints.push_back(d.fingerprint);
        units = AddArchiveUnits(units, d.patchedSize);
    }

    OutputSet out(options.out);
    OutputFile* payload = out.Add(PartFile(kPartPayload), &error);
    bool written = payload && WritePayload(diffs, plan, *payload, options.progress, &error) &&
                   out.AddBytes(PartFile(kPartManifest), manifestBytes, &error) &&
                   out.AddBytes(PartFile(kPartFingerprints), SerializeFingerprints(fingerprints), &error) &&
                   out.AddBytes(PartFile(kPartProgressTotal), ProgressTotalBytes(units), &error);
    if (!written || !out.Commit(&error)) {
        report->problems.push_back(error.empty() ? options.out.u8string() + ": cannot write" : error);
        return false;
    }

    report->archives = diffs.size();
    for (const ArchiveDiff& d : diffs) {
        report->records += d.replaced.size();
        for (const ReplacedEntry& r : d.replaced) report->bit30Records += (r.sizeWord & kSizeWordReplacedBit) != 0;
    }
    report->progressUnits = units;
    report->payloadBytes = plan.payloadSize;
    report->manifestBytes = manifestBytes.size();
    return true;
}
