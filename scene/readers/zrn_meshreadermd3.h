// ZRNMeshReaderMD3: Quake III MD3 models ("IDP3"). One mesh per surface, every frame
// of it, and optionally the model's tags as joint tracks. Shaders are not read (the
// scene supplies materials) and normals are recomputed from the geometry.
//
// The blocks are expected one after another: frames right after the header, tags
// right after the frames, the first surface right after the tags, each further
// surface at the end of the one before; the header's block offsets are not used.
// Coordinates keep their axes: vertices are divided by 2048 (fixed point to model
// units, then model units to engine units), tag origins by 32. Winding is kept.
#pragma once

#include "core/kvl_array.h"
#include "scene/readers/zrn_meshreader.h"
#include "scene/zrn_jointtrack.h"

class ZRNMeshReaderMD3 : public ZRNMeshReader {
    KVL_DECLARE_CLASS(ZRNMeshReaderMD3)
public:
    // "MD3", any letter case.
    bool CanRead(const KVLString& extension) const override;
    // The model's first surface; a and b are ignored.
    std::unique_ptr<ZRNMesh> ReadStream(KVLStream& stream, int32_t a, int32_t b) override;

    // Reads the model. With a surface list, appends a mesh per surface and returns
    // the first one appended (the list's owner owns them all); without one, returns
    // the first surface, which the caller then owns. With a tag list, appends one
    // track per tag, each with one origin and one orientation per frame; the caller
    // owns them. On failure returns null and appends nothing to either list. A model
    // without surfaces (hand models carry only tags) appends its tags and returns
    // null: with a tag list, a grown tag list tells that case from a failure.
    ZRNMesh* ReadAll(KVLStream& stream, KVLArray<ZRNMesh*>* surfaces, KVLArray<ZRNJointTrack*>* tags);
};
