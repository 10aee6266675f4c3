// PAK archive: name matching, member writing, archives attached to executables, and
// damaged archives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_memorystream.h"
#include "core/kvl_pakstream.h"
#include "support/test_support.h"

using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Bytes = std::vector<uint8_t>;

// Builds archive bytes by hand: header at 0, data, directory.
Bytes BuildArchive(const std::vector<std::pair<std::string, Bytes>>& members) {
    Bytes out(12, 0);
    std::vector<KVLPAKEntry> entries;
    for (const auto& [name, data] : members) {
        KVLPAKEntry e{};
        std::memcpy(e.name, name.data(), std::min<size_t>(name.size(), 16));
        e.offset = static_cast<int32_t>(out.size());
        e.size = static_cast<int32_t>(data.size());
        out.insert(out.end(), data.begin(), data.end());
        entries.push_back(e);
    }
    KVLPAKHeader header;
    header.count = static_cast<int32_t>(entries.size());
    header.directoryOffset = static_cast<int32_t>(out.size());
    for (const KVLPAKEntry& e : entries) {
        uint8_t raw[28];
        KVLPAKEncodeEntry(e, raw);
        out.insert(out.end(), raw, raw + 28);
    }
    KVLPAKEncodeHeader(header, out.data());
    return out;
}

Bytes ReadMember(const KVLStream& archive, const char* name, bool* found = nullptr) {
    KVLPAKStream member(archive, KVLString(name));
    if (!member.OpenRead()) {
        if (found != nullptr) *found = false;
        return {};
    }
    if (found != nullptr) *found = true;
    Bytes out(static_cast<size_t>(member.GetLength()));
    const int32_t got = out.empty() ? 0 : member.Read(out.data(), static_cast<int32_t>(out.size()));
    out.resize(static_cast<size_t>(got));
    member.Close();
    return out;
}

void WriteMember(const KVLStream& archive, const char* name, const Bytes& data) {
    KVLPAKStream member(archive, KVLString(name));
    ASSERT_TRUE(member.OpenWrite()) << name;
    if (!data.empty()) {
        ASSERT_EQ(member.Write(data.data(), static_cast<int32_t>(data.size())), static_cast<int32_t>(data.size()));
    }
    ASSERT_TRUE(member.Close());
}

}  // namespace

TEST(PAK, NameMatchingOver16BytesCaseSensitive) {
    const Bytes a = {1}, b = {2}, c = {3};
    KVLMemoryStream archive(BuildArchive(
                                {{"abcdefghijklmnop", a}, {"tex\\cl.jpg", b}, {"tex\\cl.jpg", c}})
                                .data(),
                            BuildArchive({{"abcdefghijklmnop", a}, {"tex\\cl.jpg", b}, {"tex\\cl.jpg", c}}).size());
    const struct {
        const char* request;
        bool found;
        uint8_t value;
    } cases[] = {
        {"abcdefghijklmnop", true, 1},
        {"abcdefghijklmnopQRS", true, 1},  // only the first 16 characters count
        {"abcdefghijklmno", false, 0},
        {"ABCDEFGHIJKLMNOP", false, 0},
        {"tex\\cl.jpg", true, 2},  // the first matching entry wins
        {"TEX\\CL.JPG", false, 0},
        {"tex/cl.jpg", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        bool found = false;
        const Bytes data = ReadMember(archive, c.request, &found);
        EXPECT_EQ(found, c.found) << c.request;
        if (c.found) {
            ASSERT_EQ(data.size(), 1u) << c.request;
            EXPECT_EQ(data[0], c.value) << c.request;
        }
    }
}

TEST(PAK, EmptyDirectoryFindsNothing) {
    const Bytes bytes = BuildArchive({});
    KVLMemoryStream archive(bytes.data(), bytes.size());
    bool found = true;
    ReadMember(archive, "anything", &found);
    EXPECT_FALSE(found);
    KVLArray<KVLPAKEntry> entries;
    EXPECT_TRUE(KVLPAKReadDirectory(archive, entries, nullptr));
    EXPECT_EQ(entries.GetCount(), 0);
}

TEST(PAK, OpenWriteOnMissingArchiveCreatesIt) {
    TempDir dir;
    KVLFileStream file(KVLString(dir.file("new.pak").c_str()));
    const Bytes data = PatternBytes(1000, 5);
    WriteMember(file, "snd\\qv.mp3", data);
    const Bytes bytes = ReadFile(dir.file("new.pak"));
    ASSERT_EQ(bytes.size(), 12u + 1000u + 28u);
    EXPECT_EQ(std::memcmp(bytes.data(), "KVLPAK", 6), 0);
    EXPECT_EQ(KVLGetU16(&bytes[6]), 1);
    EXPECT_EQ(KVLGetS32(&bytes[8]), 1012);
    EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.begin() + 1012), data);
    KVLPAKEntry e;
    KVLPAKDecodeEntry(&bytes[1012], e);
    EXPECT_STREQ(e.GetName().c_str(), "snd\\qv.mp3");
    EXPECT_EQ(e.offset, 12);
    EXPECT_EQ(e.size, 1000);
    EXPECT_EQ(e.reserved, 0);
    EXPECT_EQ(ReadMember(file, "snd\\qv.mp3"), data);
}

