// Foreign model formats for C3DObjectRaw::LoadFromFile: a restricted
// Wavefront OBJ subset (as two exporters write it) and 3D Studio files
// through lib3ds. Both fill the raw model as a 3DX file would, with triangle
// lists only: one sub-object per OBJ group or per 3DS material.
//
// Both files are untrusted. Every number taken from them is checked against
// what has been read before it is used as an index, and each refusal leaves
// a trace line saying why (for OBJ, on which line).
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// Builds without lib3ds (the browser's) refuse 3D Studio files by name.
#ifndef EKAVROS_NO_LIB3DS
extern "C" {
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
}
#endif

#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/3DSChunkCheck.h"
#include "engine/utils/RegularFile.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

namespace {

const char* LogOf(const SHARED_INFOS* infos) { return infos ? infos->m_szLogPath : nullptr; }

eRESULT Refuse(const SHARED_INFOS* infos, const char* where, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

eRESULT Refuse(const SHARED_INFOS* infos, const char* where, const char* format, ...) {
    char why[300];
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, sizeof why, format, args);
    va_end(args);
    eTRACE(LogOf(infos), 1, "# C3DObjectRaw::%s refused: %s\n", where, why);
    return eFAILED;
}

// A growing array of plain values. It doubles, so that filling it is linear
// however large the file; a failed allocation is reported, not ignored.
template <class T>
class CGrowArray {
public:
    CGrowArray() : m_pData(nullptr), m_dwCount(0), m_dwCapacity(0) {}
    ~CGrowArray() { std::free(m_pData); }
    CGrowArray(const CGrowArray&) = delete;
    CGrowArray& operator=(const CGrowArray&) = delete;

    bool Push(const T& value) {
        if (m_dwCount == m_dwCapacity) {
            const size_t capacity = m_dwCapacity ? m_dwCapacity * 2 : 256;
            T* grown = static_cast<T*>(std::realloc(m_pData, capacity * sizeof(T)));
            if (!grown) return false;
            m_pData = grown;
            m_dwCapacity = capacity;
        }
        m_pData[m_dwCount++] = value;
        return true;
    }
    size_t Count() const { return m_dwCount; }
    T& operator[](size_t i) { return m_pData[i]; }
    const T& operator[](size_t i) const { return m_pData[i]; }

private:
    T* m_pData;
    size_t m_dwCount;
    size_t m_dwCapacity;
};

// First-appearance numbers of n 32-bit values: numbers[m] is the number of
// entries[m], counting distinct values in the order they first appear, and
// firstOf[b] the first entry holding value number b. A stable radix sort of
// (value, position) pairs brings equal values together with their first
// entry in front; each pass walks the arrays in order, so the whole is
// linear and stays friendly to the caches however many values there are.
bool NumberFirstSeen(const uint32_t* entries, uint32_t n, uint32_t* numbers, uint32_t* firstOf, uint32_t* count) {
    uint64_t* a = static_cast<uint64_t*>(std::malloc(sizeof(uint64_t) * n));
    uint64_t* b = static_cast<uint64_t*>(std::malloc(sizeof(uint64_t) * n));
    if (!a || !b) {
        std::free(a);
        std::free(b);
        return false;
    }
    for (uint32_t m = 0; m < n; ++m) a[m] = static_cast<uint64_t>(entries[m]) << 32 | m;
    constexpr uint32_t kDigits = 2048;
    for (int shift = 32; shift < 64; shift += 11) {
        uint32_t starts[kDigits] = {};
        for (uint32_t m = 0; m < n; ++m) ++starts[(a[m] >> shift) & (kDigits - 1)];
        uint32_t sum = 0;
        for (uint32_t d = 0; d < kDigits; ++d) {
            const uint32_t c = starts[d];
            starts[d] = sum;
            sum += c;
        }
        for (uint32_t m = 0; m < n; ++m) b[starts[(a[m] >> shift) & (kDigits - 1)]++] = a[m];
        uint64_t* t = a;
        a = b;
        b = t;
    }
    constexpr uint32_t kLater = 0xFFFFFFFFu;
    for (uint32_t m = 0; m < n; ++m) numbers[m] = kLater;
    for (uint32_t k = 0; k < n; ++k)
        if (k == 0 || (a[k] >> 32) != (a[k - 1] >> 32)) numbers[static_cast<uint32_t>(a[k])] = 0;
    uint32_t next = 0;
    for (uint32_t m = 0; m < n; ++m)
        if (numbers[m] != kLater) {
            firstOf[next] = m;
            numbers[m] = next++;
        }
    uint32_t number = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t m = static_cast<uint32_t>(a[k]);
        if (k == 0 || (a[k] >> 32) != (a[k - 1] >> 32))
            number = numbers[m];
        else
            numbers[m] = number;
    }
    std::free(a);
    std::free(b);
    *count = next;
    return true;
}

