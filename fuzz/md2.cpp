// Fuzz target: the MD2 mesh reader on arbitrary bytes, and frame blending on what it
// accepts.
#include <cstddef>
#include <cstdint>

#include "core/kvl_memorystream.h"
#include "scene/readers/zrn_meshreadermd2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KVLMemoryStream stream(data, size);
    ZRNMeshReaderMD2 reader;
    std::unique_ptr<ZRNMesh> mesh = reader.ReadStream(stream, -1, 0);
    if (mesh) {
        const int32_t last = mesh->GetFrameCount() - 1;
        std::unique_ptr<ZRNMesh> blend = mesh->FrameAt({last, 0, 0.5f});
        mesh->FlipFaces();
    }
    return 0;
}
