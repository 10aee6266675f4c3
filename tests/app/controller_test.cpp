// The controller's timeline against scenes that only record what happens to them and
// the recording renderer: the ten-step switch, which ticks reach which scene, the end
// of the show, a closed window, a failing scene, and ticks from another thread racing
// the switches.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "core/kvl_memorystream.h"
#include "sound/kvl_soundstreamer_wav.h"
#include "show/zrn_showcontroller.h"
#include "app_support.h"
#include "scene/recording_renderer.h"

namespace {

using testsupport::TempDir;

struct Journal {
    std::vector<std::string> events;  // main thread only
    int renders[5] = {};
    bool deleted[5] = {};
    int finalTicks[5] = {-1, -1, -1, -1, -1};
};

class FakeScene : public ZRNShowScene {
public:
    FakeScene(ZRNRendererInterface* r, ZRNRenderVisitor* rv, ZRNAnimVisitor* tv, Journal* j, int index, bool loads)
        : ZRNShowScene(r, rv, tv), m_journal(j), m_index(index), m_loads(loads) {}
    ~FakeScene() override {
        m_journal->deleted[m_index] = true;
        m_journal->finalTicks[m_index] = GetTickCounter();
        m_journal->events.push_back("delete " + std::to_string(m_index));
    }
    bool Load(KVLString* errorText) override {
        if (!m_loads && errorText != nullptr) {
            errorText->Format("Couldn't read texture Fake%d", m_index);
        }
        return m_loads;
    }
    void Render() override {
        ++m_journal->renders[m_index];
        DrawTree(nullptr);
    }

private:
    Journal* m_journal;
    int m_index;
    bool m_loads;
};

class TestController : public ZRNShowController {
public:
    TestController(ZRNRendererInterface* r, Journal* j, int failing = -1,
                   const ZRNShowDescription& show = DemoShowDescription())
        : ZRNShowController(show, nullptr, r, nullptr), m_journal(j), m_failing(failing) {}

protected:
    void CreateScenes() override {
        for (int i = 0; i < GetTimeline().GetSceneCount(); ++i) {
            AddScene(std::make_unique<FakeScene>(GetRenderer(), GetRenderVisitor(), GetTickVisitor(), m_journal, i,
                                                 i != m_failing));
        }
    }

private:
    Journal* m_journal;
    int m_failing;
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testsupport::FileExists(apptest::GeneratedArchive())); }
    std::unique_ptr<TestController> Make(int failing = -1) {
        auto c = std::make_unique<TestController>(&renderer, &journal, failing);
        c->UseWAVOutput(KVLString(dir.file("sound.wav").c_str()));
        return c;
    }
    void TickTo(ZRNShowController& c, int32_t tick) {
        while (c.GetTickCount() < tick) {
            ZRNShowController::OnTick(0, &c);
        }
    }
    TempDir dir;
    apptest::CatalogueAt at{apptest::GeneratedArchive()};
    RecordingRenderer renderer;
    Journal journal;
};

