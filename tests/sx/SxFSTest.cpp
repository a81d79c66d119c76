#include <common/TempDir.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sx/SxException.h>
#include <sx/SxExecPath.h>
#include <sx/SxFS.h>

namespace {

TEST(SxFileInfo, SplitsPathsIntoDirectoryAndName) {
   struct Case {
      const char *path, *dir, *name;
   } cases[] = {{"D:/data/run1", "D:/data", "run1"},
                {"D:/data/run1/", "D:/data", "run1"},
                {"D:\\data\\\\run1", "D:\\data", "run1"},
                {"run1", ".", "run1"},
                {"/run1", "/", "run1"}};
   for (const Case& c : cases) {
      const SxFile f(c.path);
      EXPECT_EQ(f.getPath(), c.dir) << c.path;
      EXPECT_EQ(f.getName(), c.name) << c.path;
   }
   EXPECT_TRUE(SxFile("x/../y").getAbsPath().str().ends_with("/y"));
}

TEST(SxFSAction, CreatesDirectoriesAndFilesAndTellsThemApart) {
   vo::test::TempDir dir;
   const SxString deep = (dir.path() / "a" / "b" / "c").string().c_str();
   SxFSAction::mkdir_p(deep);
   SxFSAction::mkdir_p(deep);
   EXPECT_TRUE(SxFSAction::test_d(deep));
   EXPECT_FALSE(SxFSAction::test_f(deep));
   const SxString file = deep + "/f";
   SxFSAction::touch(file);
   EXPECT_TRUE(SxFSAction::test_f(file));
   EXPECT_FALSE(SxFSAction::test_f(""));
   EXPECT_THROW(SxFSAction::mkdir_p(file + "/under-a-file"), SxException);
   EXPECT_THROW(SxFSAction::touch(deep + "/missing/f"), SxException);
#ifndef _WIN32
   const SxString privateFile = deep + "/private";
   SxFSAction::touch(privateFile, 0600);
   EXPECT_EQ(std::filesystem::status(privateFile.utf8()).permissions(),
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}

TEST(SxExecPath, NamesThisTestProgram) {
   char buffer[10240];
   ASSERT_GT(sxGetExecPath(buffer, sizeof buffer), 0);
   EXPECT_NE(std::string(buffer).find("sx_tests"), std::string::npos);
   char tiny[4];
   EXPECT_EQ(sxGetExecPath(tiny, sizeof tiny), -1);
   EXPECT_EQ(tiny[0], '\0');
}

} // namespace