TEST(PAK, MembersAppendAndTheLastCanBeRewritten) {
    TempDir dir;
    KVLFileStream file(KVLString(dir.file("a.pak").c_str()));
    KVLBufferedStream archive(file, 65536);
    const Bytes one = PatternBytes(70000, 1), two = PatternBytes(10, 2), three = PatternBytes(123, 3);
    WriteMember(archive, "one", one);
    WriteMember(archive, "two", two);
    const Bytes before = ReadFile(dir.file("a.pak"));

    // Rewriting a member that is not the last is refused and changes nothing.
    KVLPAKStream first(archive, KVLString("one"));
    EXPECT_FALSE(first.OpenWrite());
    EXPECT_FALSE(first.OpenReadWrite());
    EXPECT_EQ(ReadFile(dir.file("a.pak")), before);

    // The last one can be written anew, shorter or longer.
    WriteMember(archive, "two", three);
    EXPECT_EQ(ReadMember(archive, "one"), one);
    EXPECT_EQ(ReadMember(archive, "two"), three);
    KVLArray<KVLPAKEntry> entries;
    ASSERT_TRUE(KVLPAKReadDirectory(archive, entries, nullptr));
    ASSERT_EQ(entries.GetCount(), 2);
    EXPECT_EQ(entries[1].offset, 12 + 70000);
    EXPECT_EQ(entries[1].size, 123);

    // Updated in place: overwrite the start and extend it.
    KVLPAKStream last(archive, KVLString("two"));
    ASSERT_TRUE(last.OpenReadWrite());
    const Bytes patch = {9, 9, 9};
    ASSERT_TRUE(last.SeekAbsolute(0));
    ASSERT_EQ(last.Write(patch.data(), 3), 3);
    ASSERT_TRUE(last.SeekFromEnd(0));
    ASSERT_EQ(last.Write(patch.data(), 3), 3);
    EXPECT_EQ(last.GetLength(), 126);
    ASSERT_TRUE(last.Close());
    Bytes expected = three;
    expected[0] = expected[1] = expected[2] = 9;
    expected.insert(expected.end(), patch.begin(), patch.end());
    EXPECT_EQ(ReadMember(archive, "two"), expected);
    EXPECT_EQ(ReadMember(archive, "one"), one);
}

