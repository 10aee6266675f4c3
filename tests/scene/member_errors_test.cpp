// A wrong archive member name, or a missing file, given to each loader: the failure
// text names what was asked for and where it was looked for, and a name that differs
// from a member's only in letter case or slashes is pointed at.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "image/kvl_image.h"
#include "scene/readers/zrn_meshreader.h"
#include "scene/zrn_modelpreview.h"
#include "sound/kvl_soundoutput.h"
#include "sound/kvl_soundsource_mp3.h"
#include "support/test_support.h"
#include "model_bytes.h"

namespace {

struct Case {
    const char* what;
    // Runs the loader on the archive at pak; returns its failure text ("" on success).
    std::function<std::string(const std::string& pak)> fail;
    std::vector<std::string> named;  // each must appear in the text; "$PAK" is the archive
};

std::string Text(const KVLString& s) { return s.c_str(); }

TEST(MemberErrors, EveryLoaderNamesTheMemberAndTheArchive) {
    testsupport::TempDir dir;
    const std::string pak = dir.file("game.pak");
    {
        KVLFileStream file(KVLString(pak.c_str()));
        KVLPAKStream member(file, "MODELS\\TRIS.MD2");
        ASSERT_TRUE(member.OpenWrite());
        modelbytes::Md2Model model;
        model.frames.push_back({{1, 1, 1}, {0, 0, 0}, {{0, 0, 0}, {9, 0, 0}, {0, 9, 0}}});
        model.texCoords = {{0, 0}, {8, 0}, {0, 8}};
        model.triangles = {{0, 1, 2, 0, 1, 2}};
        const std::vector<uint8_t> md2 = model.Bytes();
        ASSERT_EQ(member.Write(md2.data(), static_cast<int32_t>(md2.size())), static_cast<int32_t>(md2.size()));
        ASSERT_TRUE(member.Close());
    }
    auto member = [](const std::string& archive, const char* name) {
        return KVLPAKStream(KVLFileStream(KVLString(archive.c_str())), name);
    };
    const std::vector<Case> cases = {
        {"stream, near name",
         [&](const std::string& p) {
             KVLPAKStream s = member(p, "models/tris.md2");
             return s.OpenRead() ? std::string() : Text(s.GetOpenError());
         },
         {"no member 'models/tris.md2'", "'$PAK'", "did you mean 'MODELS\\TRIS.MD2'"}},
        {"stream, missing archive",
         [&](const std::string& p) {
             KVLPAKStream s = member(p + ".gone", "A.BMP");
             return s.OpenRead() ? std::string() : Text(s.GetOpenError());
         },
         {"'A.BMP'", "'$PAK.gone'", "No such file"}},
        {"picture, extension from the name",
         [&](const std::string& p) {
             KVLPAKStream s = member(p, "SKINS\\SKIN.PCX");
             KVLString text;
             return KVLLoadImage(s, nullptr, nullptr, &text) ? std::string() : Text(text);
         },
         {"Unable to load file", "'SKINS\\SKIN.PCX'", "'$PAK'"}},
        {"mesh",
         [&](const std::string& p) {
             KVLPAKStream s = member(p, "MODELS\\TRIS2.MD2");
             KVLString text;
             return ZRNLoadMesh(s, &text) ? std::string() : Text(text);
         },
         {"no member 'MODELS\\TRIS2.MD2'", "'$PAK'"}},
        {"MP3 source",
         [&](const std::string& p) {
             KVLSoundSourceMP3 source(member(p, "MUSIC.MP3"));
             KVLString text;
             return source.Open(&text) ? std::string() : Text(text);
         },
         {"Unable to open file", "'MUSIC.MP3'", "'$PAK'"}},
        {"model preview, missing skin",
         [&](const std::string& p) {
             const KVLPAKStream mesh = member(p, "MODELS\\TRIS.MD2");
             const KVLPAKStream skin = member(p, "MODELS\\SKIN.PCX");
             ZRNModelPreview preview;
             KVLString text;
             const bool built = preview.Build(&mesh, &skin, KVLString(), KVLString(), &text);
             // The scene is there all the same, the model in red.
             EXPECT_NE(preview.root, nullptr);
             return built ? std::string() : Text(text);
         },
         {"Quake 2 Skin [MODELS\\SKIN.PCX]", "no member 'MODELS\\SKIN.PCX'", "'$PAK'"}},
        {"WAV output",
         [&](const std::string& p) {
             KVLSoundOutputWAV wav(KVLString((p + ".d/out.wav").c_str()));
             KVLString text;
             return wav.Open(44100, 16, true, 1024, &text) ? std::string() : Text(text);
         },
         {"'$PAK.d/out.wav'", "No such file"}},
    };
    for (const Case& c : cases) {
        const std::string text = c.fail(pak);
        ASSERT_FALSE(text.empty()) << c.what << ": the load did not fail";
        for (std::string want : c.named) {
            if (const size_t at = want.find("$PAK"); at != std::string::npos) {
                want.replace(at, 4, pak);
            }
            EXPECT_NE(text.find(want), std::string::npos) << c.what << ": '" << text << "' lacks '" << want << "'";
        }
    }
}

}  // namespace
