#include "engine/utils/DefaultConfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/utils/UtilsParameters.h"

namespace {

struct Text {
    const char* name;
    const char* data;
    uint32_t size;
};

const Text kTexts[] = {
    {"engine", g_szEngineIni, g_dwEngineIniSize},
    {"appli", g_szAppliIni, g_dwAppliIniSize},
};

// Splits at CR LF; fails the test if any other line end is present.
std::vector<std::string> Lines(const Text& t) {
    const std::string s(t.data, t.size - 1);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t end = s.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << t.name << ": text does not end with CR LF";
            break;
        }
        lines.push_back(s.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

bool IsKeyLine(const std::string& l) {
    return !l.empty() && l.find('=') != std::string::npos && l.rfind("//", 0) != 0;
}

TEST(DefaultConfig, NamesOfTheTexts) {
    EXPECT_STREQ(g_szEngineIniName, "Orbelline.Engine.ini");
    EXPECT_STREQ(g_szAppliIniName, "Orbelline.Appli.ini");
}

TEST(DefaultConfig, TextsAreCrLfLinesWithOneCountedNul) {
    const std::string slashes(72, '/');
    for (const auto& t : kTexts) {
        SCOPED_TRACE(t.name);
        ASSERT_GT(t.size, 2u);
        EXPECT_EQ(t.data[t.size - 1], '\0');
        EXPECT_EQ(strlen(t.data), t.size - 1u);  // no NUL before the last byte
        const std::string body(t.data, t.size - 1);
        EXPECT_EQ(body.substr(body.size() - 2), "\r\n");

        const auto lines = Lines(t);
        for (const auto& l : lines) {
            EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos) << "bare line end in: " << l;
            if (!l.empty()) {
                EXPECT_TRUE(l.back() != ' ' && l.back() != '\t') << "trailing blank: " << l;
            }
        }
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines.front(), slashes);
        EXPECT_EQ(lines.back(), slashes);

        // Every header: slashes, empty line, [NAME], dashes as long, empty line.
        int headers = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].empty() || lines[i][0] != '[') continue;
            ++headers;
            ASSERT_GE(i, 2u);
            ASSERT_LT(i + 2, lines.size());
            EXPECT_EQ(lines[i].back(), ']') << lines[i];
            EXPECT_EQ(lines[i - 2], slashes) << lines[i];
            EXPECT_EQ(lines[i - 1], "") << lines[i];
            EXPECT_EQ(lines[i + 1], std::string(lines[i].size(), '-')) << lines[i];
            EXPECT_EQ(lines[i + 2], "") << lines[i];
        }
        EXPECT_GT(headers, 0);

        // '=' lines up inside each group; [FOG] pads with tabs only.
        std::string section;
        size_t groupColumn = 0;
        for (const auto& l : lines) {
            if (!l.empty() && l[0] == '[') section = l;
            if (!IsKeyLine(l)) {
                groupColumn = 0;
                continue;
            }
            const size_t eq = l.find('=');
            const std::string pad = l.substr(l.find_first_of(" \t"), eq - l.find_first_of(" \t"));
            const char padChar = section == "[FOG]" ? '\t' : ' ';
            EXPECT_EQ(pad.find_first_not_of(padChar), std::string::npos) << l;
            EXPECT_EQ(l.compare(eq, 2, "= "), 0) << l;
            if (groupColumn == 0) groupColumn = eq;
            if (section != "[FOG]") {
                EXPECT_EQ(eq, groupColumn) << l;
            }
        }
    }
}

// section -> every (key, value) line in text order, as written.
std::map<std::string, std::vector<std::pair<std::string, std::string>>> Sections(const Text& t) {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> out;
    std::string section;
    for (const auto& l : Lines(t)) {
        if (!l.empty() && l[0] == '[') section = l.substr(1, l.size() - 2);
        if (!IsKeyLine(l)) continue;
        const size_t eq = l.find('=');
        std::string key = l.substr(0, l.find_first_of(" \t="));
        out[section].emplace_back(key, l.substr(l.find_first_not_of(" \t", eq + 1)));
    }
    return out;
}

