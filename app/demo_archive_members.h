// The members of the demo's data archive "quorvel.pak" with the resource ids the demo
// asks for them by. This is the one list: the demo's resource catalogue looks names
// up in it, the archive generator (assets/) writes the members in its order, and the
// tests compare the archive with it.
//
// Header only, depending on nothing but the core PAK constants, because the generator
// includes it without linking the demo's units; nothing else in app/ may be included
// from here.
//
// Entries are in ascending id order (the generator's write order). Names use
// backslashes, as stored in the archive, differ from each other and fit a PAK directory
// entry; these rules are checked at compile time below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "core/kvl_pakstream.h"

struct DemoArchiveMember {
    uint32_t id;
    const char* name;
};

inline constexpr DemoArchiveMember kDemoArchiveMembers[] = {
    {0, "tex\\cl.jpg"},       {1, "tex\\f.jpg"},          {2, "md2\\ddz\\m.md2"},   {3, "md2\\ddz\\ddz.pcx"},
    {4, "md2\\ld\\m.md2"},    {5, "md2\\ld\\l1.pcx"},     {6, "md2\\ld\\l2.pcx"},   {7, "md2\\ld\\l3.pcx"},
    {8, "md2\\neko\\m.md2"},  {9, "md2\\neko\\g.pcx"},    {10, "md2\\tw\\m.md2"},   {11, "md2\\tw\\s1.pcx"},
    {12, "md2\\tw\\s2.pcx"},  {13, "md2\\tw\\s3.pcx"},    {20, "tex\\w1.jpg"},      {21, "tex\\w2.jpg"},
    {22, "tex\\w3.jpg"},      {23, "tex\\w4.jpg"},        {24, "tex\\ce.jpg"},      {30, "tex\\prt.jpg"},
    {50, "anm\\qv.mlz"},      {100, "snd\\qv.mp3"},       {200, "anm\\porn.mlz"},   {300, "tex\\end.jpg"},
};

inline constexpr size_t kDemoArchiveMemberCount = std::size(kDemoArchiveMembers);

namespace demo_archive_detail {

constexpr bool IdsAscend() {
    for (size_t i = 1; i < kDemoArchiveMemberCount; ++i) {
        if (kDemoArchiveMembers[i].id <= kDemoArchiveMembers[i - 1].id) {
            return false;
        }
    }
    return true;
}

constexpr bool NamesFit() {
    for (const DemoArchiveMember& member : kDemoArchiveMembers) {
        const size_t length = std::string_view(member.name).size();
        if (length == 0 || length > static_cast<size_t>(kKVLPAKNameSize)) {
            return false;
        }
    }
    return true;
}

constexpr bool NamesDistinct() {
    for (size_t i = 0; i < kDemoArchiveMemberCount; ++i) {
        for (size_t j = i + 1; j < kDemoArchiveMemberCount; ++j) {
            if (std::string_view(kDemoArchiveMembers[i].name) == kDemoArchiveMembers[j].name) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace demo_archive_detail

static_assert(demo_archive_detail::IdsAscend(), "archive member ids must ascend");
static_assert(demo_archive_detail::NamesFit(), "archive member names must fit a PAK directory entry");
static_assert(demo_archive_detail::NamesDistinct(), "archive member names must differ");
