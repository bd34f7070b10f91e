// Procedural models by name: the field tables mirror the MODEL_* records word
// for word, so a record is filled by position and handed to the builder.
#include "Builders.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/world/Random.h"

namespace scene {
namespace {

enum class Kind { Float, Count, Color, Hidden };

struct Field {
    const char* key;  // null for words the builder owns
    Kind kind;
    double def;
    const char* meaning;
};

constexpr uint32_t kWhite = 0xFFFFFFFFu;

const std::vector<Field>& FieldsOf(uint32_t type) {
    static const std::vector<Field> sphere = {
        {"radius", Kind::Float, 1.0, "radius"},
        {"segments", Kind::Count, 24, "segments around and rings (3 .. 255)"},
        {"color", Kind::Color, kWhite, "vertex colour, 0xAARRGGBB"},
        {"specular", Kind::Color, 0, "vertex specular, 0xAARRGGBB"},
    };
    static const std::vector<Field> disk = {
        {"diameter", Kind::Float, 2.0, "diameter"},
        {"segments", Kind::Count, 32, "rim segments (at least 3)"},
        {"height", Kind::Float, 0.0, "height of the centre over the rim (0: flat)"},
        {"axis", Kind::Count, 2, "0: xy plane, 1: yz plane, 2: xz plane"},
        {"texture_mode", Kind::Count, 0, "0 or 1: inscribed circle of the texture; other: uv 0"},
        {"color", Kind::Color, kWhite, "vertex colour"},
        {"specular", Kind::Color, 0, "vertex specular"},
        {"u_scale", Kind::Float, 1.0, "texture u scale"},
        {"v_scale", Kind::Float, 1.0, "texture v scale"},
    };
    static const std::vector<Field> plane = {
        {"width", Kind::Float, 2.0, "width"},
        {"depth", Kind::Float, 2.0, "depth"},
        {"columns", Kind::Count, 4, "cells across"},
        {"rows", Kind::Count, 4, "cells down"},
        {"orientation", Kind::Count, 2, "0: xy plane, 1: yz plane, 2: xz plane"},
        {"color", Kind::Color, kWhite, "vertex colour"},
        {"specular", Kind::Color, 0, "vertex specular"},
        {"u_scale", Kind::Float, 1.0, "texture u scale"},
        {"v_scale", Kind::Float, 1.0, "texture v scale"},
    };
    static const std::vector<Field> box = {
        {"width", Kind::Float, 1.0, "half width"},
        {"height", Kind::Float, 1.0, "half height"},
        {"depth", Kind::Float, 1.0, "half depth"},
        {"mapping", Kind::Count, 0, "texture layout: 0, 1 (+z face upright) or other (mirrored)"},
        {"color", Kind::Color, kWhite, "vertex colour"},
        {"specular", Kind::Color, 0, "vertex specular"},
        {"u_scale", Kind::Float, 1.0, "texture u scale"},
        {"v_scale", Kind::Float, 1.0, "texture v scale"},
    };
    static const std::vector<Field> arrows = {
        {"length", Kind::Float, 1.0, "length of each arrow"},
        {"color_x", Kind::Color, 0xFFFF0000u, "colour of the x arrow"},
        {"color_y", Kind::Color, 0xFF00FF00u, "colour of the y arrow"},
        {"color_z", Kind::Color, 0xFF0000FFu, "colour of the z arrow"},
    };
    static const std::vector<Field> frustum = {
        {"sides", Kind::Count, 4, "sides (4: a rectangle of the screen's proportions)"},
        {"near", Kind::Float, 1.0, "near distance"},
        {"far", Kind::Float, 5.0, "far distance"},
        {"angle", Kind::Float, 0.5, "opening angle, radians"},
        {"apex_color", Kind::Color, kWhite, "colour of the apex"},
        {"rim_color", Kind::Color, 0xFF808080u, "colour of the rim"},
    };
    static const std::vector<Field> random = {
        {"extent", Kind::Float, 10.0, "side length"},
        {"cells", Kind::Count, 16, "cells per side (at least 1)"},
        {"height0", Kind::Float, 0.0, "height of the highest points"},
        {"height1", Kind::Float, 1.0, "height of the lowest points"},
        {"keep_border", Kind::Count, 1, "0: border heights forced to 0"},
        {nullptr, Kind::Hidden, 0, nullptr},
        {nullptr, Kind::Hidden, 0, nullptr},
        {"u_scale", Kind::Float, 1.0, "texture u scale"},
        {"v_scale", Kind::Float, 1.0, "texture v scale"},
    };
    static const std::vector<Field> cylinder = {
        {"top_diameter", Kind::Float, 2.0, "diameter at the top"},
        {"bottom_diameter", Kind::Float, 2.0, "diameter at the bottom"},
        {"height", Kind::Float, 2.0, "height"},
        {nullptr, Kind::Hidden, 0, nullptr},
        {"segments", Kind::Count, 33, "vertex pairs, the last closing the tube (at least 3)"},
        {"axis", Kind::Count, 0, "0 or 1: along y, 2: along z"},
        {"texture_mode", Kind::Count, 0, "0: u around, v along; 1: u 1 on top, 0 below"},
        {"color", Kind::Color, kWhite, "vertex colour"},
        {"specular", Kind::Color, 0, "vertex specular"},
        {"u_scale", Kind::Float, 1.0, "texture u scale"},
        {"v", Kind::Float, 1.0, "texture v at the bottom"},
    };
    static const std::vector<Field> parabola = {
        {"radius", Kind::Float, 1.0, "radius"},
        {"segments", Kind::Count, 32, "segments around"},
        {"height", Kind::Float, 0.5, "height at the rim"},
        {"ring_ratio", Kind::Float, 0.5, "share of the missing radius each ring adds"},
        {"rings", Kind::Count, 6, "rings (at least 1)"},
        {"axis", Kind::Count, 2, "0: opens along -z, 1: along +x, 2: along +y"},
        {"color", Kind::Color, kWhite, "vertex colour"},
        {"specular", Kind::Color, 0, "vertex specular"},
    };
    static const std::vector<Field> none;
    switch (type) {
        case MODEL_TYPE_SPHERE:
        case MODEL_TYPE_DEMISPHERE: return sphere;
        case MODEL_TYPE_DISK: return disk;
        case MODEL_TYPE_PLANE: return plane;
        case MODEL_TYPE_BOX: return box;
        case MODEL_TYPE_ARROW: return arrows;
        case MODEL_TYPE_FRUSTRUM: return frustum;
        case MODEL_TYPE_RANDOM_PLANE: return random;
        case MODEL_TYPE_CYLINDER: return cylinder;
        case MODEL_TYPE_PARABOLA: return parabola;
        default: return none;
    }
}

std::string DefaultText(const Field& f) {
    char text[32];
    if (f.kind == Kind::Float)
        std::snprintf(text, sizeof text, "%g", f.def);
    else if (f.kind == Kind::Color)
        std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(f.def));
    else
        std::snprintf(text, sizeof text, "%u", static_cast<uint32_t>(f.def));
    return text;
}

uint32_t WordOf(float f) {
    uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

bool ParseUnsigned(const std::string& text, uint32_t* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > 0xFFFFFFFFull) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool ParseFloat(const std::string& text, float* out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (errno || *end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// The words as the builder's own record (written-back fields come back too).
template <typename T>
int32_t BuildAs(C3DObject* object, uint32_t type, uint32_t* words) {
    static_assert(sizeof(T) <= 16 * sizeof(uint32_t), "record fits the words");
    T record;
    std::memcpy(&record, words, sizeof record);
    const int32_t status = object->ConstructFromModel(type, &record);
    std::memcpy(words, &record, sizeof record);
    return status;
}

int32_t BuildRecord(C3DObject* object, uint32_t type, uint32_t* words) {
    switch (type) {
        case MODEL_TYPE_SPHERE:
        case MODEL_TYPE_DEMISPHERE: return BuildAs<MODEL_SPHERE>(object, type, words);
        case MODEL_TYPE_DISK: return BuildAs<MODEL_DISK>(object, type, words);
        case MODEL_TYPE_PLANE: return BuildAs<MODEL_PLANE>(object, type, words);
        case MODEL_TYPE_BOX: return BuildAs<MODEL_BOX>(object, type, words);
        case MODEL_TYPE_ARROW: return BuildAs<MODEL_ARROW>(object, type, words);
        case MODEL_TYPE_FRUSTRUM: return BuildAs<MODEL_FRUSTRUM>(object, type, words);
        case MODEL_TYPE_RANDOM_PLANE: return BuildAs<MODEL_RANDOM_PLANE>(object, type, words);
        case MODEL_TYPE_CYLINDER: return BuildAs<MODEL_CYLINDER>(object, type, words);
        case MODEL_TYPE_PARABOLA: return BuildAs<MODEL_PARABOLA>(object, type, words);
        default: return -1;
    }
}

}  // namespace

const std::vector<BuilderInfo>& Builders() {
    static const std::vector<BuilderInfo> builders = {
        {"sphere", MODEL_TYPE_SPHERE, "sphere around the origin", OBJ_NORMAL},
        {"halfsphere", MODEL_TYPE_DEMISPHERE, "the half of a sphere with z >= 0", OBJ_NORMAL},
        {"disk", MODEL_TYPE_DISK, "flat disk, or a cone with a height", OBJ_NORMAL},
        {"plane", MODEL_TYPE_PLANE, "grid of cells", OBJ_NORMAL},
        {"box", MODEL_TYPE_BOX, "box of six faces", OBJ_NORMAL},
        {"arrows", MODEL_TYPE_ARROW, "three lines along +x, +y, +z", OBJ_NORMAL},
        {"frustum", MODEL_TYPE_FRUSTRUM, "view frustum: a fan from the apex to the far rim", OBJ_NORMAL},
        {"randomplane", MODEL_TYPE_RANDOM_PLANE, "random height field that tiles", OBJ_NORMAL},
        // The tube stores one normal for every vertex; computed ones light it.
        {"cylinder", MODEL_TYPE_CYLINDER, "open tube", OBJ_NORMAL | OBJ_COMPUTE_NORMALS_SMOOTH},
        {"parabola", MODEL_TYPE_PARABOLA, "parabolic dish", OBJ_NORMAL},
    };
    return builders;
}

const BuilderInfo* FindBuilder(const std::string& name) {
    for (const BuilderInfo& b : Builders())
        if (name == b.name) return &b;
    return nullptr;
}

std::vector<BuilderKey> BuilderKeys(const BuilderInfo& builder) {
    std::vector<BuilderKey> keys;
    for (const Field& f : FieldsOf(builder.modelType))
        if (f.key) keys.push_back({f.key, f.meaning, DefaultText(f)});
    if (builder.modelType == MODEL_TYPE_RANDOM_PLANE)
        keys.push_back({"seed", "seed of the engine's random generator (0: from the clock)", "1"});
    return keys;
}

bool BuilderRecord::Parse(const BuilderInfo& builder, const std::vector<std::string>& settings,
                          std::string* error) {
    builder_ = &builder;
    const std::vector<Field>& fields = FieldsOf(builder.modelType);
    for (size_t i = 0; i < fields.size(); ++i)
        words_[i] = fields[i].kind == Kind::Float ? WordOf(static_cast<float>(fields[i].def))
                                                  : static_cast<uint32_t>(fields[i].def);
    seed_ = 1;
    for (const std::string& s : settings) {
        const size_t eq = s.find('=');
        if (eq == std::string::npos || eq == 0) {
            *error = "\"" + s + "\" is not key=value";
            return false;
        }
        const std::string key = s.substr(0, eq), value = s.substr(eq + 1);
        if (key == "seed" && builder.modelType == MODEL_TYPE_RANDOM_PLANE) {
            if (!ParseUnsigned(value, &seed_)) {
                *error = "seed: \"" + value + "\" is not a whole number";
                return false;
            }
            continue;
        }
        size_t i = 0;
        while (i < fields.size() && !(fields[i].key && key == fields[i].key)) ++i;
        if (i == fields.size()) {
            *error = "no key \"" + key + "\" for " + builder.name;
            return false;
        }
        if (fields[i].kind == Kind::Float) {
            float f = 0;
            if (!ParseFloat(value, &f)) {
                *error = key + ": \"" + value + "\" is not a finite number";
                return false;
            }
            words_[i] = WordOf(f);
        } else if (!ParseUnsigned(value, &words_[i])) {
            *error = key + ": \"" + value + "\" is not a whole number from 0 to 0xFFFFFFFF";
            return false;
        }
    }
    return true;
}

bool BuilderRecord::Build(C3DObject* object, SHARED_INFOS* infos, std::string* error) {
    if (!builder_ || !object) {
        *error = "nothing to build";
        return false;
    }
    if (builder_->modelType == MODEL_TYPE_RANDOM_PLANE) INIT_RANDOM_INTERNAL(infos, seed_);
    uint32_t asked[16];
    std::memcpy(asked, words_, sizeof asked);
    if (BuildRecord(object, builder_->modelType, words_) < 0) {
        *error = std::string("the ") + builder_->name + " builder refused these parameters";
        return false;
    }
    // The builder writes back what it clamped into its range.
    clamped_.clear();
    const std::vector<Field>& fields = FieldsOf(builder_->modelType);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].key || asked[i] == words_[i]) continue;
        char line[160];
        if (fields[i].kind == Kind::Float) {
            float was, now;
            std::memcpy(&was, &asked[i], sizeof was);
            std::memcpy(&now, &words_[i], sizeof now);
            std::snprintf(line, sizeof line, "%s=%g is out of range; built with %g", fields[i].key, was, now);
        } else {
            std::snprintf(line, sizeof line, "%s=%u is out of range; built with %u", fields[i].key, asked[i], words_[i]);
        }
        clamped_.push_back(line);
    }
    return true;
}

std::string DescribeBuilders() {
    std::string text;
    for (const BuilderInfo& b : Builders()) {
        text += "  " + std::string(b.name) + " - " + b.summary + "\n";
        for (const BuilderKey& k : BuilderKeys(b)) {
            char line[160];
            std::snprintf(line, sizeof line, "      %-16s %s (default %s)\n", k.key, k.meaning, k.defaultText.c_str());
            text += line;
        }
    }
    return text;
}

}  // namespace scene
