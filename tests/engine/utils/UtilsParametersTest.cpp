#include "engine/utils/UtilsParameters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Joins lines with the given terminator after every line.
std::string Join(const std::vector<std::string>& lines, const std::string& eol) {
    std::string text;
    for (const auto& l : lines) text += l + eol;
    return text;
}

// A store over `text`, scanning it with its terminating NUL.
struct Store {
    explicit Store(std::string t) : text(std::move(t)), params(text.data(), text.size() + 1) {}
    std::string text;
    CUtilsParametersStatic params;

    // Value and status of a string read with a recognisable default.
    std::pair<eRESULT, std::string> Str(const char* section, const char* key) {
        char out[4096];
        eRESULT r = params.ReadString(section, key, "<default>", out, sizeof(out));
        return {r, out};
    }
};

struct BareStore : CUtilsParameters {};

TEST(UtilsParametersBase, ReadsGiveDefaultsAndWritesRefuse) {
    BareStore s;
    CUtilsParameters& p = s;
    EXPECT_TRUE(p.ReadBool("S", "K", true));
    EXPECT_EQ(p.ReadByte("S", "K", 7), 7);
    EXPECT_EQ(p.ReadShort("S", "K", 700), 700);
    EXPECT_EQ(p.ReadLong("S", "K", 0xDEADBEEFu), 0xDEADBEEFu);
    EXPECT_EQ(p.ReadFloat("S", "K", 1.25f), 1.25f);
    EXPECT_EQ(p.ReadDouble("S", "K", 2.5), 2.5);
    char out[8] = "keep";
    EXPECT_EQ(p.ReadString("S", "K", "def", out, sizeof(out)), eFAILED);
    EXPECT_EQ(p.ReadStringEx("S", "K", "def", out, sizeof(out), "pre"), eFAILED);
    EXPECT_STREQ(out, "keep");
    EXPECT_EQ(p.WriteBool("S", "K", true), eFAILED);
    EXPECT_EQ(p.WriteByte("S", "K", 1), eFAILED);
    EXPECT_EQ(p.WriteShort("S", "K", 1), eFAILED);
    EXPECT_EQ(p.WriteLong("S", "K", 1), eFAILED);
    EXPECT_EQ(p.WriteFloat("S", "K", 1.0f), eFAILED);
    EXPECT_EQ(p.WriteDouble("S", "K", 1.0), eFAILED);
    EXPECT_EQ(p.WriteString("S", "K", "v"), eFAILED);
}

TEST(UtilsParametersStatic, WritesRefuseAndLeaveTheTextAlone) {
    Store s("[S]\r\nK = 1\r\n");
    const std::string before = s.text;
    EXPECT_EQ(s.params.WriteBool("S", "K", false), eFAILED);
    EXPECT_EQ(s.params.WriteByte("S", "K", 2), eFAILED);
    EXPECT_EQ(s.params.WriteShort("S", "K", 2), eFAILED);
    EXPECT_EQ(s.params.WriteLong("S", "K", 2), eFAILED);
    EXPECT_EQ(s.params.WriteFloat("S", "K", 2.0f), eFAILED);
    EXPECT_EQ(s.params.WriteDouble("S", "K", 2.0), eFAILED);
    EXPECT_EQ(s.params.WriteString("S", "K", "2"), eFAILED);
    EXPECT_EQ(s.text, before);
    EXPECT_EQ(s.params.ReadLong("S", "K", 9), 1u);
}

// --- Lookup rules, under every kind of line end --------------------------------

const std::vector<std::string> kLookupLines = {
    "; leading comment",
    "EARLY = before any header",
    "[FIRST]",
    "-------",
    "DUP = first",
    "DUP = second",
    "  SPACED KEY\t=   three blanks before, two after  ",
    "// COMMENTED = no",
    "; SEMI = no",
    "MARKED // x = no",
    "MARKED = yes",
    "QUOTED = \"a b\"",
    "EQUALS = b=c",
    "EMPTY =  \t ",
    "LIGHT_1_TYPE        = 0 // 0=DIRECTIONAL, 1=POINT",
    "lower = lowercase key",
    "",
    "  [ S E C O N D ]  trailing text",
    "ONLY_LATER = from second",
    "DUP = from second",
    "[FIRST]",
    "AFTER_REPEAT = still found",
    "[third]",
    "THIRD_KEY = lowercase header",
    "[WRONG",
    "NO_CLOSE = x",
    "//[HIDDEN]",
    "HIDDEN_KEY = x",
    "[SELF] SELF = on the header line",
    "[LAST]",
    "TAIL = last",
};

