// Helpers for the movie tests: movies from description text (written to bytes and read back,
// as the control gets them), a player host that records what scripts asked for, and assembled
// action blocks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/movie_model.h"
#include "control/player.h"

namespace quill::movie::test {

// Compiles, writes and reads back a description; fails the test on any error.
std::shared_ptr<const Movie> movieFrom(const std::string& description);
std::vector<uint8_t> bytesFrom(const std::string& description);

// Action text to bytes (fails the test when it does not assemble).
std::vector<uint8_t> assemble(const std::vector<std::string>& lines, int version = 6);

struct RecordingHost : PlayerHost {
    std::vector<std::pair<std::string, std::string>> commands;
    std::vector<std::string> traces;
    std::vector<std::string> urls;
    void fsCommand(const std::string& command, const std::string& args) override {
        commands.emplace_back(command, args);
    }
    void trace(const std::string& text) override { traces.push_back(text); }
    void getURL(const std::string& url, const std::string&) override { urls.push_back(url); }
};

// A one-frame movie of the given version whose first frame runs `lines`.
std::shared_ptr<const Movie> scriptMovie(const std::vector<std::string>& lines, int version = 6,
                                         const std::string& extra = "");

}  // namespace quill::movie::test