// A table from 64-bit keys to values below 0xFFFFFFFF, by open addressing:
// each look-up takes constant time on average however the keys are spread.
class CKeyTable {
public:
    CKeyTable() : m_pSlots(nullptr), m_qwMask(0), m_qwCount(0) {}
    ~CKeyTable() { std::free(m_pSlots); }
    CKeyTable(const CKeyTable&) = delete;
    CKeyTable& operator=(const CKeyTable&) = delete;

    // The key's value in *value; a new key gets `value` as it is. False only
    // when memory runs out.
    bool FindOrAdd(uint64_t key, uint32_t* value) {
        if ((m_qwCount + 1) * 2 > m_qwMask + 1 && !Grow()) return false;
        SLOT* slot = Place(m_pSlots, m_qwMask, key);
        if (!slot->dwValuePlusOne) {
            slot->qwKey = key;
            slot->dwValuePlusOne = *value + 1;
            ++m_qwCount;
        }
        *value = slot->dwValuePlusOne - 1;
        return true;
    }

private:
    struct SLOT {
        uint64_t qwKey;
        uint32_t dwValuePlusOne;  // 0: empty
    };

    static SLOT* Place(SLOT* slots, uint64_t mask, uint64_t key) {
        uint64_t h = key;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        for (uint64_t i = h & mask;; i = (i + 1) & mask)
            if (!slots[i].dwValuePlusOne || slots[i].qwKey == key) return &slots[i];
    }

    bool Grow() {
        const uint64_t size = m_pSlots ? (m_qwMask + 1) * 2 : 256;
        SLOT* slots = static_cast<SLOT*>(std::calloc(size, sizeof(SLOT)));
        if (!slots) return false;
        for (uint64_t i = 0; m_pSlots && i <= m_qwMask; ++i)
            if (m_pSlots[i].dwValuePlusOne) *Place(slots, size - 1, m_pSlots[i].qwKey) = m_pSlots[i];
        std::free(m_pSlots);
        m_pSlots = slots;
        m_qwMask = size - 1;
        return true;
    }

    SLOT* m_pSlots;
    uint64_t m_qwMask;
    uint64_t m_qwCount;
};

// ---------------------------------------------------------------- OBJ ----

constexpr const char* kBannerCinema4D = "# WaveFront *.obj file (generated by Cinema4D)";
constexpr const char* kBanner3dsMax = "# 3ds Max Wavefront OBJ Exporter v0.94b - (c)2007 guruware";

// Position and texture-coordinate numbers share one 32-bit face entry.
constexpr long kOBJ_MAX_NUMBER = 0xFFFF;

struct OBJ_GROUP {
    uint32_t dwPositions;  // positions read before the group began
    uint32_t dwTexCoords;
    uint32_t dwFaceEntries;
    char szMaterial[eMAX_PATH];
};

// One line at a time, at most eOBJ_LINE_SIZE characters before its line
// feed; longer lines, bytes of zero and files past eOBJ_MAX_FILE_SIZE are
// errors rather than being cut or read without end.
class COBJLines {
public:
    enum STATE { LINE, END, TOO_LONG, ZERO_BYTE, TOO_BIG };
    explicit COBJLines(FILE* file) : m_pFile(file), m_qwRead(0), m_dwLine(0) {}

    STATE Next() {
        size_t n = 0;
        int c;
        ++m_dwLine;
        while ((c = getc_unlocked(m_pFile)) != EOF) {
            if (++m_qwRead > eOBJ_MAX_FILE_SIZE) return TOO_BIG;
            if (c == '\n') break;
            if (c == 0) return ZERO_BYTE;
            if (n == eOBJ_LINE_SIZE) {
                // The limit counts the line without the CR of a CR LF end.
                if (c == '\r') {
                    const int d = getc_unlocked(m_pFile);
                    if (d == '\n' || d == EOF) {
                        if (d == '\n') ++m_qwRead;
                        break;
                    }
                }
                return TOO_LONG;
            }
            m_szText[n++] = static_cast<char>(c);
        }
        if (c == EOF && n == 0) return END;
        m_szText[n] = '\0';
        return LINE;
    }
    char* Text() { return m_szText; }
    uint32_t LineNumber() const { return m_dwLine; }

private:
    FILE* m_pFile;
    uint64_t m_qwRead;
    uint32_t m_dwLine;
    char m_szText[eOBJ_LINE_SIZE + 1];
};

// The pieces of the line patterns, as the C library's scanf reads them: a
// space skips any white space (none included), a number or word skips white
// space before it, anything else must match exactly. Text after a match is
// ignored.
bool Literal(const char*& p, const char* text) {
    const size_t n = std::strlen(text);
    if (std::strncmp(p, text, n) != 0) return false;
    p += n;
    return true;
}

