#include "tools/gamegen/GameLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "tools/gamegen/Random.h"

namespace {

// Purposes of the random streams drawn while building the layout.
enum : uint64_t { kPlan = 1, kNames = 2, kShape = 3, kSizes = 4, kRecords = 5, kPicks = 6, kTargets = 7 };

constexpr uint32_t kMinNameChars = 27;  // 28 units with the NUL
constexpr uint32_t kMaxNameChars = 47;  // 48 units with the NUL
constexpr uint64_t kLimit = 0x80000000ull;  // archives stay below 2 GiB
constexpr double kFullBytes = 4.6e9;
// Lengths up to this many bytes are not scaled, and scaled lengths do not drop below it.
constexpr uint64_t kUnscaledLength = 32;

const char* const kDirs[] = {
    "rom\\demo\\", "rom\\id\\", "rom\\stage\\", "rom\\npc\\", "rom\\effect\\", "rom\\ui\\",
    "rom\\message\\", "rom\\weapon\\", "rom\\enemy\\", "rom\\quest\\", "rom\\event\\",
    "rom\\player\\", "rom\\sound\\se\\", "rom\\sound\\bgm\\", "rom\\map\\field\\",
    "rom_pc\\id\\", "rom_pc\\ui\\", "rom_pc\\message\\", "rom_pc\\font\\", "rom\\stage\\common\\",
};
const char* const kStems[] = {"m", "st", "npc", "em", "ev", "wp", "se", "bgm", "ui", "msg",
                              "qst", "fld", "eff", "pl", "tex", "mot", "item", "shop"};
const char* const kSuffixes[] = {"", "s", "_s", "_eng", "_chs", "_common", "_data",
                                 "_texture", "_model", "_motion", "_night", "_event_camera"};

template <size_t N>
const char* Pick(Rng& rng, const char* const (&list)[N]) {
    return list[rng.Below(uint32_t(N))];
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return s;
}

std::string RandomName(Rng& rng) {
    std::string name = "nativePC\\";
    name += Pick(rng, kDirs);
    name += Pick(rng, kStems);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*u", int(rng.Between(2, 4)), rng.Below(10000) % 10000);
    name += digits;
    if (rng.Chance(0.4)) {
        std::snprintf(digits, sizeof digits, "_%03u", rng.Below(1000));
        name += digits;
    }
    name += Pick(rng, kSuffixes);
    name += ".arc";
    return name;
}

// Distinct positions in [lo, hi) not yet taken.
uint32_t FreePosition(Rng& rng, uint32_t lo, uint32_t hi, std::set<uint32_t>& taken) {
    for (;;) {
        uint32_t p = rng.Between(lo, hi - 1);
        if (taken.insert(p).second) return p;
    }
}

template <class T>
void Shuffle(Rng& rng, T* items, size_t n) {
    for (size_t i = n; i > 1; --i) std::swap(items[i - 1], items[rng.Below(uint32_t(i))]);
}

uint64_t AlignUp(uint64_t v, uint64_t a) { return a <= 1 ? v : (v + a - 1) / a * a; }

// Replaced entries and the padding in and around the data shrink more slowly than the
// rest, so small data sets still carry a useful payload and are not mostly padding.
double RecordScale(double scale) { return scale >= 1 ? scale : std::sqrt(scale); }
double PadScale(double scale) { return scale >= 1 ? 1 : std::sqrt(scale); }

uint64_t ScalePad(uint64_t full, double scale) {
    return full == 0 ? 0 : std::max<uint64_t>(1, uint64_t(double(full) * PadScale(scale)));
}

// Alignments stay powers of two, at least 4.
uint32_t ScaleAlign(uint32_t align, double scale) {
    if (align <= 1) return 1;
    uint32_t a = 4;
    while (a * 2 <= align && double(a * 2) <= double(align) * PadScale(scale)) a *= 2;
    return a;
}

uint64_t ScaleLength(uint64_t full, double scale) {
    if (full <= kUnscaledLength) return full;
    double v = std::round(double(full) * scale);
    return v < double(kUnscaledLength) ? kUnscaledLength : uint64_t(v);
}

// Record counts per block: two in most, one in a few, up to 40 in some, 90 in one.
std::vector<uint32_t> RecordCounts(Rng& rng, uint32_t titlePos, uint32_t bigPos) {
    std::vector<uint32_t> counts(kGenArchiveCount, 2);
    counts[titlePos] = 3;
    counts[bigPos] = 90;
    std::set<uint32_t> taken = {0, 1, titlePos, bigPos};
    for (int i = 0; i < 20; ++i) counts[FreePosition(rng, 2, kGenArchiveCount, taken)] = 1;
    std::vector<uint32_t> multi;
    for (int i = 0; i < 60; ++i) multi.push_back(FreePosition(rng, 0, kGenArchiveCount, taken));
    uint32_t total = 0;
    for (uint32_t c : counts) total += c;
    while (total < kGenRecordCount) {
        uint32_t p = multi[rng.Below(uint32_t(multi.size()))];
        if (counts[p] < 40) {
            ++counts[p];
            ++total;
        }
    }
    return counts;
}

void DrawShape(Rng& rng, GenArchive& a) {
    uint32_t n = uint32_t(a.entries.size());
    a.placement.resize(n);
    for (uint32_t i = 0; i < n; ++i) a.placement[i] = i;
    a.headerLead[0] = 'K';
    a.headerLead[1] = 'A';
    a.headerLead[2] = 'R';
    a.headerLead[3] = 0;
    a.headerLead[4] = uint8_t(rng.Between(7, 17));
    a.headerLead[5] = uint8_t(rng.Below(2));
    if (rng.Chance(0.35)) return;  // already packed back to back in table order
    bool any = false;
    if (rng.Chance(0.45)) {
        static const uint32_t kAligns[] = {16, 32, 2048};
        a.align = kAligns[rng.Below(3)];
        a.junkPadding = rng.Chance(0.5);
        any = true;
    }
    if (rng.Chance(0.4)) {
        static const uint32_t kGapAligns[] = {16, 2048, 0x8000};
        a.gapExtra = rng.Between(1, 4096);
        a.gapAlign = kGapAligns[rng.Below(3)];
        a.gapJunk = rng.Chance(0.7);
        any = true;
    }
    if (n > 2 && rng.Chance(0.35)) {
        // Data out of table order; usually entry 0's data still comes first.
        if (rng.Chance(0.8))
            Shuffle(rng, a.placement.data() + 1, n - 1);
        else
            Shuffle(rng, a.placement.data(), n);
        any = true;
    }
    if (!any || rng.Chance(0.35)) a.trailing = rng.Between(1, 8192);
}

// Archive sizes at the full scale: many small archives, some of 50 to 200 MB, about
// 4.6 GB in all (the smaller ones are stretched to reach it, so the full scale stays near 1).
void DrawTargets(uint64_t seed, std::vector<GenArchive>& archives) {
    double large = 0, rest = 0;
    std::vector<bool> isLarge(archives.size());
    for (size_t p = 0; p < archives.size(); ++p) {
        Rng rng(StreamKey(seed, p, 0, kTargets));
        double r = rng.Unit();
        isLarge[p] = r < 0.055;
        double target = isLarge[p] ? rng.LogUniform(50e6, 190e6)
                      : r < 0.2    ? rng.LogUniform(4e6, 40e6)
                                   : rng.LogUniform(16e3, 8e6);
        archives[p].fullTarget = uint64_t(target);
        (isLarge[p] ? large : rest) += target;
    }
    double stretch = std::min(std::max((kFullBytes - large) / rest, 0.5), 4.0);
    for (size_t p = 0; p < archives.size(); ++p)
        if (!isLarge[p]) archives[p].fullTarget = uint64_t(double(archives[p].fullTarget) * stretch);
}

// Entry and record lengths at the full scale.
void DrawSizes(Rng& rng, GenArchive& a) {
    uint64_t fixed = 0;
    std::vector<double> weights(a.entries.size(), 0.0);
    double weightSum = 0;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        GenEntry& e = a.entries[i];
        e.sizeWord = uint32_t(rng.Next());
        if (e.record >= 0) {
            GenRecord& rec = a.records[size_t(e.record)];
            double f = rec.growth == Growth::Grow ? 0.3 + 0.65 * rng.Unit()
                     : rec.growth == Growth::Shrink ? 1.05 + 1.95 * rng.Unit() : 1.0;
            e.fullLength = uint64_t(double(rec.fullLength) * f);
            // Record words never carry bit 31, so an equal-length entry always changes its word.
            if (rec.growth == Growth::Equal) e.sizeWord |= 0x80000000u;
            fixed += e.fullLength;
        } else {
            double u = rng.Unit();
            if (u < 0.02) {
                e.fullLength = 0;
            } else if (u < 0.10) {
                e.fullLength = rng.Between(1, uint32_t(kUnscaledLength));
                fixed += e.fullLength;
            } else {
                weights[i] = std::exp(6.0 * rng.Unit());
                weightSum += weights[i];
            }
        }
    }
    if (weightSum == 0) return;
    double budget = double(a.fullTarget > fixed ? a.fullTarget - fixed : 0);
    budget = std::max(budget, 64.0 * double(a.entries.size()));
    for (size_t i = 0; i < a.entries.size(); ++i)
        if (weights[i] > 0) a.entries[i].fullLength = uint64_t(budget * weights[i] / weightSum) + 1;
}

