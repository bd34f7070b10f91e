#include "engine/utils/UtilsParameters.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r' || c == '\0'; }

// Length of a line without its LF, then without one CR before it.
int32_t TrimmedLength(const char* line, int32_t length) {
    if (length > 0 && line[length - 1] == '\n') --length;
    if (length > 0 && line[length - 1] == '\r') --length;
    return length;
}

// atol with the 32-bit long of the target phone: out-of-range values
// saturate as strtol does there, instead of being undefined.
int32_t AtoL32(const char* text) {
    long long v = strtoll(text, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Copies `src` into `out`, cut to `outSize` and always NUL-terminated.
void CopyBounded(char* out, int32_t outSize, const char* src) {
    size_t n = strlen(src);
    if (n > static_cast<size_t>(outSize - 1)) n = static_cast<size_t>(outSize - 1);
    memmove(out, src, n);
    out[n] = '\0';
}

}  // namespace

// --- CUtilsParameters: nothing stored, every read gives the default ----------

bool CUtilsParameters::ReadBool(const char*, const char*, bool def) { return def; }
eRESULT CUtilsParameters::WriteBool(const char*, const char*, bool) { return eFAILED; }
uint8_t CUtilsParameters::ReadByte(const char*, const char*, uint8_t def) { return def; }
eRESULT CUtilsParameters::WriteByte(const char*, const char*, uint8_t) { return eFAILED; }
uint16_t CUtilsParameters::ReadShort(const char*, const char*, uint16_t def) { return def; }
eRESULT CUtilsParameters::WriteShort(const char*, const char*, uint16_t) { return eFAILED; }
uint32_t CUtilsParameters::ReadLong(const char*, const char*, uint32_t def) { return def; }
eRESULT CUtilsParameters::WriteLong(const char*, const char*, uint32_t) { return eFAILED; }
float CUtilsParameters::ReadFloat(const char*, const char*, float def) { return def; }
eRESULT CUtilsParameters::WriteFloat(const char*, const char*, float) { return eFAILED; }
double CUtilsParameters::ReadDouble(const char*, const char*, double def) { return def; }
eRESULT CUtilsParameters::WriteDouble(const char*, const char*, double) { return eFAILED; }
eRESULT CUtilsParameters::ReadString(const char*, const char*, const char*, char*, int32_t) {
    return eFAILED;
}
eRESULT CUtilsParameters::ReadStringEx(const char*, const char*, const char*, char*, int32_t,
                                       const char*) {
    return eFAILED;
}
eRESULT CUtilsParameters::WriteString(const char*, const char*, const char*) { return eFAILED; }

// --- CUtilsParametersStatic ---------------------------------------------------

CUtilsParametersStatic::CUtilsParametersStatic(const void* text, uint32_t size)
    : m_pText(static_cast<const char*>(text)), m_dwTextSize(size) {}

bool CUtilsParametersStatic::CompareSectionString(const char* section, const char* line,
                                                  int32_t length) {
    if (!section || !line) return false;
    const int32_t nameLen = static_cast<int32_t>(strlen(section));
    if (nameLen == 0 || length <= 2 || length < nameLen) return false;
    length = TrimmedLength(line, length);

    bool inside = false;
    int32_t matched = 0;
    for (int32_t i = 0; i < length; ++i) {
        const char c = line[i];
        if (IsBlank(c)) continue;
        if (c == '[') {
            inside = true;
            continue;
        }
        if (!inside) return false;
        if (c == ']') return matched == nameLen;
        if (matched >= nameLen || c != section[matched]) return false;
        ++matched;
    }
    return false;
}

bool CUtilsParametersStatic::CompareKeyString(const char* key, const char* line, int32_t length,
                                              int32_t* equalsIndex) {
    if (!key || !line) return false;
    const int32_t keyLen = static_cast<int32_t>(strlen(key));
    if (keyLen == 0 || length <= 1 || length < keyLen) return false;
    length = TrimmedLength(line, length);

    int32_t matched = 0;
    for (int32_t i = 0; i < length; ++i) {
        const char c = line[i];
        if (IsBlank(c)) continue;
        // A comment mark before the '=' makes the whole line a comment.
        if (c == ';' || c == '/') return false;
        if (c == '=') {
            if (equalsIndex) *equalsIndex = i;
            return matched == keyLen;
        }
        if (matched >= keyLen || c != key[matched]) return false;
        ++matched;
    }
    return false;
}

void CUtilsParametersStatic::GetStringValueFromLine(const char* line, int32_t equalsIndex,
                                                    char* value, int32_t valueSize) {
    if (!value || valueSize <= 0) return;
    value[0] = '\0';
    if (!line || equalsIndex < 0) return;
    const char* p = line + equalsIndex + 1;
    while (IsBlank(*p)) ++p;
    // Everything up to the line end is the value, inline comments included.
    int32_t n = 0;
    while (n < valueSize - 1 && !IsLineEnd(p[n])) {
        value[n] = p[n];
        ++n;
    }
    value[n] = '\0';
}

bool CUtilsParametersStatic::FindValue(const char* section, const char* key, char* value) const {
    value[0] = '\0';
    if (!m_pText || !section || !key) return false;

    char line[kLineBufferSize];
    bool inSection = false;
    uint32_t pos = 0;
    while (pos < m_dwTextSize) {
        uint32_t end = pos;
        while (end < m_dwTextSize && !IsLineEnd(m_pText[end])) ++end;
        // A last line without its terminator inside the text is not read.
        if (end >= m_dwTextSize) break;

        // The terminator stays with the line; an overlong line is cut to
        // the buffer, but the scan goes on from where the next line begins.
        uint32_t count = end - pos + 1;
        if (count > static_cast<uint32_t>(kLineBufferSize - 1)) count = kLineBufferSize - 1;
        memcpy(line, m_pText + pos, count);
        line[count] = '\0';
        pos = end + 1;

        if (line[0] == '\n' || line[0] == '\r') continue;
        const int32_t length = static_cast<int32_t>(strlen(line));
        if (!inSection) {
            inSection = CompareSectionString(section, line, length);
            continue;
        }
        // Later headers simply fail the key test, so a key missing from its
        // own section is taken from the first later section that has it.
        int32_t equalsIndex = -1;
        if (CompareKeyString(key, line, length, &equalsIndex)) {
            GetStringValueFromLine(line, equalsIndex, value, kLineBufferSize);
            return true;
        }
    }
    return false;
}

bool CUtilsParametersStatic::ReadBool(const char* section, const char* key, bool def) {
    char value[kLineBufferSize];
    if (!FindValue(section, key, value)) return def;
    return AtoL32(value) != 0;
}

uint8_t CUtilsParametersStatic::ReadByte(const char* section, const char* key, uint8_t def) {
    char value[kLineBufferSize];
    if (!FindValue(section, key, value)) return def;
    return static_cast<uint8_t>(static_cast<uint32_t>(AtoL32(value)));
}

uint16_t CUtilsParametersStatic::ReadShort(const char* section, const char* key, uint16_t def) {
    char value[kLineBufferSize];
    if (!FindValue(section, key, value)) return def;
    return static_cast<uint16_t>(static_cast<uint32_t>(AtoL32(value)));
}

uint32_t CUtilsParametersStatic::ReadLong(const char* section, const char* key, uint32_t def) {
    char value[kLineBufferSize];
    if (!FindValue(section, key, value)) return def;
    return static_cast<uint32_t>(AtoL32(value));
}

float CUtilsParametersStatic::ReadFloat(const char* section, const char* key, float def) {
    char value[kLineBufferSize];
    if (!FindValue(section, key, value)) return def;
    return static_cast<float>(atof(value));
}

double CUtilsParametersStatic::ReadDouble(const char* section, const char* key, double def) {
    char value[kLineBufferSize];
    if (!FindValue(section, key, value)) return def;
    return atof(value);
}

eRESULT CUtilsParametersStatic::ReadString(const char* section, const char* key, const char* def,
                                           char* out, int32_t outSize) {
    return ReadStringEx(section, key, def, out, outSize, nullptr);
}

eRESULT CUtilsParametersStatic::ReadStringEx(const char* section, const char* key,
                                             const char* def, char* out, int32_t outSize,
                                             const char* prefix) {
    // Nothing can be delivered into a missing or empty buffer.
    if (!out || outSize <= 0) return eFAILED;
    char value[kLineBufferSize];
    const bool found = FindValue(section, key, value);
    const char* src = found ? value : (def ? def : "");
    // Same result as "%s%s" of prefix and value, cut to the buffer.
    int32_t used = 0;
    if (prefix) {
        CopyBounded(out, outSize, prefix);
        used = static_cast<int32_t>(strlen(out));
    }
    CopyBounded(out + used, outSize - used, src);
    return found ? eOK : eFAILED;
}

eRESULT CUtilsParametersStatic::WriteBool(const char*, const char*, bool) { return eFAILED; }
eRESULT CUtilsParametersStatic::WriteByte(const char*, const char*, uint8_t) { return eFAILED; }
eRESULT CUtilsParametersStatic::WriteShort(const char*, const char*, uint16_t) { return eFAILED; }
eRESULT CUtilsParametersStatic::WriteLong(const char*, const char*, uint32_t) { return eFAILED; }
eRESULT CUtilsParametersStatic::WriteFloat(const char*, const char*, float) { return eFAILED; }
eRESULT CUtilsParametersStatic::WriteDouble(const char*, const char*, double) { return eFAILED; }
eRESULT CUtilsParametersStatic::WriteString(const char*, const char*, const char*) {
    return eFAILED;
}

// --- Path helpers ---------------------------------------------------------------

char* RemoveLastChar(char* text, char c) {
    if (!text) return nullptr;
    char* p = strrchr(text, c);
    if (!p) return nullptr;
    *p = '\0';
    return p;
}

const char* GetFileFromPath(const char* path) {
    if (!path) return nullptr;
    if (const char* p = strrchr(path, '\\')) return p + 1;
    if (const char* p = strrchr(path, '/')) return p + 1;
    return path;
}
