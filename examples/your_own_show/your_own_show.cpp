// your_own_show: a show of its own on the engine's show runtime. Two scenes: a picture
// that fades in from black, then a Quake II model turning. The show's files lie in the
// folder your_own_show_data next to the program (on the web page: the PAK archive
// your_own_show.pak next to it, the same names inside): picture.jpg (or any picture the
// engine reads, under that name), model.md2 and skin.pcx. Its music (the runtime needs
// one) is the file that YOUR_OWN_SHOW_MUSIC names, else music.mp3 among those files:
// MP3 or 16-bit PCM WAV.
// The rest (window, keys, --shot, --video, --jobs, --help, the page) is the runtime's.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "zarnoth/core/kvl_filestream.h"
#include "zarnoth/core/kvl_pakstream.h"
#include "zarnoth/show/zrn_showmain.h"
#include "zarnoth/show/zrn_showscene.h"
#if defined(__EMSCRIPTEN__)
#include "zarnoth/show/web/zrn_showpage.h"
#endif

namespace {

// The show's files, by name: in a folder or a PAK archive, which the runtime finds
// before it makes a scene. Each stream is made once and outlives the scenes (the model
// loader keys on them); the runtime opens clones.
class ShowFiles {
public:
    void Found(const std::string& path) {
        m_streams.clear();
        m_path = path;
        m_archive.reset();
        if (std::filesystem::is_regular_file(path)) {
            m_archive = std::make_unique<KVLFileStream>(path.c_str());
        }
    }
    const KVLStream& Get(const std::string& name) {
        std::unique_ptr<KVLStream>& stream = m_streams[name];
        if (stream == nullptr && m_archive != nullptr) {
            stream = std::make_unique<KVLPAKStream>(*m_archive, name.c_str());
        } else if (stream == nullptr) {
            stream = std::make_unique<KVLFileStream>((m_path + "/" + name).c_str());
        }
        return *stream;
    }

private:
    std::string m_path;
    std::unique_ptr<KVLFileStream> m_archive;
    std::map<std::string, std::unique_ptr<KVLStream>> m_streams;
};

// Every scene's state follows from its tick counter alone, never from a clock or from
// how often Render runs: the runtime renders pictures at any rate, and moves a scene
// on with drawing off, and each tick must look the same whichever way it is reached.
class PictureScene : public ZRNShowScene {
public:
    PictureScene(const ZRNShowSceneContext& c, ShowFiles* files)
        : ZRNShowScene(c.renderer, c.renderVisitor, c.tickVisitor), m_files(files) {}

    bool Load(KVLString* errorText) override {
        m_camera.AddKey(KVLVector3(0.0f, 0.0f, 1.0f));
        m_camera.targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
        m_root = std::make_unique<ZRNNodeCamera>(&m_camera);
        const KVLStream& picture = m_files->Get("picture.jpg");
        std::unique_ptr<ZRNNodeMaterial> material =
            AddTexturedMaterial(picture, "picture", kZRNMaterialTexturedFlat, false);
        if (!material) {
            errorText->Format("%s: not a picture the engine reads", picture.GetName().c_str());
            return false;
        }
        // Lit by its ambient colour alone, which Render turns up: the light's ambient and
        // the global one add up to 0.8, so 1.25 shows the texels as they are.
        m_picture = GetMaterial(GetMaterialCount() - 1);
        m_picture->diffuse[0] = m_picture->diffuse[1] = m_picture->diffuse[2] = 0.0f;
        // The grid lies face down; half a turn about X shows it the right way up.
        ZRNNode* node = m_root->AddChild(AddTransform(ZRNTransformRotate, 3.1415927f, 0.0f, 0.0f));
        node = node->AddChild(std::move(material));
        node->AddChild(std::make_unique<ZRNNodeMesh>(AddMesh(ZRNMesh::MakeGrid(1.6f, 0.8f, 1)), nullptr));
        return true;
    }

