// The resource pack lookup over a file made from the input. The first line
// of the input is the name looked up; the rest is the pack.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/world/ResPacker.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool StartsWithNoCase(const char* name, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        const unsigned char a = static_cast<unsigned char>(name[i]), b = static_cast<unsigned char>(prefix[i]);
        const unsigned char la = (a >= 'A' && a <= 'Z') ? a + 32 : a, lb = (b >= 'A' && b <= 'Z') ? b + 32 : b;
        if (la != lb) return false;
    }
    return true;
}

void Lookup(FILE* file, long fileSize, const char* name) {
    _RES_PACKER packer;
    std::memset(&packer, 0x5A, sizeof packer);
    packer.m_pFile = file;
    const _RES_PACKER before = packer;
    if (eGetResPacker(name, &packer) != eOK) {
        // The handle is untouched on failure.
        FUZZ_CHECK(std::memcmp(&before, &packer, sizeof packer) == 0);
        return;
    }
    FUZZ_CHECK(std::memchr(packer.m_szName, 0, sizeof packer.m_szName) != nullptr);
    FUZZ_CHECK(StartsWithNoCase(packer.m_szName, name));
    const long at = std::ftell(file);
    FUZZ_CHECK(at >= 0 && at <= fileSize && static_cast<unsigned long>(fileSize - at) >= packer.m_dwSize);
    // The whole entry is there to read.
    std::vector<uint8_t> entry(packer.m_dwSize);
    FUZZ_CHECK(std::fread(entry.data(), 1, entry.size(), file) == entry.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const void* eol = std::memchr(data, '\n', size < 300 ? size : 300);
    const size_t nameLength = eol ? static_cast<size_t>(static_cast<const uint8_t*>(eol) - data) : 0;
    const std::string name(reinterpret_cast<const char*>(data), nameLength);
    const size_t start = eol ? nameLength + 1 : 0;

    const std::string path = fuzz::WorkDir::Get().Write("input.pak", data + start, size - start);
    if (path.empty()) return 0;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    const long fileSize = static_cast<long>(size - start);
    Lookup(file, fileSize, name.c_str());
    Lookup(file, fileSize, "");                     // the first entry
    Lookup(file, fileSize, "no such entry at all");  // walks every entry
    Lookup(file, fileSize, "teenbold.ttf");
    std::fclose(file);

    // The stream of the lookup may already be elsewhere; nulls are refused.
    _RES_PACKER none;
    std::memset(&none, 0, sizeof none);
    FUZZ_CHECK(eGetResPacker("x", &none) == eFAILED);
    FUZZ_CHECK(eGetResPacker(static_cast<const char*>(nullptr), &none) == eFAILED);
    return 0;
}
