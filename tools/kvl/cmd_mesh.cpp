// kvl mesh: reads an MD2 or MD3 model through the engine's mesh readers and writes
// one frame as Wavefront OBJ, or lists an MD3 model's tags.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "scene/readers/zrn_meshreadermd3.h"
#include "tools/kvl/kvl_command.h"

namespace {

extern const KvlCommand kMeshCommand;

constexpr int32_t kFileBuffer = 65536;
constexpr const char* kReadFailed = "Unable to read mesh file";

// Owns what an MD3 read appended to its lists.
struct Md3Model {
    KVLArray<ZRNMesh*> surfaces;
    KVLArray<ZRNJointTrack*> tags;
    ~Md3Model() {
        for (ZRNMesh* m : surfaces) {
            delete m;
        }
        for (ZRNJointTrack* t : tags) {
            delete t;
        }
    }
};

int PrintTags(const KVLArray<ZRNJointTrack*>& tags) {
    for (const ZRNJointTrack* t : tags) {
        std::printf("tag %s\n", t->name.c_str());
        for (int32_t f = 0; f < t->origins.GetCount() && f < t->axes.GetCount(); ++f) {
            const KVLVector3& o = t->origins[f];
            const float* a = t->axes[f].m;
            std::printf("  frame %d origin %.9g %.9g %.9g axes %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", f,
                        o.x, o.y, o.z, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
        }
    }
    return kKvlOk;
}

int WriteObj(const ZRNMesh& mesh, int32_t frame, const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(path.c_str(), "w"), &std::fclose);
    if (!out) {
        return KvlFail("cannot write " + path);
    }
    std::FILE* f = out.get();
    for (const KVLVector3& v : mesh.GetVertices(frame)) {
        std::fprintf(f, "v %.9g %.9g %.9g\n", v.x, v.y, v.z);
    }
    for (const ZRNTexCoord& t : mesh.GetTexCoords()) {
        std::fprintf(f, "vt %.9g %.9g\n", t.u, t.v);
    }
    for (const KVLVector3& n : mesh.GetVertexNormals(frame)) {
        std::fprintf(f, "vn %.9g %.9g %.9g\n", n.x, n.y, n.z);
    }
    for (const ZRNFace& face : mesh.GetFaces()) {
        std::fputc('f', f);
        for (int k = 0; k < (face.IsQuad() ? 4 : 3); ++k) {
            std::fprintf(f, " %d/%d/%d", face.v[k] + 1, face.t[k] + 1, face.v[k] + 1);
        }
        std::fputc('\n', f);
    }
    if (std::fflush(f) != 0 || std::ferror(f)) {
        return KvlFail("cannot write " + path);
    }
    return kKvlOk;
}

int RunMesh(const std::vector<std::string>& args) {
    std::string input, output;
    int32_t frame = 0, surface = 0;
    bool tags = false, haveSurface = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--frame" || a == "--surface" || a == "-o") {
            if (i + 1 >= args.size()) {
                return KvlUsageError(kMeshCommand, a + " needs a value");
            }
            const std::string& v = args[++i];
            if (a == "-o") {
                output = v;
            } else if (!KvlParseCount(v, a == "--frame" ? frame : surface)) {
                return KvlUsageError(kMeshCommand, a + " takes a number from 0 on");
            }
            haveSurface = haveSurface || a == "--surface";
        } else if (a == "--tags") {
            tags = true;
        } else if (!a.empty() && a[0] == '-') {
            return KvlUsageError(kMeshCommand, "unknown option " + a);
        } else if (input.empty()) {
            input = a;
        } else {
            return KvlUsageError(kMeshCommand, "only one model file");
        }
    }
    if (input.empty()) {
        return KvlUsageError(kMeshCommand, "no model file");
    }
    if (tags == !output.empty()) {
        return KvlUsageError(kMeshCommand, "give either -o OUT.obj or --tags");
    }

    KVLString extension;
    KVLSplitExtension(KVLString(input.c_str()), nullptr, &extension);
    const bool md3 = extension.EqualsNoCase("MD3");
    if ((tags || haveSurface) && !md3) {
        return KvlUsageError(kMeshCommand, "--tags and --surface apply to MD3 models");
    }
    std::unique_ptr<ZRNMeshReader> reader = ZRNMeshReader::CreateFor(extension);
    if (!reader) {
        return KvlFail(input + ": no mesh reader for this extension");
    }

    KVLFileStream file(KVLString(input.c_str()));
    KVLBufferedStream stream(file, kFileBuffer);
    Md3Model model;
    std::unique_ptr<ZRNMesh> single;
    const ZRNMesh* mesh = nullptr;
    if (md3) {
        auto* md3Reader = dynamic_cast<ZRNMeshReaderMD3*>(reader.get());
        if (md3Reader == nullptr) {
            return KvlFail(input + ": no MD3 reader");
        }
        // A model of tags only reads as null with its tags appended.
        if (md3Reader->ReadAll(stream, &model.surfaces, &model.tags) == nullptr && model.tags.IsEmpty()) {
            return KvlFail(input + ": " + kReadFailed);
        }
        if (tags) {
            return PrintTags(model.tags);
        }
        if (surface >= model.surfaces.GetCount()) {
            return KvlFail(input + ": the model has " + std::to_string(model.surfaces.GetCount()) + " surfaces");
        }
        mesh = model.surfaces[surface];
    } else {
        single = reader->ReadStream(stream, -1, 0);
        if (!single) {
            return KvlFail(input + ": " + kReadFailed);
        }
        mesh = single.get();
    }
    if (frame >= mesh->GetFrameCount()) {
        return KvlFail(input + ": the mesh has " + std::to_string(mesh->GetFrameCount()) + " frames");
    }
    std::printf("frames %d vertices %d faces %d texcoords %d\n", mesh->GetFrameCount(), mesh->GetVertexCount(),
                mesh->GetFaceCount(), mesh->GetTexCoordCount());
    std::fflush(stdout);
    return WriteObj(*mesh, frame, output);
}

const KvlCommand kMeshCommand = {
    "mesh",
    "convert one frame of an MD2 or MD3 model to OBJ, list MD3 tags",
    "usage:\n"
    "  kvl mesh FILE [--frame N] [--surface I] -o OUT.obj\n"
    "                         write frame N (default 0) of the model (for MD3, of surface I,\n"
    "                         default 0) as Wavefront OBJ: v, vt, vn and f lines in the\n"
    "                         mesh's own order; prints the mesh's counts first\n"
    "  kvl mesh FILE.md3 --tags\n"
    "                         print each tag: its name, then per frame its origin and axes\n"
    "\n"
    "The reader is chosen by the file's extension (md2, md3).\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n",
    &RunMesh,
};

const KvlCommandRegistration kRegistration(kMeshCommand);

}  // namespace
