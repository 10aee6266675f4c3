// KVLPAKStream: reading and writing members of PAK archives.
#include "core/kvl_pakstream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kMagic[6] = {'K', 'V', 'L', 'P', 'A', 'K'};

bool HasMagic(const uint8_t* p) { return std::memcmp(p, kMagic, sizeof kMagic) == 0; }

void DecodeHeader(const uint8_t* p, KVLPAKHeader& header) {
    header.count = KVLGetU16(p + 6);
    header.directoryOffset = KVLGetS32(p + 8);
}

// True when the entry describes data inside an archive of the given length.
bool EntryInside(const KVLPAKEntry& e, int32_t archiveLength) {
    if (e.offset < 0 || e.size < 0 || archiveLength < 0) {
        return false;
    }
    return static_cast<int64_t>(e.offset) + e.size <= archiveLength;
}

// True when the header's directory, count × entry size bytes, lies inside an archive of
// the given length: a damaged count is refused before any entry is read or kept.
bool DirectoryInside(const KVLPAKHeader& header, int32_t archiveLength) {
    return header.directoryOffset >= 0 && header.directoryOffset <= archiveLength &&
           static_cast<int64_t>(header.count) * kKVLPAKEntrySize <= archiveLength - header.directoryOffset;
}

struct ScanStream {
    std::unique_ptr<KVLStream> s;
    ~ScanStream() {
        if (s && s->IsOpen()) {
            s->Close();
        }
    }
};

}  // namespace

bool KVLPAKReadHeader(KVLStream& s, KVLPAKHeader& header) {
    uint8_t raw[kKVLPAKHeaderSize];
    if (!s.SeekAbsolute(0) || s.Read(raw, kKVLPAKHeaderSize) != kKVLPAKHeaderSize) {
        return false;
    }
    if (HasMagic(raw)) {
        DecodeHeader(raw, header);
        return true;
    }
    if (raw[0] != 'M' || raw[1] != 'Z') {
        return false;
    }
    // An archive attached to an executable keeps its header as a trailer.
    if (!s.SeekFromEnd(kKVLPAKHeaderSize) || s.Read(raw, kKVLPAKHeaderSize) != kKVLPAKHeaderSize) {
        return false;
    }
    if (HasMagic(raw)) {
        DecodeHeader(raw, header);
    } else {
        header.count = 0;
        header.directoryOffset = s.GetLength();
    }
    return true;
}

void KVLPAKEncodeHeader(const KVLPAKHeader& header, uint8_t out[kKVLPAKHeaderSize]) {
    std::memcpy(out, kMagic, sizeof kMagic);
    KVLPutU16(out + 6, static_cast<uint16_t>(header.count));
    KVLPutU32(out + 8, static_cast<uint32_t>(header.directoryOffset));
}

void KVLPAKDecodeEntry(const uint8_t in[kKVLPAKEntrySize], KVLPAKEntry& entry) {
    std::memcpy(entry.name, in, kKVLPAKNameSize);
    entry.offset = KVLGetS32(in + 16);
    entry.size = KVLGetS32(in + 20);
    entry.reserved = KVLGetS32(in + 24);
}

void KVLPAKEncodeEntry(const KVLPAKEntry& entry, uint8_t out[kKVLPAKEntrySize]) {
    std::memcpy(out, entry.name, kKVLPAKNameSize);
    KVLPutU32(out + 16, static_cast<uint32_t>(entry.offset));
    KVLPutU32(out + 20, static_cast<uint32_t>(entry.size));
    KVLPutU32(out + 24, static_cast<uint32_t>(entry.reserved));
}

bool KVLPAKReadDirectory(const KVLStream& archive, KVLArray<KVLPAKEntry>& entries, KVLString* errorText) {
    entries.RemoveAll();
    if (errorText != nullptr) *errorText = "Unable to open file";
    ScanStream scan{archive.Clone()};
    if (!scan.s || !scan.s->OpenRead()) {
        return false;
    }
    KVLPAKHeader header;
    if (!KVLPAKReadHeader(*scan.s, header)) {
        if (errorText != nullptr) *errorText = "Not a PAK archive";
        return false;
    }
    const int32_t length = scan.s->GetLength();
    if (!DirectoryInside(header, length) || !scan.s->SeekAbsolute(header.directoryOffset)) {
        if (errorText != nullptr) *errorText = "Damaged PAK archive: directory outside the file";
        return false;
    }
    for (int32_t i = 0; i < header.count; ++i) {
        uint8_t raw[kKVLPAKEntrySize];
        if (scan.s->Read(raw, kKVLPAKEntrySize) != kKVLPAKEntrySize) {
            if (errorText != nullptr) *errorText = "Damaged PAK archive: truncated directory";
            return false;
        }
        KVLPAKEntry entry;
        KVLPAKDecodeEntry(raw, entry);
        entries.Add(entry);
    }
    if (errorText != nullptr) errorText->Format("PAK archive - %d members", header.count);
    return true;
}

