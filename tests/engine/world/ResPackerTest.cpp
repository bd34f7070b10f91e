#include "engine/world/ResPacker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void PutU32LE(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// One entry, built by hand so that the reader is checked against the format
// itself rather than against the engine's writer.
Bytes Entry(const std::string& name, const std::string& data, uint32_t declaredSize) {
    static const unsigned char key[4] = {0x19, 0x7C, 0x2E, 0x5B};
    Bytes out;
    PutU32LE(&out, declaredSize);
    PutU32LE(&out, static_cast<uint32_t>(name.size()));
    for (size_t i = 0; i < name.size(); ++i) out.push_back(static_cast<unsigned char>(name[i]) ^ key[i % 4]);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}
Bytes Entry(const std::string& name, const std::string& data) {
    return Entry(name, data, static_cast<uint32_t>(data.size()));
}

struct Pack {
    explicit Pack(const std::vector<Bytes>& entries) : file(std::tmpfile()) {
        for (const Bytes& e : entries) bytes.insert(bytes.end(), e.begin(), e.end());
        if (file && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        if (file) std::fflush(file);
    }
    ~Pack() {
        if (file) std::fclose(file);
    }
    Pack(const Pack&) = delete;
    Pack& operator=(const Pack&) = delete;

    Bytes bytes;
    FILE* file;
};

// Reads what a loader would read after a lookup.
std::string ReadData(const _RES_PACKER& p) {
    std::string s(p.m_dwSize, '\0');
    const size_t got = s.empty() ? 0 : std::fread(&s[0], 1, s.size(), p.m_pFile);
    s.resize(got);
    return s;
}

const std::string kBinary("\x00\x01\xFF\x00png", 7);

std::vector<Bytes> SamplePack() {
    return {
        Entry("Background.png", "background"),
        Entry("mask.png", kBinary),
        Entry("mask2.png", "second mask"),
        Entry("empty.raw", ""),
        Entry("brush", "brush data"),
    };
}

TEST(ResPackerTest, LookupMatchesFirstPrefixIgnoringCase) {
    Pack pack(SamplePack());
    ASSERT_NE(pack.file, nullptr);
    struct Case {
        const char* query;
        const char* name;  // null: not found
        std::string data;
    };
    const Case cases[] = {
        {"Background.png", "Background.png", "background"},
        {"background.PNG", "Background.png", "background"},
        {"MASK.PNG", "mask.png", kBinary},
        {"mask", "mask.png", kBinary},  // prefix of two names: the earlier one
        {"mask2", "mask2.png", "second mask"},
        {"", "Background.png", "background"},  // empty query: the first entry
        {"empty", "empty.raw", ""},
        {"brush", "brush", "brush data"},
        {"brushes", nullptr, ""},  // longer than the entry's name
        {"missing", nullptr, ""},
        {"ask", nullptr, ""},  // not a prefix
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        _RES_PACKER p{};
        p.m_pFile = pack.file;
        const eRESULT r = eGetResPacker(c.query, &p);
        if (!c.name) {
            EXPECT_EQ(r, eFAILED);
            continue;
        }
        ASSERT_EQ(r, eOK);
        EXPECT_STREQ(p.m_szName, c.name);
        EXPECT_EQ(p.m_dwSize, c.data.size());
        EXPECT_EQ(ReadData(p), c.data);
    }
}

TEST(ResPackerTest, DamagedTailKeepsEarlierEntriesFindable) {
    const Bytes good1 = Entry("first.png", "one");
    const Bytes good2 = Entry("second.png", "two");
    Bytes shortData = Entry("mask.png", std::string(1200, 'm'), 65536);
    Bytes shortHeader = Entry("x", "y");
    shortHeader.resize(5);
    Bytes shortName = Entry("longer-name.png", "data");
    shortName.resize(8 + 6);
    struct Case {
        const char* what;
        Bytes tail;
        const char* tailName;
    };
    const Case cases[] = {
        {"data shorter than its size", shortData, "mask.png"},
        {"header cut short", shortHeader, "x"},
        {"name cut short", shortName, "longer-name.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pack pack({good1, good2, c.tail});
        ASSERT_NE(pack.file, nullptr);
        _RES_PACKER p{};
        p.m_pFile = pack.file;
        ASSERT_EQ(eGetResPacker("FIRST", &p), eOK);
        EXPECT_EQ(ReadData(p), "one");
        ASSERT_EQ(eGetResPacker("second.png", &p), eOK);
        EXPECT_EQ(ReadData(p), "two");
        // The damaged entry itself and anything that would lie after it.
        EXPECT_EQ(eGetResPacker(c.tailName, &p), eFAILED);
        EXPECT_EQ(eGetResPacker("zzz", &p), eFAILED);
    }
}

TEST(ResPackerTest, HandleIsUntouchedOnFailure) {
    Pack pack({Entry("one", "1"), Entry("two", "2", 99)});
    ASSERT_NE(pack.file, nullptr);
    _RES_PACKER p;
    std::memset(&p, 0xA5, sizeof p);
    p.m_pFile = pack.file;
    _RES_PACKER before;
    std::memcpy(&before, &p, sizeof p);
    for (const char* query : {"missing", "two", "ones"}) {
        SCOPED_TRACE(query);
        EXPECT_EQ(eGetResPacker(query, &p), eFAILED);
        EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
    }
    EXPECT_EQ(eGetResPacker("anything", nullptr), eFAILED);
    _RES_PACKER noFile{};
    EXPECT_EQ(eGetResPacker("one", &noFile), eFAILED);
}

// A device reports no size and reads zeros for ever: the look-up must stop at
// the reported size instead of walking empty entries without end.
TEST(ResPackerTest, AFileWithoutASizeIsNotWalkedForEver) {
    FILE* zero = std::fopen("/dev/zero", "rb");
    ASSERT_NE(zero, nullptr);
    _RES_PACKER p{};
    p.m_pFile = zero;
    EXPECT_EQ(eGetResPacker("background.png", &p), eFAILED);
    EXPECT_EQ(eGetResPacker("", &p), eFAILED);
    std::fclose(zero);
}

TEST(ResPackerTest, NameLengthAndTerminator) {
    const std::string longest(eRES_PACKER_MAX_NAME, 'n');
    const std::string tooLong(eRES_PACKER_MAX_NAME + 1, 'n');
    {
        // A name stops at its first NUL; what follows within N is ignored.
        Pack pack({Entry(std::string("abc\0junk", 8), "d1"), Entry(longest, "d2")});
        _RES_PACKER p{};
        p.m_pFile = pack.file;
        ASSERT_EQ(eGetResPacker("ABC", &p), eOK);
        EXPECT_STREQ(p.m_szName, "abc");
        EXPECT_EQ(ReadData(p), "d1");
        EXPECT_EQ(eGetResPacker("abcj", &p), eFAILED);
        ASSERT_EQ(eGetResPacker(longest.c_str(), &p), eOK);
        EXPECT_EQ(std::string(p.m_szName), longest);
        EXPECT_EQ(ReadData(p), "d2");
    }
    {
        // An over-long stored name ends the scan.
        Pack pack({Entry("before", "b"), Entry(tooLong, "x"), Entry("after", "a")});
        _RES_PACKER p{};
        p.m_pFile = pack.file;
        EXPECT_EQ(eGetResPacker("before", &p), eOK);
        EXPECT_EQ(eGetResPacker("n", &p), eFAILED);
        EXPECT_EQ(eGetResPacker("after", &p), eFAILED);
    }
    {
        Pack empty({});
        _RES_PACKER p{};
        p.m_pFile = empty.file;
        EXPECT_EQ(eGetResPacker("", &p), eFAILED);
    }
}

TEST(ResPackerTest, LookupOfTheMismatchedPointerShape) {
    // The lookup stored in the shared record takes a non-const name.
    Pack pack({Entry("font.ttf", "glyphs")});
    PFN_RES_PACKER lookup = eGetResPacker;
    char query[] = "FONT";
    _RES_PACKER p{};
    p.m_pFile = pack.file;
    ASSERT_EQ(lookup(query, &p), eOK);
    EXPECT_EQ(ReadData(p), "glyphs");
}

TEST(ResPackerTest, WriterProducesTheFormatTheReaderFinds) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const std::string names[] = {"Sky.jpg", std::string(eRES_PACKER_MAX_NAME, 'q'), "e"};
    const std::string datas[] = {"sky pixels", "q", ""};
    Bytes expected;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(eResPackerWriteEntryHeader(f, names[i].c_str(), static_cast<uint32_t>(datas[i].size())), eOK);
        std::fwrite(datas[i].data(), 1, datas[i].size(), f);
        const Bytes e = Entry(names[i], datas[i]);
        expected.insert(expected.end(), e.begin(), e.end());
    }
    const long before = std::ftell(f);
    EXPECT_EQ(eResPackerWriteEntryHeader(f, std::string(eRES_PACKER_MAX_NAME + 1, 'q').c_str(), 0), eFAILED);
    EXPECT_EQ(eResPackerWriteEntryHeader(f, nullptr, 0), eFAILED);
    EXPECT_EQ(std::ftell(f), before);  // nothing written when refused

    Bytes actual(expected.size() + 1);
    std::rewind(f);
    actual.resize(std::fread(actual.data(), 1, actual.size(), f));
    EXPECT_EQ(actual, expected);

    _RES_PACKER p{};
    p.m_pFile = f;
    ASSERT_EQ(eGetResPacker("sky.JPG", &p), eOK);
    EXPECT_EQ(ReadData(p), "sky pixels");
    ASSERT_EQ(eGetResPacker("e", &p), eOK);
    EXPECT_EQ(p.m_dwSize, 0u);
    std::fclose(f);

    // Scrambling twice gives the bytes back.
    unsigned char bytes[] = {'a', 'b', 'c', 'd', 'e', 0};
    eResPackerScramble(bytes, 6);
    EXPECT_EQ(bytes[0], 'a' ^ 0x19);
    EXPECT_EQ(bytes[3], 'd' ^ 0x5B);
    EXPECT_EQ(bytes[4], 'e' ^ 0x19);
    eResPackerScramble(bytes, 6);
    EXPECT_STREQ(reinterpret_cast<char*>(bytes), "abcde");
}

}  // namespace
