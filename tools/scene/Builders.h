// The procedural models by name, with their parameters as key=value words.
// Shared by 'orbelline-asset model build' and orbelline-view; uses only the
// engine's installed headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class C3DObject;
struct SHARED_INFOS;

namespace scene {

// One parameter of a builder: the key, what it holds and its default.
struct BuilderKey {
    const char* key;
    const char* meaning;
    std::string defaultText;
};

struct BuilderInfo {
    const char* name;     // as typed on the command line
    uint32_t modelType;   // MODEL_TYPE_*
    const char* summary;  // one line
    // Creation flags the object needs (normals computed for the tube).
    uint32_t objectFlags;
};

const std::vector<BuilderInfo>& Builders();
const BuilderInfo* FindBuilder(const std::string& name);
// The keys of a builder, in record order (plus "seed" for the random plane).
std::vector<BuilderKey> BuilderKeys(const BuilderInfo& builder);

// The parameter record of `builder` with `settings` (each "key=value")
// applied over the defaults. False, with the reason, on an unknown key or a
// value that is not a number of the key's kind.
class BuilderRecord {
public:
    bool Parse(const BuilderInfo& builder, const std::vector<std::string>& settings, std::string* error);
    // Builds into `object` (made with builder.objectFlags); seeds the random
    // generator of `infos` first for the random plane.
    bool Build(C3DObject* object, SHARED_INFOS* infos, std::string* error);
    // After Build: one line per setting the builder clamped into its range
    // ("segments=1000 is out of range; built with 255").
    const std::vector<std::string>& Clamped() const { return clamped_; }

private:
    std::vector<std::string> clamped_;
    const BuilderInfo* builder_ = nullptr;
    uint32_t words_[16] = {};
    uint32_t seed_ = 1;
};

// Lines for --help: every builder with its keys and defaults.
std::string DescribeBuilders();

}  // namespace scene
