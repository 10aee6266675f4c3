// KVLFileStream: a stream over a disk file through C stdio. Files beyond 2 GiB are
// not supported (positions are 32-bit).
#pragma once

#include <cstdio>

#include "core/kvl_stream.h"

class KVLFileStream : public KVLStream {
public:
    explicit KVLFileStream(const KVLString& path);
    ~KVLFileStream() override;
    KVLFileStream(const KVLFileStream&) = delete;
    KVLFileStream& operator=(const KVLFileStream&) = delete;

    const KVLString& GetPath() const { return m_path; }
    KVLString GetName() const override { return m_path; }
    // "cannot open 'path': reason" from the C library.
    KVLString GetOpenError() const override { return m_openError; }

    std::unique_ptr<KVLStream> Clone() const override;
    bool Exists() const override;
    bool IsEOF() override;
    bool IsOpen() const override { return m_file != nullptr; }
    bool OpenRead() override { return Open("rb"); }
    bool OpenReadWrite() override { return Open("r+b"); }
    bool OpenWrite() override { return Open("wb"); }
    bool Close() override;
    int32_t Read(void* destination, int32_t n) override;
    int32_t Write(const void* source, int32_t n) override;
    int32_t GetLength() override;
    int32_t Tell() override;
    bool SeekRelative(int32_t delta) override;
    bool SeekAbsolute(int32_t position) override;
    bool SeekFromEnd(int32_t distance) override;

private:
    enum class LastOp { None, Read, Write };
    bool Open(const char* mode);
    bool Seek(long offset, int whence);
    // stdio needs a positioning call between a read and a following write (and the
    // other way round) on an update stream; this inserts one when the direction changes.
    void SwitchTo(LastOp op);

    std::FILE* m_file = nullptr;
    KVLString m_path;
    KVLString m_openError;
    LastOp m_lastOp = LastOp::None;
};
