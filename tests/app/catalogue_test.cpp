// The resource catalogue: the id table, lazy creation, caching and unknown ids.
#include <cstring>

#include <gtest/gtest.h>

#include "app/demo_archive_members.h"
#include "app/demo_resources.h"
#include "app_support.h"
#include "core/kvl_pakstream.h"

namespace {

using testsupport::TempDir;

TEST(Catalogue, MemberNamesByIdAndUnknownIdsEmpty) {
    for (const DemoArchiveMember& member : kDemoArchiveMembers) {
        EXPECT_STREQ(GetDemoResourceName(member.id), member.name) << member.id;
    }
    // Gaps between the ids and ids past the end.
    for (uint32_t id : {14u, 19u, 25u, 301u, 0xFFFFFFFFu}) {
        EXPECT_STREQ(GetDemoResourceName(id), "") << id;
    }
}

TEST(Catalogue, LazyArchiveSameStreamPerIdUnknownIdCached) {
    TempDir dir;
    apptest::WriteArchive(dir.file("q.pak"), {{"tex\\prt.jpg", {1, 2, 3}}, {"snd\\qv.mp3", {4, 5}}});
    apptest::CatalogueAt at(dir.file("q.pak"));
    EXPECT_FALSE(IsDemoArchiveCreated());
    EXPECT_EQ(GetDemoResourceCount(), 0);

    KVLStream* prt = GetDemoResource(30);
    EXPECT_TRUE(IsDemoArchiveCreated());
    EXPECT_EQ(GetDemoResourceCount(), 1);
    EXPECT_FALSE(prt->IsOpen()) << "handed out unopened";
    EXPECT_EQ(GetDemoResource(30), prt);
    EXPECT_EQ(GetDemoResourceCount(), 1);

    KVLStream* mp3 = GetDemoResource(100);
    EXPECT_NE(mp3, prt);
    ASSERT_TRUE(mp3->OpenRead());
    uint8_t b[4] = {};
    EXPECT_EQ(mp3->Read(b, 4), 2);
    EXPECT_EQ(b[0], 4);
    mp3->Close();

    // Unknown id: an empty-named member, cached like any other, which does not open.
    KVLStream* unknown = GetDemoResource(77);
    EXPECT_EQ(GetDemoResource(77), unknown);
    EXPECT_EQ(GetDemoResourceCount(), 3);
    auto* member = dynamic_cast<KVLPAKStream*>(unknown);
    ASSERT_NE(member, nullptr);
    EXPECT_STREQ(member->GetMemberName().c_str(), "");
    EXPECT_FALSE(unknown->OpenRead());

    // Clones read independently; the catalogue's own stream stays closed.
    auto clone = prt->Clone();
    ASSERT_TRUE(clone->OpenRead());
    EXPECT_EQ(clone->Read(b, 4), 3);
    EXPECT_FALSE(prt->IsOpen());
}

TEST(Catalogue, MissingArchiveOrMemberShowsOnlyWhenOpened) {
    TempDir dir;
    apptest::CatalogueAt at(dir.file("absent.pak"));
    KVLStream* s = GetDemoResource(300);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->OpenRead());

    apptest::WriteArchive(dir.file("q.pak"), {{"tex\\prt.jpg", {1}}});
    SetDemoArchivePath(KVLString(dir.file("q.pak").c_str()));
    EXPECT_FALSE(GetDemoResource(300)->OpenRead()) << "member absent";
    EXPECT_TRUE(GetDemoResource(30)->OpenRead());
    GetDemoResource(30)->Close();
}

}  // namespace