void Space(const char*& p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
}

bool Float(const char*& p, float* out) {
    char* end = nullptr;
    *out = std::strtof(p, &end);
    if (end == p) return false;
    p = end;
    return true;
}

// An integer as %i reads it (sign, octal and hex prefixes); one that does
// not fit a long comes back as LONG_MIN, which no check accepts.
bool Integer(const char*& p, long* out) {
    char* end = nullptr;
    errno = 0;
    *out = std::strtol(p, &end, 0);
    if (end == p) return false;
    if (errno == ERANGE) *out = -1;
    p = end;
    return true;
}

bool Word(const char*& p, char* out, size_t size) {
    Space(p);
    size_t n = 0;
    while (*p && !(*p == ' ' || (*p >= '\t' && *p <= '\r'))) {
        if (n + 1 < size) out[n++] = *p;
        ++p;
    }
    out[n] = '\0';
    return n > 0;
}

// "f %i/%i %i/%i ..." with `count` pairs.
bool FacePairs(const char* p, int count, long* pairs) {
    if (!Literal(p, "f")) return false;
    for (int k = 0; k < count; ++k) {
        Space(p);
        if (!Integer(p, &pairs[2 * k]) || !Literal(p, "/") || !Integer(p, &pairs[2 * k + 1])) return false;
    }
    return true;
}

bool Floats(const char* p, const char* tag, int count, float* out) {
    if (!Literal(p, tag)) return false;
    for (int k = 0; k < count; ++k) {
        Space(p);
        if (!Float(p, &out[k])) return false;
    }
    return true;
}

bool Keyword(const char* p, const char* tag, char* out, size_t size) {
    if (!Literal(p, tag)) return false;
    Space(p);
    return Word(p, out, size);
}

class COBJReader {
public:
    COBJReader(C3DObjectRaw* raw, FILE* file) : m_pRaw(raw), m_Lines(file) {}