uint32_t EntryCount(Rng& rng, uint32_t records) {
    double r = rng.Unit();
    uint32_t n = r < 0.7 ? uint32_t(rng.LogUniform(1, 41)) : r < 0.93 ? uint32_t(rng.LogUniform(10, 201))
                                                                     : uint32_t(rng.LogUniform(20, 401));
    return std::max(n, records + rng.Below(5));
}

// Records in manifest order: the bit-30 records first (their data leads the payload, and
// offsets ascend within a block), each group shuffled so the block is not sorted by index.
void OrderRecords(Rng& rng, std::vector<GenRecord>& records) {
    std::stable_partition(records.begin(), records.end(), [](const GenRecord& r) { return r.bit30; });
    size_t split = size_t(std::count_if(records.begin(), records.end(), [](const GenRecord& r) { return r.bit30; }));
    Shuffle(rng, records.data(), split);
    Shuffle(rng, records.data() + split, records.size() - split);
    auto sorted = [&] {
        for (size_t i = 1; i < records.size(); ++i)
            if (records[i - 1].entryIndex > records[i].entryIndex) return false;
        return true;
    };
    if (records.size() >= 2 && sorted()) {
        if (split >= 2)
            std::swap(records[0], records[1]);
        else if (records.size() - split >= 2)
            std::swap(records[split], records[split + 1]);
    }
}

} // namespace