KVLPAKStream::KVLPAKStream(const KVLStream& archive, const KVLString& memberName)
    : m_archive(archive.Clone()), m_name(memberName) {}

KVLPAKStream::~KVLPAKStream() {
    if (IsOpen()) {
        Close();
    }
}

std::unique_ptr<KVLStream> KVLPAKStream::Clone() const { return std::make_unique<KVLPAKStream>(*m_archive, m_name); }

bool KVLPAKStream::NameMatches(const KVLPAKEntry& entry) const {
    return std::strncmp(entry.name, m_name.c_str(), kKVLPAKNameSize) == 0;
}

namespace {
// Equal but for ASCII letter case and '/' against '\\', over the 16 name bytes.
bool NearlyEqual(const char* entry, const char* wanted) {
    for (int32_t i = 0; i < kKVLPAKNameSize; ++i) {
        auto fold = [](char c) {
            if (c == '/') return '\\';
            return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        };
        if (fold(entry[i]) != fold(wanted[i])) {
            return false;
        }
        if (entry[i] == '\0') {
            return true;
        }
    }
    return true;
}
}  // namespace

KVLString KVLPAKStream::ArchiveName() const {
    const KVLString name = m_archive->GetName();
    return name.IsEmpty() ? KVLString("(in memory)") : name;
}

void KVLPAKStream::NoteScanFailure(bool scanned, int32_t match) {
    if (scanned && match >= 0) {
        m_openError.Clear();
    } else if (m_archiveUnopened) {
        const KVLString& why = m_archiveError;
        m_openError.Format("cannot open archive '%s' for member '%s'%s%s", ArchiveName().c_str(), m_name.c_str(),
                           why.IsEmpty() ? "" : ": ", why.c_str());
    } else if (!scanned) {
        m_openError.Format("damaged archive '%s' (looking for member '%s')", ArchiveName().c_str(), m_name.c_str());
    } else if (!m_nearName.IsEmpty()) {
        m_openError.Format("no member '%s' in archive '%s' (names match exactly: did you mean '%s'?)",
                           m_name.c_str(), ArchiveName().c_str(), m_nearName.c_str());
    } else {
        m_openError.Format("no member '%s' in archive '%s'", m_name.c_str(), ArchiveName().c_str());
    }
}

bool KVLPAKStream::Scan(ScanMode mode, int32_t& match, KVLPAKEntry& found, KVLPAKHeader& header) {
    match = -1;
    m_archiveUnopened = false;
    m_nearName.Clear();
    ScanStream scan{m_archive->Clone()};
    if (!scan.s || !scan.s->OpenRead()) {
        m_archiveUnopened = true;
        m_archiveError = scan.s ? scan.s->GetOpenError() : KVLString();
        return false;
    }
    // The count is not held against the length here: entries before a cut directory
    // still open, and each entry is read on its own, so the scan never holds more
    // entries than the file has.
    if (!KVLPAKReadHeader(*scan.s, header) || header.directoryOffset < 0 ||
        !scan.s->SeekAbsolute(header.directoryOffset)) {
        return false;
    }
    const int32_t length = scan.s->GetLength();
    for (int32_t i = 0; i < header.count; ++i) {
        uint8_t raw[kKVLPAKEntrySize];
        if (scan.s->Read(raw, kKVLPAKEntrySize) != kKVLPAKEntrySize) {
            return false;
        }
        KVLPAKEntry entry;
        KVLPAKDecodeEntry(raw, entry);
        if (mode != ScanMode::Find) {
            m_directory.Add(entry);
        }
        if (m_nearName.IsEmpty() && NearlyEqual(entry.name, m_name.c_str())) {
            m_nearName = entry.GetName();
        }
        if (match == -1 && NameMatches(entry)) {
            // A damaged entry (negative or reaching past the file) is refused rather
            // than handed to readers that trust the member's extent.
            if (!EntryInside(entry, length)) {
                return false;
            }
            match = i;
            found = entry;
            if (mode != ScanMode::CollectAll) {
                break;
            }
        }
    }
    return true;
}