struct LookupCase {
    const char* section;
    const char* key;
    eRESULT status;
    const char* value;
};

const LookupCase kLookupCases[] = {
    {"FIRST", "DUP", eOK, "first"},
    {"FIRST", "SPACEDKEY", eOK, "three blanks before, two after  "},
    {"FIRST", "COMMENTED", eFAILED, "<default>"},
    {"FIRST", "SEMI", eFAILED, "<default>"},
    {"FIRST", "//COMMENTED", eFAILED, "<default>"},    // a comment mark never matches,
    {"FIRST", ";SEMI", eFAILED, "<default>"},          // not even a key spelled with it
    {"FIRST", "MARKED//x", eFAILED, "<default>"},
    {"FIRST", "MARKED", eOK, "yes"},
    {"FIRST", "QUOTED", eOK, "\"a b\""},
    {"FIRST", "EQUALS", eOK, "b=c"},
    {"FIRST", "EMPTY", eOK, ""},
    {"FIRST", "LIGHT_1_TYPE", eOK, "0 // 0=DIRECTIONAL, 1=POINT"},
    {"FIRST", "LOWER", eFAILED, "<default>"},
    {"FIRST", "lower", eOK, "lowercase key"},
    {"first", "DUP", eFAILED, "<default>"},
    {"FIRST", "dup", eFAILED, "<default>"},
    {"FIRST", "ONLY_LATER", eOK, "from second"},       // taken from a later section
    {"FIRST", "AFTER_REPEAT", eOK, "still found"},     // the repeated header is a plain line
    {"FIRST", "TAIL", eOK, "last"},
    {"FIRST", "EARLY", eFAILED, "<default>"},          // before the header: never seen
    {"FIRST", "DU", eFAILED, "<default>"},
    {"FIRST", "DUPX", eFAILED, "<default>"},
    {"SECOND", "DUP", eOK, "from second"},
    {"SECOND", "SPACEDKEY", eFAILED, "<default>"},     // only in an earlier section
    {"SECON", "DUP", eFAILED, "<default>"},
    {"SECONDX", "DUP", eFAILED, "<default>"},
    {"third", "THIRD_KEY", eOK, "lowercase header"},
    {"THIRD", "THIRD_KEY", eFAILED, "<default>"},
    {"WRONG", "NO_CLOSE", eFAILED, "<default>"},
    {"HIDDEN", "HIDDEN_KEY", eFAILED, "<default>"},
    {"SELF", "[SELF]SELF", eFAILED, "<default>"},      // a header is never its own key
    {"FIRST", "[SELF]SELF", eOK, "on the header line"},
    {"LAST", "TAIL", eOK, "last"},
    {"LAST", "DUP", eFAILED, "<default>"},
    {"", "DUP", eFAILED, "<default>"},
    {"FIRST", "", eFAILED, "<default>"},
    {"MISSING", "DUP", eFAILED, "<default>"},
};

class UtilsParametersLineEnds : public ::testing::TestWithParam<const char*> {};