    eRESULT Read() {
        const COBJLines::STATE first = m_Lines.Next();
        if (first == COBJLines::ZERO_BYTE) return Fail("a byte of zero");
        if (first == COBJLines::TOO_LONG)
            return Fail("longer than %u characters", static_cast<unsigned>(eOBJ_LINE_SIZE));
        if (first != COBJLines::LINE) return Fail("no first line");
        char* banner = m_Lines.Text();
        size_t n = std::strlen(banner);
        if (n && banner[n - 1] == '\r') banner[--n] = '\0';
        if (std::strcmp(banner, kBannerCinema4D) != 0 && std::strcmp(banner, kBanner3dsMax) != 0)
            return Fail("unknown first line");

        for (;;) {
            const COBJLines::STATE state = m_Lines.Next();
            if (state == COBJLines::END) break;
            if (state == COBJLines::TOO_LONG)
                return Fail("longer than %u characters", static_cast<unsigned>(eOBJ_LINE_SIZE));
            if (state == COBJLines::ZERO_BYTE) return Fail("a byte of zero");
            if (state == COBJLines::TOO_BIG)
                return Fail("the file goes past %llu bytes", static_cast<unsigned long long>(eOBJ_MAX_FILE_SIZE));
            if (eFAILURE(ReadLine(m_Lines.Text()))) return eFAILED;
        }
        return Build();
    }

private:
    eRESULT Fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char why[200];
        va_list args;
        va_start(args, format);
        std::vsnprintf(why, sizeof why, format, args);
        va_end(args);
        char passed[160];
        PassedOver(passed, sizeof passed);
        return Refuse(m_pRaw->m_pSharedInfos, "LoadFromOBJ", "line %u: %s%s", m_Lines.LineNumber(), why, passed);
    }

    eRESULT ReadLine(const char* line) {
        char word[eMAX_PATH];
        float f[3];
        long pairs[8];
        // "g _ %s" is covered by "g %s", which reads the "_".
        if (Keyword(line, "g", word, sizeof word)) {
            if (m_Groups.Count() >= eOBJ_MAX_SUBOBJECTS) return Fail("too many groups");
            OBJ_GROUP g{static_cast<uint32_t>(m_Positions.Count()), static_cast<uint32_t>(m_TexCoords.Count()),
                        static_cast<uint32_t>(m_Entries.Count()), {}};
            return m_Groups.Push(g) ? eOK : Fail("out of memory");
        }
        if (Floats(line, "v", 3, f)) {
            if (m_Positions.Count() >= static_cast<size_t>(kOBJ_MAX_NUMBER)) return Fail("more than 65535 positions");
            return m_Positions.Push(VECTOR3D{f[0], f[1], f[2]}) ? eOK : Fail("out of memory");
        }
        if (Floats(line, "vt", 3, f)) {
            if (m_TexCoords.Count() >= static_cast<size_t>(kOBJ_MAX_NUMBER))
                return Fail("more than 65535 texture coordinates");
            return m_TexCoords.Push(VECTOR2D{f[0], f[1]}) ? eOK : Fail("out of memory");
        }
        if (Keyword(line, "usemtl", word, sizeof word)) {
            // Before any group there is nothing to give the name to.
            if (m_Groups.Count()) std::memcpy(m_Groups[m_Groups.Count() - 1].szMaterial, word, sizeof word);
            return eOK;
        }
        if (FacePairs(line, 4, pairs)) {
            static const int kSplit[6] = {0, 1, 2, 0, 2, 3};
            return Face(pairs, 4, kSplit, 6);
        }
        if (FacePairs(line, 3, pairs)) {
            static const int kTriangle[3] = {0, 1, 2};
            return Face(pairs, 3, kTriangle, 3);
        }
        // Normals, comments, objects, smoothing groups are passed over, and
        // so are faces and texture coordinates in other forms: the first of
        // those is named in a later refusal, which it may explain.
        const char* form = line;
        if (!m_dwPassedLine && (Literal(form, "f ") || Literal(form, "vt ") || Literal(form, "v "))) {
            m_dwPassedLine = m_Lines.LineNumber();
            std::snprintf(m_szPassed, sizeof m_szPassed, "%.40s", line);
        }
        return eOK;
    }

    // What a refusal adds about the lines passed over.
    void PassedOver(char* out, size_t size) const {
        if (m_dwPassedLine)
            std::snprintf(out, size, " (line %u, \"%s\", and any like it were passed over as not of a form read)",
                          m_dwPassedLine, m_szPassed);
        else if (size)
            out[0] = '\0';
    }

    // Numbers are 1-based, at most 65535, not relative (negative). They may
    // name what comes later in the file: the largest of each is held, with
    // its line, against the file's counts once it has been read.
    eRESULT Face(const long* pairs, int corners, const int* order, int entries) {
        if (!m_Groups.Count()) return Fail("a face before any group");
        for (int k = 0; k < corners; ++k) {
            const long v = pairs[2 * k], t = pairs[2 * k + 1];
            if (v < 1 || v > kOBJ_MAX_NUMBER) return Fail("position %ld", v);
            if (t < 1 || t > kOBJ_MAX_NUMBER) return Fail("texture coordinate %ld", t);
            if (v > m_lLargestPosition) m_lLargestPosition = v, m_dwPositionLine = m_Lines.LineNumber();
            if (t > m_lLargestTexCoord) m_lLargestTexCoord = t, m_dwTexCoordLine = m_Lines.LineNumber();
        }
        if (m_Entries.Count() + entries > eOBJ_MAX_INDICES) return Fail("too many faces");
        for (int e = 0; e < entries; ++e) {
            const long* pair = &pairs[2 * order[e]];
            const uint32_t packed = static_cast<uint32_t>(pair[0]) | static_cast<uint32_t>(pair[1]) << 16;
            if (!m_Entries.Push(packed)) return Fail("out of memory");
        }
        return eOK;
    }

    eRESULT Build() {
        const char* where = "LoadFromOBJ";
        SHARED_INFOS* infos = m_pRaw->m_pSharedInfos;
        const size_t entries = m_Entries.Count();
        const size_t groups = m_Groups.Count();
        char passed[160];
        PassedOver(passed, sizeof passed);
        if (!groups || !entries || !m_Positions.Count())
            return Refuse(infos, where, "no group, position or face%s", passed);
        if (m_lLargestPosition > static_cast<long>(m_Positions.Count()))
            return Refuse(infos, where, "line %u: position %ld of %zu in the file%s", m_dwPositionLine,
                          m_lLargestPosition, m_Positions.Count(), passed);
        if (m_lLargestTexCoord > static_cast<long>(m_TexCoords.Count()))
            return Refuse(infos, where, "line %u: texture coordinate %ld of %zu in the file%s", m_dwTexCoordLine,
                          m_lLargestTexCoord, m_TexCoords.Count(), passed);

        // Unique (position, texture) pairs in first-appearance order; the
        // number of each entry is kept for the indices.
        uint32_t* numbers = static_cast<uint32_t*>(std::malloc(entries * sizeof(uint32_t)));
        uint32_t* firstEntry = static_cast<uint32_t*>(std::malloc(entries * sizeof(uint32_t)));
        uint32_t vertices = 0;
        if (!numbers || !firstEntry ||
            !NumberFirstSeen(&m_Entries[0], static_cast<uint32_t>(entries), numbers, firstEntry, &vertices)) {
            std::free(numbers);
            std::free(firstEntry);
            return Refuse(infos, where, "out of memory");
        }
        if (eFAILURE(m_pRaw->Load(static_cast<uint32_t>(groups), vertices, static_cast<uint32_t>(entries)))) {
            std::free(numbers);
            std::free(firstEntry);
            return Refuse(infos, where, "%zu groups, %u vertices, %zu indices refused", groups, vertices, entries);
        }
        RAW_MODEL* model = m_pRaw->m_pModel;
        for (uint32_t b = 0; b < vertices; ++b) {
            const uint32_t packed = m_Entries[firstEntry[b]];
            const VECTOR2D& t = m_TexCoords[(packed >> 16) - 1];
            model->m_pvPositions[b] = m_Positions[(packed & 0xFFFFu) - 1];
            model->m_pvUVs[b] = VECTOR2D{t.x, 1.0f - t.y};
            model->m_pdwColors[b] = 0xFFFFFFFFu;
            model->m_pdwSpeculars[b] = 0xFF000000u;
        }

        for (size_t g = 0; g < groups; ++g) {
            const OBJ_GROUP& group = m_Groups[g];
            const uint32_t first = group.dwFaceEntries;
            const uint32_t end = g + 1 < groups ? m_Groups[g + 1].dwFaceEntries : static_cast<uint32_t>(entries);
            // The record starts at the positions read before the group, as
            // long as no index would fall below it (a pair first used by an
            // earlier group, or positions no face uses), and covers the
            // vertices its indices reach.
            uint32_t start = group.dwPositions < vertices ? group.dwPositions : vertices;
            uint32_t last = 0;
            for (uint32_t m = first; m < end; ++m) {
                if (numbers[m] < start) start = numbers[m];
                if (numbers[m] > last) last = numbers[m];
            }
            for (uint32_t m = first; m < end; ++m) model->m_pdwIndices[m] = numbers[m] - start;
            const uint32_t count = end > first ? last + 1 - start : 0;
            model->m_pAttributes[g] = ATTRIBUT{static_cast<uint32_t>(g), start, count, first, end - first,
                                               (end - first) / 3, PRIM_TRIANGLELIST, CULL_NONE};
            std::memcpy(model->m_pszTextureNames[g], group.szMaterial, eMAX_PATH);
            model->m_pdwTextureWords1[g] = e3DX_V2_TEXTURE_WORD1;
            model->m_pdwTextureWords2[g] = e3DX_V2_TEXTURE_WORD2;
        }
        std::free(numbers);
        std::free(firstEntry);
        return eOK;
    }

    C3DObjectRaw* m_pRaw;
    COBJLines m_Lines;
    CGrowArray<VECTOR3D> m_Positions;
    CGrowArray<VECTOR2D> m_TexCoords;
    CGrowArray<uint32_t> m_Entries;  // position number | texture number << 16, both 1-based
    CGrowArray<OBJ_GROUP> m_Groups;
    uint32_t m_dwPassedLine = 0;  // first face or vertex line of a form not read
    char m_szPassed[48] = "";
    long m_lLargestPosition = 0, m_lLargestTexCoord = 0;
    uint32_t m_dwPositionLine = 0, m_dwTexCoordLine = 0;
};