bool KVLPAKStream::OpenArchiveAt(bool forWriting) {
    const bool opened = forWriting ? m_archive->OpenReadWrite() : m_archive->OpenRead();
    if (!opened) {
        return false;
    }
    if (!m_archive->SeekAbsolute(m_offset)) {
        m_archive->Close();
        return false;
    }
    m_openArchive = m_archive.get();
    return true;
}

bool KVLPAKStream::OpenRead() {
    if (IsOpen()) {
        return false;
    }
    int32_t match = -1;
    KVLPAKEntry entry{};
    KVLPAKHeader header;
    const bool scanned = Scan(ScanMode::Find, match, entry, header);
    NoteScanFailure(scanned, match);
    if (!scanned || match < 0) {
        return false;
    }
    m_offset = entry.offset;
    m_size = entry.size;
    if (!OpenArchiveAt(false)) {
        m_openError.Format("cannot open archive '%s' for member '%s'", ArchiveName().c_str(), m_name.c_str());
        m_offset = m_size = -1;
        return false;
    }
    return true;
}

bool KVLPAKStream::OpenReadWrite() {
    if (IsOpen()) {
        return false;
    }
    m_directory.RemoveAll();
    int32_t match = -1;
    KVLPAKEntry entry{};
    KVLPAKHeader header;
    const bool scanned = Scan(ScanMode::CollectUntilMatch, match, entry, header);
    NoteScanFailure(scanned, match);
    if (!scanned || match < 0 || match != header.count - 1) {
        if (scanned && match >= 0) {
            m_openError.Format("member '%s' of archive '%s' is not the last one: it cannot be rewritten in place",
                               m_name.c_str(), ArchiveName().c_str());
        }
        m_directory.RemoveAll();
        return false;
    }
    m_offset = entry.offset;
    m_size = entry.size;
    if (!OpenArchiveAt(true)) {
        m_offset = m_size = -1;
        return false;
    }
    m_dirty = true;
    return true;
}

bool KVLPAKStream::OpenWrite() {
    if (IsOpen()) {
        return false;
    }
    if (!m_archive->Exists()) {
        if (!m_archive->OpenWrite()) {
            return false;
        }
        uint8_t raw[kKVLPAKHeaderSize];
        KVLPAKEncodeHeader(KVLPAKHeader{}, raw);
        const bool wrote = m_archive->Write(raw, kKVLPAKHeaderSize) == kKVLPAKHeaderSize;
        if (!m_archive->Close() || !wrote) {
            return false;
        }
    }
    m_directory.RemoveAll();
    int32_t match = -1;
    KVLPAKEntry entry{};
    KVLPAKHeader header;
    if (!Scan(ScanMode::CollectAll, match, entry, header)) {
        m_directory.RemoveAll();
        return false;
    }
    if (match >= 0) {
        if (match != m_directory.GetCount() - 1) {
            m_directory.RemoveAll();
            return false;
        }
        m_directory[match].size = 0;
    } else {
        if (m_directory.GetCount() >= kKVLPAKMaxEntries || header.directoryOffset < kKVLPAKHeaderSize) {
            m_directory.RemoveAll();
            return false;
        }
        std::memset(&entry, 0, sizeof entry);
        const size_t nameLength = std::min<size_t>(std::strlen(m_name.c_str()), kKVLPAKNameSize);
        std::memcpy(entry.name, m_name.c_str(), nameLength);
        entry.offset = header.directoryOffset;
        entry.size = 0;
        entry.reserved = 0;
        m_directory.Add(entry);
    }
    m_offset = entry.offset;
    m_size = 0;
    if (!OpenArchiveAt(true)) {
        m_directory.RemoveAll();
        m_offset = m_size = -1;
        return false;
    }
    m_dirty = true;
    return true;
}