std::vector<std::string> ValuesOf(const std::vector<std::pair<std::string, std::string>>& lines,
                                  const std::string& key) {
    std::vector<std::string> values;
    for (const auto& kv : lines)
        if (kv.first == key) values.push_back(kv.second);
    return values;
}

TEST(DefaultConfig, DuplicatesAndAbsentKeysAreWhereTheyBelong) {
    const auto engine = Sections(kTexts[0]);
    const auto appli = Sections(kTexts[1]);
    using V = std::vector<std::string>;
    struct Case {
        bool isEngine;
        const char* section;
        const char* key;
        V values;  // every occurrence in the section, in text order
    } cases[] = {
        {true, "WORLD", "WIDTH", V{"960", "480"}},
        {true, "WORLD", "HEIGHT", V{"640", "320"}},
        {true, "WORLD", "SLEEP_TIMER", V{"0", "30"}},
        {true, "LIGHT", "LIGHT_1_DIFFUSE", V{"3.0", "2.0"}},
        {true, "LIGHT", "LIGHT_1_SPECULAR", V{"0.7", "0.0"}},
        {true, "LIGHT", "LIGHT_1_AMBIENT", V{"-0.5", "0.3"}},
        {true, "LIGHT", "MATERIAL_1_DIFFUSE", V{"1.0", "0.0"}},
        {true, "LIGHT", "MATERIAL_1_SPECULAR", V{"1.0", "0.0"}},
        {true, "LIGHT", "MATERIAL_1_AMBIENT", V{"1.0", "0.0"}},
        {true, "FOG", "FOG_COLOR_A", V{"255", "255", "255"}},
        {true, "FOG", "FOG_COLOR_R", V{"208", "212", "107"}},
        {true, "FOG", "FOG_COLOR_G", V{"219", "221", "142"}},
        {true, "FOG", "FOG_COLOR_B", V{"232", "238", "198"}},
        {false, "PATH", "DATA_PATH", V{"W:\\DEV_3D.3\\Orbelline\\Data\\", "./Data/"}},
        {false, "GENERAL", "SCREENSHOT_TEXTURE", V{"screenshot.png"}},
        {false, "TEXTURES", "SCREENSHOT_TEXTURE", V{"screenshot.512x512.png"}},
    };
    for (const auto& c : cases) {
        const auto& sections = c.isEngine ? engine : appli;
        ASSERT_TRUE(sections.count(c.section)) << c.section;
        EXPECT_EQ(ValuesOf(sections.at(c.section), c.key), c.values) << c.section << " " << c.key;
    }
    for (const auto& [name, lines] : engine) {
        EXPECT_TRUE(ValuesOf(lines, "VIEW_NEAR_DISTANCE_SCREEN").empty()) << name;
        EXPECT_TRUE(ValuesOf(lines, "VIEW_FAR_DISTANCE_SCREEN").empty()) << name;
    }
    // The comment lines of [LIGHT] are in place.
    const std::string engineText(g_szEngineIni);
    EXPECT_NE(engineText.find("\r\n// DX [0..255]\r\n"), std::string::npos);
    EXPECT_NE(engineText.find("\r\n// GL [-1..+1]\r\n"), std::string::npos);
    EXPECT_NE(engineText.find("\r\nFOG_ENABLE\t= 1\r\n"), std::string::npos);
    EXPECT_NE(engineText.find("\r\nLIGHT_1_TYPE        = 0 // 0=DIRECTIONAL, 1=POINT\r\n"),
              std::string::npos);
    EXPECT_NE(engineText.find("\r\nGAMMA_INITIAL              = 128           //  [0..255]\r\n"),
              std::string::npos);
}

// --- Effective values, as the readers of the configuration ask for them -------

enum class As { Bool, Byte, Long, Float, String };

struct Effective {
    bool isEngine;
    As as;
    const char* section;
    const char* key;
    double def;  // numeric reads
    double value;
    const char* sdef = nullptr;  // string reads
    const char* svalue = nullptr;
    bool present = true;  // false: the default is what comes back
};

