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
    if (!m_reading.IsOpen()) {
        m_why = stream.GetOpenError();
        if (m_why.IsEmpty()) {
            m_why = "the stream does not open";
        }
        return;
    }
    if (!KVLReadExact(stream, m_header.data(), headerSize)) {
        m_why.Format("shorter than the %d-byte header", headerSize);
        return;
    }
    m_length = stream.GetLength();
    if (KVLGetU32(m_header.data()) != ident) {
        m_why = "wrong magic number (not this model format)";
    } else if (KVLGetS32(m_header.data() + endOffsetField) != m_length) {
        m_why.Format("the header's end offset %d is not the length %lld", KVLGetS32(m_header.data() + endOffsetField),
                     static_cast<long long>(m_length));
    } else {
        m_valid = true;
    }
}

std::nullptr_t ZRNMeshReader::Fail(const KVLStream& stream, const ZRNModelFile& file) {
    // An open failure's text names the file or member already.
    return Fail(stream, file.Why().c_str(), !file.IsOpen());
}

std::nullptr_t ZRNMeshReader::Fail(const KVLStream& stream, const char* reason, bool reasonNamesStream) {
    const KVLString name = stream.GetName();
    if (name.IsEmpty() || reasonNamesStream) {
        m_errorText = reason;
    } else {
        m_errorText.Format("%s: %s", name.c_str(), reason);
    }
    return nullptr;
}

std::unique_ptr<ZRNMesh> ZRNLoadMesh(KVLStream& stream, KVLString* errorText) {
    const KVLString extension = KVLStreamExtension(stream);
    std::unique_ptr<ZRNMeshReader> reader = ZRNMeshReader::CreateFor(extension);
    if (reader == nullptr) {
        if (errorText != nullptr) {
            errorText->Format("%s: no mesh reader for the extension '%s'", stream.GetName().c_str(), extension.c_str());
        }
        return nullptr;
    }
    std::unique_ptr<ZRNMesh> mesh = reader->ReadStream(stream, -1, 0);
    if (errorText != nullptr) {
        *errorText = mesh != nullptr ? KVLString() : reader->GetErrorText();
    }
    return mesh;
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