GameLayout BuildGameLayout(uint64_t seed) {
    GameLayout layout;
    layout.seed = seed;
    layout.archives.resize(kGenArchiveCount);

    // Special blocks: the first two names are fixed; the title archive, the block with 90
    // records over an entry table of at least 719 entries, and the shortest and longest
    // names sit at seeded positions.
    Rng plan(StreamKey(seed, 0, 0, kPlan));
    std::set<uint32_t> taken = {0, 1};
    uint32_t titlePos = FreePosition(plan, 2, 24, taken);
    uint32_t bigPos = FreePosition(plan, 2, kGenArchiveCount, taken);
    uint32_t shortPos = FreePosition(plan, 2, kGenArchiveCount, taken);
    uint32_t longPos = FreePosition(plan, 2, kGenArchiveCount, taken);
    std::vector<uint32_t> counts = RecordCounts(plan, titlePos, bigPos);

    // Names.
    std::set<std::string> used;
    auto fix = [&](uint32_t pos, const char* name) {
        layout.archives[pos].name = name;
        used.insert(Lower(name));
    };
    fix(0, "nativePC\\rom\\id\\hdd_install_msg.arc");
    fix(1, "nativePC\\rom\\demo\\m01_100s.arc");
    fix(titlePos, "nativePC\\rom_pc\\id\\title.arc");
    fix(shortPos, "nativePC\\rom\\ui\\font_00.arc");
    fix(longPos, "nativePC\\rom\\sound\\bgm\\bgm_field_night_0012.arc");
    Rng names(StreamKey(seed, 0, 0, kNames));
    for (GenArchive& a : layout.archives) {
        while (a.name.empty()) {
            std::string name = RandomName(names);
            if (name.size() < kMinNameChars || name.size() > kMaxNameChars) continue;
            if (used.insert(Lower(name)).second) a.name = name;
        }
    }

    // Entry tables and the records' entry indices.
    for (uint32_t p = 0; p < kGenArchiveCount; ++p) {
        GenArchive& a = layout.archives[p];
        Rng rng(StreamKey(seed, p, 0, kRecords));
        uint32_t n;
        std::vector<uint32_t> indices;
        if (p == bigPos) {
            // The one table that reaches index 718; no other record goes beyond it.
            n = kGenMaxEntryIndex + 1 + rng.Below(60);
            std::vector<uint32_t> all(kGenMaxEntryIndex);
            for (uint32_t i = 0; i < kGenMaxEntryIndex; ++i) all[i] = i;
            Shuffle(rng, all.data(), all.size());
            indices.assign(all.begin(), all.begin() + (counts[p] - 1));
            indices.push_back(kGenMaxEntryIndex);
        } else if (p == titlePos) {
            n = 19 + rng.Below(30);
            indices = {13, 18, 17};
        } else {
            n = std::min<uint32_t>(EntryCount(rng, counts[p]), 600);
            std::vector<uint32_t> all(n);
            for (uint32_t i = 0; i < n; ++i) all[i] = i;
            Shuffle(rng, all.data(), all.size());
            indices.assign(all.begin(), all.begin() + counts[p]);
        }
        a.entries.resize(n);
        a.records.resize(counts[p]);
        for (uint32_t r = 0; r < counts[p]; ++r) a.records[r].entryIndex = indices[r];
    }

    // Bit 30 in 194 records (the title archive's first one among them) and 73 small records
    // whose word holds less than their length, picked over the whole manifest.
    Rng picks(StreamKey(seed, 0, 0, kPicks));
    std::vector<GenRecord*> pool;
    for (uint32_t p = 0; p < kGenArchiveCount; ++p)
        for (GenRecord& r : layout.archives[p].records)
            if (p != titlePos) pool.push_back(&r);
    layout.archives[titlePos].records[0].bit30 = true;
    Shuffle(picks, pool.data(), pool.size());
    for (uint32_t i = 0; i + 1 < kGenBit30RecordCount; ++i) pool[i]->bit30 = true;
    Shuffle(picks, pool.data(), pool.size());
    const uint32_t smallCount = 100;
    for (uint32_t i = 0; i < smallCount; ++i) {
        pool[i]->smallerWord = i < kGenSmallerWordRecordCount;
        pool[i]->fullLength = picks.Between(1, uint32_t(kUnscaledLength));
    }

    DrawTargets(seed, layout.archives);
    for (uint32_t p = 0; p < kGenArchiveCount; ++p) {
        GenArchive& a = layout.archives[p];
        Rng rng(StreamKey(seed, p, 0, kSizes));
        for (GenRecord& r : a.records) {
            if (r.fullLength == 0)
                r.fullLength = uint64_t(rng.Chance(0.01) ? rng.LogUniform(2e5, 6e5) : rng.LogUniform(100, 1.5e5));
            double g = rng.Unit();
            r.growth = g < 0.03 ? Growth::Equal : g < 0.53 ? Growth::Grow : Growth::Shrink;
            r.wordFraction = rng.Unit();
        }
        if (p != titlePos) OrderRecords(rng, a.records);
        for (size_t r = 0; r < a.records.size(); ++r) a.entries[a.records[r].entryIndex].record = int32_t(r);
        DrawSizes(rng, a);
        Rng shape(StreamKey(seed, p, 0, kShape));
        DrawShape(shape, a);
    }
    return layout;
}

