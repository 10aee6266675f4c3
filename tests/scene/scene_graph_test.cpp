// Scene-graph behaviour against the recording renderer: what a render walk asks of
// the renderer and in which order, nesting of matrix and material pushes, disabled
// subtrees, Clone, ZRNAttachTimeSource, frame clamping, and the time visitors advancing
// shared animators.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "recording_renderer.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_node.h"
#include "scene/zrn_rendervisitor.h"

namespace {

using Lines = std::vector<std::string>;

// A mesh of `frames` frames whose vertex 0 sits at (frame, 0, 0).
std::unique_ptr<ZRNMesh> FramedMesh(int32_t frames) {
    auto m = std::make_unique<ZRNMesh>();
    m->SetFrameCount(frames);
    for (int32_t f = 0; f < frames; ++f) {
        const float x = static_cast<float>(f);
        m->AddVertex({x, 0, 0}, f);
        m->AddVertex({x + 1, 0, 0}, f);
        m->AddVertex({x, 1, 0}, f);
    }
    m->AddFace(0, 1, 2, kZRNNoIndex, 0, 0, 0, kZRNNoIndex);
    m->AddTexCoord(0, 0);
    m->ComputeNormals();
    return m;
}

ZRNMaterial Textured(const char* name) { return ZRNMaterial(name, 5, false, nullptr); }
ZRNMaterial Plain(const char* name) { return ZRNMaterial(name, 2, false, KVLVector3::White, 0.2f, 0.8f, 0, 1, false, 1); }

template <class T, class... Args>
T* Add(ZRNNode* parent, Args&&... args) {
    return static_cast<T*>(parent->AddChild(std::make_unique<T>(std::forward<Args>(args)...)));
}

Lines Render(ZRNNode& root, RecordingRenderer& r) {
    ZRNRenderVisitor visitor(&r);
    root.Accept(visitor);
    return r.log;
}

TEST(RenderVisitor, WalkOrderAndEnteringLeavingCalls) {
    ZRNCameraTrack camera;
    camera.AddKey({0, 0, 5});
    ZRNTransformTrack move(ZRNTransformTranslate, false);
    move.keys.Add({1, 2, 3});
    ZRNFogSettings fog(1, 10, 0.5f, KVLVector3::White);
    ZRNMaterial skin = Textured("skin");
    auto mesh = FramedMesh(1);

    ZRNNodeFoo root;
    Add<ZRNNodeFog>(&root, &fog);
    ZRNNode* cam = Add<ZRNNodeCamera>(&root, &camera);
    ZRNNode* xf = Add<ZRNNodeTransformation>(cam, &move);
    ZRNNode* mat = Add<ZRNNodeMaterial>(xf, &skin);
    Add<ZRNNodeMesh>(mat, mesh.get(), nullptr);
    Add<ZRNNodeMesh>(&root, mesh.get(), nullptr);

    RecordingRenderer r;
    const Lines want = {"Fog on",       "Mode P",      "Push P",        "LookAt (0,0,5) (0,0,0)",
                        "Mode M",       "Push M",      "Mult",          "PushMaterial",
                        "Apply skin",   "Draw with skin", "PopMaterial", "Mode M",
                        "Pop M",        "Mode P",      "Pop P",         "Draw with skin"};
    EXPECT_EQ(Render(root, r), want);
    EXPECT_EQ(r.lastMatrix, KVLMatrix34::Translation(1, 2, 3));
    EXPECT_EQ(r.projectionDepth, 0);
    EXPECT_EQ(r.modelviewDepth, 0);
    EXPECT_FALSE(r.underflow);
}

TEST(RenderVisitor, NestedCamerasAndTransformsRestoreBothStacks) {
    ZRNCameraTrack camera;
    camera.AddKey({0, 0, 5});
    ZRNTransformTrack onProjection(ZRNTransformTranslate, true);
    onProjection.keys.Add({0, 1, 0});
    ZRNTransformTrack spin(ZRNTransformRotate, false);
    spin.keys.Add({0, 1.5f, 0});
    ZRNNodeTransformation root(&onProjection);
    ZRNNode* cam = Add<ZRNNodeCamera>(&root, &camera);
    ZRNNode* inner = Add<ZRNNodeTransformation>(cam, &spin);
    Add<ZRNNodeCamera>(inner, &camera);
    Add<ZRNNodeTransformation>(&root, &spin);

    RecordingRenderer r;
    Render(root, r);
    EXPECT_EQ(r.projectionDepth, 0);
    EXPECT_EQ(r.modelviewDepth, 0);
    EXPECT_FALSE(r.underflow);
    EXPECT_EQ(r.maxDepth, 3);  // projection: root translation, camera, inner camera
    EXPECT_EQ(r.log.back(), "Pop P");
}

TEST(RenderVisitor, DisabledNodeSkipsItsSubtree) {
    auto mesh = FramedMesh(1);
    ZRNMaterial plain = Plain("plain");
    ZRNNodeFoo root;
    ZRNNode* off = Add<ZRNNodeMaterial>(&root, &plain);
    Add<ZRNNodeMesh>(off, mesh.get(), nullptr);
    Add<ZRNNodeMesh>(&root, mesh.get(), nullptr);
    off->SetEnabled(false);

    RecordingRenderer r;
    EXPECT_EQ(Render(root, r), Lines{"Draw with nothing"});

    root.SetEnabled(false);
    RecordingRenderer r2;
    ZRNRenderVisitor visitor(&r2);
    EXPECT_FALSE(root.Accept(visitor));
    EXPECT_TRUE(r2.log.empty());
}

// Material inside material: a textured outer material is stacked and current again
// after the inner node; an untextured one is not stacked and the inner stays current.
TEST(RenderVisitor, MaterialStackAcrossNestedMaterialNodes) {
    struct Case {
        int32_t outerKind;
        const char* currentAfterInner;
    };
    const Case cases[] = {{4, "outer"}, {6, "outer"}, {8, "outer"}, {3, "inner"}, {9, "inner"}};
    auto mesh = FramedMesh(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outerKind);
        ZRNMaterial outer("outer", c.outerKind, false, nullptr);
        ZRNMaterial inner = Textured("inner");
        ZRNNodeMaterial root(&outer);
        Add<ZRNNodeMaterial>(&root, &inner);
        Add<ZRNNodeMesh>(&root, mesh.get(), nullptr);
        RecordingRenderer r;
        Render(root, r);
        ASSERT_NE(r.cache.GetCurrent(), nullptr);
        EXPECT_EQ(r.log[r.log.size() - 2], std::string("Draw with ") + c.currentAfterInner);
    }
}

