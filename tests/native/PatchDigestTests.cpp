// The patch digest: the build's script writes what the installer's parser reads, the digests
// are the files' SHA-256 (as sha256sum computes them), and nothing but that form is read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/PatchDigest.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Shell(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

std::string Hex(const unsigned char (&hash)[kSha256Size]) {
    char hex[2 * kSha256Size + 1];
    FormatSha256(hash, hex);
    return hex;
}

class PatchDigestScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("patchdigest_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    bool Write(Bytes* digest) {
        std::string command = std::string("'") + CMAKE_COMMAND + "' -DPATCH_DIR='" + dir.string() + "' -DOUT='" +
                              (dir / "digest.txt").string() + "' -P '" + PATCH_DIGEST_SCRIPT + "' 2>&1";
        std::string output = Shell(command);
        *digest = ReadBytes(dir / "digest.txt");
        return output.empty() && !digest->empty();
    }
    fs::path dir;
};

// The script's lines are sha256sum's for the embedded files, in order, and parse back.
TEST_F(PatchDigestScript, ListsTheEmbeddedFilesWithTheirSha256) {
    WriteBytes(dir / "manifest.bin", "the manifest");
    WriteBytes(dir / "payload.bin", std::string(100000, 'p') + "end");
    WriteBytes(dir / "progress_total.bin", "KSPT");
    Bytes digest;
    ASSERT_TRUE(Write(&digest));
    std::string expected = Shell("cd '" + dir.string() + "' && sha256sum manifest.bin payload.bin progress_total.bin");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(std::string(digest.begin(), digest.end()), expected);

    PatchDigest parsed{};
    ASSERT_TRUE(ParsePatchDigest(digest.data(), digest.size(), &parsed));
    EXPECT_TRUE(parsed.listed[kPartManifest]);
    EXPECT_TRUE(parsed.listed[kPartPayload]);
    EXPECT_FALSE(parsed.listed[kPartFingerprints]) << "not in the folder, so not embedded";
    EXPECT_TRUE(parsed.listed[kPartProgressTotal]);
    EXPECT_EQ(Hex(parsed.sha256[kPartManifest]), expected.substr(0, 64));
    EXPECT_EQ(FormatPatchDigest(parsed), std::string(digest.begin(), digest.end()))
        << "the authoring tool writes the digest the build writes";

    unsigned char hash[kSha256Size];
    std::copy(parsed.sha256[kPartPayload], parsed.sha256[kPartPayload] + kSha256Size, hash);
    EXPECT_TRUE(PartMatchesDigest(parsed, kPartPayload, true, hash));
    EXPECT_FALSE(PartMatchesDigest(parsed, kPartPayload, false, hash)) << "listed, but not embedded";
    EXPECT_FALSE(PartMatchesDigest(parsed, kPartFingerprints, true, hash)) << "embedded, but not listed";
    EXPECT_TRUE(PartMatchesDigest(parsed, kPartFingerprints, false, hash));
    for (size_t i = 0; i < kSha256Size; ++i) {
        unsigned char flipped[kSha256Size];
        std::copy(hash, hash + kSha256Size, flipped);
        flipped[i] ^= 0x01;
        EXPECT_FALSE(PartMatchesDigest(parsed, kPartPayload, true, flipped)) << "byte " << i;
    }

    // The file is rewritten only when the patch changes (an unchanged patch relinks nothing).
    fs::file_time_type before = fs::last_write_time(dir / "digest.txt");
    fs::last_write_time(dir / "digest.txt", before - std::chrono::hours(1));
    before = fs::last_write_time(dir / "digest.txt");
    ASSERT_TRUE(Write(&digest));
    EXPECT_EQ(fs::last_write_time(dir / "digest.txt"), before);
    WriteBytes(dir / "fingerprints.bin", "KSFP");
    ASSERT_TRUE(Write(&digest));
    EXPECT_NE(fs::last_write_time(dir / "digest.txt"), before);
    ASSERT_TRUE(ParsePatchDigest(digest.data(), digest.size(), &parsed));
    EXPECT_TRUE(parsed.listed[kPartFingerprints]);
}

TEST_F(PatchDigestScript, RefusesAPatchWithoutManifestOrPayload) {
    WriteBytes(dir / "manifest.bin", "m");
    Bytes digest;
    EXPECT_FALSE(Write(&digest));
}

TEST(PatchDigest, OnlyTheStoredFormReads) {
    const std::string a(64, 'a'), b(64, '0'), c = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const std::string good = a + "  manifest.bin\n" + b + "  payload.bin\n" + c + "  progress_total.bin\n";
    PatchDigest digest{};
    ASSERT_TRUE(ParsePatchDigest(reinterpret_cast<const unsigned char*>(good.data()), good.size(), &digest));
    EXPECT_EQ(digest.sha256[kPartManifest][0], 0xAA);
    EXPECT_EQ(digest.sha256[kPartProgressTotal][0], 0x01);
    EXPECT_EQ(digest.sha256[kPartProgressTotal][31], 0xEF);
    EXPECT_FALSE(digest.listed[kPartFingerprints]);

    const struct {
        const char* what;
        std::string text;
    } bad[] = {
        {"empty", ""},
        {"no payload", a + "  manifest.bin\n"},
        {"no manifest", b + "  payload.bin\n"},
        {"out of order", b + "  payload.bin\n" + a + "  manifest.bin\n"},
        {"twice", a + "  manifest.bin\n" + a + "  manifest.bin\n" + b + "  payload.bin\n"},
        {"unknown name", a + "  manifest.bin\n" + b + "  payload.bin\n" + c + "  readme.txt\n"},
        {"name prefix", a + "  manifest.bin\n" + b + "  payload.bi\n"},
        {"no final newline", a + "  manifest.bin\n" + b + "  payload.bin"},
        {"upper-case hex", std::string(64, 'A') + "  manifest.bin\n" + b + "  payload.bin\n"},
        {"short hash", std::string(63, 'a') + "  manifest.bin\n" + b + "  payload.bin\n"},
        {"one space", a + " manifest.bin\n" + b + "  payload.bin\n"},
        {"CRLF", a + "  manifest.bin\r\n" + b + "  payload.bin\r\n"},
        {"trailing line", good + "\n"},
    };
    for (const auto& c : bad) {
        PatchDigest untouched{};
        untouched.listed[kPartFingerprints] = true;
        Bytes exact(c.text.begin(), c.text.end()); // exact size: ASan sees an overread
        EXPECT_FALSE(ParsePatchDigest(exact.data(), exact.size(), &untouched)) << c.what;
        EXPECT_TRUE(untouched.listed[kPartFingerprints]) << c.what << ": a failed parse leaves the output alone";
    }
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Bytes shorter(good.begin(), good.begin() + cut);
        PatchDigest d{};
        bool parsed = ParsePatchDigest(shorter.data(), shorter.size(), &d);
        EXPECT_EQ(parsed, cut == good.size() - (64 + 2 + 18 + 1)) << "cut at " << cut; // only at a line's end
    }
    EXPECT_FALSE(ParsePatchDigest(nullptr, 0, &digest));
}

} // namespace
