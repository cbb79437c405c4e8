// The installer's check of its own patch: SHA-256 through the system's provider (checked
// against the standard's test vectors), and the comparison of the embedded parts with the
// digest, which must refuse any changed, cut, missing or extra part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PatchDigest.h"
#include "payload/PatchIntegrity.h"
#include "payload/Sha256.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string HexSha256(const Bytes& bytes) {
    unsigned char hash[kSha256Size];
    EXPECT_TRUE(Sha256(bytes.data(), bytes.size(), hash));
    char hex[2 * kSha256Size + 1];
    FormatSha256(hash, hex);
    return hex;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Sha256, StandardTestVectors) {
    EXPECT_EQ(HexSha256({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexSha256(Text("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexSha256(Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexSha256(Bytes(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

struct Patch {
    Bytes manifest = Text("manifest bytes"), payload, fingerprints = Text("KSFP..."), total = Text("KSPT0000");
    Patch() {
        payload.resize(300000);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
    }
    // The digest as the build writes it, for the parts given.
    static Bytes DigestOf(const Bytes* m, const Bytes* p, const Bytes* f, const Bytes* t) {
        std::string text;
        const Bytes* parts[] = {m, p, f, t};
        for (int i = 0; i < kPatchPartCount; ++i)
            if (parts[i]) text += HexSha256(*parts[i]) + "  " + kPatchParts[i].fileName + "\n";
        return Text(text);
    }
    Bytes Digest() const { return DigestOf(&manifest, &payload, &fingerprints, &total); }
    static bool Matches(const Bytes* m, const Bytes* p, const Bytes* f, const Bytes* t, const Bytes& digest) {
        const Bytes* given[kPatchPartCount] = {m, p, f, t};
        PatchBytes bytes;
        for (int i = 0; i < kPatchPartCount; ++i)
            if (given[i]) bytes.parts[i] = {given[i]->data(), given[i]->size()};
        return PatchBytesMatchDigest(bytes, digest.data(), digest.size());
    }
};

TEST(PatchIntegrity, TheEmbeddedPartsMatchTheirDigest) {
    Patch p;
    EXPECT_TRUE(Patch::Matches(&p.manifest, &p.payload, &p.fingerprints, &p.total, p.Digest()));
    // A patch without fingerprints and total is checked for what it has.
    Bytes two = Patch::DigestOf(&p.manifest, &p.payload, nullptr, nullptr);
    EXPECT_TRUE(Patch::Matches(&p.manifest, &p.payload, nullptr, nullptr, two));
}

TEST(PatchIntegrity, AnyDamageIsRefused) {
    Patch p;
    const Bytes digest = p.Digest();
    // One byte flipped anywhere in any part: the payload's first, middle and last byte, and
    // the small parts' every byte.
    for (size_t at : {size_t(0), p.payload.size() / 2, p.payload.size() - 1}) {
        Bytes payload = p.payload;
        payload[at] ^= 0x01;
        EXPECT_FALSE(Patch::Matches(&p.manifest, &payload, &p.fingerprints, &p.total, digest)) << "payload byte " << at;
    }
    for (Bytes Patch::*small : {&Patch::manifest, &Patch::fingerprints, &Patch::total}) {
        for (size_t at = 0; at < (p.*small).size(); ++at) {
            Patch q;
            (q.*small)[at] ^= 0x80;
            EXPECT_FALSE(Patch::Matches(&q.manifest, &q.payload, &q.fingerprints, &q.total, digest)) << at;
        }
    }
    // Cut short, grown, missing, or present but not listed.
    Bytes cut(p.payload.begin(), p.payload.end() - 1), grown = p.payload;
    grown.push_back(0);
    EXPECT_FALSE(Patch::Matches(&p.manifest, &cut, &p.fingerprints, &p.total, digest));
    EXPECT_FALSE(Patch::Matches(&p.manifest, &grown, &p.fingerprints, &p.total, digest));
    EXPECT_FALSE(Patch::Matches(&p.manifest, &p.payload, nullptr, &p.total, digest)) << "fingerprints missing";
    EXPECT_FALSE(Patch::Matches(&p.manifest, nullptr, &p.fingerprints, &p.total, digest)) << "payload missing";
    EXPECT_FALSE(Patch::Matches(&p.manifest, &p.payload, &p.fingerprints, &p.total,
                                Patch::DigestOf(&p.manifest, &p.payload, &p.fingerprints, nullptr)))
        << "a total the digest does not list";
    // The digest itself damaged or missing.
    Bytes spoiled = digest;
    spoiled[10] = spoiled[10] == 'a' ? 'b' : 'a';
    EXPECT_FALSE(Patch::Matches(&p.manifest, &p.payload, &p.fingerprints, &p.total, spoiled));
    EXPECT_FALSE(Patch::Matches(&p.manifest, &p.payload, &p.fingerprints, &p.total, Bytes(digest.begin(), digest.end() - 1)));
    EXPECT_FALSE(Patch::Matches(&p.manifest, &p.payload, &p.fingerprints, &p.total, Bytes{}));
}

} // namespace
