// The kvl pak commands, run as a program.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "support/test_support.h"

using testsupport::BinPath;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Kvl(const std::string& args) { return "'" + BinPath("kvl") + "' " + args; }

int RunKvl(const std::string& args, std::string* out = nullptr) { return testsupport::Run(Kvl(args) + " 2>/dev/null", out); }

std::string RunStderr(const std::string& args, int* status) {
    std::string err;
    *status = testsupport::Run(Kvl(args) + " 2>&1 >/dev/null", &err);
    return err;
}

}  // namespace

TEST(KvlPak, CreateListExtractRoundTrip) {
    TempDir dir;
    const std::string src = dir.file("src");
    std::filesystem::create_directories(src + "/tex");
    std::filesystem::create_directories(src + "/md2/ddz");
    WriteFile(src + "/tex/cl.jpg", PatternBytes(70000, 1));
    WriteFile(src + "/md2/ddz/m.md2", PatternBytes(1234, 2));
    WriteFile(src + "/a.txt", std::string("hello"));
    ASSERT_EQ(RunKvl("pak create '" + dir.file("out.pak") + "' '" + src + "'"), 0);

    std::string listing;
    ASSERT_EQ(RunKvl("pak list '" + dir.file("out.pak") + "'", &listing), 0);
    EXPECT_EQ(listing,
              "a.txt\t12\t5\n"
              "md2\\ddz\\m.md2\t17\t1234\n"
              "tex\\cl.jpg\t1251\t70000\n");

    const std::string here = dir.file("x");
    std::filesystem::create_directories(here);
    ASSERT_EQ(testsupport::Run("cd '" + here + "' && " + Kvl("pak extract '" + dir.file("out.pak") + "' 'tex\\cl.jpg'")), 0);
    EXPECT_EQ(ReadFile(here + "/cl.jpg"), PatternBytes(70000, 1));
    ASSERT_EQ(RunKvl("pak extract '" + dir.file("out.pak") + "' 'md2\\ddz\\m.md2' '" + dir.file("m.bin") + "'"), 0);
    EXPECT_EQ(ReadFile(dir.file("m.bin")), PatternBytes(1234, 2));

    // The engine reads what the tool wrote.
    KVLFileStream file(KVLString(dir.file("out.pak").c_str()));
    KVLPAKStream member(file, KVLString("a.txt"));
    ASSERT_TRUE(member.OpenRead());
    char text[8] = {};
    EXPECT_EQ(member.Read(text, 8), 5);
    EXPECT_STREQ(text, "hello");
}