TEST_P(UtilsParametersLineEnds, LookupRules) {
    Store s(Join(kLookupLines, GetParam()));
    for (const auto& c : kLookupCases) {
        auto [status, value] = s.Str(c.section, c.key);
        EXPECT_EQ(status, c.status) << "[" << c.section << "] " << c.key;
        EXPECT_EQ(value, c.value) << "[" << c.section << "] " << c.key;
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, UtilsParametersLineEnds,
                         ::testing::Values("\n", "\r", "\r\n"),
                         [](const auto& info) {
                             return std::string(info.param[0] == '\n' ? "LF"
                                                : info.param[1] ? "CRLF"
                                                                : "CR");
                         });

TEST(UtilsParametersStatic, OnlyTerminatedLinesWithinTheSizeAreRead) {
    const std::string text = "[S]\nA = 1\nB = 2\nC = 3";
    struct Case {
        size_t size;
        uint32_t a, b, c;
    } cases[] = {
        {text.size(), 1, 2, 99},      // last line has no terminator inside the size
        {text.size() + 1, 1, 2, 3},   // the NUL ends it
        {text.find("B") + 3, 1, 99, 99},
        {text.find("B"), 1, 99, 99},
        {0, 99, 99, 99},
    };
    for (const auto& c : cases) {
        CUtilsParametersStatic p(text.c_str(), static_cast<uint32_t>(c.size));
        EXPECT_EQ(p.ReadLong("S", "A", 99), c.a) << c.size;
        EXPECT_EQ(p.ReadLong("S", "B", 99), c.b) << c.size;
        EXPECT_EQ(p.ReadLong("S", "C", 99), c.c) << c.size;
    }
    CUtilsParametersStatic none(nullptr, 100);
    EXPECT_EQ(none.ReadLong("S", "A", 99), 99u);
}

TEST(UtilsParametersStatic, NullNamesGiveTheDefault) {
    Store s("[S]\nK = 1\n");
    EXPECT_EQ(s.params.ReadLong(nullptr, "K", 5), 5u);
    EXPECT_EQ(s.params.ReadLong("S", nullptr, 5), 5u);
}

// --- Numeric conversions -----------------------------------------------------

TEST(UtilsParametersStatic, NumericConversionsTruncateLikeTheCLibrary) {
    struct Case {
        const char* value;
        bool b;
        uint8_t byte;
        uint16_t shrt;
        uint32_t lng;
        double dbl;
    } cases[] = {
        {"300", true, 44, 300, 300u, 300.0},
        {"-1", true, 255, 65535, 0xFFFFFFFFu, -1.0},
        {"70000", true, 0x70, 4464, 70000u, 70000.0},
        {"2", true, 2, 2, 2u, 2.0},
        {"true", false, 0, 0, 0u, 0.0},
        {"", false, 0, 0, 0u, 0.0},
        {"0 // 0=DIRECTIONAL, 1=POINT", false, 0, 0, 0u, 0.0},
        {"128           //  [0..255]", true, 128, 128, 128u, 128.0},
        {"+12abc", true, 12, 12, 12u, 12.0},
        {"1.5", true, 1, 1, 1u, 1.5},
        {"0.7", false, 0, 0, 0u, 0.7},
        {"-5000.0", true, 0x78, 0xEC78, 0xFFFFEC78u, -5000.0},
        // Out of the 32-bit range: saturates as on a 32-bit long.
        {"4294967296", true, 0xFF, 0xFFFF, 0x7FFFFFFFu, 4294967296.0},
        {"-4294967296", true, 0x00, 0x0000, 0x80000000u, -4294967296.0},
    };
    for (const auto& c : cases) {
        Store s(std::string("[N]\r\nV = ") + c.value + "\r\n");
        SCOPED_TRACE(c.value);
        EXPECT_EQ(s.params.ReadBool("N", "V", !c.b), c.b);
        EXPECT_EQ(s.params.ReadByte("N", "V", 77), c.byte);
        EXPECT_EQ(s.params.ReadShort("N", "V", 7777), c.shrt);
        EXPECT_EQ(s.params.ReadLong("N", "V", 777777u), c.lng);
        EXPECT_EQ(s.params.ReadFloat("N", "V", 77.0f), static_cast<float>(c.dbl));
        EXPECT_EQ(s.params.ReadDouble("N", "V", 77.0), c.dbl);
    }
}

TEST(UtilsParametersStatic, NumericReadsOfAMissingKeyGiveTheDefault) {
    Store s("[N]\r\nV = 1\r\n");
    EXPECT_TRUE(s.params.ReadBool("N", "W", true));
    EXPECT_FALSE(s.params.ReadBool("N", "W", false));
    EXPECT_EQ(s.params.ReadByte("N", "W", 200), 200);
    EXPECT_EQ(s.params.ReadShort("N", "W", 60000), 60000);
    EXPECT_EQ(s.params.ReadLong("N", "W", 0x80000001u), 0x80000001u);
    EXPECT_EQ(s.params.ReadFloat("N", "W", -1000.0f), -1000.0f);
    EXPECT_EQ(s.params.ReadDouble("N", "W", 0.00001), 0.00001);
}

// --- String reads -------------------------------------------------------------

TEST(UtilsParametersStatic, StringReadsReportWhetherTheDefaultWasUsed) {
    Store s("[S]\r\nNAME = touch.png\r\n");
    struct Case {
        const char* key;
        const char* def;
        const char* prefix;  // null: ReadString
        bool ex;
        eRESULT status;
        const char* out;
    } cases[] = {
        {"NAME", "x.png", nullptr, false, eOK, "touch.png"},
        {"NOPE", "x.png", nullptr, false, eFAILED, "x.png"},
        {"NOPE", nullptr, nullptr, false, eFAILED, ""},
        {"NAME", "x.png", "Data/", true, eOK, "Data/touch.png"},
        {"NOPE", "x.png", "Data/", true, eFAILED, "Data/x.png"},
        {"NAME", "x.png", nullptr, true, eOK, "touch.png"},
        {"NOPE", "x.png", nullptr, true, eFAILED, "x.png"},
        {"NOPE", nullptr, "Data/", true, eFAILED, "Data/"},
    };
    for (const auto& c : cases) {
        char out[eMAX_PATH];
        memset(out, '#', sizeof(out));
        eRESULT r = c.ex ? s.params.ReadStringEx("S", c.key, c.def, out, sizeof(out), c.prefix)
                         : s.params.ReadString("S", c.key, c.def, out, sizeof(out));
        EXPECT_EQ(r, c.status) << c.key << " ex=" << c.ex;
        EXPECT_STREQ(out, c.out) << c.key << " ex=" << c.ex;
    }
}

TEST(UtilsParametersStatic, StringReadsNeverWritePastOutSize) {
    Store s("[S]\r\nNAME = abcdef\r\n");
    struct Case {
        const char* key;  // NAME is found, NOPE uses the default "uvwxyz"
        const char* prefix;
        bool ex;
        int32_t outSize;
        eRESULT status;
        const char* out;  // null: nothing written
    } cases[] = {
        {"NAME", nullptr, false, 4, eOK, "abc"},
        {"NAME", nullptr, false, 7, eOK, "abcdef"},
        {"NAME", nullptr, false, 1, eOK, ""},
        {"NOPE", nullptr, false, 3, eFAILED, "uv"},
        {"NAME", "pre/", true, 6, eOK, "pre/a"},
        {"NAME", "pre/", true, 3, eOK, "pr"},
        {"NAME", "pre/", true, 5, eOK, "pre/"},
        {"NOPE", "pre/", true, 8, eFAILED, "pre/uvw"},
        {"NAME", nullptr, false, 0, eFAILED, nullptr},
        {"NAME", nullptr, false, -1, eFAILED, nullptr},
        {"NAME", "pre/", true, 0, eFAILED, nullptr},
        {"NAME", "pre/", true, -5, eFAILED, nullptr},
    };
    for (const auto& c : cases) {
        char buf[32];
        memset(buf, '#', sizeof(buf));
        const eRESULT r =
            c.ex ? s.params.ReadStringEx("S", c.key, "uvwxyz", buf, c.outSize, c.prefix)
                 : s.params.ReadString("S", c.key, "uvwxyz", buf, c.outSize);
        SCOPED_TRACE(::testing::Message() << c.key << " size " << c.outSize << " ex " << c.ex);
        EXPECT_EQ(r, c.status);
        const size_t written = c.out ? strlen(c.out) + 1 : 0;
        if (c.out) {
            EXPECT_STREQ(buf, c.out);
        }
        for (size_t i = written; i < sizeof(buf); ++i) ASSERT_EQ(buf[i], '#') << "byte " << i;
    }
    EXPECT_EQ(s.params.ReadString("S", "NAME", "d", nullptr, 10), eFAILED);
    EXPECT_EQ(s.params.ReadStringEx("S", "NAME", "d", nullptr, 10, "p"), eFAILED);
}

TEST(UtilsParametersStatic, OverlongLinesAreCutAndTheNextLineIsStillFound) {
    const size_t cut = CUtilsParametersStatic::kLineBufferSize - 1;
    // The tail of each comment line, seen from just around the cut, reads
    // like a key line; it must not be taken for one.
    for (size_t head : {cut - 1, cut, cut + 1}) {
        std::string longLine = "; " + std::string(head - 2, 'x') + "NEXT = wrong";
        longLine += std::string(5000 - longLine.size(), 'z');
        ASSERT_EQ(longLine.size(), 5000u);
        for (const char* eol : {"\n", "\r", "\r\n"}) {
            Store s(Join({"[S]", longLine, "NEXT = right"}, eol));
            EXPECT_EQ(s.Str("S", "NEXT"), std::make_pair(eOK, std::string("right"))) << head;
        }
    }

    const std::string bigValue(3000, 'v');
    Store s(Join({"[S]", "BIG = " + bigValue, "AFTER = 1", "[T]", "HUGE = " + std::string(4993, 'w'),
                  "LAST = 2"},
                 "\r\n"));
    auto [status, value] = s.Str("S", "BIG");
    EXPECT_EQ(status, eOK);
    EXPECT_EQ(value, bigValue.substr(0, cut - strlen("BIG = ")));
    EXPECT_EQ(s.params.ReadLong("S", "AFTER", 0), 1u);
    EXPECT_EQ(s.Str("T", "HUGE").second, std::string(cut - strlen("HUGE = "), 'w'));
    EXPECT_EQ(s.params.ReadLong("T", "LAST", 0), 2u);

    // The cut value still fits a small caller buffer only as far as it goes.
    char small[eMAX_PATH];
    EXPECT_EQ(s.params.ReadStringEx("S", "BIG", "", small, sizeof(small), "p/"), eOK);
    EXPECT_EQ(std::string(small), "p/" + bigValue.substr(0, eMAX_PATH - 3));
}

// --- Path helpers -------------------------------------------------------------

TEST(UtilsParametersPaths, GetFileFromPath) {
    struct Case {
        const char* path;
        const char* file;
    } cases[] = {
        {"Data/Textures/mask.png", "mask.png"},
        {"W:\\DEV\\Data\\mask.png", "mask.png"},
        {"a\\b/c.png", "b/c.png"},  // a backslash wins over a later '/'
        {"a/b\\c.png", "c.png"},
        {"mask.png", "mask.png"},
        {"Data/", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(GetFileFromPath(c.path), c.file) << c.path;
    EXPECT_EQ(GetFileFromPath(nullptr), nullptr);
    const char* path = "x/y.png";
    EXPECT_EQ(GetFileFromPath(path), path + 2);
}

TEST(UtilsParametersPaths, RemoveLastChar) {
    struct Case {
        const char* text;
        char c;
        const char* after;
        long cutAt;  // -1: nothing cut
    } cases[] = {
        {"Data/Textures/mask.png", '/', "Data/Textures", 13},
        {"mask.png.bak", '.', "mask.png", 8},
        {"mask", '/', "mask", -1},
        {"/", '/', "", 0},
        {"", '/', "", -1},
    };
    for (const auto& c : cases) {
        char buf[64];
        strcpy(buf, c.text);
        char* r = RemoveLastChar(buf, c.c);
        EXPECT_STREQ(buf, c.after) << c.text;
        EXPECT_EQ(r, c.cutAt < 0 ? nullptr : buf + c.cutAt) << c.text;
    }
    EXPECT_EQ(RemoveLastChar(nullptr, '/'), nullptr);
}

}  // namespace
