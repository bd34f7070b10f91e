// Parameter stores: read a key of a section, with the caller's default.
#pragma once

#include <cstdint>

#include "engine/world/Types.h"

// Abstract store. Every read returns the caller's default and every write
// refuses, so an implementation only overrides what it supports.
class CUtilsParameters {
public:
    virtual ~CUtilsParameters() {}

    virtual bool ReadBool(const char* section, const char* key, bool def);
    virtual eRESULT WriteBool(const char* section, const char* key, bool value);
    virtual uint8_t ReadByte(const char* section, const char* key, uint8_t def);
    virtual eRESULT WriteByte(const char* section, const char* key, uint8_t value);
    virtual uint16_t ReadShort(const char* section, const char* key, uint16_t def);
    virtual eRESULT WriteShort(const char* section, const char* key, uint16_t value);
    virtual uint32_t ReadLong(const char* section, const char* key, uint32_t def);
    virtual eRESULT WriteLong(const char* section, const char* key, uint32_t value);
    virtual float ReadFloat(const char* section, const char* key, float def);
    virtual eRESULT WriteFloat(const char* section, const char* key, float value);
    virtual double ReadDouble(const char* section, const char* key, double def);
    virtual eRESULT WriteDouble(const char* section, const char* key, double value);
    // Returns eOK when the key was found, eFAILED when the default was used.
    virtual eRESULT ReadString(const char* section, const char* key, const char* def, char* out,
                               int32_t outSize);
    // As ReadString, with `prefix` (may be null) put in front of the result.
    virtual eRESULT ReadStringEx(const char* section, const char* key, const char* def, char* out,
                                 int32_t outSize, const char* prefix);
    virtual eRESULT WriteString(const char* section, const char* key, const char* value);

protected:
    CUtilsParameters() {}  // only derived stores are made
};

// Read-only store over INI text already in memory. The text is not owned
// and must outlive the store; every read scans it from the start.
class CUtilsParametersStatic : public CUtilsParameters {
public:
    // `size` is the number of bytes to scan, usually including the final NUL.
    CUtilsParametersStatic(const void* text, uint32_t size);
    ~CUtilsParametersStatic() override {}

    bool ReadBool(const char* section, const char* key, bool def) override;
    eRESULT WriteBool(const char* section, const char* key, bool value) override;
    uint8_t ReadByte(const char* section, const char* key, uint8_t def) override;
    eRESULT WriteByte(const char* section, const char* key, uint8_t value) override;
    uint16_t ReadShort(const char* section, const char* key, uint16_t def) override;
    eRESULT WriteShort(const char* section, const char* key, uint16_t value) override;
    uint32_t ReadLong(const char* section, const char* key, uint32_t def) override;
    eRESULT WriteLong(const char* section, const char* key, uint32_t value) override;
    float ReadFloat(const char* section, const char* key, float def) override;
    eRESULT WriteFloat(const char* section, const char* key, float value) override;
    double ReadDouble(const char* section, const char* key, double def) override;
    eRESULT WriteDouble(const char* section, const char* key, double value) override;
    eRESULT ReadString(const char* section, const char* key, const char* def, char* out,
                       int32_t outSize) override;
    eRESULT ReadStringEx(const char* section, const char* key, const char* def, char* out,
                         int32_t outSize, const char* prefix) override;
    eRESULT WriteString(const char* section, const char* key, const char* value) override;

    // Line and value buffers of the scan: lines longer than this minus one
    // are cut, which also bounds every value.
    static constexpr int32_t kLineBufferSize = 2048;

    // Line tests of the scan. `length` is the strlen of the line, which
    // still holds its terminator.
    static bool CompareSectionString(const char* section, const char* line, int32_t length);
    static bool CompareKeyString(const char* key, const char* line, int32_t length,
                                 int32_t* equalsIndex);
    // Copies the value after the '=' at `equalsIndex` (leading blanks
    // dropped, up to the line end) into `value`, cut to `valueSize`.
    static void GetStringValueFromLine(const char* line, int32_t equalsIndex, char* value,
                                       int32_t valueSize);

protected:
    // Finds the first occurrence of `key` after the header of `section`;
    // fills `value` (kLineBufferSize bytes) and returns true when found.
    bool FindValue(const char* section, const char* key, char* value) const;

    const char* m_pText;
    uint32_t m_dwTextSize;
};

// Cuts `text` at the last occurrence of `c`; returns where it cut, or null.
char* RemoveLastChar(char* text, char c);

// The file-name part of `path`: after the last backslash if there is any,
// else after the last '/', else the whole path. Null for null.
const char* GetFileFromPath(const char* path);