    void Render() override {
        // Black at tick 0, the whole picture from kClearTick on.
        constexpr int32_t kClearTick = 150;
        const float shown = static_cast<float>(std::min(GetTickCounter(), kClearTick)) / kClearTick;
        m_picture->ambient[0] = m_picture->ambient[1] = m_picture->ambient[2] = 1.25f * shown;
        DrawTree(m_root.get());
    }

private:
    ShowFiles* m_files;
    ZRNCameraTrack m_camera;
    ZRNMaterial* m_picture = nullptr;
    std::unique_ptr<ZRNNode> m_root;
};

class ModelScene : public ZRNShowScene {
public:
    ModelScene(const ZRNShowSceneContext& c, ShowFiles* files)
        : ZRNShowScene(c.renderer, c.renderVisitor, c.tickVisitor),
          m_model(files->Get("model.md2")),
          m_skin(files->Get("skin.pcx")) {}

    bool Load(KVLString* errorText) override {
        m_camera.AddKey(KVLVector3(0.0f, 0.15f, 1.1f));
        m_camera.targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
        m_root = std::make_unique<ZRNNodeCamera>(&m_camera);
        std::unique_ptr<ZRNNode> model = LoadModelMD2(&m_model, &m_skin, false, errorText);
        if (!model) {
            return false;
        }
        ZRNNode* node = m_root->AddChild(AddTransform(ZRNTransformRotate, 0.0f, 0.0f, 0.0f));
        m_turn = GetTrack(GetTrackCount() - 1);
        node = node->AddChild(AddUniformTransform(ZRNTransformScale, 0.45f));
        node->AddChild(std::move(model));
        return true;
    }

    void Render() override {
        // A turn every 250 ticks (5 seconds).
        m_turn->keys[0].y = 6.2831853f * static_cast<float>(GetTickCounter() % 250) / 250.0f;
        DrawTree(m_root.get());
    }

private:
    const KVLStream& m_model;
    const KVLStream& m_skin;
    ZRNCameraTrack m_camera;
    ZRNTransformTrack* m_turn = nullptr;
    std::unique_ptr<ZRNNode> m_root;
};

ZRNShowDescription YourOwnShow() {
    auto files = std::make_shared<ShowFiles>();
    auto music = std::make_shared<std::unique_ptr<KVLFileStream>>();
    ZRNShowDescription show;
    show.title = "Your own show";
    show.program = "your_own_show";
    show.version = "1.0";
    show.about = "Plays a picture and a turning model from your_own_show_data next to the program.";
#if defined(__EMSCRIPTEN__)
    show.archive = "your_own_show.pak";
#else
    show.archive = "your_own_show_data";
#endif
    show.found = [files](const std::string& path) { files->Found(path); };
    show.music = [files, music]() -> const KVLStream* {
        const char* named = std::getenv("YOUR_OWN_SHOW_MUSIC");
        if (named == nullptr) {
            return &files->Get("music.mp3");
        }
        *music = std::make_unique<KVLFileStream>(named);
        return music->get();
    };
    // Ticks of 20 ms: left at ticks 300 and 600 (6 and 12 seconds); each seek makes a
    // scene afresh.
    show.tickMs = 20;
    show.chapters = {
        {"picture", 300, [files](const ZRNShowSceneContext& c) {
             return std::make_unique<PictureScene>(c, files.get());
         }},
        {"model", 600, [files](const ZRNShowSceneContext& c) {
             return std::make_unique<ModelScene>(c, files.get());
         }},
    };
    return show;
}

}  // namespace

#if defined(__EMSCRIPTEN__)
// On the web page the runtime's page plays it.
const ZRNShowDescription& ZRNShowPageDescription() {
    static const ZRNShowDescription show = YourOwnShow();
    return show;
}
int main() { return 0; }
#else
int main(int argc, char** argv) { return ZRNShowMain(YourOwnShow(), argc, argv); }
#endif