TEST_F(ControllerTest, TenStepSwitchesThroughTheWholeTimeline) {
    auto c = Make();
    ASSERT_TRUE(c->Init());
    EXPECT_TRUE(c->IsRunning());
    EXPECT_EQ(renderer.log.front(), "Initialise");
    EXPECT_EQ(c->GetCurrentIndex(), 0);

    const int32_t switches[] = {280, 1120, 2870, 5530};
    for (int s = 0; s < 4; ++s) {
        TickTo(*c, switches[s] - 1);
        c->FrameStep();
        // One frame here; a later scene also drew once right after its switch.
        EXPECT_EQ(journal.renders[s], s == 0 ? 1 : 2) << "scene " << s;
        ZRNShowScene* before = c->GetCurrentScene();
        const int32_t counted = before->GetTickCounter();
        ZRNShowController::OnTick(0, c.get());  // the switch tick
        EXPECT_TRUE(c->IsSwitchPending());
        EXPECT_EQ(before->GetTickCounter(), counted) << "the switch tick is not passed on";

        const int renders = journal.renders[s];
        c->FrameStep();  // deletes the old scene, empties the texture cache
        EXPECT_TRUE(journal.deleted[s]);
        EXPECT_EQ(c->GetScene(s), nullptr);
        EXPECT_EQ(renderer.resets, s + 1);
        EXPECT_EQ(journal.renders[s], renders);
        for (int step = 2; step <= 10; ++step) {
            ZRNShowController::OnTick(0, c.get());  // ticks in the gap reach nobody
            c->FrameStep();
            EXPECT_EQ(c->IsSwitchPending(), step < 10) << "switch " << s << " step " << step;
        }
        EXPECT_EQ(c->GetCurrentIndex(), s + 1);
        EXPECT_EQ(journal.renders[s + 1], 0);
        EXPECT_EQ(c->GetScene(s + 1)->GetTickCounter(), 0);
        c->FrameStep();  // the eleventh step draws the new scene
        EXPECT_EQ(journal.renders[s + 1], 1);
    }
    // Scene counters: the picture gets 279 ticks, the others lose the gap's nine too.
    EXPECT_EQ(journal.finalTicks[0], 279);
    EXPECT_EQ(journal.finalTicks[1], 1120 - 280 - 1 - 9);
    EXPECT_EQ(journal.finalTicks[2], 2870 - 1120 - 1 - 9);
    EXPECT_EQ(journal.finalTicks[3], 5530 - 2870 - 1 - 9);

    TickTo(*c, 5880);
    EXPECT_TRUE(c->IsRunning());
    c->FrameStep();
    EXPECT_FALSE(c->IsRunning());
    EXPECT_EQ(c->GetCurrentScene(), nullptr);
    EXPECT_TRUE(journal.deleted[4]);
    EXPECT_EQ(journal.finalTicks[4], 5880 - 5530 - 1 - 9);
    EXPECT_TRUE(c->GetPlayer()->IsFinished());
    EXPECT_EQ(renderer.resets, 4) << "the end resets nothing";
    // Ticks after the end count but reach nobody; frame steps change nothing.
    ZRNShowController::OnTick(0, c.get());
    c->FrameStep();
    EXPECT_EQ(c->GetTickCount(), 5881);
}

TEST_F(ControllerTest, SwitchTicksWithoutFramesOnlyTheLastIsHandled) {
    auto c = Make();
    ASSERT_TRUE(c->Init());
    TickTo(*c, 1120);
    for (int i = 0; i < 10; ++i) {
        c->FrameStep();
    }
    EXPECT_FALSE(journal.deleted[0]) << "switch 280 was overwritten by 1120";
    EXPECT_TRUE(journal.deleted[1]);
    EXPECT_EQ(c->GetCurrentIndex(), 2);
    c.reset();
    EXPECT_TRUE(journal.deleted[0]) << "the destructor deletes what is left";
}

TEST_F(ControllerTest, ClosedWindowStopsMusicAndTicks) {
    auto c = Make();
    ASSERT_TRUE(c->Init());
    TickTo(*c, 100);
    EXPECT_FALSE(c->GetPlayer()->IsFinished());
    c->OnDestroying();
    EXPECT_FALSE(c->IsRunning());
    EXPECT_TRUE(c->GetPlayer()->IsFinished());
    TickTo(*c, 200);
    EXPECT_EQ(c->GetScene(0)->GetTickCounter(), 100);
}

TEST_F(ControllerTest, FailingSceneStopsInitBeforeAnythingRuns) {
    for (int failing : {0, 2, 4}) {
        Journal fresh;
        journal = fresh;
        renderer.log.clear();
        auto c = Make(failing);
        EXPECT_FALSE(c->Init());
        EXPECT_FALSE(c->IsRunning());
        EXPECT_TRUE(renderer.log.empty()) << "the renderer is not initialised";
        EXPECT_EQ(c->GetPlayer()->GetState(), KVLSoundPlayer::kNotPlaying) << "never started";
        c.reset();
        for (int i = 0; i < 5; ++i) {
            EXPECT_TRUE(journal.deleted[i]);
        }
    }
}

