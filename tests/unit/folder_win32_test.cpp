// Folder/File where a script cannot set the scene: links that loop back up a tree, links to
// folders elsewhere (followed by copy and size, never harmed by removal), trees far deeper than
// MAX_PATH, files another program holds open without sharing, and the path forms refused or
// accepted when objects are made.
#include "host/system/file_tree_win32.h"
#include "win32_host_test_support.h"

using namespace quill;
using namespace quill::test;

namespace {

using FolderTest = Win32HostTest;

TEST_F(FolderTest, LinksThatLeadBackUpEndTheWalk) {
    CreateDirectoryW(at(L"src").c_str(), nullptr);
    CreateDirectoryW(at(L"src\\sub").c_str(), nullptr);
    writeFile(at(L"src\\a.txt"), "aaa");
    writeFile(at(L"src\\sub\\b.txt"), "bbbb");
    if (unixPath(scratch).empty()) GTEST_SKIP() << "links are made with the system's ln under Wine";
    ASSERT_TRUE(makeFolderLink(at(L"src\\sub\\up"), ".."));

    size_t visited = 0;
    auto count = [&](const files::TreeEntry&) { ++visited; };
    std::u16string src(reinterpret_cast<const char16_t*>(at(L"src").c_str()));
    EXPECT_EQ(files::walkTree(src, true, count), files::Walk::kLoop);
    visited = 0;
    EXPECT_EQ(files::walkTree(src, false, count), files::Walk::kComplete);
    EXPECT_EQ(visited, 4u) << "a.txt, sub, b.txt and the link itself, which is not entered";

    EXPECT_EQ(eval("new Folder(" + scriptPath(L"src") + ").size"), "7");
    EXPECT_EQ(eval("new Folder(" + scriptPath(L"src") + ").copy(" + scriptPath(L"dest") + ")"),
              "false");
    EXPECT_FALSE(exists(at(L"dest"))) << "a copy that cannot finish writes nothing";
    EXPECT_EQ(
        eval("new Folder(" + scriptPath(L"src\\sub\\up") + ").copy(" + scriptPath(L"dest") + ")"),
        "false");
}

TEST_F(FolderTest, LinksToFoldersElsewhereAreFollowedAndSurviveRemoval) {
    CreateDirectoryW(at(L"elsewhere").c_str(), nullptr);
    writeFile(at(L"elsewhere\\keep.txt"), "keep me");
    CreateDirectoryW(at(L"src").c_str(), nullptr);
    if (unixPath(scratch).empty()) GTEST_SKIP() << "links are made with the system's ln under Wine";
    ASSERT_TRUE(makeFolderLink(at(L"src\\link"), "../elsewhere"));

    EXPECT_EQ(eval("new Folder(" + scriptPath(L"src") + ").size"), "7");
    EXPECT_EQ(eval("new Folder(" + scriptPath(L"src") + ").copy(" + scriptPath(L"copy") + ")"),
              "true");
    DWORD copied = GetFileAttributesW(at(L"copy\\link\\keep.txt").c_str());
    ASSERT_NE(copied, INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(copied & FILE_ATTRIBUTE_REPARSE_POINT) << "the copy holds real files";

    // Removing the folder that holds the link, or the link itself, never reaches the target.
    // (Windows removes the link; Wine cannot remove a Unix link and answers false.)
    EXPECT_EQ(eval("new Folder(" + scriptPath(L"src") + ").remove()"), "false");
    eval("var link = new Folder(" + scriptPath(L"src\\link") +
         "); link.type + ' ' + link.remove()");
    EXPECT_TRUE(exists(at(L"elsewhere\\keep.txt")));
    EXPECT_TRUE(exists(at(L"elsewhere")));
}

TEST_F(FolderTest, TreesFarDeeperThanMaxPathAreMeasuredAndCopied) {
    std::wstring deep = L"\\\\?\\" + at(L"deep");
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    for (int level = 0; level < 120; ++level) {
        deep += L"\\level-" + std::to_wstring(1000 + level);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << level;
    }
    ASSERT_GT(deep.size(), 1200u);
    writeFile(deep + L"\\bottom.txt", "0123456789");
    writeFile(at(L"deep\\top.txt"), "12345");
    EXPECT_EQ(eval("new Folder(" + scriptPath(L"deep") + ").size"), "15");
    EXPECT_EQ(eval("new Folder(" + scriptPath(L"deep") + ").copy(" + scriptPath(L"copy") + ")"),
              "true");
    std::wstring copied = deep;
    copied.replace(copied.find(L"\\deep\\"), 6, L"\\copy\\");
    EXPECT_TRUE(exists(copied + L"\\bottom.txt"));
    std::string deepScript = literal(deep.substr(4));
    EXPECT_EQ(
        eval("var f = new File(" + deepScript + " + '\\\\bottom.txt'); f.size + ' ' + f.type"),
        "10 0");
}

TEST_F(FolderTest, FilesHeldOpenWithoutSharingAreMeasuredAndDated) {
    HANDLE held = CreateFileW(at(L"held.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(held, "0123456789", 10, &written, nullptr);
    std::string file = "var f = new File(" + scriptPath(L"held.bin") + "); ";
    EXPECT_EQ(eval(file + "f.size + ' ' + typeof f.dateLastModified + ' ' + typeof f.dateCreated"),
              "10 number number");
    EXPECT_EQ(eval(file + "f.dateLastModified = 1000000000000; f.dateLastModified"),
              "1000000000000");
    CloseHandle(held);
}

TEST_F(FolderTest, PathFormsRefusedAndAccepted) {
    auto full = [](const char16_t* path) { return files::fullPath(path).value_or(u"<none>"); };
    EXPECT_EQ(full(u"\\\\.\\C:"), u"<none>");
    EXPECT_EQ(full(u"nul"), u"<none>");
    EXPECT_EQ(full(u"\\\\?\\Volume{x}\\"), u"<none>");
    EXPECT_EQ(full(u""), u"<none>");
    EXPECT_EQ(full(u"\\\\?\\C:\\a\\b"), u"C:\\a\\b");
    EXPECT_EQ(full(u"\\\\?\\UNC\\server\\share\\x"), u"\\\\server\\share\\x");
    EXPECT_EQ(full(u"C:/a//b/../c"), u"C:\\a\\c");
    EXPECT_EQ(full(u"C:\\a\\"), u"C:\\a");
    EXPECT_EQ(full(u"c:\\"), u"c:\\");

    EXPECT_EQ(files::rootLength(u"\\\\server\\share\\x"), 15u);
    EXPECT_EQ(files::rootLength(u"\\\\server\\"), 0u);
    EXPECT_EQ(files::rootLength(u"C:x"), 0u);
    EXPECT_TRUE(files::isRoot(u"C:\\"));
    EXPECT_EQ(files::longForm(u"\\\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(files::childPath(u"C:\\", u"x"), u"C:\\x");
    EXPECT_EQ(files::normalisePath(u"c:/WINDOWS/System32/").value_or(u""),
              u"C:\\windows\\system32");
    // Components that do not exist keep the spelling they were given.
    EXPECT_EQ(files::normalisePath(u"\\\\Server\\Share\\Some/Path").value_or(u""),
              u"\\\\Server\\Share\\Some\\Path");
}

}  // namespace
