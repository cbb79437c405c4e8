// authordata: the data set of the authoring round trip under Wine (tests/win/AuthoringTests).
//
//   authordata --out DIR
//
// Writes DIR/game (a generated game folder), DIR/translated (translated versions of a few of
// its archives, laid out unlike the originals), DIR/patch (patchbuild's output for the two),
// DIR/other (one archive as another release of the game would have it: an entry renamed)
// and DIR/authordata.txt, one "<role> <name>" line per archive of interest:
//   translated  an archive the patch changes
//   unchanged   a translated archive identical to its original (left out of the patch)
//   other       the archive that DIR/other holds in another release's version
#include <cstdio>
#include <fstream>
#include <string>

#include "ArchiveSamples.h"
#include "tools/gamegen/GameGen.h"
#include "tools/patchbuild/PatchBuild.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBit30 = 0x40000000;

std::vector<std::string> ListedNames(const fs::path& list) {
    std::ifstream in(list);
    std::vector<std::string> names;
    std::string name, rest;
    while (in >> name && std::getline(in, rest)) names.push_back(name);
    return names;
}

bool Load(const fs::path& game, const std::string& name, SampleArchive* a) {
    return ParseSample(ReadFileBytes(DiskPathOf(game, name)), a);
}

// Written packed in table order: a layout unlike the generated originals'.
void Save(const fs::path& root, const std::string& name, SampleArchive a) {
    a.gap = a.between = a.trailing = 0;
    a.reversed = false;
    WriteFileBytes(DiskPathOf(root, name), BuildSample(a));
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "authordata: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "--out") return Fail("usage: authordata --out DIR");
    const fs::path out = argv[2];
    fs::remove_all(out);
    fs::create_directories(out);
    std::string outText = out.string();
    const char* gen[] = {"gamegen", "--out", outText.c_str(), "--seed", "5", "--archives", "24",
                         "--bytes", "2500000", "--quiet"};
    if (GameGenMain(10, gen) != 0) return Fail("gamegen failed");
    fs::remove_all(out / "expected");
    fs::remove_all(out / "patch");
    const fs::path game = out / "game", translated = out / "translated";

    // Archives with enough entries for every kind of change.
    std::vector<std::string> names;
    for (const std::string& name : ListedNames(out / "archives.txt")) {
        SampleArchive a;
        if (Load(game, name, &a) && a.entries.size() >= 5) names.push_back(name);
    }
    fs::remove(out / "archives.txt");
    if (names.size() < 4) return Fail("too few archives with five entries");
    std::ofstream roles(out / "authordata.txt");

    // Grown, shrunk, a size word changed alone, same length with new bytes and a bit-30 word.
    SampleArchive a;
    Load(game, names[0], &a);
    a.entries[0].data = Noise(a.entries[0].data.size() + 3000, 1);
    a.entries[1].data.resize(a.entries[1].data.size() / 4);
    a.entries[2].sizeWord ^= 0x00010000;
    a.entries[3].data = Noise(a.entries[3].data.size(), 2);
    a.entries[3].sizeWord |= kBit30;
    Save(translated, names[0], a);
    roles << "translated " << names[0] << "\n";

    // One entry emptied and another's word given bit 30 alone.
    Load(game, names[1], &a);
    a.entries.back().data.clear();
    for (size_t i = 0; i + 1 < a.entries.size(); ++i) {
        if (a.entries[i].sizeWord & kBit30) continue;
        a.entries[i].sizeWord |= kBit30;
        break;
    }
    Save(translated, names[1], a);
    roles << "translated " << names[1] << "\n";

    // One entry replaced, the first.
    Load(game, names[2], &a);
    a.entries[0].data = Noise(777, 3);
    Save(translated, names[2], a);
    roles << "translated " << names[2] << "\n";

    // Identical: left out of the patch.
    Load(game, names[3], &a);
    Save(translated, names[3], a);
    roles << "unchanged " << names[3] << "\n";

    // Another release of the first archive: same entries, one of them renamed.
    Load(game, names[0], &a);
    a.entries[2].lead[0] ^= 0x20;
    WriteFileBytes(DiskPathOf(out / "other", names[0]), BuildSample(a));
    roles << "other " << names[0] << "\n";
    roles.close();

    BuildOptions options;
    options.original = game;
    options.translated = translated;
    options.out = out / "patch";
    BuildReport report;
    if (!BuildPatch(options, &report)) return Fail(report.problems.empty() ? "build failed" : report.problems[0]);
    if (report.archives != 3 || report.records != 7) return Fail("the translations did not change what they should");
    std::printf("authordata: %zu archives, %zu records, %llu payload bytes\n", report.archives, report.records,
                static_cast<unsigned long long>(report.payloadBytes));
    return 0;
}
