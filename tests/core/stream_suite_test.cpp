// One behavioural suite run against every stream kind: file, buffered (tiny and
// 64 KiB buffers), PAK member (over a file and over a buffered file) and memory.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_memorystream.h"
#include "core/kvl_pakstream.h"
#include "support/test_support.h"

using testsupport::PatternBytes;
using testsupport::TempDir;

namespace {

// Writes members through the engine's own member writing.
void AddMember(const KVLStream& archive, const char* name, const std::vector<uint8_t>& bytes) {
    KVLPAKStream member(archive, KVLString(name));
    ASSERT_TRUE(member.OpenWrite()) << name;
    if (!bytes.empty()) {
        ASSERT_EQ(member.Write(bytes.data(), static_cast<int32_t>(bytes.size())), static_cast<int32_t>(bytes.size()));
    }
    ASSERT_TRUE(member.Close());
}

struct StreamKind {
    const char* name;
    // A closed stream whose content is `content`; files go into dir.
    std::function<std::unique_ptr<KVLStream>(const std::vector<uint8_t>& content, const TempDir& dir)> make;
};

std::unique_ptr<KVLStream> MakeFile(const std::vector<uint8_t>& content, const TempDir& dir) {
    const std::string path = dir.file("plain.bin");
    testsupport::WriteFile(path, content);
    return std::make_unique<KVLFileStream>(KVLString(path.c_str()));
}

std::unique_ptr<KVLStream> MakeMember(const std::vector<uint8_t>& content, const TempDir& dir, bool buffered) {
    const std::string path = dir.file("archive.pak");
    KVLFileStream file(KVLString(path.c_str()));
    // Neighbours on both sides catch reads that leave the member.
    AddMember(file, "before", std::vector<uint8_t>(300, 0xAA));
    AddMember(file, "data\\member.bin", content);
    AddMember(file, "after", std::vector<uint8_t>(300, 0xBB));
    if (buffered) {
        KVLBufferedStream archive(file, 65536);
        return std::make_unique<KVLPAKStream>(archive, KVLString("data\\member.bin"));
    }
    return std::make_unique<KVLPAKStream>(file, KVLString("data\\member.bin"));
}

const StreamKind kKinds[] = {
    {"file", MakeFile},
    {"buffered16",
     [](const std::vector<uint8_t>& c, const TempDir& d) -> std::unique_ptr<KVLStream> {
         auto file = MakeFile(c, d);
         return std::make_unique<KVLBufferedStream>(*file, 16);
     }},
    {"buffered64k",
     [](const std::vector<uint8_t>& c, const TempDir& d) -> std::unique_ptr<KVLStream> {
         auto file = MakeFile(c, d);
         return std::make_unique<KVLBufferedStream>(*file, 65536);
     }},
    {"pak", [](const std::vector<uint8_t>& c, const TempDir& d) { return MakeMember(c, d, false); }},
    {"pakbuffered", [](const std::vector<uint8_t>& c, const TempDir& d) { return MakeMember(c, d, true); }},
    {"memory",
     [](const std::vector<uint8_t>& c, const TempDir&) -> std::unique_ptr<KVLStream> {
         return std::make_unique<KVLMemoryStream>(c.data(), c.size());
     }},
};

class StreamSuite : public ::testing::TestWithParam<StreamKind> {
protected:
    std::unique_ptr<KVLStream> Make(const std::vector<uint8_t>& content) { return GetParam().make(content, m_dir); }
    TempDir m_dir;
};

std::vector<uint8_t> ReadAll(KVLStream& s, int32_t chunk) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (;;) {
        const int32_t got = s.Read(buffer.data(), chunk);
        EXPECT_GE(got, 0);
        EXPECT_LE(got, chunk);
        if (got <= 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    return out;
}

}  // namespace

TEST_P(StreamSuite, ReadsEverythingInAnyChunkSize) {
    const std::vector<uint8_t> content = PatternBytes(100003, 7);
    auto s = Make(content);
    EXPECT_FALSE(s->IsOpen());
    for (int32_t chunk : {1, 7, 16, 1000, 65535, 65536, 100000, 200000}) {
        ASSERT_TRUE(s->OpenRead()) << chunk;
        EXPECT_TRUE(s->IsOpen());
        EXPECT_EQ(s->GetLength(), static_cast<int32_t>(content.size()));
        EXPECT_EQ(ReadAll(*s, chunk), content) << "chunk " << chunk;
        EXPECT_EQ(s->Tell(), static_cast<int32_t>(content.size()));
        EXPECT_TRUE(s->Close());
        EXPECT_FALSE(s->IsOpen());
    }
}

TEST_P(StreamSuite, ShortReadAtTheEndThenZero) {
    const std::vector<uint8_t> content = PatternBytes(50, 1);
    auto s = Make(content);
    ASSERT_TRUE(s->OpenRead());
    uint8_t buffer[80] = {};
    ASSERT_TRUE(s->SeekAbsolute(40));
    EXPECT_EQ(s->Read(buffer, 80), 10);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), std::vector<uint8_t>(content.begin() + 40, content.end()));
    EXPECT_EQ(s->Read(buffer, 80), 0);
    EXPECT_TRUE(s->IsEOF());
    s->Close();
}

