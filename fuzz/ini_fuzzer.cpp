// The INI store over arbitrary text. The first line of the input names what
// is looked up, "SECTION|KEY"; the rest is the text, not NUL-terminated, in
// a block of exactly its size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/utils/UtilsParameters.h"
#include "fuzz/FuzzSupport.h"

namespace {

void Query(CUtilsParametersStatic& ini, const char* section, const char* key) {
    ini.ReadBool(section, key, true);
    ini.ReadByte(section, key, 7);
    ini.ReadShort(section, key, 7);
    ini.ReadLong(section, key, 7);
    ini.ReadFloat(section, key, 1.5f);
    ini.ReadDouble(section, key, 1.5);
    // Buffers of exactly their size, from one byte to a whole line and more.
    for (int32_t size : {1, 2, 7, 64, CUtilsParametersStatic::kLineBufferSize, 4096}) {
        std::unique_ptr<char[]> out(new char[size]);
        const eRESULT found = ini.ReadString(section, key, "default", out.get(), size);
        FUZZ_CHECK(std::memchr(out.get(), 0, size) != nullptr);
        const eRESULT foundEx = ini.ReadStringEx(section, key, "default", out.get(), size, "Data/");
        FUZZ_CHECK(std::memchr(out.get(), 0, size) != nullptr);
        FUZZ_CHECK(found == foundEx);
        ini.ReadStringEx(section, key, nullptr, out.get(), size, nullptr);
        FUZZ_CHECK(std::memchr(out.get(), 0, size) != nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* eol = static_cast<const char*>(std::memchr(text, '\n', size));
    const size_t queryLength = eol ? static_cast<size_t>(eol - text) : 0;
    const std::string query(text, queryLength);
    const size_t bar = query.find('|');
    const std::string section = bar == std::string::npos ? query : query.substr(0, bar);
    const std::string key = bar == std::string::npos ? std::string() : query.substr(bar + 1);
    const size_t start = eol ? queryLength + 1 : 0;

    fuzz::ExactCopy body(data + start, size - start);
    CUtilsParametersStatic ini(body.data(), body.size());
    Query(ini, section.c_str(), key.c_str());
    // Names as the engine asks for them, whatever the first line says.
    Query(ini, "CAMERA", "VIEW_NEAR_DISTANCE");
    Query(ini, "", "");

    // The path helpers take what the store hands out.
    std::string path(text, size < 600 ? size : 600);
    path.push_back('\0');
    GetFileFromPath(path.c_str());
    RemoveLastChar(&path[0], '.');
    return 0;
}
