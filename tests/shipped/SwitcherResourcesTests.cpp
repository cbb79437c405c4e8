// The built KSTRLangSet.exe, read on the build machine: a 32-bit GUI program whose dialog
// template 103 is the designed one, control by control, and whose one application manifest
// asks for the highest available execution level (without it Windows would redirect the
// writes into a game under Program Files to a per-user store).
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "PeResources.h"
#include "TestBytes.h"

namespace {

constexpr uint32_t kDialog = 5, kManifest = 24;

bool LoadSwitcher(const std::string& dir, PeImage* image) {
    std::string error;
    const std::vector<unsigned char> bytes = ReadFileBytes(dir + "/KSTRLangSet.exe");
    return !bytes.empty() && ReadPeImage(bytes, image, &error);
}

// A reader over a classic DLGTEMPLATE.
class Template {
public:
    explicit Template(const std::vector<unsigned char>& d) : m_d(d) {}
    bool Ok() const { return m_ok; }
    uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
    uint16_t U16() {
        if (m_at + 2 > m_d.size()) {
            m_ok = false;
            return 0;
        }
        const uint16_t v = static_cast<uint16_t>(m_d[m_at] | (m_d[m_at + 1] << 8));
        m_at += 2;
        return v;
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    // A string, or "#n" for an ordinal.
    std::u16string NameOrOrdinal() {
        std::u16string s;
        uint16_t c = U16();
        if (c == 0xFFFF) {
            const std::string n = "#" + std::to_string(U16());
            return std::u16string(n.begin(), n.end());
        }
        for (; c != 0 && m_ok; c = U16()) s.push_back(static_cast<char16_t>(c));
        return s;
    }
    void AlignTo4() { m_at = (m_at + 3) & ~size_t(3); }

private:
    const std::vector<unsigned char>& m_d;
    size_t m_at = 0;
    bool m_ok = true;
};

struct Item {
    uint32_t style;
    int16_t x, y, cx, cy;
    uint16_t id;
    std::u16string cls, text;
};

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

class ShippedSwitcher : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(ShippedSwitcher, IsAGuiProgramForItsBuild) {
    PeImage image;
    ASSERT_TRUE(LoadSwitcher(GetParam(), &image)) << GetParam() << "/KSTRLangSet.exe";
    EXPECT_TRUE(image.gui);
    EXPECT_EQ(image.machine, std::string(GetParam()) == WIN32_BUILD_DIR ? 0x14C : 0x8664);
}

TEST_P(ShippedSwitcher, DialogTemplate103AsDesigned) {
    PeImage image;
    ASSERT_TRUE(LoadSwitcher(GetParam(), &image));
    const PeResource* dlg = FindPeResource(image, kDialog, 103);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->language, 0x0804u) << "Chinese (PRC)";

    Template t(dlg->data);
    const uint32_t style = t.U32();
    // Caption, system menu and modal frame; DS_SETFONT for the font.
    EXPECT_EQ(style, 0x00C00000u | 0x00080000u | 0x80u | 0x40u);
    EXPECT_EQ(t.U32(), 0u) << "extended style";
    const uint16_t count = t.U16();
    const int16_t x = t.I16(), y = t.I16(), cx = t.I16(), cy = t.I16();
    EXPECT_EQ(count, 3);
    EXPECT_EQ((std::vector<int>{x, y, cx, cy}), (std::vector<int>{400, 300, 230, 64}));
    EXPECT_EQ(Utf8(t.NameOrOrdinal()), "") << "menu";
    EXPECT_EQ(Utf8(t.NameOrOrdinal()), "") << "class";
    EXPECT_EQ(Utf8(t.NameOrOrdinal()), "中英文切换");
    EXPECT_EQ(t.U16(), 9) << "point size";
    EXPECT_EQ(Utf8(t.NameOrOrdinal()), "宋体");

    std::vector<Item> items;
    for (int i = 0; i < count && t.Ok(); ++i) {
        t.AlignTo4();
        Item it;
        it.style = t.U32();
        t.U32();
        it.x = t.I16(), it.y = t.I16(), it.cx = t.I16(), it.cy = t.I16();
        it.id = t.U16();
        it.cls = t.NameOrOrdinal();
        it.text = t.NameOrOrdinal();
        t.U16();  // creation data size
        items.push_back(it);
    }
    ASSERT_TRUE(t.Ok());
    ASSERT_EQ(items.size(), 3u);
    const uint32_t kChildVisible = 0x40000000u | 0x10000000u, kTabStop = 0x00010000u;

    EXPECT_EQ(items[0].id, 1001);
    EXPECT_EQ(Utf8(items[0].cls), "#128") << "button";
    EXPECT_EQ(Utf8(items[0].text), "设置为中文版");
    EXPECT_EQ(items[0].style, kChildVisible | kTabStop | 0x1u) << "default push button";
    EXPECT_EQ((std::vector<int>{items[0].x, items[0].y, items[0].cx, items[0].cy}), (std::vector<int>{22, 34, 69, 23}));

    EXPECT_EQ(items[1].id, 1000);
    EXPECT_EQ(Utf8(items[1].cls), "#128");
    EXPECT_EQ(Utf8(items[1].text), "设置为英文版");
    EXPECT_EQ(items[1].style, kChildVisible | kTabStop) << "push button";
    EXPECT_EQ((std::vector<int>{items[1].x, items[1].y, items[1].cx, items[1].cy}), (std::vector<int>{129, 34, 71, 23}));

    EXPECT_EQ(items[2].id, 1002);
    // windres writes class names in capitals; Windows looks classes up without regard to case.
    std::string cls = Utf8(items[2].cls);
    for (char& c : cls) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(cls, "msctls_progress32");
    EXPECT_EQ(Utf8(items[2].text), "");
    EXPECT_EQ(items[2].style, kChildVisible | 0x00800000u) << "bordered";
    EXPECT_EQ((std::vector<int>{items[2].x, items[2].y, items[2].cx, items[2].cy}), (std::vector<int>{1, 10, 227, 18}));
}

TEST_P(ShippedSwitcher, OneManifestAskingForTheHighestAvailableLevel) {
    PeImage image;
    ASSERT_TRUE(LoadSwitcher(GetParam(), &image));
    int manifests = 0;
    for (const PeResource& r : image.resources) {
        if (r.type != kManifest) continue;
        ++manifests;
        EXPECT_EQ(r.id, 1u);
        EXPECT_EQ(r.language, 1033u);
        const std::string xml(r.data.begin(), r.data.end());
        EXPECT_NE(xml.find("<requestedExecutionLevel level=\"highestAvailable\""), std::string::npos) << xml;
    }
    EXPECT_EQ(manifests, 1) << "a second manifest (a toolchain default) could take precedence";
}

INSTANTIATE_TEST_SUITE_P(Builds, ShippedSwitcher, ::testing::Values(WIN32_BUILD_DIR, WIN64_BUILD_DIR));
