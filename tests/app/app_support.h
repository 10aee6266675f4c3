// Helpers of the demo tests: small archives with pictures made by ImageMagick, and
// the catalogue pointed at an archive for one test.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_resources.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "sound/kvl_soundsource_mp3.h"
#include "support/test_support.h"

#include <cstdlib>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace apptest {

// A picture of ImageMagick's making: 'spec' is what convert draws (e.g. "xc:red"),
// 'file' the output name, whose extension picks the format.
inline std::vector<uint8_t> MakePicture(const testsupport::TempDir& dir, const std::string& spec,
                                        const std::string& file, const std::string& size = "16x8") {
    const std::string path = dir.file(file);
    EXPECT_EQ(testsupport::Run("convert-im6.q16 -size " + size + " " + spec + " '" + path + "'"), 0) << file;
    return testsupport::ReadFile(path);
}

// Writes an archive with the given members.
inline void WriteArchive(const std::string& path,
                         const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members) {
    KVLFileStream file(KVLString(path.c_str()));
    for (const auto& [name, data] : members) {
        KVLPAKStream member(file, KVLString(name.c_str()));
        ASSERT_TRUE(member.OpenWrite()) << name;
        if (!data.empty()) {
            ASSERT_EQ(member.Write(data.data(), static_cast<int32_t>(data.size())), static_cast<int32_t>(data.size()));
        }
        ASSERT_TRUE(member.Close());
    }
}

// Points the catalogue at an archive for the life of the object.
class CatalogueAt {
public:
    explicit CatalogueAt(const std::string& path) { SetDemoArchivePath(KVLString(path.c_str())); }
    ~CatalogueAt() { SetDemoArchivePath(KVLString("quorvel.pak")); }
    CatalogueAt(const CatalogueAt&) = delete;
    CatalogueAt& operator=(const CatalogueAt&) = delete;
};

// Renames the directory entry of one member, so that the archive no longer holds it.
inline void HideMember(const std::string& archive, const char* name) {
    std::vector<uint8_t> bytes = testsupport::ReadFile(archive);
    const size_t n = std::strlen(name);
    bool found = false;
    for (size_t i = bytes.size() - n; i-- > 12;) {
        if (std::memcmp(&bytes[i], name, n) == 0) {
            bytes[i + n - 5] = 'X';
            found = true;
            break;
        }
    }
    ASSERT_TRUE(found) << name;
    testsupport::WriteFile(archive, bytes);
}

inline std::string GeneratedArchive() { return testsupport::BinPath("quorvel.pak"); }

// The soundtrack of the generated archive as the demo's decoder produces it:
// interleaved 16-bit stereo. Empty when it does not open.
inline std::vector<int16_t> DecodeSoundtrack() {
    KVLFileStream file(KVLString(GeneratedArchive().c_str()));
    KVLPAKStream member(file, KVLString("snd\\qv.mp3"));
    KVLSoundSourceMP3 source(member);
    std::vector<int16_t> pcm;
    if (!source.Open(nullptr)) {
        return pcm;
    }
    while (const void* block = source.NextBlock()) {
        const int16_t* samples = static_cast<const int16_t*>(block);
        pcm.insert(pcm.end(), samples, samples + source.GetBlockFrames() * 2);
    }
    return pcm;
}

#ifndef _WIN32
// Starts the program exe in a child process on the given X display, with SDL's disk
// audio driver writing to audioFile. Returns the child's pid (-1 when fork failed).
inline pid_t StartProgram(const std::string& exe, const std::string& display, const std::string& audioFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", audioFile.c_str(), 1);
        // Sanitizer builds: libdbus (opened by SDL's X11 driver) and Mesa's driver keep
        // blocks no one frees; the program's own memory is checked in process.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}
#endif

}  // namespace apptest
