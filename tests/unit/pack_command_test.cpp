// `quill pack` and `quill unpack` on a synthetic stub: what a packed executable carries, the
// settings stamp, the round trip, and the project errors a user meets first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pe_test_image.h"
#include "projector/records/movie_list.h"
#include "projector/records/packed_resource.h"
#include "projector/records/project_settings.h"
#include "projector/records/settings_stamp.h"
#include "temp_folder.h"
#include "tools/quill/pack_command.h"

namespace quill::tool {
namespace {

using project::MemorySource;
using project::ResourceEntry;

class PackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::TestImageLayout layout;
        layout.sections.push_back({".text", std::vector<uint8_t>(0x40, 0xC3), 0, 0x60000020});
        layout.sections.push_back({".rsrc", {}, 0, 0x40000040});
        layout.resourceSection = 1;
        layout.resources.push_back(
            test::testResource(project::ResourceId::ofId(project::kTypeVersion),
                               project::ResourceId::ofId(1), "version"));
        std::vector<uint8_t> stub = test::buildTestImage(layout);
        dir.write("stub.exe", std::string(stub.begin(), stub.end()));
        dir.write("movies/intro.swf", "FWS intro");
        dir.write("movies/main.swf", "FWS main");
        dir.write("codec.dll", "plug-in");
        dir.write("round.msk", "region");
        dir.write("init.qls", "var x = 6 * 7;\ntrue;\n");
        dir.write("help.chm", "help");
        dir.write("extra/notes/a.txt", "note");
    }

    // Writes the project file and packs it; the error text on failure.
    std::string pack(const std::string& project, const std::string& output = "app.exe") {
        dir.write("project.toml", project);
        PackRequest request;
        request.project = dir / "project.toml";
        request.projectShown = "project.toml";
        request.output = dir / output;
        request.stub = dir / "stub.exe";
        PackSummary summary;
        std::string error;
        return packProject(request, &summary, &error) ? "" : error;
    }

    std::vector<uint8_t> file(const std::string& name) {
        std::string text = dir.read(name);
        return {text.begin(), text.end()};
    }

    // The unpacked data of a resource of the packed executable.
    std::vector<uint8_t> resource(const std::vector<uint8_t>& exe, std::u16string_view type,
                                  std::u16string_view name, bool packed = true) {
        MemorySource source(exe);
        project::PeImage image;
        std::vector<ResourceEntry> entries;
        std::string error;
        EXPECT_TRUE(project::parsePeImage(source, &image, &error)) << error;
        EXPECT_TRUE(project::readResourceTable(source, image, &entries, &error)) << error;
        const ResourceEntry* entry = project::findResource(entries, type, name);
        if (!entry) return {};
        std::vector<uint8_t> raw, data;
        project::loadResourceData(source, *entry, &raw);
        if (!packed) return raw;
        EXPECT_TRUE(project::UnpackContainer(raw.data(), raw.size(), &data, nullptr));
        return data;
    }

    test::TempFolder dir;
};

constexpr const char* kProject = R"(
id = "Tests/App"
movies = ["movies/intro.swf", { file = "codec.dll", kind = "plugin" }, "movies/main.swf"]
masks = ["round.msk"]
scripts = ["init.qls"]
additional_files = "extra"
[product]
name = "Packed"
[misc]
help_file = "help.chm"
)";