TEST(TextureCache, PushPopRules) {
    ZRNMaterial a = Textured("a");
    ZRNMaterial b = Textured("b");
    ZRNMaterial plain = Plain("plain");
    ZRNTextureCache cache;
    cache.Push();  // nothing current
    EXPECT_TRUE(cache.GetStack().IsEmpty());
    cache.SetCurrent(&plain);
    cache.Push();
    EXPECT_TRUE(cache.GetStack().IsEmpty());
    EXPECT_EQ(cache.Pop(), nullptr);
    EXPECT_EQ(cache.GetCurrent(), &plain);

    cache.SetCurrent(&a);
    cache.Push();
    cache.Push();
    EXPECT_EQ(cache.GetStack().GetCount(), 2);
    EXPECT_EQ(cache.Pop(), nullptr);  // top is the current material: nothing to apply
    cache.SetCurrent(&b);
    EXPECT_EQ(cache.Pop(), &a);
    EXPECT_EQ(cache.GetCurrent(), &a);
    EXPECT_TRUE(cache.GetStack().IsEmpty());

    cache.Add("a", 7);
    cache.Add("a", 9);
    cache.Add("b", 8);
    EXPECT_EQ(cache.Find("a"), 7u);
    EXPECT_EQ(cache.Find("b"), 8u);
    EXPECT_EQ(cache.Find("A"), 0u);
}

