// Assembly of the character members: MD2 models and their skins in catalogue
// order.

#include "assets/characters.h"

#include "assets/characters/character_builder.h"

#include <string>

bool BuildCharacter(const Figure& figure, BuiltCharacter& out, std::string* error)
{
    out = BuiltCharacter{};
    out.figure = figure;
    if (!BuildRig(figure.body, kSkinSize, kSkinSize, out.rig, error))
        return false;

    Md2Model& m = out.model;
    m.skinWidth = kSkinSize;
    m.skinHeight = kSkinSize;
    m.frontClockwise = figure.frontClockwise;
    for (const std::string& name : figure.skinNames) {
        std::string path = name;
        for (char& c : path)
            if (c == '\\')
                c = '/';
        m.skins.push_back(path);
    }
    for (const auto& st : out.rig.texCoords)
        m.texCoords.push_back({static_cast<int16_t>(st[0]), static_cast<int16_t>(st[1])});
    for (const RigTriangle& t : out.rig.triangles) {
        Md2Triangle tri;
        // The rig winds counter-clockwise; classic files want clockwise.
        const std::array<int, 3> order = figure.frontClockwise ? std::array<int, 3>{0, 2, 1} : std::array<int, 3>{0, 1, 2};
        for (int k = 0; k < 3; ++k) {
            tri.vertex[static_cast<size_t>(k)] = static_cast<uint16_t>(t.v[static_cast<size_t>(order[static_cast<size_t>(k)])]);
            tri.texCoord[static_cast<size_t>(k)] = static_cast<uint16_t>(t.t[static_cast<size_t>(order[static_cast<size_t>(k)])]);
        }
        m.triangles.push_back(tri);
    }
    const std::vector<Pose> poses = AnimateFigure(figure.body, figure.motion);
    for (size_t f = 0; f < poses.size(); ++f) {
        Md2Frame frame;
        frame.name = Md2FrameName(static_cast<int>(f));
        for (const Vec3& v : PoseVertices(out.rig, poses[f]))
            frame.vertices.push_back({v.x, v.y, v.z});
        m.frames.push_back(std::move(frame));
    }
    for (size_t s = 0; s < figure.skinNames.size(); ++s)
        out.skins.push_back(PaintFigureSkin(figure, out.rig, static_cast<int>(s)));
    return true;
}

std::vector<AssetMember> BuildCharacters()
{
    std::vector<AssetMember> members;
    for (const Figure& figure : MakeFigures()) {
        BuiltCharacter built;
        if (!BuildCharacter(figure, built, nullptr))
            return {};
        AssetMember model{"md2\\" + figure.key + "\\m.md2", WriteMd2(built.model)};
        if (model.bytes.empty())
            return {};
        members.push_back(std::move(model));
        for (size_t s = 0; s < built.skins.size(); ++s) {
            AssetMember skin{figure.skinNames[s], WritePcx(built.skins[s])};
            if (skin.bytes.empty())
                return {};
            members.push_back(std::move(skin));
        }
    }
    return members;
}