// ---------------------------------------------------------------- 3DS ----
#ifndef EKAVROS_NO_LIB3DS

// One per material of the file, in the file's order: its unique (mesh,
// point) pairs and the triangles over them.
struct SUB_3DS_ITEM {
    Lib3dsMaterial* pMaterial;
    CGrowArray<Lib3dsMesh*> Meshes;  // with Points, the item's vertices
    CGrowArray<uint32_t> Points;
    CGrowArray<uint32_t> Indices;
};

uint32_t ColorOf(const Lib3dsRgba c) {
    auto byte = [](float v) -> uint32_t {
        // Colours outside 0..1 would wrap into other channels.
        if (!(v > 0.0f)) return 0;
        if (v >= 1.0f) return 255;
        return static_cast<uint32_t>(255.0f * v);
    };
    return byte(c[3]) << 24 | byte(c[0]) << 16 | byte(c[1]) << 8 | byte(c[2]);
}

// A lib3ds name field, which need not end inside its array.
void NameOf(char* out, const char* field, size_t size) {
    const size_t n = strnlen(field, size);
    std::memcpy(out, field, n);
    out[n] = '\0';
}

constexpr uint64_t k3DS_MAX_FILE_SIZE = 256ull << 20;

// The whole file is read once and walked before lib3ds sees it.
bool Check3DSFile(const char* path, char* why, size_t whySize) {
    const char* unreadable = nullptr;
    FILE* f = eOpenRegularFile(path, &unreadable);
    if (!f) return std::snprintf(why, whySize, "the file %s", unreadable), false;
    uint8_t* data = nullptr;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::rewind(f);
    bool ok = false;
    if (size < 6)
        std::snprintf(why, whySize, "too short");
    else if (static_cast<uint64_t>(size) > k3DS_MAX_FILE_SIZE)
        std::snprintf(why, whySize, "%ld bytes, more than %llu", size, static_cast<unsigned long long>(k3DS_MAX_FILE_SIZE));
    else if (!(data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)))))
        std::snprintf(why, whySize, "out of memory");
    else if (std::fread(data, 1, static_cast<size_t>(size), f) != static_cast<size_t>(size))
        std::snprintf(why, whySize, "read error");
    else
        ok = Check3DSChunks(data, static_cast<size_t>(size), why, whySize);
    std::free(data);
    std::fclose(f);
    return ok;
}