TEST_F(ControllerTest, MissingSoundtrackIsUnableToPlay) {
    TempDir other;
    apptest::WriteArchive(other.file("q.pak"), {{"tex\\prt.jpg", {1}}});
    apptest::CatalogueAt here(other.file("q.pak"));
    auto c = Make();
    EXPECT_FALSE(c->Init());
    EXPECT_FALSE(c->IsRunning());
}

// A show whose soundtrack is a WAV file: the streamer is picked by the first bytes, the
// music plays at the file's rate, mono doubled into both channels, from the start and
// after a seek.
TEST_F(ControllerTest, WavSoundtrackPlaysItsSamples) {
    const int32_t rate = 22050;
    const int32_t frames = 3 * rate;
    std::vector<uint8_t> wav = testsupport::WavHeader(static_cast<uint32_t>(frames) * 2, rate, 1);
    const std::vector<uint8_t> samples = testsupport::PatternBytes(static_cast<size_t>(frames) * 2, 11);
    wav.insert(wav.end(), samples.begin(), samples.end());
    const KVLMemoryStream music(wav.data(), wav.size());
    ZRNShowDescription show = DemoShowDescription();
    show.music = [&music] { return static_cast<const KVLStream*>(&music); };
    auto expected = [&](int32_t from, int32_t count) {
        std::vector<uint32_t> out;
        for (int32_t i = from; i < from + count; ++i) {
            const uint32_t s = samples[2 * static_cast<size_t>(i)] | samples[2 * static_cast<size_t>(i) + 1] << 8;
            out.push_back(s | s << 16);
        }
        return out;
    };
    const int32_t chunk = 4000;
    const int32_t seekFrame = 100 * 14 * rate / 1000;  // tick 100
    {
        TestController c(&renderer, &journal, -1, show);
        c.UseWAVOutput(KVLString(dir.file("sound.wav").c_str()));
        ASSERT_TRUE(c.Init());
        EXPECT_EQ(c.GetMusicRate(), rate);
        ASSERT_TRUE(c.GetWAVOutput()->Advance(chunk));
        ASSERT_TRUE(c.PlayMusicAtTick(100));
        ASSERT_TRUE(c.GetWAVOutput()->Advance(chunk));
        c.OnDestroying();
    }
    KVLSoundStreamerWAV played;
    ASSERT_TRUE(played.OpenFile(dir.file("sound.wav").c_str(), nullptr));
    EXPECT_EQ(played.GetSampleRate(), rate);
    ASSERT_TRUE(played.IsStereo());
    KVLSampleBlockPtr block = KVLMakeSampleBlock(2 * chunk);
    ASSERT_EQ(played.Read(block.get()), 2 * chunk);
    EXPECT_TRUE(std::vector<uint32_t>(block->data, block->data + chunk) == expected(0, chunk));
    EXPECT_TRUE(std::vector<uint32_t>(block->data + chunk, block->data + 2 * chunk) == expected(seekFrame, chunk));
}

// Ticks from another thread while the main thread works through every switch: the
// sanitizers see any tick that reaches a deleted scene.
TEST_F(ControllerTest, TicksFromAnotherThreadRaceTheSwitches) {
    auto c = Make();
    ASSERT_TRUE(c->Init());
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        while (!stop.load() && c->GetTickCount() < 5880) {
            ZRNShowController::OnTick(0, c.get());
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    int steps = 0;
    while (c->IsRunning() && steps < 50000000) {
        c->FrameStep();
        ++steps;
    }
    stop.store(true);
    ticker.join();
    EXPECT_FALSE(c->IsRunning());
    EXPECT_TRUE(journal.deleted[4]);
    EXPECT_EQ(c->GetCurrentScene(), nullptr);
    c.reset();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(journal.deleted[i]) << i;
    }
}

}  // namespace
