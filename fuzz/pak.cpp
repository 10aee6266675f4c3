// Fuzz target: opens the input as a PAK archive, lists its directory and reads every
// member it names (plus a fixed name), seeking around inside each.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_memorystream.h"
#include "core/kvl_pakstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KVLMemoryStream memory(data, size);
    KVLBufferedStream archive(memory, 64);
    KVLArray<KVLPAKEntry> entries;
    KVLString error;
    KVLPAKReadDirectory(archive, entries, &error);
    std::vector<KVLString> names;
    for (int32_t i = 0; i < entries.GetCount() && i < 64; ++i) {
        names.push_back(entries[i].GetName());
    }
    names.emplace_back("tex\\cl.jpg");
    std::vector<uint8_t> buffer(256);
    for (const KVLString& name : names) {
        KVLPAKStream member(archive, name);
        if (!member.OpenRead()) {
            continue;
        }
        const int32_t length = member.GetLength();
        int32_t total = 0;
        for (int32_t got; (got = member.Read(buffer.data(), 97)) > 0;) {
            total += got;
        }
        if (total != length) {
            __builtin_trap();  // a member that opens reads exactly its length
        }
        member.SeekAbsolute(length / 2);
        member.Read(buffer.data(), 256);
        member.SeekFromEnd(-100);
        member.Read(buffer.data(), 256);
        member.SeekRelative(-1000);
        member.Read(buffer.data(), 256);
        KVLString line;
        member.SeekAbsolute(0);
        member.ReadLine(line);
    }
    return 0;
}