Effective E(As as, const char* s, const char* k, double def, double v, bool present = true) {
    return {true, as, s, k, def, v, nullptr, nullptr, present};
}
Effective A(As as, const char* s, const char* k, double def, double v) {
    return {false, as, s, k, def, v};
}
Effective AS(const char* s, const char* k, const char* def, const char* v) {
    return {false, As::String, s, k, 0, 0, def, v};
}

const Effective kEffective[] = {
    E(As::Bool, "WORLD", "ASK_ME_ON_START", false, false),
    E(As::Byte, "WORLD", "COLOR_DEPTH", 32, 32),
    E(As::Float, "CAMERA", "VIEW_NEAR_DISTANCE", 1.0, 1.0),
    E(As::Float, "CAMERA", "VIEW_FAR_DISTANCE", 20000.0, 20000.0),
    E(As::Float, "CAMERA", "VIEW_NEAR_DISTANCE_SCREEN", -1000.0, -1000.0, false),
    E(As::Float, "CAMERA", "VIEW_FAR_DISTANCE_SCREEN", 1000.0, 1000.0, false),
    E(As::Float, "CAMERA", "VIEW_DEG_FIELD", 45.0, 45.0),
    E(As::Bool, "LIGHT", "LIGHT_1_ENABLE", true, true),
    E(As::Long, "LIGHT", "LIGHT_1_TYPE", 1, 0),
    E(As::Float, "LIGHT", "LIGHT_1_POS_X", -5000.0, 0.0),
    E(As::Float, "LIGHT", "LIGHT_1_POS_Y", 0.0, 0.0),
    E(As::Float, "LIGHT", "LIGHT_1_POS_Z", -2000.0, -5000.0),
    E(As::Float, "LIGHT", "LIGHT_1_DIFFUSE", 1.0, 3.0),
    E(As::Float, "LIGHT", "LIGHT_1_SPECULAR", 0.6, 0.7),
    E(As::Float, "LIGHT", "LIGHT_1_AMBIENT", 0.3, -0.5),
    E(As::Float, "LIGHT", "MATERIAL_1_DIFFUSE", 1.0, 1.0),
    E(As::Float, "LIGHT", "MATERIAL_1_SPECULAR", 12.0, 1.0),
    E(As::Float, "LIGHT", "MATERIAL_1_AMBIENT", 1.0, 1.0),
    E(As::Bool, "LIGHT", "LIGHT_2_ENABLE", true, false),
    E(As::Long, "LIGHT", "LIGHT_2_TYPE", 1, 0),
    E(As::Float, "LIGHT", "LIGHT_2_POS_X", -10000.0, 0.0),
    E(As::Float, "LIGHT", "LIGHT_2_POS_Y", 8000.0, 0.0),
    E(As::Float, "LIGHT", "LIGHT_2_POS_Z", -10000.0, 0.0),
    E(As::Float, "LIGHT", "LIGHT_2_DIFFUSE", 1.0, 0.0),
    E(As::Float, "LIGHT", "LIGHT_2_SPECULAR", 0.6, 0.0),
    E(As::Float, "LIGHT", "LIGHT_2_AMBIENT", 0.3, 0.0),
    E(As::Float, "LIGHT", "MATERIAL_2_DIFFUSE", 1.0, 0.0),
    E(As::Float, "LIGHT", "MATERIAL_2_SPECULAR", 1.0, 0.0),
    E(As::Float, "LIGHT", "MATERIAL_2_AMBIENT", 1.0, 0.0),
    E(As::Bool, "LIGHT", "ALPHA_ENABLE", true, true),
    E(As::Bool, "LIGHT", "LIGHTING_ENABLE", true, true),
    E(As::Bool, "LIGHT", "SPECULAR_ENABLE", true, true),
    E(As::Long, "LIGHT", "COLOR_CLEAR_A", 0, 255),
    E(As::Long, "LIGHT", "COLOR_CLEAR_R", 150, 0),
    E(As::Long, "LIGHT", "COLOR_CLEAR_G", 150, 0),
    E(As::Long, "LIGHT", "COLOR_CLEAR_B", 150, 0),
    E(As::Long, "LIGHT", "AMBIENT_COLOR_A", 0, 0),
    E(As::Long, "LIGHT", "AMBIENT_COLOR_R", 127, 0),
    E(As::Long, "LIGHT", "AMBIENT_COLOR_G", 127, 0),
    E(As::Long, "LIGHT", "AMBIENT_COLOR_B", 127, 0),
    E(As::Float, "POINT_SPRITE", "MIN_SIZE", 0.0, 0.0),
    E(As::Float, "POINT_SPRITE", "MAX_SIZE", 100.0, 10.0),
    E(As::Float, "POINT_SPRITE", "ATTENUATION_0", 1.0, 1.0),
    E(As::Float, "POINT_SPRITE", "ATTENUATION_1", 0.0, 0.0),
    E(As::Float, "POINT_SPRITE", "ATTENUATION_2", 0.00001, 0.0),
    E(As::Bool, "TEXT", "TEXT_ENABLE", false, true),
    E(As::Long, "TEXT", "COLOR_TEXT_A", 0, 0),
    E(As::Long, "TEXT", "COLOR_TEXT_R", 0, 0),
    E(As::Long, "TEXT", "COLOR_TEXT_G", 255, 255),
    E(As::Long, "TEXT", "COLOR_TEXT_B", 255, 255),
    E(As::Bool, "FOG", "FOG_ENABLE", true, true),
    E(As::Float, "FOG", "FOG_START", 1000.0, 2200.0),
    E(As::Float, "FOG", "FOG_END", 2000.0, 2800.0),
    E(As::Float, "FOG", "FOG_DENSITY", 1.0, 1.0),
    E(As::Long, "FOG", "FOG_COLOR_A", 255, 255),
    E(As::Long, "FOG", "FOG_COLOR_R", 212, 208),
    E(As::Long, "FOG", "FOG_COLOR_G", 221, 219),
    E(As::Long, "FOG", "FOG_COLOR_B", 238, 232),
    E(As::Bool, "WIREFRAME", "RENDER_WIREFRAME_ENABLE", false, false),
    E(As::Long, "WIREFRAME", "WIREFRAME_COLOR_A", 0, 0),
    E(As::Long, "WIREFRAME", "WIREFRAME_COLOR_R", 0, 0),
    E(As::Long, "WIREFRAME", "WIREFRAME_COLOR_G", 150, 150),
    E(As::Long, "WIREFRAME", "WIREFRAME_COLOR_B", 0, 0),
    E(As::Bool, "GAMMA_CORRECTION", "GAMMA_CORRECTION_ENABLE", false, true),
    E(As::Long, "GAMMA_CORRECTION", "GAMMA_INITIAL", 128, 128),
    E(As::Long, "GAMMA_CORRECTION", "GAMMA_CORRECT_RED", 0, 0),
    E(As::Long, "GAMMA_CORRECTION", "GAMMA_CORRECT_GREEN", 0, 0),
    E(As::Long, "GAMMA_CORRECTION", "GAMMA_CORRECT_BLUE", 0, 0),
    E(As::Bool, "STENCIL_SHADOW", "SHOW_CONSTRUCT", false, false),
    E(As::Bool, "STENCIL_SHADOW", "STENCIL_SHADOW", true, false),

    A(As::Float, "CAMERA", "SPEED_FACTOR", 1.0, 1.0),
    A(As::Bool, "FONT_TTF", "LOAD_FONT_FROM_GLYPH", true, true),
    AS("FONT_TTF", "MAIN_FONT_TTF_PATH", "", "teenbold.ttf"),
    AS("FONT_TTF", "MAIN_FONT_TEXTURE_PATH", "", "teenbold.ttf.1024x512.40.3.png"),
    AS("FONT_TTF", "MAIN_FONT_GLYPH_PATH", "", "teenbold.ttf.1024x512.40.3.glyph"),
    AS("GENERAL", "BACKGROUND_FROM_TEXTURE", "background.from.png", "background.from.alpha.png"),
    AS("GENERAL", "BACKGROUND_TO_TEXTURE", "background.to.png", "background.to.png"),
    AS("GENERAL", "MASK_TEXTURE", "mask.png", "mask.png"),
    AS("GENERAL", "TOUCH_TEXTURE", "touch.png", "touch.png"),
    AS("GENERAL", "SCREENSHOT_TEXTURE", "screenshot.png", "screenshot.png"),
    AS("TEXTURES", "BLANK_TEXTURE_FILE_NAME", "blank.png", "blank.png"),
    A(As::Float, "TEXTURES", "SCREENSHOT_FADE_RATIO_SPEED", 0.075, 0.025),
};

