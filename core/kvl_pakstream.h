// KVLPAKStream: a stream over one member of a PAK archive, the engine's single-file
// container, and the archive's on-disk layout.
//
// Layout (little-endian): a 12-byte header ("KVLPAK", uint16 entry count, int32
// directory offset) and a directory of 28-byte entries (16-byte NUL-padded name, int32
// data offset, int32 size, int32 reserved). A standalone archive starts with the
// header; an archive attached to an "MZ" executable keeps it in the file's last 12
// bytes. Member data lies between the header and the directory; a new member goes
// where the directory stood and the directory moves behind it.
//
// Limits: at most 65535 members; positions are 32-bit. Members are matched over 16
// bytes, exactly: letter case counts and folders are separated by backslashes
// ("MODELS\\TRIS.MD2"); a failed open names the member that differs only in those. Only the last member of an archive can be (re)written.
#pragma once

#include "core/kvl_array.h"
#include "core/kvl_stream.h"

constexpr int32_t kKVLPAKHeaderSize = 12;
constexpr int32_t kKVLPAKEntrySize = 28;
constexpr int32_t kKVLPAKNameSize = 16;
constexpr int32_t kKVLPAKMaxEntries = 65535;

struct KVLPAKEntry {
    char name[kKVLPAKNameSize];  // NUL-padded; a 16-character name has no terminator
    int32_t offset;
    int32_t size;
    int32_t reserved;

    KVLString GetName() const { return KVLString(name, kKVLPAKNameSize); }
};

struct KVLPAKHeader {
    int32_t count = 0;
    int32_t directoryOffset = kKVLPAKHeaderSize;
};

// Reads the header of the open archive s from its start (standalone or "MZ" trailer).
// An "MZ" file without a trailer reads as an empty archive ending at the file's end.
bool KVLPAKReadHeader(KVLStream& s, KVLPAKHeader& header);
void KVLPAKEncodeHeader(const KVLPAKHeader& header, uint8_t out[kKVLPAKHeaderSize]);
void KVLPAKDecodeEntry(const uint8_t in[kKVLPAKEntrySize], KVLPAKEntry& entry);
void KVLPAKEncodeEntry(const KVLPAKEntry& entry, uint8_t out[kKVLPAKEntrySize]);

// The whole directory of an archive (opened on a Clone of archive). On failure the
// error text says why ("Unable to open file", "Not a PAK archive", ...).
bool KVLPAKReadDirectory(const KVLStream& archive, KVLArray<KVLPAKEntry>& entries, KVLString* errorText);

class KVLPAKStream : public KVLStream {
public:
    // Works on its own Clone of archive. The stream starts closed.
    KVLPAKStream(const KVLStream& archive, const KVLString& memberName);
    ~KVLPAKStream() override;
    KVLPAKStream(const KVLPAKStream&) = delete;
    KVLPAKStream& operator=(const KVLPAKStream&) = delete;

    const KVLString& GetMemberName() const { return m_name; }
    KVLString GetName() const override { return m_name; }
    // Names the member and the archive: "no member 'X' in archive 'Y'" (with the
    // member whose name differs only in case or slashes, when there is one), "cannot
    // open archive 'Y': ...", "damaged archive 'Y'".
    KVLString GetOpenError() const override { return m_openError; }
    // Absolute position of the member's data in the archive; -1 until opened.
    int32_t GetOffset() const { return m_offset; }

    std::unique_ptr<KVLStream> Clone() const override;
    bool IsEOF() override;
    bool IsOpen() const override { return m_openArchive != nullptr; }
    bool OpenRead() override;
    // Updates the member in place; only the last member of the archive.
    bool OpenReadWrite() override;
    // Writes the member anew as the last member (creating the archive when missing).
    bool OpenWrite() override;
    // For a written member, rewrites the directory and the header first.
    bool Close() override;
    int32_t Read(void* destination, int32_t n) override;
    int32_t Write(const void* source, int32_t n) override;
    int32_t GetLength() override { return m_size; }
    int32_t Tell() override;
    bool SeekRelative(int32_t delta) override;
    bool SeekAbsolute(int32_t position) override;
    bool SeekFromEnd(int32_t distance) override;

private:
    enum class ScanMode { Find, CollectUntilMatch, CollectAll };
    // Scans the directory with a stream of its own. Returns the index of the first
    // entry matching the member name (-1 when none) in match; false on a damaged or
    // unreadable archive.
    bool Scan(ScanMode mode, int32_t& match, KVLPAKEntry& found, KVLPAKHeader& header);
    bool NameMatches(const KVLPAKEntry& entry) const;
    bool OpenArchiveAt(bool forWriting);
    bool WriteDirectoryAndHeader();
    // Sets m_openError from what the last Scan found (an empty text after success).
    void NoteScanFailure(bool scanned, int32_t match);
    KVLString ArchiveName() const;

    std::unique_ptr<KVLStream> m_archive;
    KVLStream* m_openArchive = nullptr;
    int32_t m_offset = -1;
    int32_t m_size = -1;
    KVLString m_name;
    KVLString m_openError;
    // Set by Scan: the archive did not open; an entry whose name differs from the
    // member's only in letter case or in '/' against '\\'.
    bool m_archiveUnopened = false;
    KVLString m_archiveError;
    KVLString m_nearName;
    bool m_dirty = false;
    KVLArray<KVLPAKEntry> m_directory;
};