TEST(PAK, ArchiveAttachedToAnExecutable) {
    TempDir dir;
    Bytes exe = {'M', 'Z'};
    const Bytes body = PatternBytes(5000, 11);
    exe.insert(exe.end(), body.begin(), body.end());
    WriteFile(dir.file("prog.exe"), exe);
    KVLFileStream file(KVLString(dir.file("prog.exe").c_str()));
    KVLBufferedStream archive(file, 65536);

    // Without a trailer it reads as an empty archive ending at the file's end.
    KVLArray<KVLPAKEntry> entries;
    ASSERT_TRUE(KVLPAKReadDirectory(archive, entries, nullptr));
    EXPECT_EQ(entries.GetCount(), 0);

    const Bytes a = PatternBytes(300, 1), b = PatternBytes(40, 2);
    WriteMember(archive, "tex\\a.jpg", a);
    WriteMember(archive, "tex\\b.jpg", b);
    const Bytes bytes = ReadFile(dir.file("prog.exe"));
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 5002), exe);  // the program is untouched
    // The header is the file's last 12 bytes.
    ASSERT_GE(bytes.size(), 12u);
    const uint8_t* trailer = &bytes[bytes.size() - 12];
    EXPECT_EQ(std::memcmp(trailer, "KVLPAK", 6), 0);
    EXPECT_EQ(KVLGetU16(trailer + 6), 2);
    EXPECT_EQ(KVLGetS32(trailer + 8), 5002 + 300 + 40);
    EXPECT_EQ(bytes.size(), 5002u + 340u + 56u + 12u);
    EXPECT_EQ(ReadMember(archive, "tex\\a.jpg"), a);
    EXPECT_EQ(ReadMember(archive, "tex\\b.jpg"), b);

    // Rewriting the last member shorter leaves the file longer than the directory:
    // the header still goes to the file's last 12 bytes.
    WriteMember(archive, "tex\\b.jpg", Bytes{1});
    EXPECT_EQ(ReadMember(archive, "tex\\b.jpg"), Bytes{1});
    EXPECT_EQ(ReadMember(archive, "tex\\a.jpg"), a);
}

TEST(PAK, MemberStreamsOnOneArchiveAreIndependent) {
    const Bytes a = PatternBytes(1000, 1), b = PatternBytes(1000, 2);
    const Bytes bytes = BuildArchive({{"a", a}, {"b", b}});
    KVLMemoryStream archive(bytes.data(), bytes.size());
    KVLPAKStream sa(archive, KVLString("a")), sb(archive, KVLString("b"));
    ASSERT_TRUE(sa.OpenRead());
    ASSERT_TRUE(sb.OpenRead());
    uint8_t x[10], y[10];
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(sa.Read(x, 10), 10);
        ASSERT_EQ(sb.Read(y, 10), 10);
        ASSERT_EQ(std::memcmp(x, &a[static_cast<size_t>(i) * 10], 10), 0);
        ASSERT_EQ(std::memcmp(y, &b[static_cast<size_t>(i) * 10], 10), 0);
    }
}

// Damaged archives fail to open or read short; nothing reads outside the file.
TEST(PAK, DamagedArchives) {
    const Bytes good = BuildArchive({{"first", PatternBytes(100, 1)}, {"second", PatternBytes(50, 2)}});
    const int32_t dir = KVLGetS32(&good[8]);
    auto patch32 = [](Bytes b, size_t at, int32_t v) {
        KVLPutU32(&b[at], static_cast<uint32_t>(v));
        return b;
    };
    const struct {
        const char* what;
        Bytes bytes;
        const char* request;
        bool opens;
    } cases[] = {
        {"short header", Bytes(good.begin(), good.begin() + 8), "first", false},
        {"wrong magic", [&] { Bytes b = good; b[0] = 'X'; return b; }(), "first", false},
        // The scan stops at the first match, so entries before the damage still open.
        {"truncated directory, entry before the cut", Bytes(good.begin(), good.end() - 10), "first", true},
        {"truncated directory, entry cut", Bytes(good.begin(), good.end() - 10), "second", false},
        {"directory offset past the end", patch32(good, 8, 1 << 30), "first", false},
        {"negative directory offset", patch32(good, 8, -28), "first", false},
        {"entry count past the end", [&] { Bytes b = good; KVLPutU16(&b[6], 65535); return b; }(), "nothing", false},
        {"member past the end", patch32(good, static_cast<size_t>(dir) + 20, 1 << 20), "first", false},
        {"member offset past the end", patch32(good, static_cast<size_t>(dir) + 16, 1 << 30), "first", false},
        {"negative member offset", patch32(good, static_cast<size_t>(dir) + 16, -5), "first", false},
        {"negative member size", patch32(good, static_cast<size_t>(dir) + 20, -1), "first", false},
        {"member offset plus size overflowing",
         patch32(patch32(good, static_cast<size_t>(dir) + 16, 0x7FFFFFF0), static_cast<size_t>(dir) + 20, 0x7FFFFFF0),
         "first", false},
        {"intact", good, "first", true},
    };
    for (const auto& c : cases) {
        KVLMemoryStream archive(c.bytes.data(), c.bytes.size());
        KVLPAKStream member(archive, KVLString(c.request));
        EXPECT_EQ(member.OpenRead(), c.opens) << c.what;
        if (member.IsOpen()) {
            Bytes out(200);
            EXPECT_EQ(member.Read(out.data(), 200), 100) << c.what;
        }
        // Writing a new member into an archive whose directory cannot be read whole is
        // refused and leaves the bytes as they were.
        if (std::string(c.what).find("intact") == std::string::npos &&
            std::string(c.what).find("member") == std::string::npos) {
            KVLPAKStream writer(archive, KVLString("third"));
            EXPECT_FALSE(writer.OpenWrite()) << c.what;
            EXPECT_EQ(archive.GetBytes(), c.bytes) << c.what;
        }
    }
}