TEST(DefaultConfig, EveryEffectiveValueOfBothTexts) {
    CUtilsParametersStatic engine(g_szEngineIni, g_dwEngineIniSize);
    CUtilsParametersStatic appli(g_szAppliIni, g_dwAppliIniSize);
    for (const auto& e : kEffective) {
        CUtilsParameters& p = e.isEngine ? static_cast<CUtilsParameters&>(engine) : appli;
        SCOPED_TRACE(::testing::Message() << "[" << e.section << "] " << e.key);
        switch (e.as) {
            case As::Bool:
                EXPECT_EQ(p.ReadBool(e.section, e.key, e.def != 0), e.value != 0);
                break;
            case As::Byte:
                EXPECT_EQ(p.ReadByte(e.section, e.key, static_cast<uint8_t>(e.def)),
                          static_cast<uint8_t>(e.value));
                break;
            case As::Long:
                EXPECT_EQ(p.ReadLong(e.section, e.key, static_cast<uint32_t>(e.def)),
                          static_cast<uint32_t>(e.value));
                break;
            case As::Float:
                EXPECT_EQ(p.ReadFloat(e.section, e.key, static_cast<float>(e.def)),
                          static_cast<float>(e.value));
                break;
            case As::String: {
                char out[eMAX_PATH];
                EXPECT_EQ(p.ReadString(e.section, e.key, e.sdef, out, sizeof(out)), eOK);
                EXPECT_STREQ(out, e.svalue);
                break;
            }
        }
        // Where default and value agree, make sure the value really came
        // from the text (or, for absent keys, really did not).
        char probe[eMAX_PATH];
        EXPECT_EQ(p.ReadString(e.section, e.key, "", probe, sizeof(probe)),
                  e.present ? eOK : eFAILED);
    }
}

