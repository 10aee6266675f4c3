// KVLString and KVLSplitExtension.
#include <gtest/gtest.h>

#include <string>

#include "core/kvl_string.h"

TEST(KVLString, EmptyStringHasTerminatorAndNoCharacters) {
    KVLString s;
    ASSERT_NE(s.c_str(), nullptr);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.ReverseFind('.'), -1);
    EXPECT_EQ(s.ReverseFind('a'), -1);
    EXPECT_EQ(s.GetLength(), 0);
}

TEST(KVLString, ReverseFindFindsLastOccurrence) {
    const struct {
        const char* text;
        char c;
        int expected;
    } cases[] = {
        {"tex\\cl.jpg", '.', 6}, {"a.b.c", '.', 3}, {"abc", '.', -1}, {".", '.', 0}, {"abc", '\0', -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KVLString(c.text).ReverseFind(c.c), c.expected) << c.text;
    }
}

TEST(KVLString, KVLSplitExtension) {
    const struct {
        const char* path;
        const char* base;
        const char* ext;
    } cases[] = {
        {"tex\\cl.jpg", "tex\\cl", "jpg"},
        {"noextension", "noextension", ""},
        {"dir.d\\file", "dir", "d\\file"},  // the last dot anywhere counts
        {"trailing.", "trailing", ""},
        {".hidden", "", "hidden"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        KVLString base("stale"), ext("stale");
        KVLSplitExtension(KVLString(c.path), &base, &ext);
        EXPECT_STREQ(base.c_str(), c.base) << c.path;
        EXPECT_STREQ(ext.c_str(), c.ext) << c.path;
    }
    KVLString only;
    KVLSplitExtension(KVLString("a.b"), nullptr, &only);
    EXPECT_STREQ(only.c_str(), "b");
    // Output aliasing the input.
    KVLString path("model.md2");
    KVLSplitExtension(path, nullptr, &path);
    EXPECT_STREQ(path.c_str(), "md2");
}

TEST(KVLString, ComparisonsAndCaseFolding) {
    EXPECT_TRUE(KVLString("pcx").EqualsNoCase(KVLString("PCX")));
    EXPECT_FALSE(KVLString("pcx") == KVLString("PCX"));
    EXPECT_FALSE(KVLString("pcx") == "PCX");
    EXPECT_TRUE(KVLString("pcx") == "pcx");
    EXPECT_FALSE(KVLString("pcx").EqualsNoCase(KVLString("pcxx")));
    EXPECT_FALSE(KVLString("[").EqualsNoCase(KVLString("{")));  // only letters fold
    EXPECT_TRUE(KVLString("").EqualsNoCase(KVLString("")));
}

TEST(KVLString, FixedWidthConstruction) {
    const char field[8] = {'a', 'b', 0, 'z', 'z', 'z', 'z', 'z'};
    KVLString early(field, 8);
    EXPECT_STREQ(early.c_str(), "ab");
    const char full[4] = {'w', 'x', 'y', 'z'};  // no terminator in the field
    EXPECT_STREQ(KVLString(full, 4).c_str(), "wxyz");
    EXPECT_STREQ(KVLString(full, 2).c_str(), "wx");
    EXPECT_STREQ(KVLString(full, 0).c_str(), "");
}

TEST(KVLString, MidLeftRemoveLeft) {
    KVLString s("abcdef");
    EXPECT_STREQ(s.Mid(2, 3).c_str(), "cde");
    EXPECT_STREQ(s.Mid(4, 10).c_str(), "ef");  // fewer than n remain
    EXPECT_STREQ(s.Mid(6, 2).c_str(), "");
    EXPECT_STREQ(s.Mid(100, 2).c_str(), "");
    EXPECT_STREQ(s.Left(3).c_str(), "abc");
    EXPECT_STREQ(s.Left(0).c_str(), "");
    s.RemoveLeft(2);
    EXPECT_STREQ(s.c_str(), "cdef");
    s.RemoveLeft(10);
    EXPECT_STREQ(s.c_str(), "");
}

TEST(KVLString, ToIntFollowsAtoiRules) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"42", 42},   {"  -17x", -17}, {"+8", 8},   {"abc", 0},          {"", 0},
        {"\t12 3", 12}, {"007", 7},    {"-0", 0},   {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KVLString(c.text).ToInt(), c.value) << c.text;
    }
}

TEST(KVLString, CopyAssignAndSelfAssign) {
    KVLString a("first");
    KVLString b(a);
    EXPECT_NE(a.c_str(), b.c_str());
    EXPECT_TRUE(a == b);
    KVLString& alias = a;
    a = alias;
    EXPECT_STREQ(a.c_str(), "first");
    b = "second";
    EXPECT_STREQ(b.c_str(), "second");
    EXPECT_STREQ(a.c_str(), "first");
    b = b.c_str() + 3;  // assignment from the string's own text
    EXPECT_STREQ(b.c_str(), "ond");
    KVLString moved(std::move(b));
    EXPECT_STREQ(moved.c_str(), "ond");
    EXPECT_STREQ(b.c_str(), "");  // NOLINT(bugprone-use-after-move): moved-from strings stay valid
    a.Clear();
    EXPECT_STREQ(a.c_str(), "");
}

TEST(KVLString, FormatReplacesTextAndCountsTerminator) {
    KVLString s("a much longer text than the result");
    const int n = s.Format("PCX picture - %dx%dx%d", 256, 128, 8);
    EXPECT_STREQ(s.c_str(), "PCX picture - 256x128x8");
    EXPECT_EQ(n, s.GetLength() + 1);
    s.Format("%s", "");
    EXPECT_STREQ(s.c_str(), "");
}

TEST(KVLString, FormatKeepsTextsBeyondTheScratchBuffer) {
    for (int length : {4094, 4095, 4096, 4097, 20000}) {
        const std::string text(static_cast<size_t>(length), 'q');
        KVLString s;
        const int n = s.Format("<%s>", text.c_str());
        EXPECT_EQ(n, length + 3);
        EXPECT_EQ(s.GetLength(), length + 2);
        EXPECT_EQ(std::string(s.c_str()), "<" + text + ">");
    }
}

TEST(KVLString, FormatWithItsOwnTextAsArgument) {
    KVLString s(std::string(5000, 'z').c_str());
    s.Format("%s!", s.c_str());
    EXPECT_EQ(s.GetLength(), 5001);
    KVLString t("short");
    t.Format("[%s]", t.c_str());
    EXPECT_STREQ(t.c_str(), "[short]");
}