TEST(Node, CloneSharesPayloadsAndTimeSources) {
    ZRNTransformTrack track(ZRNTransformScale, false);
    auto mesh = FramedMesh(2);
    ZRNLoopAnimator animator(10);
    ZRNNodeFoo root;
    root.SetName("group");
    root.SetTimeSource(&animator);
    ZRNNode* xf = Add<ZRNNodeTransformation>(&root, &track);
    xf->SetName("spin");
    xf->SetTimeSource(&animator);
    ZRNNode* m = Add<ZRNNodeMesh>(xf, mesh.get(), &animator);
    m->SetName("body");
    m->SetEnabled(false);

    std::unique_ptr<ZRNNode> copy = root.Clone();
    EXPECT_EQ(copy->GetClass(), &ZRNNodeFoo::classZRNNodeFoo);
    EXPECT_EQ(copy->GetName(), "group");
    EXPECT_EQ(copy->TimeSource(), nullptr);
    ASSERT_EQ(copy->GetChildCount(), 1);
    auto* xfCopy = static_cast<ZRNNodeTransformation*>(copy->GetChild(0));
    EXPECT_NE(xfCopy, xf);
    EXPECT_EQ(xfCopy->GetPayload(), &track);
    EXPECT_EQ(xfCopy->GetName(), "[NODE - TRANSFORMATION]");
    EXPECT_EQ(xfCopy->TimeSource(), &animator);
    ASSERT_EQ(xfCopy->GetChildCount(), 1);
    auto* meshCopy = static_cast<ZRNNodeMesh*>(xfCopy->GetChild(0));
    EXPECT_EQ(meshCopy->GetPayload(), mesh.get());
    EXPECT_EQ(meshCopy->GetName(), "body");
    EXPECT_EQ(meshCopy->TimeSource(), &animator);
}

TEST(Node, DefaultNamesAndFactories) {
    ZRNCameraTrack camera;
    EXPECT_EQ(ZRNNodeCamera(&camera).GetName(), "[NODE - FOG]");
    EXPECT_EQ(ZRNNodeFoo().GetName(), "[NODE - FOO]");
    EXPECT_EQ(ZRNNodeMesh(nullptr, nullptr).GetName(), "[NODE - MESH]");
    EXPECT_EQ(ZRNNodeMaterial(nullptr).GetName(), "[NODE - MATERIAL]");
    EXPECT_EQ(ZRNNodeJoint(nullptr).GetName(), "[NODE - JOINT]");
    struct Case {
        const char* cls;
        const char* name;
    };
    const Case cases[] = {{"ZRNNodeCamera", "[NODE]"}, {"ZRNNodeFog", "[NODE]"},  {"ZRNNodeFoo", "[NODE - FOO]"},
                          {"ZRNNodeJoint", "[NODE]"},  {"ZRNNodeMaterial", "[NODE]"}, {"ZRNNodeMesh", "[NODE]"},
                          {"ZRNNodeTransformation", "[NODE]"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cls);
        const KVLClassInfo* info = KVLClassInfo::FindClass(c.cls);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->GetParent(), &ZRNNode::classZRNNode);
        std::unique_ptr<ZRNNode> node = KVLCreateAs<ZRNNode>(info);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetName(), c.name);
    }
    EXPECT_TRUE(KVLClassInfo::FindClass("ZRNNode")->IsAbstract());
}

TEST(Node, AttachTimeSourceMatchesClassAndExactName) {
    ZRNLoopAnimator animator(10);
    ZRNNodeFoo root;
    root.SetName("Body");
    ZRNNode* a = Add<ZRNNodeMesh>(&root, nullptr, nullptr);
    a->SetName("Body");
    ZRNNode* b = Add<ZRNNodeMesh>(a, nullptr, nullptr);
    b->SetName("body");
    ZRNNode* c = Add<ZRNNodeTransformation>(a, nullptr);
    c->SetName("Body");

    ZRNAttachTimeSource(&root, &animator, "ZRNNodeMeshes", "Body");
    EXPECT_EQ(a->TimeSource(), nullptr);

    ZRNAttachTimeSource(&root, &animator, "ZRNNodeMesh", "Body");
    EXPECT_EQ(root.TimeSource(), nullptr);
    EXPECT_EQ(a->TimeSource(), &animator);
    EXPECT_EQ(b->TimeSource(), nullptr);  // letter case differs
    EXPECT_EQ(c->TimeSource(), nullptr);  // another class

    ZRNAttachTimeSource(&root, &animator, "ZRNNode", "Body");  // the base class takes every kind
    EXPECT_EQ(root.TimeSource(), &animator);
    EXPECT_EQ(c->TimeSource(), &animator);
}