TEST_P(StreamSuite, NonPositiveCountsAndPositionsOutsideReadNothing) {
    const std::vector<uint8_t> content = PatternBytes(64, 2);
    auto s = Make(content);
    ASSERT_TRUE(s->OpenRead());
    uint8_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 0x5A);
    EXPECT_EQ(s->Read(buffer, 0), 0);
    EXPECT_EQ(s->Read(buffer, -5), 0);
    EXPECT_EQ(s->Read(buffer, INT32_MIN), 0);
    EXPECT_EQ(s->Tell(), 0);
    // Past the end: seeks are not clamped, reads are.
    if (s->SeekAbsolute(1000)) {
        EXPECT_EQ(s->Read(buffer, 16), 0);
    }
    if (s->SeekFromEnd(-10)) {
        EXPECT_EQ(s->Read(buffer, 16), 0);
    }
    // Before the start.
    ASSERT_TRUE(s->SeekAbsolute(4));
    if (s->SeekRelative(-20)) {
        EXPECT_EQ(s->Read(buffer, 16), 0);
    }
    EXPECT_FALSE(s->SeekAbsolute(-1) && s->Read(buffer, 16) > 0);
    for (uint8_t b : buffer) {
        EXPECT_EQ(b, 0x5A);  // nothing of a neighbour or of garbage was written
    }
    s->Close();
}

TEST_P(StreamSuite, SeeksAndTell) {
    const std::vector<uint8_t> content = PatternBytes(200, 3);
    auto s = Make(content);
    ASSERT_TRUE(s->OpenRead());
    uint8_t b = 0;
    ASSERT_TRUE(s->SeekAbsolute(120));
    EXPECT_EQ(s->Tell(), 120);
    ASSERT_EQ(s->Read(&b, 1), 1);
    EXPECT_EQ(b, content[120]);
    ASSERT_TRUE(s->SeekRelative(-21));
    EXPECT_EQ(s->Tell(), 100);
    ASSERT_EQ(s->Read(&b, 1), 1);
    EXPECT_EQ(b, content[100]);
    ASSERT_TRUE(s->SeekFromEnd(1));
    ASSERT_EQ(s->Read(&b, 1), 1);
    EXPECT_EQ(b, content[199]);
    ASSERT_TRUE(s->SeekFromEnd(0));
    EXPECT_EQ(s->Read(&b, 1), 0);
    EXPECT_EQ(s->Tell(), s->GetLength());
    ASSERT_TRUE(s->SeekAbsolute(0));
    ASSERT_EQ(s->Read(&b, 1), 1);
    EXPECT_EQ(b, content[0]);
    s->Close();
}

TEST_P(StreamSuite, ClonesAreIndependentAndUnopened) {
    const std::vector<uint8_t> content = PatternBytes(5000, 4);
    auto s = Make(content);
    ASSERT_TRUE(s->OpenRead());
    ASSERT_TRUE(s->SeekAbsolute(1000));
    auto clone = s->Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_FALSE(clone->IsOpen());
    ASSERT_TRUE(clone->OpenRead());
    EXPECT_EQ(clone->Tell(), 0);
    EXPECT_EQ(ReadAll(*clone, 333), content);
    uint8_t b = 0;
    ASSERT_EQ(s->Read(&b, 1), 1);
    EXPECT_EQ(b, content[1000]);
    EXPECT_TRUE(clone->Close());
    EXPECT_TRUE(s->Close());
    EXPECT_TRUE(s->Exists());
}

TEST_P(StreamSuite, ReadLineSplitsOnLineFeedAndDropsCarriageReturn) {
    const std::string text = "abc\r\ndef";
    auto s = Make(std::vector<uint8_t>(text.begin(), text.end()));
    ASSERT_TRUE(s->OpenRead());
    KVLString line;
    EXPECT_EQ(s->ReadLine(line), 3);
    EXPECT_STREQ(line.c_str(), "abc");
    EXPECT_EQ(s->ReadLine(line), 3);
    EXPECT_STREQ(line.c_str(), "def");
    EXPECT_EQ(s->ReadLine(line), 0);
    EXPECT_TRUE(s->IsEOF());
    s->Close();
}

