#!/bin/sh
# Makes the model files of another tool that the import tests read:
# assimp (Debian package assimp-utils) converts a small OBJ scene of two
# squares, red on the left and green (textured "green.raw") on the right,
# into its own OBJ and 3D Studio output. The results are checked in, so the
# tests do not need assimp; run this again only to remake them.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/models"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/quads.mtl" <<'MTL'
newmtl red
Kd 1 0 0
Ks 0.5 0.5 0.5
newmtl green
Kd 0 1 0
Ks 0 0 0
map_Kd green.raw
MTL

cat > "$work/quads.obj" <<'OBJ'
mtllib quads.mtl
o red
v -0.75 -0.5 0
v -0.25 -0.5 0
v -0.25 0 0
v -0.75 0 0
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 0 0 1
usemtl red
f 1/1/1 2/2/1 3/3/1 4/4/1
o green
v 0.25 0 0
v 0.75 0 0
v 0.75 0.5 0
v 0.25 0.5 0
usemtl green
f 5/1/1 6/2/1 7/3/1 8/4/1
OBJ

mkdir -p "$out"
(cd "$work" && assimp export quads.obj assimp-quads.obj && assimp export quads.obj assimp-quads.3ds)
cp "$work/assimp-quads.obj" "$work/assimp-quads.mtl" "$work/assimp-quads.3ds" "$out/"
