// The fixture of the windowed games: the test's own X server and a scratch folder, games
// packed from tests/data/windowed/<name>, golden pictures from tests/data/windowed_golden/.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "e2e/E2EGames.h"
#include "support/ScratchFolder.h"
#include "windowed/XSession.h"

constexpr int kWindowedTolerance = 8; // per channel, of a golden picture

class WindowedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x.Ok()) GTEST_SKIP() << x.Why();
    }

    // Packs tests/data/windowed/<name> into the scratch folder.
    std::string Game(const char* name)
    {
        const std::string game = dir / "game.win";
        std::string said;
        EXPECT_TRUE(e2e::Pack(std::string(ZB_SOURCE_DIR) + "/tests/data/windowed/" + name + "/manifest.json", game, "", &said))
            << said;
        return game;
    }
    static std::string Golden(const char* name) { return std::string("windowed_golden/") + name; }

    XSession x; // the test's own server
    ScratchFolder dir;
};