TEST_F(PackTest, ExecutableCarriesTheProject) {
    ASSERT_EQ(pack(kProject), "");
    std::vector<uint8_t> exe = file("app.exe");

    project::ProjectSettings settings;
    std::vector<uint8_t> st = resource(exe, u"PLEXOR", u"ST");
    project::MemoryStream stream(st);
    test::TempFolder work;
    project::ExtractTarget target;
    target.workFolder = work.text();
    target.codec = &project::utf8Codec();
    EXPECT_TRUE(project::ReadProjectSettings(&settings, stream, target));
    EXPECT_EQ(settings.productName, "Packed");
    EXPECT_EQ(settings.windowTitle, "Packed");  // the title defaults to the product name
    EXPECT_EQ(settings.frameParam, 1u);
    EXPECT_EQ(settings.positionMode, 4u);
    EXPECT_EQ(settings.miscFlags, 0x1000u);  // a help file is used once it is given
    EXPECT_EQ(work.read("help.chm"), "help");

    std::vector<uint8_t> stamp = resource(exe, u"PLEXOR", u"CS", false);
    auto expected = project::md5Digest(st.data(), st.size());
    EXPECT_EQ(stamp, std::vector<uint8_t>(expected.begin(), expected.end()));
    std::vector<uint8_t> id = resource(exe, u"PLEXOR", u"ID", false);
    EXPECT_EQ(id.size(), 2 * 10 + 32u);  // "Tests/App", NUL, 32 bytes

    project::MovieList movies;
    std::vector<uint8_t> ml = resource(exe, u"PLEXOR", u"ML");
    project::MemoryStream mlStream(ml);
    parseMovieList(mlStream, target, &movies);
    ASSERT_EQ(movies.entries.size(), 3u);
    EXPECT_EQ(movies.listFlags, project::kListEmbedded);
    EXPECT_EQ(movies.entries[1].kind, project::kPluginKind);
    EXPECT_EQ(work.read("Plug_Ins/codec.dll"), "plug-in");
    EXPECT_EQ(work.read("main.swf"), "FWS main");

    EXPECT_FALSE(resource(exe, u"QUILL", u"init").empty());
    EXPECT_TRUE(resource(exe, u"PLEXOR", u"FP", false).empty());
    EXPECT_TRUE(resource(exe, u"SUPPORT", u"$1", false).empty());
}

TEST_F(PackTest, StampFollowsTheSettingsOnly) {
    ASSERT_EQ(pack(kProject, "one.exe"), "");
    ASSERT_EQ(pack(kProject, "one.exe"), "");  // an existing output is replaced
    ASSERT_EQ(pack(kProject, "two.exe"), "");
    dir.write("movies/intro.swf", "another movie");
    ASSERT_EQ(pack(kProject, "movie-changed.exe"), "");
    ASSERT_EQ(pack(std::string(kProject) + "flags = [\"mute\"]\n", "changed.exe"), "");
    auto stamp = [&](const char* name) { return resource(file(name), u"PLEXOR", u"CS", false); };
    EXPECT_EQ(stamp("one.exe"), stamp("two.exe"));
    EXPECT_EQ(stamp("one.exe"), stamp("movie-changed.exe"));
    EXPECT_NE(stamp("one.exe"), stamp("changed.exe"));
}

TEST_F(PackTest, UnpackThenPackGivesTheSameExecutable) {
    ASSERT_EQ(pack(kProject + std::string("[about.font1]\nface = \"Arial\"\nheight = -11\n"
                                          "[reserved]\nblock = \"0A0B\"\ntrailer_value2 = 5\n")),
              "");
    UnpackRequest request;
    request.executable = dir / "app.exe";
    request.executableShown = "app.exe";
    request.folder = dir / "unpacked";
    std::string listing, error;
    std::vector<std::string> problems;
    ASSERT_TRUE(unpackProjector(request, &listing, &problems, &error)) << error;
    EXPECT_TRUE(problems.empty()) << problems[0];
    EXPECT_NE(listing.find("QUILL  INIT"), std::string::npos) << listing;
    EXPECT_EQ(dir.read("unpacked/extra/notes/a.txt"), "note");

    PackRequest again;
    again.project = dir / "unpacked" / "app.toml";
    again.projectShown = "app.toml";
    again.output = dir / "again.exe";
    again.stub = dir / "stub.exe";
    PackSummary summary;
    ASSERT_TRUE(packProject(again, &summary, &error)) << error;
    EXPECT_EQ(file("app.exe"), file("again.exe"));

    // Unpacking never writes into a folder that holds something.
    problems.clear();
    EXPECT_FALSE(unpackProjector(request, &listing, &problems, &error));
    EXPECT_NE(error.find("the folder is not empty"), std::string::npos) << error;
}