bool ScaleGameLayout(GameLayout& layout, size_t count, double scale) {
    for (size_t p = 0; p < count; ++p) {
        GenArchive& a = layout.archives[p];
        for (GenEntry& e : a.entries) {
            int64_t len = int64_t(ScaleLength(e.fullLength, scale)) + e.adjust;
            if (len < 0 || uint64_t(len) >= kLimit) return false;
            e.length = uint32_t(len);
        }
        for (GenRecord& r : a.records) {
            GenEntry& e = a.entries[r.entryIndex];
            uint64_t newLen = ScaleLength(r.fullLength, RecordScale(scale));
            uint64_t oldLen = ScaleLength(e.fullLength, RecordScale(scale));
            if (r.growth == Growth::Equal) oldLen = newLen;
            else if (r.growth == Growth::Grow && oldLen >= newLen) oldLen = newLen - 1;
            else if (r.growth == Growth::Shrink && oldLen <= newLen) oldLen = newLen + 1;
            // The other bits of the word: below the length for the chosen small records,
            // above it for all others, never equal.
            uint64_t word = r.smallerWord ? uint64_t(r.wordFraction * double(newLen))
                                          : newLen + 1 + uint64_t(r.wordFraction * (3.0 * double(newLen) + 255));
            if (word >= 0x20000000u || oldLen >= kLimit) return false;
            e.length = uint32_t(oldLen);
            r.length = uint32_t(newLen);
            r.sizeWord = uint32_t(word) | (r.bit30 ? 0x40000000u : 0);
        }
        uint64_t pos = AlignUp(a.TableEnd() + ScalePad(a.gapExtra, scale), ScaleAlign(a.gapAlign, scale));
        const uint32_t align = ScaleAlign(a.align, scale);
        for (uint32_t i : a.placement) {
            pos = AlignUp(pos, align);
            if (pos >= kLimit) return false;
            a.entries[i].offset = uint32_t(pos);
            pos += a.entries[i].length;
        }
        a.originalSize = pos + ScalePad(a.trailing, scale);
        uint64_t expected = a.entries[0].offset;
        for (uint32_t i = 0; i < a.entries.size(); ++i) expected += a.NewLength(i);
        a.expectedSize = expected;
        if (a.originalSize >= kLimit || a.expectedSize >= kLimit) return false;
    }
    return true;
}

