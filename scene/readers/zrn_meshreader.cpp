// ZRNMeshReader: the class record, file reading and reader lookup; the header, block
// and float reading the format readers share.
#include "scene/readers/zrn_meshreader.h"

#include <cstring>

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

ZRNModelFile::ZRNModelFile(KVLStream& stream, int32_t headerSize, uint32_t ident, int32_t endOffsetField)
    : m_reading(stream), m_header(static_cast<size_t>(headerSize)) {
    if (!m_reading.IsOpen() || !KVLReadExact(stream, m_header.data(), headerSize)) {
        return;
    }
    m_length = stream.GetLength();
    m_valid = KVLGetU32(m_header.data()) == ident && KVLGetS32(m_header.data() + endOffsetField) == m_length;
}

float ZRNGetF32(const uint8_t* p) {
    const uint32_t bits = KVLGetU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool ZRNReadBlock(KVLStream& stream, int64_t offset, int64_t size, std::vector<uint8_t>& out) {
    out.resize(static_cast<size_t>(size));
    return stream.SeekAbsolute(static_cast<int32_t>(offset)) &&
           (size == 0 || KVLReadExact(stream, out.data(), static_cast<int32_t>(size)));
}
