// The resource catalogue: id table, lazy archive stream and the per-id member cache.
#include "app/demo_resources.h"

#include <memory>

#include "core/kvl_array.h"
#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"

namespace {

struct ResourceName {
    uint32_t id;
    const char* member;
};

// Member names use backslashes, as stored in the archive.
constexpr ResourceName kResources[] = {
    {0, "tex\\cl.jpg"},       {1, "tex\\f.jpg"},          {2, "md2\\ddz\\m.md2"},   {3, "md2\\ddz\\ddz.pcx"},
    {4, "md2\\ld\\m.md2"},    {5, "md2\\ld\\l1.pcx"},     {6, "md2\\ld\\l2.pcx"},   {7, "md2\\ld\\l3.pcx"},
    {8, "md2\\neko\\m.md2"},  {9, "md2\\neko\\g.pcx"},    {10, "md2\\tw\\m.md2"},   {11, "md2\\tw\\s1.pcx"},
    {12, "md2\\tw\\s2.pcx"},  {13, "md2\\tw\\s3.pcx"},    {20, "tex\\w1.jpg"},      {21, "tex\\w2.jpg"},
    {22, "tex\\w3.jpg"},      {23, "tex\\w4.jpg"},        {24, "tex\\ce.jpg"},      {30, "tex\\prt.jpg"},
    {50, "anm\\qv.mlz"},      {100, "snd\\qv.mp3"},       {200, "anm\\porn.mlz"},   {300, "tex\\end.jpg"},
};

constexpr int32_t kArchiveBufferSize = 65536;

struct Catalogue {
    KVLString path{"quorvel.pak"};
    std::unique_ptr<KVLStream> archive;
    KVLArray<uint32_t> ids;
    KVLArray<KVLPAKStream*> streams;

    void Release() {
        for (int32_t i = 0; i < streams.GetCount(); ++i) {
            delete streams[i];
        }
        streams.FreeAll();
        ids.FreeAll();
        archive.reset();
    }
    ~Catalogue() { Release(); }
};

Catalogue& TheCatalogue() {
    static Catalogue catalogue;
    return catalogue;
}

}  // namespace

const char* GetDemoResourceName(uint32_t id) {
    for (const ResourceName& r : kResources) {
        if (r.id == id) {
            return r.member;
        }
    }
    return "";
}

KVLStream* GetDemoResource(uint32_t id) {
    Catalogue& c = TheCatalogue();
    if (!c.archive) {
        // The buffered stream works on its own clone of the file stream, which goes
        // away at once; nothing is opened yet.
        KVLFileStream file(c.path);
        c.archive = std::make_unique<KVLBufferedStream>(file, kArchiveBufferSize);
    }
    for (int32_t i = 0; i < c.ids.GetCount(); ++i) {
        if (c.ids[i] == id) {
            return c.streams[i];
        }
    }
    auto* stream = new KVLPAKStream(*c.archive, KVLString(GetDemoResourceName(id)));
    c.ids.Add(id);
    c.streams.Add(stream);
    return stream;
}

void SetDemoArchivePath(const KVLString& path) {
    Catalogue& c = TheCatalogue();
    c.Release();
    c.path = path;
}

const KVLString& GetDemoArchivePath() { return TheCatalogue().path; }

void ReleaseDemoResources() { TheCatalogue().Release(); }

int32_t GetDemoResourceCount() { return TheCatalogue().ids.GetCount(); }

bool IsDemoArchiveCreated() { return TheCatalogue().archive != nullptr; }