TEST_P(StreamSuite, ReadLineOnEmptyAndOverlongLines) {
    std::string text = "\n\r\nx";
    text += std::string(3000, 'L') + "\n";
    auto s = Make(std::vector<uint8_t>(text.begin(), text.end()));
    ASSERT_TRUE(s->OpenRead());
    KVLString line;
    EXPECT_EQ(s->ReadLine(line), 0);
    EXPECT_FALSE(s->IsEOF());
    EXPECT_EQ(s->ReadLine(line), 0);
    EXPECT_EQ(s->ReadLine(line), 2047);
    EXPECT_EQ(line.c_str()[0], 'x');
    EXPECT_EQ(s->ReadLine(line), 3001 - 2047);
    s->Close();
}

INSTANTIATE_TEST_SUITE_P(AllKinds, StreamSuite, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<StreamKind>& info) { return std::string(info.param.name); });

TEST(StreamSuiteExtras, MissingTargetsDoNotExist) {
    TempDir dir;
    KVLFileStream missing(KVLString(dir.file("nothing").c_str()));
    EXPECT_FALSE(missing.Exists());
    EXPECT_FALSE(missing.OpenRead());
    KVLBufferedStream buffered(missing, 64);
    EXPECT_FALSE(buffered.Exists());
    EXPECT_FALSE(buffered.OpenRead());
    KVLPAKStream member(missing, KVLString("x"));
    EXPECT_FALSE(member.Exists());
    EXPECT_FALSE(member.OpenRead());
    EXPECT_EQ(missing.GetLength(), -1);
}

TEST(StreamSuiteExtras, WriteLineWritesCrLf) {
    TempDir dir;
    KVLFileStream file(KVLString(dir.file("lines.txt").c_str()));
    ASSERT_TRUE(file.OpenWrite());
    EXPECT_EQ(file.WriteLine(KVLString("hello")), 5);
    EXPECT_EQ(file.WriteLine(KVLString("")), 0);
    ASSERT_TRUE(file.Close());
    const auto bytes = testsupport::ReadFile(dir.file("lines.txt"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello\r\n\r\n");
}

TEST(StreamSuiteExtras, BufferedLargeReadBypassesBufferThenRefills) {
    TempDir dir;
    const std::vector<uint8_t> content = PatternBytes(300000, 9);
    testsupport::WriteFile(dir.file("big.bin"), content);
    KVLFileStream file(KVLString(dir.file("big.bin").c_str()));
    KVLBufferedStream s(file, 65536);
    ASSERT_TRUE(s.OpenRead());
    std::vector<uint8_t> buffer(100000);
    EXPECT_EQ(s.Read(buffer.data(), 100000), 100000);
    EXPECT_EQ(s.GetBufferedCount(), 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(content.begin(), content.begin() + 100000));
    EXPECT_EQ(s.Read(buffer.data(), 10), 10);
    EXPECT_EQ(s.GetBufferedCount(), 65536 - 10);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 10),
              std::vector<uint8_t>(content.begin() + 100000, content.begin() + 100010));
    // A read spanning the end of the buffered data: copies the rest, refills, returns all.
    ASSERT_TRUE(s.SeekAbsolute(0));
    EXPECT_EQ(s.Read(buffer.data(), 65000), 65000);
    EXPECT_EQ(s.Read(buffer.data(), 1000), 1000);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 1000),
              std::vector<uint8_t>(content.begin() + 65000, content.begin() + 66000));
    EXPECT_EQ(s.Tell(), 66000);
    // At the end of the file, fewer bytes than asked.
    ASSERT_TRUE(s.SeekAbsolute(299990));
    EXPECT_EQ(s.Read(buffer.data(), 5), 5);
    EXPECT_EQ(s.Read(buffer.data(), 100), 5);
    EXPECT_TRUE(s.IsEOF());
}

TEST(StreamSuiteExtras, BufferedWriteAfterReadLandsAtLogicalPosition) {
    TempDir dir;
    testsupport::WriteFile(dir.file("rw.bin"), std::vector<uint8_t>(100, 0));
    KVLFileStream file(KVLString(dir.file("rw.bin").c_str()));
    KVLBufferedStream s(file, 64);
    ASSERT_TRUE(s.OpenReadWrite());
    uint8_t b[4];
    ASSERT_EQ(s.Read(b, 4), 4);
    const uint8_t mark[2] = {7, 8};
    ASSERT_EQ(s.Write(mark, 2), 2);
    EXPECT_EQ(s.Tell(), 6);
    ASSERT_TRUE(s.Close());
    const auto bytes = testsupport::ReadFile(dir.file("rw.bin"));
    EXPECT_EQ(bytes[4], 7);
    EXPECT_EQ(bytes[5], 8);
    EXPECT_EQ(bytes.size(), 100u);
}
