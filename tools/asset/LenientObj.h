// A forgiving Wavefront OBJ reader for the asset tool, for files the
// engine's own reader refuses (it takes only two exporters' output). It
// fills a raw model that the engine can save as 3DX and load:
//
// - any first line; comments, smoothing groups, lines and points ignored;
// - faces "f v", "f v/t", "f v//n", "f v/t/n", with negative (relative)
//   numbers, polygons of any size fanned from their first corner;
// - "g" and "o" start a sub-object, and so does "usemtl" after faces;
// - texture names from the materials' map_Kd in the "mtllib" files (else
//   the material name), vertex colours from their Kd (else white);
// - v turned over (1 - v) as the engine's reader does, normals kept.
//
// Each sub-object has its own vertices, so records never overlap.
#pragma once

#include <string>

#include "engine/3d/3DObjectRaw.h"

namespace asset {

// Replaces `raw`'s model with the file's; on failure the model is empty and
// `why` says what was wrong, with the line number.
bool ReadLenientObj(const std::string& path, C3DObjectRaw& raw, std::string& why);

}  // namespace asset