bool KVLPAKStream::WriteDirectoryAndHeader() {
    KVLStream& a = *m_openArchive;
    const int32_t count = m_directory.GetCount();
    if (count == 0 || !a.SeekAbsolute(m_offset + m_size)) {
        return false;
    }
    m_directory[count - 1].size = m_size;
    for (int32_t i = 0; i < count; ++i) {
        uint8_t raw[kKVLPAKEntrySize];
        KVLPAKEncodeEntry(m_directory[i], raw);
        if (a.Write(raw, kKVLPAKEntrySize) != kKVLPAKEntrySize) {
            return false;
        }
    }
    KVLPAKHeader header;
    header.count = count;
    header.directoryOffset = m_offset + m_size;
    uint8_t encoded[kKVLPAKHeaderSize];
    KVLPAKEncodeHeader(header, encoded);

    uint8_t first[kKVLPAKHeaderSize];
    if (!a.SeekAbsolute(0) || a.Read(first, kKVLPAKHeaderSize) != kKVLPAKHeaderSize) {
        return false;
    }
    if (HasMagic(first)) {
        return a.SeekAbsolute(0) && a.Write(encoded, kKVLPAKHeaderSize) == kKVLPAKHeaderSize;
    }
    if (first[0] == 'M' && first[1] == 'Z') {
        const int64_t directoryEnd = static_cast<int64_t>(header.directoryOffset) +
                                     static_cast<int64_t>(kKVLPAKEntrySize) * count;
        const int32_t length = a.GetLength();
        if (length < directoryEnd + kKVLPAKHeaderSize) {
            return a.SeekAbsolute(static_cast<int32_t>(directoryEnd)) &&
                   a.Write(encoded, kKVLPAKHeaderSize) == kKVLPAKHeaderSize;
        }
        return a.SeekFromEnd(kKVLPAKHeaderSize) && a.Write(encoded, kKVLPAKHeaderSize) == kKVLPAKHeaderSize;
    }
    return false;
}

bool KVLPAKStream::Close() {
    if (!IsOpen()) {
        return false;
    }
    bool ok = true;
    if (m_dirty) {
        ok = WriteDirectoryAndHeader();
        m_dirty = false;
    }
    const bool closed = m_openArchive->Close();
    m_openArchive = nullptr;
    return ok && closed;
}

bool KVLPAKStream::IsEOF() {
    if (!IsOpen()) {
        return true;
    }
    return static_cast<int64_t>(m_openArchive->Tell()) >= static_cast<int64_t>(m_offset) + m_size;
}

int32_t KVLPAKStream::Read(void* destination, int32_t n) {
    if (!IsOpen() || n <= 0 || destination == nullptr) {
        return 0;
    }
    // Seeks are not clamped, so the archive may stand outside the member: nothing
    // is read there, in particular nothing of a neighbouring member.
    const int64_t position = m_openArchive->Tell();
    const int64_t end = static_cast<int64_t>(m_offset) + m_size;
    if (position < m_offset || position >= end) {
        return 0;
    }
    const int64_t available = end - position;
    const int32_t count = available < n ? static_cast<int32_t>(available) : n;
    const int32_t got = m_openArchive->Read(destination, count);
    return got < 0 ? 0 : got;
}

int32_t KVLPAKStream::Write(const void* source, int32_t n) {
    if (!IsOpen() || n <= 0 || source == nullptr) {
        return 0;
    }
    const int64_t position = m_openArchive->Tell();
    // Writing before the member's start would overwrite other members' data.
    if (position < m_offset || position + n > INT32_MAX) {
        return 0;
    }
    int32_t written = m_openArchive->Write(source, n);
    if (written < 0) written = 0;
    const int32_t here = Tell();
    if (here > m_size) {
        m_size = here;
    }
    return written;
}

int32_t KVLPAKStream::Tell() {
    if (!IsOpen()) {
        return -1;
    }
    return m_openArchive->Tell() - m_offset;
}

bool KVLPAKStream::SeekRelative(int32_t delta) {
    if (!IsOpen()) {
        return false;
    }
    return m_openArchive->SeekRelative(delta);
}

bool KVLPAKStream::SeekAbsolute(int32_t position) {
    if (!IsOpen()) {
        return false;
    }
    const int64_t target = static_cast<int64_t>(m_offset) + position;
    if (target < 0 || target > INT32_MAX) {
        return false;
    }
    return m_openArchive->SeekAbsolute(static_cast<int32_t>(target));
}

bool KVLPAKStream::SeekFromEnd(int32_t distance) {
    if (!IsOpen()) {
        return false;
    }
    const int64_t target = static_cast<int64_t>(m_offset) + m_size - distance;
    if (target < 0 || target > INT32_MAX) {
        return false;
    }
    return m_openArchive->SeekAbsolute(static_cast<int32_t>(target));
}
