// ZRNMeshReader: the class record, file reading and reader lookup.
#include "scene/readers/zrn_meshreader.h"

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"

namespace {
constexpr int32_t kFileBufferSize = 65536;
}

KVL_IMPLEMENT_ABSTRACT_CLASS(ZRNMeshReader, KVLObject);

ZRNMeshReader::~ZRNMeshReader() = default;

std::unique_ptr<ZRNMesh> ZRNMeshReader::ReadFile(const KVLString& path, int32_t a, int32_t b) {
    KVLFileStream file(path);
    KVLBufferedStream buffered(file, kFileBufferSize);
    return ReadStream(buffered, a, b);
}

std::unique_ptr<ZRNMeshReader> ZRNMeshReader::CreateFor(const KVLString& extension) {
    for (const KVLClassInfo* c = KVLClassInfo::GetFirst(); c != nullptr; c = c->GetNext()) {
        if (c->IsAbstract() || !c->IsDerivedFrom(StaticClass())) {
            continue;
        }
        std::unique_ptr<ZRNMeshReader> reader = KVLCreateAs<ZRNMeshReader>(c);
        if (reader && reader->CanRead(extension)) {
            return reader;
        }
    }
    return nullptr;
}
