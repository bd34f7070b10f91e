// Foreign model formats for C3DObjectRaw::LoadFromFile. Neither reader is
// present yet: both refuse, so ".obj" and ".3ds" files fail to load.
#include "engine/3d/3DObjectRaw.h"

eRESULT C3DObjectRaw::LoadFromOBJ(FILE*) { return eFAILED; }

eRESULT C3DObjectRaw::LoadFrom3DSFile(const char*) { return eFAILED; }
