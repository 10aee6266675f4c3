// Reads every member of a 50 MB archive through KVLPAKStream (over a 64 KiB buffered
// file stream, as the demo opens its archive) and, as the peer, the same byte ranges
// with plain fopen/fseek/fread. Both in chunks of 64 KiB and of 16 bytes (the way
// loaders read headers). Prints the best of five runs of each and the ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"

namespace {

using Clock = std::chrono::steady_clock;

uint64_t ReadEngine(const KVLStream& archive, const KVLArray<KVLPAKEntry>& entries, int32_t chunk,
                    std::vector<uint8_t>& buffer) {
    uint64_t sum = 0;
    for (const KVLPAKEntry& e : entries) {
        KVLPAKStream member(archive, e.GetName());
        if (!member.OpenRead()) {
            std::fprintf(stderr, "cannot open member\n");
            std::exit(1);
        }
        for (int32_t got; (got = member.Read(buffer.data(), chunk)) > 0;) {
            sum += buffer[static_cast<size_t>(got - 1)];
        }
        member.Close();
    }
    return sum;
}

uint64_t ReadPlain(const std::string& path, const KVLArray<KVLPAKEntry>& entries, int32_t chunk,
                   std::vector<uint8_t>& buffer) {
    uint64_t sum = 0;
    for (const KVLPAKEntry& e : entries) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr || std::fseek(f, e.offset, SEEK_SET) != 0) {
            std::fprintf(stderr, "cannot open archive\n");
            std::exit(1);
        }
        int32_t left = e.size;
        while (left > 0) {
            const size_t want = static_cast<size_t>(left < chunk ? left : chunk);
            const size_t got = std::fread(buffer.data(), 1, want, f);
            if (got == 0) break;
            sum += buffer[got - 1];
            left -= static_cast<int32_t>(got);
        }
        std::fclose(f);
    }
    return sum;
}

template <class F>
double BestSeconds(F&& f, uint64_t& checksum) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        checksum = f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main() {
    const std::string path = (std::filesystem::temp_directory_path() / "zarnoth-bench-50mb.pak").string();
    KVLFileStream file(KVLString(path.c_str()));
    std::remove(path.c_str());
    // 50 members of 1 MiB of varied bytes.
    std::vector<uint8_t> data(1 << 20);
    uint32_t x = 12345;
    for (int m = 0; m < 50; ++m) {
        for (auto& b : data) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
        char name[17];
        std::snprintf(name, sizeof name, "bench\\m%02d.bin", m);
        KVLPAKStream member(file, KVLString(name));
        if (!member.OpenWrite() || member.Write(data.data(), static_cast<int32_t>(data.size())) !=
                                       static_cast<int32_t>(data.size()) ||
            !member.Close()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    KVLBufferedStream archive(file, 65536);
    KVLArray<KVLPAKEntry> entries;
    if (!KVLPAKReadDirectory(archive, entries, nullptr)) {
        std::fprintf(stderr, "cannot read the directory\n");
        return 1;
    }
    std::vector<uint8_t> buffer(65536);
    std::printf("archive: %d members, %.1f MB\n", entries.GetCount(),
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    for (int32_t chunk : {65536, 16}) {
        uint64_t a = 0, b = 0;
        const double engine = BestSeconds([&] { return ReadEngine(archive, entries, chunk, buffer); }, a);
        const double plain = BestSeconds([&] { return ReadPlain(path, entries, chunk, buffer); }, b);
        if (a != b) {
            std::fprintf(stderr, "checksums differ\n");
            return 1;
        }
        std::printf("chunk %6d bytes: KVLPAKStream %.4f s, fread %.4f s, ratio %.2f (%.0f MB/s vs %.0f MB/s)\n",
                    chunk, engine, plain, engine / plain, 52.4288 / engine, 52.4288 / plain);
    }
    std::remove(path.c_str());
    return 0;
}