TEST(KvlPak, AddCreatesAppendsAndRefusesEarlierMembers) {
    TempDir dir;
    const std::string pak = dir.file("a.pak");
    WriteFile(dir.file("one"), PatternBytes(100, 1));
    WriteFile(dir.file("two"), PatternBytes(200, 2));
    ASSERT_EQ(RunKvl("add-missing"), 2);
    ASSERT_EQ(RunKvl("pak add '" + pak + "' first '" + dir.file("one") + "'"), 0);
    ASSERT_EQ(RunKvl("pak add '" + pak + "' second '" + dir.file("two") + "'"), 0);
    // Rewriting the last member works; an earlier one is refused with a reason.
    ASSERT_EQ(RunKvl("pak add '" + pak + "' second '" + dir.file("one") + "'"), 0);
    const auto before = ReadFile(pak);
    int status = 0;
    const std::string err = RunStderr("pak add '" + pak + "' first '" + dir.file("two") + "'", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("not the last member"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(pak), before);
    std::string listing;
    ASSERT_EQ(RunKvl("pak list '" + pak + "'", &listing), 0);
    EXPECT_EQ(listing, "first\t12\t100\nsecond\t112\t100\n");
}

TEST(KvlPak, WorksOnArchivesAttachedToExecutables) {
    TempDir dir;
    std::vector<uint8_t> exe = {'M', 'Z'};
    const auto body = PatternBytes(777, 3);
    exe.insert(exe.end(), body.begin(), body.end());
    WriteFile(dir.file("prog.exe"), exe);
    WriteFile(dir.file("data"), PatternBytes(50, 4));
    std::string listing;
    ASSERT_EQ(RunKvl("pak list '" + dir.file("prog.exe") + "'", &listing), 0);
    EXPECT_EQ(listing, "");
    ASSERT_EQ(RunKvl("pak add '" + dir.file("prog.exe") + "' 'snd\\qv.mp3' '" + dir.file("data") + "'"), 0);
    ASSERT_EQ(RunKvl("pak list '" + dir.file("prog.exe") + "'", &listing), 0);
    EXPECT_EQ(listing, "snd\\qv.mp3\t779\t50\n");
    ASSERT_EQ(RunKvl("pak extract '" + dir.file("prog.exe") + "' 'snd\\qv.mp3' '" + dir.file("back") + "'"), 0);
    EXPECT_EQ(ReadFile(dir.file("back")), PatternBytes(50, 4));
}

TEST(KvlPak, FailuresAndUsage) {
    TempDir dir;
    const std::string src = dir.file("src");
    std::filesystem::create_directories(src + "/textures");
    WriteFile(src + "/textures/long_name.jpg", std::string("x"));
    WriteFile(dir.file("junk.pak"), std::string("not an archive at all"));
    const struct {
        std::string args;
        int status;
        const char* message;  // expected in standard error
    } cases[] = {
        {"pak create '" + dir.file("o.pak") + "' '" + src + "'", 1, "textures\\long_name.jpg"},
        {"pak list '" + dir.file("missing.pak") + "'", 1, "Unable to open file"},
        {"pak list '" + dir.file("junk.pak") + "'", 1, "Not a PAK archive"},
        {"pak extract '" + dir.file("junk.pak") + "' x", 1, "Not a PAK archive"},
        {"pak add '" + dir.file("a.pak") + "' seventeen_chars_x '" + dir.file("junk.pak") + "'", 1, "16"},
        {"pak add '" + dir.file("a.pak") + "' name '" + dir.file("nofile") + "'", 1, "nofile"},
        {"pak list", 2, "usage"},
        {"pak frobnicate", 2, "unknown pak subcommand"},
        {"pak", 2, "usage"},
        {"nosuchcommand", 2, "unknown command"},
    };
    for (const auto& c : cases) {
        int status = 0;
        const std::string err = RunStderr(c.args, &status);
        EXPECT_EQ(status, c.status) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << "\n" << err;
    }
    EXPECT_FALSE(testsupport::FileExists(dir.file("o.pak")));
    EXPECT_FALSE(testsupport::FileExists(dir.file("o.pak.part")));

    std::string help;
    EXPECT_EQ(testsupport::Run(Kvl("--help"), &help), 0);
    EXPECT_NE(help.find("pak"), std::string::npos);
    EXPECT_EQ(testsupport::Run(Kvl("pak --help"), &help), 0);
    EXPECT_NE(help.find("kvl pak extract"), std::string::npos);
}

TEST(KvlPak, ExtractReportsMissingMember) {
    TempDir dir;
    WriteFile(dir.file("d"), std::string("abc"));
    ASSERT_EQ(RunKvl("pak add '" + dir.file("a.pak") + "' present '" + dir.file("d") + "'"), 0);
    int status = 0;
    const std::string err = RunStderr("pak extract '" + dir.file("a.pak") + "' absent", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("no member named 'absent'"), std::string::npos) << err;
}

// Member names come from the archive: whatever they hold, extracting without an output
// name writes only the name's last plain part, into the current folder.
TEST(KvlPak, ExtractStaysInTheCurrentFolder) {
    TempDir dir;
    const std::string pak = dir.file("a.pak");
    const std::string work = dir.file("one/two");
    std::filesystem::create_directories(work);
    const struct {
        const char* member;
        const char* written;  // in the current folder; null: refused
    } cases[] = {
        {"..\\..\\up1", "up1"}, {"../../up2", "up2"}, {"x/..\\../up3", "up3"}, {"/tmp/kvl_abs_up4", "kvl_abs_up4"},
        {"C:up5", "up5"},       {"..", nullptr},     {"up\\", nullptr},       {"up/..", nullptr},
    };
    for (const auto& c : cases) {
        WriteFile(dir.file("data"), std::string(c.member));
        ASSERT_EQ(RunKvl("pak add '" + pak + "' '" + c.member + "' '" + dir.file("data") + "'"), 0) << c.member;
    }
    for (const auto& c : cases) {
        std::string out;
        const std::string extract = Kvl("pak extract '" + pak + "' '" + c.member + "'");
        const int status = testsupport::Run("cd '" + work + "' && " + extract + " 2>&1", &out);
        if (c.written != nullptr) {
            EXPECT_EQ(status, 0) << c.member << ": " << out;
            const std::vector<uint8_t> content(c.member, c.member + std::strlen(c.member));
            EXPECT_EQ(ReadFile(work + "/" + c.written), content) << c.member;
        } else {
            EXPECT_EQ(status, 1) << c.member;
            EXPECT_NE(out.find(pak + ": member name"), std::string::npos) << c.member << ": " << out;
        }
    }
    // Nothing landed anywhere else.
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file() && entry.path().parent_path() != std::filesystem::path(work)) {
            ++files;
        }
    }
    EXPECT_EQ(files, 2u);  // the archive and the data file
    EXPECT_FALSE(testsupport::FileExists("/tmp/kvl_abs_up4"));
    std::filesystem::remove("/tmp/kvl_abs_up4");
}