// One loop animator on two meshes and a transformation (visited entering and leaving)
// moves one step per tick, and none for a repeated tick.
TEST(TimeVisitors, SharedAnimatorAdvancesOncePerToken) {
    ZRNLoopAnimator shared(10);
    for (int k = 0; k < 11; ++k) {
        shared.AddKey(k);
    }
    ZRNTransformTrack track;
    ZRNNodeFoo root;
    ZRNNode* xf = Add<ZRNNodeTransformation>(&root, &track);
    xf->SetTimeSource(&shared);
    Add<ZRNNodeMesh>(xf, nullptr, &shared);
    Add<ZRNNodeMesh>(&root, nullptr, &shared);

    ZRNTickVisitor ticks(100);  // one cycle of 11 keys at 10 per second: 110 ticks
    ticks.SetTick(1);
    root.Accept(ticks);
    EXPECT_FLOAT_EQ(shared.Position(), 1.0f / 110.0f);
    root.Accept(ticks);
    EXPECT_FLOAT_EQ(shared.Position(), 1.0f / 110.0f);
    ticks.SetTick(2);
    root.Accept(ticks);
    EXPECT_FLOAT_EQ(shared.Position(), 2.0f / 110.0f);

    root.SetEnabled(false);
    ticks.SetTick(3);
    root.Accept(ticks);
    EXPECT_FLOAT_EQ(shared.Position(), 2.0f / 110.0f);
}

TEST(Animators, SetPositionTable) {
    struct Case {
        std::vector<int32_t> keys;
        float x;
        int32_t a, b;
        float f;
    };
    const Case cases[] = {
        {{0, 10, 20}, 0.0f, 0, 10, 0.0f},   {{0, 10, 20}, 0.25f, 0, 10, 0.5f}, {{0, 10, 20}, 0.75f, 10, 20, 0.5f},
        {{0, 10, 20}, 1.0f, 20, 0, 0.0f},   {{7}, 0.6f, 7, 7, 0.0f},           {{5, 6}, -3.0f, 5, 6, 0.0f},
        {{5, 6}, 4.0f, 6, 5, 0.0f},
    };
    for (const Case& c : cases) {
        ZRNLoopAnimator an(10);
        for (int32_t k : c.keys) {
            an.AddKey(k);
        }
        an.SetPosition(c.x);
        SCOPED_TRACE(c.x);
        EXPECT_EQ(an.FrameTime().frameA, c.a);
        EXPECT_EQ(an.FrameTime().frameB, c.b);
        EXPECT_FLOAT_EQ(an.FrameTime().fraction, c.f);
    }
}

TEST(Animators, LoopReachingExactlyOneDoesNotWrap) {
    ZRNLoopAnimator an(2, 2);  // a cycle of 2 keys at 2 per second lasts one second
    an.AddKey(3);
    an.AddKey(4);
    for (int t = 1; t <= 4; ++t) {
        an.Update(4, 0.0f, t);
    }
    EXPECT_FLOAT_EQ(an.Position(), 1.0f);
    EXPECT_EQ(an.FrameTime().frameA, 4);
    EXPECT_EQ(an.FrameTime().frameB, 3);
    an.Update(4, 0.0f, 5);
    EXPECT_FLOAT_EQ(an.Position(), 0.25f);
}

// Parameters that would divide by zero leave the pose alone.
TEST(Animators, DegenerateParametersKeepThePose) {
    ZRNLoopAnimator noRate(0);
    noRate.AddKey(1);
    noRate.AddKey(2);
    noRate.Update(70, 0.0f, 1);
    EXPECT_EQ(noRate.Position(), 0.0f);
    ZRNLoopAnimator noTicks(10);
    noTicks.AddKey(1);
    noTicks.Update(0, 0.0f, 1);
    EXPECT_EQ(noTicks.Position(), 0.0f);
    ZRNLoopAnimator empty(10);
    empty.Update(70, 0.0f, 1);
    EXPECT_EQ(empty.FrameTime().frameA, 0);

    struct Case {
        int32_t rate, value, period;
    };
    const Case cases[] = {{0, 5, 10}, {10, 0, 10}, {10, 5, 0}, {100000, 1, 1000000}};
    for (const Case& c : cases) {
        ZRNCycleAnimator an(c.rate, true);
        an.AddKey(4);
        an.AddKey(9);
        an.Update(c.value, 0.5f, c.period);
        EXPECT_EQ(an.FrameTime().frameA, 0) << c.rate << " " << c.value << " " << c.period;
    }
}