class C3DSReader {
public:
    C3DSReader(C3DObjectRaw* raw, Lib3dsFile* file)
        : m_pRaw(raw), m_pFile(file), m_pItems(nullptr), m_dwItems(0) {
        // Each mesh gets, once used, its number and per point the first item
        // vertex made of it (freed with the reader).
        for (Lib3dsMesh* mesh = m_pFile->meshes; mesh; mesh = mesh->next) mesh->user.p = nullptr;
    }
    ~C3DSReader() {
        for (Lib3dsMesh* mesh = m_pFile->meshes; mesh; mesh = mesh->next) {
            MESH_POINTS* points = static_cast<MESH_POINTS*>(mesh->user.p);
            if (points) std::free(points->pFirst);
            std::free(points);
        }
        for (uint32_t j = 0; j < m_dwItems; ++j) m_pItems[j].~SUB_3DS_ITEM();
        std::free(m_pItems);
    }
    C3DSReader(const C3DSReader&) = delete;
    C3DSReader& operator=(const C3DSReader&) = delete;

    eRESULT Read() {
        uint32_t materials = 0;
        for (Lib3dsMaterial* m = m_pFile->materials; m; m = m->next)
            if (++materials > eOBJ_MAX_SUBOBJECTS) return Fail("too many materials");
        if (!materials) return Fail("no material");
        m_pItems = static_cast<SUB_3DS_ITEM*>(std::malloc(materials * sizeof(SUB_3DS_ITEM)));
        if (!m_pItems) return Fail("out of memory");
        for (Lib3dsMaterial* m = m_pFile->materials; m; m = m->next) {
            // The material's item number, for the faces that name it.
            m->user.d = m_dwItems;
            new (&m_pItems[m_dwItems++]) SUB_3DS_ITEM{m, {}, {}, {}};
        }
        // Every node of the object type, children after their parent. Many
        // exporters write no keyframer section: then every mesh, in
        // lib3ds's order, is drawn once.
        if (!m_pFile->nodes)
            for (Lib3dsMesh* mesh = m_pFile->meshes; mesh; mesh = mesh->next)
                if (eFAILURE(AddMesh(mesh))) return eFAILED;
        for (Lib3dsNode* node = m_pFile->nodes; node;) {
            if (node->type == LIB3DS_OBJECT_NODE && eFAILURE(AddNode(node))) return eFAILED;
            if (node->childs) {
                node = node->childs;
                continue;
            }
            while (node && !node->next) node = node->parent;
            if (node) node = node->next;
        }
        if (m_dwDropped)
            eTRACE(LogOf(m_pRaw->m_pSharedInfos),
                   1, "# C3DObjectRaw::LoadFrom3DSFile: %u faces naming a missing material dropped (first: %s)\n",
                   m_dwDropped, m_szFirstDropped);
        return Build();
    }

private:
    eRESULT Fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char why[200];
        va_list args;
        va_start(args, format);
        std::vsnprintf(why, sizeof why, format, args);
        va_end(args);
        return Refuse(m_pRaw->m_pSharedInfos, "LoadFrom3DSFile", "%s", why);
    }

    eRESULT AddNode(Lib3dsNode* node) {
        char name[65];
        NameOf(name, node->name, sizeof node->name);
        Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(m_pFile, name);
        if (!mesh) {
            NameOf(name, node->data.object.instance, sizeof node->data.object.instance);
            if (name[0] && std::strcmp(name, "$$$DUMMY") != 0) mesh = lib3ds_file_mesh_by_name(m_pFile, name);
        }
        return mesh ? AddMesh(mesh) : eOK;
    }

    eRESULT AddMesh(Lib3dsMesh* mesh) {
        char name[65];
        NameOf(name, mesh->name, sizeof mesh->name);
        if (mesh->faces && !mesh->faceL) return Fail("mesh \"%s\" has %u faces and no face list", name, mesh->faces);
        if (mesh->points && !mesh->pointL) return Fail("mesh \"%s\" has no point list", name);
        if (mesh->texels && !mesh->texelL) return Fail("mesh \"%s\" has no texture coordinate list", name);

        char last[65] = "";
        bool looked = false;
        SUB_3DS_ITEM* item = nullptr;
        for (Lib3dsDword f = 0; f < mesh->faces; ++f) {
            const Lib3dsFace& face = mesh->faceL[f];
            char material[65];
            NameOf(material, face.material, sizeof face.material);
            if (!material[0]) continue;  // faces without a material are dropped
            // Faces come in runs of one material: look the name up once a run.
            if (!looked || std::strcmp(material, last) != 0) {
                looked = true;
                Lib3dsMaterial* m = lib3ds_file_material_by_name(m_pFile, material);
                item = m && m->user.d < m_dwItems ? &m_pItems[m->user.d] : nullptr;
                std::memcpy(last, material, sizeof last);
            }
            if (!item) {  // a face naming a missing material is dropped
                if (!m_dwDropped++)
                    std::snprintf(m_szFirstDropped, sizeof m_szFirstDropped, "face %u of mesh \"%s\" names \"%s\"",
                                  f, name, material);
                continue;
            }
            for (int k = 0; k < 3; ++k) {
                const uint32_t p = face.points[k];
                if (p >= mesh->points)
                    return Fail("face %u of mesh \"%s\" uses point %u of %u", f, name, p, mesh->points);
                if (mesh->texels && p >= mesh->texels)
                    return Fail("face %u of mesh \"%s\" uses point %u of %u texture coordinates", f, name, p,
                                mesh->texels);
            }
            if (eFAILURE(AddPrimitive(item, mesh, face))) return eFAILED;
        }
        return eOK;
    }

    // The face's three corners as the item's vertices (new pairs appended)
    // and their numbers as one triangle. Most points belong to one
    // material: the mesh's own array answers for the first item that used a
    // point, a table keyed by (item, mesh, point) for any other.
    eRESULT AddPrimitive(SUB_3DS_ITEM* item, Lib3dsMesh* mesh, const Lib3dsFace& face) {
        MESH_POINTS* points = static_cast<MESH_POINTS*>(mesh->user.p);
        if (!points) {
            points = static_cast<MESH_POINTS*>(std::calloc(1, sizeof(MESH_POINTS)));
            if (!points) return Fail("out of memory");
            mesh->user.p = points;
            points->pFirst = static_cast<FIRST_USE*>(std::calloc(mesh->points, sizeof(FIRST_USE)));
            if (!points->pFirst) return Fail("out of memory");
            points->dwMesh = m_dwMeshesUsed++;
        }
        const uint32_t itemNumber = static_cast<uint32_t>(item - m_pItems);
        for (int k = 0; k < 3; ++k) {
            const uint32_t point = face.points[k];
            FIRST_USE& first = points->pFirst[point];
            uint32_t number = static_cast<uint32_t>(item->Points.Count());
            if (!first.dwItemPlusOne) {
                first.dwItemPlusOne = itemNumber + 1;
                first.dwNumber = number;
            } else if (first.dwItemPlusOne == itemNumber + 1) {
                number = first.dwNumber;
            } else {
                const uint64_t key =
                    static_cast<uint64_t>(itemNumber) << 44 | static_cast<uint64_t>(points->dwMesh) << 16 | point;
                if (!m_Others.FindOrAdd(key, &number)) return Fail("out of memory");
            }
            if (number == item->Points.Count() && (!item->Meshes.Push(mesh) || !item->Points.Push(point)))
                return Fail("out of memory");
            if (item->Indices.Count() >= eOBJ_MAX_INDICES) return Fail("too many faces");
            if (!item->Indices.Push(number)) return Fail("out of memory");
        }
        return eOK;
    }

    eRESULT Build() {
        uint64_t vertices = 0, indices = 0;
        for (uint32_t j = 0; j < m_dwItems; ++j) {
            vertices += m_pItems[j].Points.Count();
            indices += m_pItems[j].Indices.Count();
        }
        if (!vertices || !indices || vertices > eOBJ_MAX_VERTICES || indices > eOBJ_MAX_INDICES ||
            eFAILURE(m_pRaw->Load(m_dwItems, static_cast<uint32_t>(vertices), static_cast<uint32_t>(indices))))
            return Fail("%u materials, %llu vertices, %llu indices refused", m_dwItems,
                        static_cast<unsigned long long>(vertices), static_cast<unsigned long long>(indices));

        RAW_MODEL* model = m_pRaw->m_pModel;
        uint32_t vertexStart = 0, indexStart = 0;
        for (uint32_t j = 0; j < m_dwItems; ++j) {
            const SUB_3DS_ITEM& item = m_pItems[j];
            const Lib3dsMaterial* material = item.pMaterial;
            const uint32_t color = ColorOf(material->diffuse);
            const uint32_t specular = ColorOf(material->specular);
            float su = 1.0f, sv = 1.0f;
            const Lib3dsTextureMap& map = material->texture1_map;
            if (map.name[0]) {
                NameOf(model->m_pszTextureNames[j], map.name, sizeof map.name);
                model->m_pdwTextureWords1[j] = e3DX_V2_TEXTURE_WORD1;
                model->m_pdwTextureWords2[j] = e3DX_V2_TEXTURE_WORD2;
                // lib3ds 1.3 keeps the map's u and v scale in scale[0] and scale[1].
                su = map.scale[0];
                sv = map.scale[1];
            }
            const uint32_t count = static_cast<uint32_t>(item.Points.Count());
            for (uint32_t k = 0; k < count; ++k) {
                const Lib3dsMesh* mesh = item.Meshes[k];
                const uint32_t p = item.Points[k];
                const uint32_t i = vertexStart + k;
                const Lib3dsVector& pos = mesh->pointL[p].pos;
                model->m_pvPositions[i] = VECTOR3D{-pos[0], pos[1], pos[2]};
                model->m_pdwColors[i] = color;
                model->m_pdwSpeculars[i] = specular;
                if (mesh->texels)
                    model->m_pvUVs[i] = VECTOR2D{su * mesh->texelL[p][0], sv * (1.0f - mesh->texelL[p][1])};
            }
            // x is mirrored, so the winding turns round with it.
            const uint32_t indexCount = static_cast<uint32_t>(item.Indices.Count());
            for (uint32_t k = 0; k + 2 < indexCount; k += 3) {
                model->m_pdwIndices[indexStart + k] = item.Indices[k];
                model->m_pdwIndices[indexStart + k + 1] = item.Indices[k + 2];
                model->m_pdwIndices[indexStart + k + 2] = item.Indices[k + 1];
            }
            model->m_pAttributes[j] = ATTRIBUT{j,          vertexStart,       count,           indexStart, indexCount,
                                               indexCount / 3, PRIM_TRIANGLELIST, CULL_NONE};
            vertexStart += count;
            indexStart += indexCount;
        }
        return eOK;
    }

    C3DObjectRaw* m_pRaw;
    Lib3dsFile* m_pFile;
    SUB_3DS_ITEM* m_pItems;
    uint32_t m_dwItems;
    struct FIRST_USE {
        uint32_t dwItemPlusOne;  // 0: the point is not used yet
        uint32_t dwNumber;       // its vertex within that item
    };
    struct MESH_POINTS {
        uint32_t dwMesh;    // number among the meshes used
        FIRST_USE* pFirst;  // per point
    };
    // Below 2^28: a file of at most k3DS_MAX_FILE_SIZE bytes holds fewer
    // mesh chunks (items are below 2^20, points below 2^16).
    uint32_t m_dwMeshesUsed = 0;
    CKeyTable m_Others;
    uint32_t m_dwDropped = 0;
    char m_szFirstDropped[200] = "";  // (item, mesh, point) -> vertex within the item
};
#endif  // EKAVROS_NO_LIB3DS

}  // namespace

