// kvl mesh: OBJ output of MD2 and MD3 frames, MD3 tag listing, failures and usage.
#include <gtest/gtest.h>

#include <sstream>

#include "model_bytes.h"
#include "support/test_support.h"

using namespace modelbytes;

namespace {

struct Obj {
    std::vector<std::array<float, 3>> v, vn;
    std::vector<std::array<float, 2>> vt;
    std::vector<std::string> f;
};

Obj ParseObj(const std::string& path) {
    const std::vector<uint8_t> bytes = testsupport::ReadFile(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    Obj obj;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        std::string kind;
        l >> kind;
        if (kind == "v" || kind == "vn") {
            std::array<float, 3> p{};
            l >> p[0] >> p[1] >> p[2];
            (kind == "v" ? obj.v : obj.vn).push_back(p);
        } else if (kind == "vt") {
            std::array<float, 2> t{};
            l >> t[0] >> t[1];
            obj.vt.push_back(t);
        } else if (kind == "f") {
            obj.f.push_back(line.substr(2));
        }
    }
    return obj;
}

std::string Kvl(const std::string& args) { return testsupport::BinPath("kvl") + " mesh " + args; }

Md2Model TwoFrameMd2() {
    Md2Model m;
    Md2Frame f0;
    f0.vertices = {{0, 0, 255}, {32, 0, 0}, {0, 64, 0}};
    Md2Frame f1 = f0;
    f1.translate = {32, 0, 0};
    m.frames = {f0, f1};
    m.texCoords = {{0, 0}, {64, 0}, {0, 32}};
    m.triangles = {{0, 1, 2, 2, 1, 0}};
    return m;
}

TEST(KvlMesh, Md2ToObj) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("m.md2"), TwoFrameMd2().Bytes());
    std::string out;
    ASSERT_EQ(testsupport::Run(Kvl(dir.file("m.md2") + " --frame 1 -o " + dir.file("m.obj")), &out), 0);
    EXPECT_EQ(out, "frames 2 vertices 3 faces 1 texcoords 3\n");
    const Obj obj = ParseObj(dir.file("m.obj"));
    ASSERT_EQ(obj.v.size(), 3u);
    // frame 1: x moved by 32 / 32 = 1
    const std::array<float, 3> v[] = {{1, 7.96875f, 0}, {2, 0, 0}, {1, 0, -2}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(obj.v[i], v[i]) << i;
    }
    ASSERT_EQ(obj.vt.size(), 3u);
    EXPECT_EQ(obj.vt[1][0], 1.0f);
    EXPECT_EQ(obj.vt[2][1], 1.0f);
    ASSERT_EQ(obj.vn.size(), 3u);
    ASSERT_EQ(obj.f.size(), 1u);
    // file triangle (0, 1, 2) / (2, 1, 0) reversed, 1-based
    EXPECT_EQ(obj.f[0], "3/1/3 2/2/2 1/3/1");
}

TEST(KvlMesh, Md3SurfaceAndTags) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    Md3Model m;
    m.frameCount = 2;
    for (int f = 0; f < 2; ++f) {
        Md3Tag t;
        t.name = "tag_weapon";
        t.origin = {64.0f * f, 0, 8};
        m.tags.push_back({t});
    }
    Md3Surface a;
    a.name = "first";
    a.vertices = {{{0, 0, 0}, {2048, 0, 0}, {0, 2048, 0}}, {{0, 0, 0}, {4096, 0, 0}, {0, 4096, 0}}};
    a.texCoords = {{0, 0}, {1, 0}, {0, 1}};
    a.triangles = {{0, 1, 2}};
    Md3Surface b = a;
    b.name = "second";
    b.vertices = {{{1024, 0, 0}, {0, 1024, 0}, {0, 0, 1024}, {0, 0, 0}}};
    b.texCoords = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    b.triangles = {{0, 1, 2}, {1, 2, 3}};
    m.surfaces = {a, b};

    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("m.md3"), m.Bytes());
    std::string out;
    ASSERT_EQ(testsupport::Run(Kvl(dir.file("m.md3") + " --surface 1 -o " + dir.file("s.obj")), &out), 0);
    EXPECT_EQ(out, "frames 1 vertices 4 faces 2 texcoords 4\n");
    const Obj obj = ParseObj(dir.file("s.obj"));
    ASSERT_EQ(obj.v.size(), 4u);
    EXPECT_EQ(obj.v[2], (std::array<float, 3>{0, 0, 0.5f}));
    ASSERT_EQ(obj.f.size(), 2u);
    EXPECT_EQ(obj.f[1], "2/2/2 3/3/3 4/4/4");

    out.clear();
    ASSERT_EQ(testsupport::Run(Kvl(dir.file("m.md3") + " --frame 1 -o " + dir.file("a.obj")), &out), 0);
    EXPECT_EQ(ParseObj(dir.file("a.obj")).v[1], (std::array<float, 3>{2, 0, 0}));

    out.clear();
    ASSERT_EQ(testsupport::Run(Kvl(dir.file("m.md3") + " --tags"), &out), 0);
    EXPECT_EQ(out,
              "tag tag_weapon\n"
              "  frame 0 origin 0 0 0.25 axes 1 0 0 0 1 0 0 0 1\n"
              "  frame 1 origin 2 0 0.25 axes 1 0 0 0 1 0 0 0 1\n");
}

TEST(KvlMesh, FailuresAndUsage) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    testsupport::TempDir dir;
    std::vector<uint8_t> bad = TwoFrameMd2().Bytes();
    bad.push_back(0);  // length no longer matches the end offset
    testsupport::WriteFile(dir.file("bad.md2"), bad);
    testsupport::WriteFile(dir.file("good.md2"), TwoFrameMd2().Bytes());
    struct Case {
        std::string args;
        int status;
        const char* message;  // expected in standard error
    };
    const Case cases[] = {
        {dir.file("bad.md2") + " -o " + dir.file("x.obj"), 1, "Unable to read mesh file"},
        {dir.file("missing.md3") + " -o " + dir.file("x.obj"), 1, "Unable to read mesh file"},
        {dir.file("good.md2") + " --frame 2 -o " + dir.file("x.obj"), 1, "2 frames"},
        {dir.file("good.md2") + " -o " + dir.file("no/such/dir.obj"), 1, "cannot write"},
        {dir.file("good.obj") + " -o " + dir.file("x.obj"), 1, "no mesh reader"},
        {dir.file("good.md2"), 2, "either -o"},
        {dir.file("good.md2") + " --tags", 2, "MD3"},
        {dir.file("good.md2") + " --frame -1 -o x.obj", 2, "--frame"},
        {"", 2, "no model file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string err;
        EXPECT_EQ(testsupport::Run(Kvl(c.args) + " 2>&1 >/dev/null", &err), c.status);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
}

}  // namespace