uint64_t ProgressUnits(const GameLayout& layout, size_t count) {
    uint64_t units = 0;
    for (size_t p = 0; p < count; ++p) units += layout.archives[p].expectedSize >> 8;
    return units;
}

namespace {
// Largest scale (by bisection on its logarithm) whose measure stays at or below the target.
template <class Measure>
bool BisectScale(GameLayout& layout, size_t count, uint64_t target, Measure measure, double* scale) {
    double lo = std::log(1e-9), hi = std::log(1e4);
    if (!ScaleGameLayout(layout, count, std::exp(lo))) return false;
    if (measure() > target) {
        *scale = std::exp(lo);
        return true;
    }
    for (int i = 0; i < 100; ++i) {
        double mid = 0.5 * (lo + hi);
        if (ScaleGameLayout(layout, count, std::exp(mid)) && measure() <= target)
            lo = mid;
        else
            hi = mid;
    }
    *scale = std::exp(lo);
    return ScaleGameLayout(layout, count, *scale);
}
} // namespace

bool ScaleToOriginalBytes(GameLayout& layout, size_t count, uint64_t totalBytes) {
    auto total = [&] {
        uint64_t sum = 0;
        for (size_t p = 0; p < count; ++p) sum += layout.archives[p].originalSize;
        return sum;
    };
    double scale = 0;
    return BisectScale(layout, count, totalBytes, total, &scale);
}

bool ScaleToFullFacts(GameLayout& layout) {
    const size_t count = layout.archives.size();
    double scale = 0;
    if (!BisectScale(layout, count, kGenFullProgressUnits, [&] { return ProgressUnits(layout, count); }, &scale))
        return false;
    // Close the last gap exactly: resize the largest unchanged entry of the largest archive
    // whose data region starts with entry 0 (so entry 0's offset does not move).
    GenArchive* best = nullptr;
    for (GenArchive& a : layout.archives)
        if (a.placement[0] == 0 && (!best || a.expectedSize > best->expectedSize)) best = &a;
    if (!best) return false;
    GenEntry* entry = nullptr;
    for (GenEntry& e : best->entries)
        if (e.record < 0 && (!entry || e.length > entry->length)) entry = &e;
    if (!entry) return false;
    uint64_t others = ProgressUnits(layout, count) - (best->expectedSize >> 8);
    if (others > kGenFullProgressUnits) return false;
    uint64_t wanted = (kGenFullProgressUnits - others) << 8 | (best->expectedSize & 0xFF);
    entry->adjust += int64_t(wanted) - int64_t(best->expectedSize);
    if (!ScaleGameLayout(layout, count, scale)) return false;
    return ProgressUnits(layout, count) == kGenFullProgressUnits;
}

uint64_t AssignPayloadOffsets(GameLayout& layout, size_t count) {
    uint64_t offset = 0;
    for (int bit30 = 1; bit30 >= 0; --bit30)
        for (size_t p = 0; p < count; ++p)
            for (GenRecord& r : layout.archives[p].records)
                if (r.bit30 == bool(bit30)) {
                    r.payloadOffset = uint32_t(offset);
                    offset += r.length;
                }
    return offset;
}
