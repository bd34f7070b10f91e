// The two INI texts compiled into the program: the engine configuration and
// the application configuration. Both are read through CUtilsParametersStatic.
#pragma once

#include <cstdint>

// Names under which the texts appear in the trace log.
extern const char g_szEngineIniName[];  // "Orbelline.Engine.ini"
extern const char g_szAppliIniName[];   // "Orbelline.Appli.ini"

// NUL-terminated texts with CR LF line ends; the sizes count the NUL.
extern const char g_szEngineIni[];
extern const uint32_t g_dwEngineIniSize;
extern const char g_szAppliIni[];
extern const uint32_t g_dwAppliIniSize;