TEST(PAK, HandBuiltArchiveWithDirectoryBeforeData) {
    // Offsets are absolute, so the directory may stand anywhere.
    Bytes bytes(12, 0);
    const Bytes data = PatternBytes(64, 3);
    KVLPAKEntry e{};
    std::memcpy(e.name, "x", 1);
    e.offset = 12 + 28;
    e.size = 64;
    uint8_t raw[28];
    KVLPAKEncodeEntry(e, raw);
    bytes.insert(bytes.end(), raw, raw + 28);
    bytes.insert(bytes.end(), data.begin(), data.end());
    KVLPAKHeader h;
    h.count = 1;
    h.directoryOffset = 12;
    KVLPAKEncodeHeader(h, bytes.data());
    KVLMemoryStream archive(bytes.data(), bytes.size());
    EXPECT_EQ(ReadMember(archive, "x"), data);
}

TEST(PAK, MemberSeeksAreNotClampedButReadsAre) {
    const Bytes a = PatternBytes(100, 1), b = PatternBytes(100, 2);
    const Bytes bytes = BuildArchive({{"a", a}, {"b", b}});
    KVLMemoryStream archive(bytes.data(), bytes.size());
    KVLPAKStream s(archive, KVLString("a"));
    ASSERT_TRUE(s.OpenRead());
    EXPECT_TRUE(s.SeekAbsolute(150));  // inside member b
    EXPECT_EQ(s.Tell(), 150);
    uint8_t out[10];
    EXPECT_EQ(s.Read(out, 10), 0);
    EXPECT_TRUE(s.SeekFromEnd(0));
    EXPECT_EQ(s.Read(out, 10), 0);
    EXPECT_EQ(s.Tell(), s.GetLength());
    EXPECT_TRUE(s.SeekFromEnd(5));
    EXPECT_EQ(s.Read(out, 10), 5);
}

TEST(PAK, WritingNeverTouchesEarlierMembers) {
    KVLMemoryStream archive;
    WriteMember(archive, "a", PatternBytes(100, 1));
    WriteMember(archive, "b", PatternBytes(10, 2));
    KVLPAKStream last(archive, KVLString("b"));
    ASSERT_TRUE(last.OpenReadWrite());
    EXPECT_TRUE(last.SeekRelative(-50));  // now inside member a
    const uint8_t junk[4] = {0, 0, 0, 0};
    EXPECT_EQ(last.Write(junk, 4), 0);
    ASSERT_TRUE(last.Close());
    EXPECT_EQ(ReadMember(archive, "a"), PatternBytes(100, 1));
}