TEST(Animators, CycleAnimatorFollowsTheVisitorsPhase) {
    ZRNCycleVisitor visitor(0.0f, 10, 10);
    visitor.SetTick(25);
    EXPECT_EQ(visitor.GetPhase(), 5);
    EXPECT_FLOAT_EQ(visitor.GetFraction(), 0.5f);
    visitor.SetTick(-25);
    EXPECT_EQ(visitor.GetPhase(), -5);

    ZRNCycleAnimator plain(10, false);
    for (int k = 0; k < 5; ++k) {
        plain.AddKey(k * 2);
    }
    ZRNNodeMesh node(nullptr, &plain);
    visitor.SetTick(5);
    node.Accept(visitor);
    EXPECT_EQ(plain.FrameTime().frameA, 4);  // position 0.5 over 5 keys: key 2
    EXPECT_EQ(plain.FrameTime().frameB, 6);

    // Wrapping: g = 5 / (10 / (10 / 10)) = 0.5, so fraction 0.3 maps to 0.3 / 0.5.
    ZRNCycleAnimator wrap(10, true);
    for (int k = 0; k < 5; ++k) {
        wrap.AddKey(k);
    }
    wrap.Update(10, 0.3f, 10);
    EXPECT_EQ(wrap.FrameTime().frameA, 2);
    EXPECT_NEAR(wrap.FrameTime().fraction, 0.4f, 1e-3f);
}

TEST(Tracks, EvaluationAndClamping) {
    ZRNCameraTrack single;
    single.AddKey({1, 2, 3});
    KVLVector3 eye, target;
    ZRNEvaluateCamera(single, ZRNFrameTime(4, 9, 0.5f), &eye, &target);
    EXPECT_EQ(eye, KVLVector3(1, 2, 3));
    EXPECT_EQ(target, KVLVector3::Origin);

    ZRNTransformTrack t;
    t.keys.Add({0, 0, 0});
    t.keys.Add({10, 0, 0});
    struct Case {
        ZRNFrameTime time;
        float x;
    };
    const Case cases[] = {{{0, 1, 0.25f}, 2.5f}, {{0, 0, 0.0f}, 0.0f}, {{1, 7, 0.5f}, 10.0f}, {{-3, 1, 0.5f}, 5.0f}};
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(ZRNEvaluateTrack(t, c.time).x, c.x) << c.time.frameA << " " << c.time.frameB;
    }
    ZRNTransformTrack empty;
    EXPECT_EQ(ZRNEvaluateTrack(empty, ZRNFrameTime(2, 3, 0.5f)), KVLVector3::Zero);

    ZRNJointTrack joint;
    joint.origins.Add({1, 0, 0});
    joint.axes.Add(KVLMatrix34::RotationY(0.5f));
    joint.origins.Add({3, 0, 0});
    joint.axes.Add(KVLMatrix34::RotationY(0.5f));
    const KVLMatrix34 m = ZRNEvaluateJoint(joint, ZRNFrameTime(3, 9, 0.5f));
    EXPECT_NEAR(m.GetTranslation().x, 3.0f, 1e-5f);  // frames 3 and 9 clamped to frame 1
}

// An animator with more keys than the model has frames shows the model's last frame.
TEST(RenderVisitor, MeshFrameNumbersAreClampedToTheModel) {
    auto mesh = FramedMesh(3);
    ZRNLoopAnimator animator(10);
    ZRNNodeMesh node(mesh.get(), &animator);
    struct Case {
        std::vector<int32_t> keys;
        float position;
        float drawnX;
    };
    const Case cases[] = {{{0, 1, 2, 40, 41}, 1.0f, 2.0f},  // (41, 0) is drawn as (2, 0)
                          {{1, 2}, 0.5f, 1.5f},
                          {{30, 31}, 0.5f, 2.0f},
                          {{0}, 0.0f, 0.0f}};
    for (const Case& c : cases) {
        ZRNLoopAnimator an(10);
        for (int32_t k : c.keys) {
            an.AddKey(k);
        }
        an.SetPosition(c.position);
        node.SetTimeSource(&an);
        RecordingRenderer r;
        Render(node, r);
        ASSERT_EQ(r.drawn.size(), 1u);
        EXPECT_FLOAT_EQ(r.drawn[0].x, c.drawnX) << c.keys.back();
    }
}

}  // namespace
