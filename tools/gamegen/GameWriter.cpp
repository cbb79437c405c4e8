#include "tools/gamegen/GameWriter.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

#include "core/ManifestWriter.h"
#include "tools/gamegen/Random.h"

namespace fs = std::filesystem;

namespace {

// Purposes of the random streams that make up file contents.
enum : uint64_t { kEntryData = 101, kPayloadData = 102, kGapData = 103, kPadData = 104,
                  kTrailData = 105, kLeadData = 106 };

constexpr size_t kWriteBuffer = 8u << 20;

void PutU16(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void PutU32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Sequential file output through one large buffer, shared by all files of a run.
class FileWriter {
public:
    explicit FileWriter(std::vector<unsigned char>& buffer) : buffer_(buffer) {}
    ~FileWriter() {
        if (file_) std::fclose(file_);
    }
    bool Open(const fs::path& path) {
        file_ = std::fopen(path.c_str(), "wb");
        if (file_) std::setvbuf(file_, nullptr, _IONBF, 0);
        ok_ = file_ != nullptr;
        used_ = 0;
        written_ = 0;
        return ok_;
    }
    void Put(const unsigned char* data, size_t n) {
        while (n) {
            if (used_ == buffer_.size()) Flush();
            size_t chunk = std::min(n, buffer_.size() - used_);
            std::memcpy(buffer_.data() + used_, data, chunk);
            used_ += chunk;
            data += chunk;
            n -= chunk;
        }
    }
    void Fill(unsigned char byte, uint64_t n) {
        while (n) {
            if (used_ == buffer_.size()) Flush();
            size_t chunk = size_t(std::min<uint64_t>(n, buffer_.size() - used_));
            std::memset(buffer_.data() + used_, byte, chunk);
            used_ += chunk;
            n -= chunk;
        }
    }
    // n bytes of a fresh pseudo-random stream.
    void Random(uint64_t key, uint64_t n) {
        ByteStream stream(key);
        while (n) {
            size_t room = buffer_.size() - used_;
            size_t chunk = size_t(std::min<uint64_t>(n, room));
            if (chunk < n) chunk &= ~size_t(7);  // keep the stream's word boundaries
            if (chunk == 0) {
                Flush();
                continue;
            }
            stream.Fill(buffer_.data() + used_, chunk);
            used_ += chunk;
            n -= chunk;
        }
    }
    uint64_t Position() const { return written_ + used_; }
    bool Close() {
        Flush();
        if (file_ && std::fclose(file_) != 0) ok_ = false;
        file_ = nullptr;
        return ok_;
    }

private:
    void Flush() {
        if (used_ && ok_ && std::fwrite(buffer_.data(), 1, used_, file_) != used_) ok_ = false;
        written_ += used_;
        used_ = 0;
    }
    std::FILE* file_ = nullptr;
    std::vector<unsigned char>& buffer_;
    size_t used_ = 0;
    uint64_t written_ = 0;
    bool ok_ = false;
};

fs::path DiskPath(const fs::path& root, const std::string& name) {
    std::string rel = name;
    for (char& c : rel)
        if (c == '\\') c = '/';
    return root / rel;
}

// The original entry table: 68 leading bytes (a resource path and a type word), stored
// length, size word, data offset.
std::vector<unsigned char> OriginalTable(const GameLayout& layout, size_t p) {
    static const char* const kTypes[] = {"tex", "mod", "mot", "gmd", "sdl", "efl", "lmt", "rtex"};
    const GenArchive& a = layout.archives[p];
    std::vector<unsigned char> table(80 * a.entries.size(), 0);
    for (size_t i = 0; i < a.entries.size(); ++i) {
        unsigned char* rec = table.data() + 80 * i;
        Rng rng(StreamKey(layout.seed, p, i, kLeadData));
        char path[64];
        int len = std::snprintf(path, sizeof path, "arc%03zu\\%s\\obj%05zu_%u", p,
                                i % 3 ? "data" : "common", i, rng.Below(100000));
        std::memcpy(rec, path, size_t(len));
        PutU32(rec + 64, (uint32_t(rng.Next()) & ~0xFFu) | uint8_t(*kTypes[rng.Below(8)]));
        PutU32(rec + 68, a.entries[i].length);
        PutU32(rec + 72, a.entries[i].sizeWord);
        PutU32(rec + 76, a.entries[i].offset);
    }
    return table;
}

void PutHeader(FileWriter& w, const GenArchive& a) {
    unsigned char header[8];
    std::memcpy(header, a.headerLead, 6);
    PutU16(header + 6, uint32_t(a.entries.size()));
    w.Put(header, 8);
}

bool WriteOriginal(const GameLayout& layout, size_t p, const fs::path& path, std::vector<unsigned char>& buffer) {
    const GenArchive& a = layout.archives[p];
    FileWriter w(buffer);
    if (!w.Open(path)) return false;
    PutHeader(w, a);
    std::vector<unsigned char> table = OriginalTable(layout, p);
    w.Put(table.data(), table.size());
    bool first = true;
    for (uint32_t i : a.placement) {
        const GenEntry& e = a.entries[i];
        uint64_t pad = e.offset - w.Position();
        bool junk = first ? a.gapJunk : a.junkPadding;
        if (junk)
            w.Random(StreamKey(layout.seed, p, i, first ? kGapData : kPadData), pad);
        else
            w.Fill(0, pad);
        first = false;
        w.Random(StreamKey(layout.seed, p, i, kEntryData), e.length);
    }
    // Whatever follows the last entry's data is trailing bytes.
    if (w.Position() > a.originalSize) return false;
    w.Random(StreamKey(layout.seed, p, 0, kTrailData), a.originalSize - w.Position());
    return w.Close();
}

// The archive as the patch leaves it, built directly from the model: replaced entries
// take the record's length and word | bit 30, and all data is packed in table order from
// entry 0's original offset.
bool WriteExpected(const GameLayout& layout, size_t p, const std::vector<unsigned char>& payload,
                   const fs::path& path, std::vector<unsigned char>& buffer) {
    const GenArchive& a = layout.archives[p];
    std::vector<unsigned char> table = OriginalTable(layout, p);
    uint64_t offset = a.entries[0].offset;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        unsigned char* rec = table.data() + 80 * i;
        const GenEntry& e = a.entries[i];
        if (e.record >= 0) {
            const GenRecord& r = a.records[size_t(e.record)];
            PutU32(rec + 68, r.length);
            PutU32(rec + 72, r.sizeWord | 0x40000000u);
        }
        PutU32(rec + 76, uint32_t(offset));
        offset += a.NewLength(uint32_t(i));
    }
    FileWriter w(buffer);
    if (!w.Open(path)) return false;
    PutHeader(w, a);
    w.Put(table.data(), table.size());
    w.Fill(0, a.entries[0].offset - w.Position());
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const GenEntry& e = a.entries[i];
        if (e.record >= 0) {
            const GenRecord& r = a.records[size_t(e.record)];
            w.Put(payload.data() + r.payloadOffset, r.length);
        } else {
            w.Random(StreamKey(layout.seed, p, i, kEntryData), e.length);
        }
    }
    bool sizeRight = w.Position() == a.expectedSize && offset == a.expectedSize;
    return w.Close() && sizeRight;
}

