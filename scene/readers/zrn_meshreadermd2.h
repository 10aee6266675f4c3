// ZRNMeshReaderMD2: Quake II MD2 models ("IDP2"). Reads every frame's vertices, the
// texture coordinates and the triangles; skins and GL command lists are not read
// (the scene supplies the skin), and normals are recomputed from the geometry.
//
// Coordinates: the file's z axis becomes the mesh's y axis and its y axis becomes -z;
// everything is divided by 32. Triangle winding is reversed.
#pragma once

#include "scene/readers/zrn_meshreader.h"

class ZRNMeshReaderMD2 : public ZRNMeshReader {
    KVL_DECLARE_CLASS(ZRNMeshReaderMD2)
public:
    // "MD2", any letter case.
    bool CanRead(const KVLString& extension) const override;
    // a and b are ignored.
    std::unique_ptr<ZRNMesh> ReadStream(KVLStream& stream, int32_t a, int32_t b) override;
};
