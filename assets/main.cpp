// quorvel_gen: generates the demo's data archive.
//   quorvel_gen ARCHIVE [CONTACT_SHEET.png]
// Every member is drawn, composed or modelled here from code; the same program gives
// the same bytes on every run. Members are written in the order of their resource ids,
// as the demo's member table (app/demo_archive_members.h) lists them; that header is
// the only thing taken from the demo.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/demo_archive_members.h"
#include "assets/animation_members.h"
#include "assets/asset_member.h"
#include "assets/cards.h"
#include "assets/characters.h"
#include "assets/contact_sheet.h"
#include "assets/jpeg_codec.h"
#include "assets/model_poses.h"
#include "assets/pak_writer.h"
#include "assets/soundtrack.h"
#include "assets/textures.h"
#include "anim/kvl_anim_mlz.h"
#include "core/kvl_memorystream.h"
#include "image/kvl_image.h"

namespace {

// The member's place in the demo's member table (ascending resource ids), or -1.
int CatalogueIndex(const std::string& name) {
    const auto begin = std::begin(kDemoArchiveMembers);
    const auto end = std::end(kDemoArchiveMembers);
    const auto it = std::find_if(begin, end, [&](const DemoArchiveMember& entry) { return name == entry.name; });
    return it == end ? -1 : static_cast<int>(it - begin);
}

using MemberBuilder = std::function<std::vector<AssetMember>()>;

// The builders share nothing, so they run side by side; their results are collected
// in list order, which keeps the output independent of the scheduling.
std::vector<AssetMember> CollectMembers(const std::vector<MemberBuilder>& builders) {
    std::vector<std::future<std::vector<AssetMember>>> running;
    for (const MemberBuilder& build : builders) {
        running.push_back(std::async(std::launch::async, build));
    }
    std::vector<AssetMember> members;
    for (auto& result : running) {
        for (AssetMember& member : result.get()) {
            members.push_back(std::move(member));
        }
    }
    return members;
}

void AddEnginePicture(const AssetMember& member, std::vector<assetgen::SheetPicture>& pictures) {
    KVLMemoryStream stream(member.bytes.data(), member.bytes.size());
    KVLString error;
    std::unique_ptr<KVLImage> image = KVLLoadImage(stream, KVLString("PCX"), nullptr, nullptr, &error);
    if (!image) {
        throw std::runtime_error(member.name + ": " + error.c_str());
    }
    pictures.push_back({member.name, assetgen::FromEngineImage(*image)});
}

void AddAnimationFrames(const AssetMember& member, std::vector<assetgen::SheetPicture>& pictures) {
    KVLMemoryStream stream(member.bytes.data(), member.bytes.size());
    KVLAnimMLZ animation;
    KVLString error;
    if (!animation.Open(stream, nullptr, &error)) {
        throw std::runtime_error(member.name + ": " + error.c_str());
    }
    const int32_t count = animation.GetFrameCount();
    std::unique_ptr<KVLImage> frame = KVLImage::Create(animation.GetWidth(), animation.GetHeight());
    // Open has read frame 0; each NextFrame reads the one after.
    for (int32_t index = 0; index < count; ++index) {
        if (index > 0 && !animation.NextFrame()) {
            throw std::runtime_error(member.name + ": frame " + std::to_string(index) + " does not decode");
        }
        if (index == count / 4 || index == count / 2 || index == count - 1) {
            animation.GetFrame(*frame);
            pictures.push_back({member.name + " #" + std::to_string(index), assetgen::FromEngineImage(*frame)});
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: quorvel_gen ARCHIVE [CONTACT_SHEET.png]\n");
        return 2;
    }
    try {
        const std::vector<MemberBuilder> builders = {
            assetgen::BuildTextures,
            BuildCharacters,
            assetgen::BuildCards,
            assetgen::BuildAnimations,
            [] { return std::vector<AssetMember>{assetgen::BuildSoundtrack()}; },
        };
        std::vector<AssetMember> members = CollectMembers(builders);
        for (const AssetMember& member : members) {
            if (CatalogueIndex(member.name) < 0) {
                std::fprintf(stderr, "quorvel_gen: '%s' is not a catalogue member\n", member.name.c_str());
                return 1;
            }
        }
        std::stable_sort(members.begin(), members.end(), [](const AssetMember& a, const AssetMember& b) {
            return CatalogueIndex(a.name) < CatalogueIndex(b.name);
        });
        for (size_t i = 1; i < members.size(); ++i) {
            if (members[i].name == members[i - 1].name) {
                std::fprintf(stderr, "quorvel_gen: '%s' made twice\n", members[i].name.c_str());
                return 1;
            }
        }
        std::string error;
        if (!assetgen::WritePak(argv[1], members, error)) {
            std::fprintf(stderr, "quorvel_gen: %s\n", error.c_str());
            return 1;
        }
        if (argc == 3) {
            std::vector<assetgen::SheetPicture> pictures;
            for (const AssetMember& member : members) {
                assetgen::RgbImage picture;
                if (member.name.ends_with(".jpg") && assetgen::DecodeJpeg(member.bytes, picture)) {
                    pictures.push_back({member.name, assetgen::ToRgba(picture)});
                }
            }
            // Skins and animation frames as the engine's own readers decode them.
            for (const AssetMember& member : members) {
                if (member.name.ends_with(".pcx")) {
                    AddEnginePicture(member, pictures);
                } else if (member.name.ends_with(".mlz")) {
                    AddAnimationFrames(member, pictures);
                }
            }
            // Poses of the characters through the engine's renderer, when this machine
            // can render offscreen; the sheet is made without them otherwise.
            std::string reason;
            if (!assetgen::RenderModelPoses(members, pictures, reason)) {
                std::fprintf(stderr, "quorvel_gen: contact sheet without model poses (%s)\n", reason.c_str());
            }
            if (!assetgen::WriteContactSheet(argv[2], pictures, error)) {
                std::fprintf(stderr, "quorvel_gen: %s\n", error.c_str());
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel_gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