TEST_F(PackTest, ProjectErrorsNameTheFieldAndLeaveNoOutput) {
    dir.write("app.exe", "an older build");
    struct Case {
        std::string project;
        std::string message;
    } cases[] = {
        {"movies = [\"movies/intro.swf\", \"movies/missing.swf\"]",
         "project.toml: movies[2]: file not found: movies/missing.swf"},
        {"[window]\nshap = \"mask\"", "project.toml: window.shap: unknown field"},
        {"colour = 1", "project.toml: colour: unknown field"},
        {"scripts = [\"init.qls\", { name = \"INIT\", file = \"init.qls\" }]",
         "project.toml: scripts[2]: the script name INIT is already used by scripts[1] (names are "
         "compared in any case)"},
        {"[placement]\nwidth = 70000",
         "project.toml: placement.width: the value 70000 is out of range (0 to 65535)"},
        {"[window]\nshape = \"round\"",
         "project.toml: window.shape: unknown value \"round\" (expected rectangle, transparent, "
         "mask, "
         "transparent-exact or a number)"},
        {"[window]\ntitle = 5", "project.toml: window.title: expected a string"},
        {"movies = [\"movies/intro.swf\", \"movies/intro.swf\"]",
         "project.toml: movies[2]: a file named intro.swf is already in the list"},
        {"scripts = [\"help.chm\"]",
         "project.toml: scripts[1]: a script is a .qls source or a .qsc compiled module: help.chm"},
        {"masks = [{ name = \"con\" }]",
         "project.toml: masks[1]: the mask name \"con\" cannot be used: the name is reserved for a "
         "device"},
        {"[reserved]\ntrailer_bytes = \"00\"",
         "project.toml: reserved.trailer_bytes: expected 16 bytes (32 hexadecimal digits)"},
        {"[about]\nbitmap = \"help.chm\"",
         "project.toml: about.bitmap: not a 24-bit Windows bitmap: help.chm"},
        {"id = \"\"", "project.toml: id: the identity must not be empty"},
        {"[window\n", "project.toml:1:8: "},
        {"[(window]\n", "project.toml:1:2: "},
    };
    for (const Case& c : cases) {
        std::string error = pack(c.project);
        EXPECT_EQ(error.substr(0, c.message.size()), c.message) << c.project;
        EXPECT_EQ(dir.read("app.exe"), "an older build") << c.project;
        EXPECT_FALSE(std::filesystem::exists(dir / "app.exe.part"));
    }
    // A script that does not compile: the compiler's message.
    dir.write("bad.qls", "var = ;");
    std::string error = pack("scripts = [\"bad.qls\"]");
    EXPECT_EQ(error.substr(0, 30), "project.toml: scripts[1]: bad.") << error;
    EXPECT_NE(error.find("error: line"), std::string::npos) << error;
    EXPECT_EQ(dir.read("app.exe"), "an older build");
}

TEST_F(PackTest, StubProblems) {
    dir.write("project.toml", "");
    PackRequest request;
    request.project = dir / "project.toml";
    request.projectShown = "project.toml";
    request.output = dir / "out.exe";
    request.stub = dir / "help.chm";
    PackSummary summary;
    std::string error;
    EXPECT_FALSE(packProject(request, &summary, &error));
    EXPECT_NE(error.find("not a Windows executable"), std::string::npos) << error;
    request.stub = dir / "nothing.exe";
    EXPECT_FALSE(packProject(request, &summary, &error));
    EXPECT_NE(error.find("cannot read the stub"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.exe"));
}

}  // namespace
}  // namespace quill::tool