TEST(DefaultConfig, TextValuesOfKeysNoCodeReads) {
    CUtilsParametersStatic engine(g_szEngineIni, g_dwEngineIniSize);
    CUtilsParametersStatic appli(g_szAppliIni, g_dwAppliIniSize);
    struct Case {
        CUtilsParameters* p;
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {&engine, "WORLD", "FULLSCREEN", "0"},
        {&engine, "WORLD", "WIDTH", "960"},
        {&engine, "WORLD", "HEIGHT", "640"},
        {&engine, "WORLD", "DESKTOP_ENABLE", "0"},
        {&engine, "WORLD", "SSE_ENABLE", "0"},
        {&engine, "WORLD", "FRAME_TIMER", "0"},
        {&engine, "WORLD", "SLEEP_TIMER", "0"},
        {&engine, "LIGHT", "LIGHT_1_TYPE", "0 // 0=DIRECTIONAL, 1=POINT"},
        {&engine, "GAMMA_CORRECTION", "GAMMA_INITIAL", "128           //  [0..255]"},
        {&engine, "STENCIL_SHADOW", "SHADOW_COLOR_FACTOR", "60 // 0=dark 255=ligth"},
        {&appli, "PATH", "DATA_PATH", "W:\\DEV_3D.3\\Orbelline\\Data\\"},
        {&appli, "CAMERA", "CAMERA_SPEED", "0.001"},
        {&appli, "TEXTURES", "SCREENSHOT_TEXTURE", "screenshot.512x512.png"},
    };
    for (const auto& c : cases) {
        char out[eMAX_PATH];
        EXPECT_EQ(c.p->ReadString(c.section, c.key, "", out, sizeof(out)), eOK) << c.key;
        EXPECT_STREQ(out, c.value) << c.key;
    }
    // The selection step's write-backs are refused.
    EXPECT_EQ(engine.WriteLong("WORLD", "WIDTH", 320), eFAILED);
    EXPECT_EQ(engine.ReadLong("WORLD", "WIDTH", 0), 960u);
}

}  // namespace
