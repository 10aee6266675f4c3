// Shared set-up of the scene tests: the generated archive as the catalogue's source,
// the two shared visitors and a recording renderer.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/demo_resources.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_rendervisitor.h"
#include "scene/recording_renderer.h"
#include "support/test_support.h"

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string archive = testsupport::BinPath("quorvel.pak");
        ASSERT_TRUE(testsupport::FileExists(archive)) << archive << " is built by the quorvel_pak target";
        SetDemoArchivePath(KVLString(archive.c_str()));
    }
    void TearDown() override { SetDemoArchivePath(KVLString("quorvel.pak")); }

    // Lines of the renderer's log equal to line.
    int Count(const std::string& line) const {
        int n = 0;
        for (const std::string& entry : renderer.log) {
            n += entry == line ? 1 : 0;
        }
        return n;
    }

    RecordingRenderer renderer;
    ZRNRenderVisitor renderVisitor{&renderer};
    ZRNTickVisitor tickVisitor{70};
};
