// Helpers for the movie tests.
#include "movie_test_support.h"

#include "control/action_assembler.h"
#include "control/movie_description.h"
#include "control/swf_reader.h"
#include "control/swf_writer.h"

namespace quill::movie::test {

std::vector<uint8_t> bytesFrom(const std::string& description) {
    Movie movie;
    std::string error;
    EXPECT_TRUE(compileDescription(description, "test.toml", &movie, &error)) << error;
    return writeMovie(movie);
}

std::shared_ptr<const Movie> movieFrom(const std::string& description) {
    std::vector<uint8_t> bytes = bytesFrom(description);
    auto movie = std::make_shared<Movie>();
    ReadReport report;
    EXPECT_TRUE(readMovie(bytes.data(), bytes.size(), movie.get(), &report)) << report.error;
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    return movie;
}

std::vector<uint8_t> assemble(const std::vector<std::string>& lines, int version) {
    std::vector<uint8_t> code;
    std::string error;
    EXPECT_TRUE(assembleActions(lines, version, &code, &error)) << error;
    return code;
}

std::shared_ptr<const Movie> scriptMovie(const std::vector<std::string>& lines, int version,
                                         const std::string& extra) {
    std::string text = "[movie]\nwidth = 100\nheight = 100\nversion = " + std::to_string(version) +
                       "\n" + extra + "\n[[frame]]\nframe = 1\nactions = '''\n";
    for (const std::string& l : lines) text += l + "\n";
    text += "'''\n";
    return movieFrom(text);
}

}  // namespace quill::movie::test