bool WriteBytes(const fs::path& path, const std::vector<unsigned char>& bytes, std::vector<unsigned char>& buffer) {
    FileWriter w(buffer);
    if (!w.Open(path)) return false;
    w.Put(bytes.data(), bytes.size());
    return w.Close();
}

} // namespace

bool WriteGameFolder(const GameLayout& layout, size_t count, const fs::path& out,
                     const GameWriteProgress& progress, GameWriteTotals* totals, std::string* error) {
    std::error_code ec;
    for (const char* sub : {"game", "expected", "patch"}) {
        fs::remove_all(out / sub, ec);
        if (ec) {
            *error = "cannot remove " + (out / sub).string() + ": " + ec.message();
            return false;
        }
    }
    fs::create_directories(out / "patch", ec);
    if (ec) {
        *error = "cannot create " + (out / "patch").string() + ": " + ec.message();
        return false;
    }

    // The payload lies in memory in full: the expected archives copy their slices from it.
    uint64_t payloadSize = 0;
    for (size_t p = 0; p < count; ++p)
        for (const GenRecord& r : layout.archives[p].records) payloadSize += r.length;
    std::vector<unsigned char> payload(payloadSize);
    std::vector<ManifestArchive> manifest;
    for (size_t p = 0; p < count; ++p) {
        const GenArchive& a = layout.archives[p];
        ManifestArchive block{WidenAscii(a.name), {}};
        for (size_t r = 0; r < a.records.size(); ++r) {
            const GenRecord& rec = a.records[r];
            ByteStream(StreamKey(layout.seed, p, r, kPayloadData)).Fill(payload.data() + rec.payloadOffset, rec.length);
            block.records.push_back({rec.entryIndex, rec.sizeWord, rec.length, rec.payloadOffset, nullptr});
        }
        manifest.push_back(std::move(block));
        totals->records += a.records.size();
    }
    std::vector<unsigned char> buffer(kWriteBuffer);
    if (!WriteBytes(out / "patch" / "manifest.bin", SerializeManifest(manifest), buffer) ||
        !WriteBytes(out / "patch" / "payload.bin", payload, buffer)) {
        *error = "cannot write the patch in " + (out / "patch").string();
        return false;
    }
    totals->payloadBytes = payloadSize;

    for (size_t p = 0; p < count; ++p) {
        const GenArchive& a = layout.archives[p];
        fs::path original = DiskPath(out / "game", a.name);
        fs::path expected = DiskPath(out / "expected", a.name);
        fs::create_directories(original.parent_path(), ec);
        if (!ec) fs::create_directories(expected.parent_path(), ec);
        if (ec || !WriteOriginal(layout, p, original, buffer) ||
            !WriteExpected(layout, p, payload, expected, buffer)) {
            *error = "cannot write " + a.name;
            return false;
        }
        totals->gameBytes += a.originalSize;
        totals->expectedBytes += a.expectedSize;
        if (progress) progress(p + 1);
    }
    return true;
}

std::vector<unsigned char> OriginalHeaderAndTable(const GameLayout& layout, size_t p) {
    const GenArchive& a = layout.archives[p];
    std::vector<unsigned char> bytes(8);
    std::memcpy(bytes.data(), a.headerLead, 6);
    PutU16(bytes.data() + 6, uint32_t(a.entries.size()));
    std::vector<unsigned char> table = OriginalTable(layout, p);
    bytes.insert(bytes.end(), table.begin(), table.end());
    return bytes;
}
