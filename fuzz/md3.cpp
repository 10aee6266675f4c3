// Fuzz target: the MD3 mesh reader on arbitrary bytes, with and without the surface
// and tag lists.
#include <cstddef>
#include <cstdint>

#include "core/kvl_memorystream.h"
#include "scene/readers/zrn_meshreadermd3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KVLMemoryStream stream(data, size);
    ZRNMeshReaderMD3 reader;
    std::unique_ptr<ZRNMesh> first = reader.ReadStream(stream, -1, 0);

    KVLArray<ZRNMesh*> surfaces;
    KVLArray<ZRNJointTrack*> tags;
    reader.ReadAll(stream, &surfaces, &tags);
    for (ZRNMesh* m : surfaces) {
        std::unique_ptr<ZRNMesh> blend = m->FrameAt({m->GetFrameCount() - 1, 0, 0.25f});
        delete m;
    }
    for (ZRNJointTrack* t : tags) {
        delete t;
    }
    return 0;
}