eRESULT C3DObjectRaw::LoadFromOBJ(FILE* file) {
    if (!file) return eFAILED;
    Unload();
    // A file too large for any model is refused before it is read.
    const long here = std::ftell(file);
    if (here >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        std::fseek(file, here, SEEK_SET);
        if (end > here && static_cast<uint64_t>(end - here) > eOBJ_MAX_FILE_SIZE)
            return Refuse(m_pSharedInfos, "LoadFromOBJ", "line 1: %ld bytes, more than %llu", end - here,
                          static_cast<unsigned long long>(eOBJ_MAX_FILE_SIZE));
    }
    COBJReader reader(this, file);
    const eRESULT result = reader.Read();
    if (eFAILURE(result)) Unload();
    return result;
}

eRESULT C3DObjectRaw::LoadFrom3DSFile(const char* path) {
    if (!path) return eFAILED;
    Unload();
#ifdef EKAVROS_NO_LIB3DS
    return Refuse(m_pSharedInfos, "LoadFrom3DSFile", "\"%s\": 3D Studio files are not read in this build (no lib3ds)",
                  path);
#else
    char why[200];
    if (!Check3DSFile(path, why, sizeof why)) return Refuse(m_pSharedInfos, "LoadFrom3DSFile", "%s", why);
    Lib3dsFile* file = lib3ds_file_load(path);
    if (!file) return Refuse(m_pSharedInfos, "LoadFrom3DSFile", "lib3ds could not read \"%s\"", path);
    eRESULT result;
    {
        C3DSReader reader(this, file);
        result = reader.Read();
    }
    lib3ds_file_free(file);
    if (eFAILURE(result)) Unload();
    return result;
#endif
}
