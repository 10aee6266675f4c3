// The resource catalogue: id lookup in the member table, lazy archive stream and the
// per-id member cache.
#include "app/demo_resources.h"

#include <memory>

#include "app/demo_archive_members.h"
#include "core/kvl_array.h"
#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"

namespace {

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
    for (const DemoArchiveMember& member : kDemoArchiveMembers) {
        if (member.id == id) {
            return member.name;
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
