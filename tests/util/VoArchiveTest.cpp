// The archive tools' failures; the round trips run through the tool's shell tests.

#include <common/Messages.h>
#include <common/TempDir.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sx/SxFS.h>
#include <voutil/VoArchive.h>
#include <voutil/VoSilentProcess.h>
#include <voutil/VoSysEnv.h>

namespace fs = std::filesystem;
using namespace vo::test;

namespace {

class VoArchiveTest : public ::testing::Test {
protected:
   void TearDown() override { VoSysEnv::setRTERootDir(""); }

   // What packing D:/src with 7z, and unpacking an archive that exists into out, fail with.
   std::pair<Messages, Messages> run7z() const {
      writeFile(archive, "x");
      return {messagesOf([] { VoArchive::compress7z("D:/src", "D:/a.7z"); }),
              messagesOf([&] { VoArchive::extract7z(archive.c_str(), out.c_str()); })};
   }

   TempDir dir_;
   const std::string archive = dir_.file("a.7z");
   const std::string out = dir_.file("D-out");
};

#ifndef _WIN32
TEST_F(VoArchiveTest, AToolExitCodeIsReportedWithTheExactArguments) {
   const fs::path fake = dir_.path() / "root" / "7z" / "7zr";
   fs::create_directories(fake.parent_path());
   writeFile(fake, "#!/bin/sh\nexit 2\n");
   fs::permissions(fake, fs::perms::owner_all);
   VoSysEnv::setRTERootDir(dir_.file("root").c_str());
   const std::string run = "Could not execute archive process " +
                           (VoSysEnv::getRTERootDir() + "/7z/7zr").str() + " with args :  ";
   EXPECT_EQ(run7z(),
             std::pair(Messages{"Compression of target file failed",
                                run + "a -t7z D:/a.7z -m0=lzma2 -mx=9 D:/src Exit code : 2"},
                       Messages{"Extraction of archive failed",
                                run + "e -aoa -o" + out + " " + archive + " Exit code : 2"}));
   EXPECT_TRUE(fs::is_directory(out)) << "the destination stays";
   // Names that the tool would take for switches or list files stay names.
   EXPECT_EQ(messagesOf([] { VoArchive::compress7z("-sdel", "@a.7z"); })[1],
             run + "a -t7z ./@a.7z -m0=lzma2 -mx=9 ./-sdel Exit code : 2");
   writeFile(dir_.file("-x.7z"), "");
   EXPECT_EQ(messagesOf([&] { VoArchive::extract7z(dir_.file("-x.7z").c_str(), out.c_str()); })[1],
             run + "e -aoa -o" + out + " " + dir_.file("-x.7z") + " Exit code : 2")
       << "an absolute name is not touched";
}
#endif

TEST_F(VoArchiveTest, AMissingToolIsNamedWithItsDoubledSlash) {
   VoSysEnv::setRTERootDir(dir_.file("empty-root").c_str());
   const SxString tool =
       VoSysEnv::getRTERootDir() + (VO_TEST_EXE_SUFFIX[0] ? "/7z/7zr.exe" : "/7z/7zr");
   const std::string missing = "Archive tool " + tool.str() + " not found";
   EXPECT_EQ(run7z(), std::pair(Messages{"Compression of target file failed", missing},
                                Messages{"Extraction of archive failed", missing}));
#ifdef _WIN32
   const SxString tar = "C:/Windows/System32/tar.exe";
   if (!SxFSAction::test_f(tar)) {
      EXPECT_EQ(messagesOf([] { VoArchive::compressZip("D:/data/run1", "D:/run1.tgz"); }),
                (Messages{"Compression of target file failed",
                          "Archive tool " + tar.str() + " not found"}));
   }
#endif
}

// Reported as it is, before anything is created; the failed call is timed all the same.
TEST_F(VoArchiveTest, AMissingArchiveIsReportedUnwrappedAndCreatesNothing) {
   const SxString missing = dir_.file("missing.7z").c_str();
   const int decompression = SxTimer::getTimerId(Timer::Decompression);
   const int64_t before = SxTimer::getGlobalTimer().getCount(decompression);
   for (auto* extract : {VoArchive::extract7z, VoArchive::extractZip})
      EXPECT_EQ(messagesOf([&] { extract(missing, out.c_str()); }),
                Messages{"Archive file " + missing.str() + " not found"});
   EXPECT_FALSE(fs::exists(out));
   EXPECT_EQ(SxTimer::getGlobalTimer().getCount(decompression), before + 2);
}

TEST(VoSilentProcess, SilenceDropsOutputAndLoudnessAppendsLines) {
#ifdef _WIN32
   VoSilentProcess p(std::getenv("ComSpec"), {"/c", "echo out"});
#else
   VoSilentProcess p("/bin/sh", {"-c", "echo out; echo err >&2"});
#endif
   EXPECT_EQ(p.getCommunication(), 6);
   EXPECT_EQ(p.run({}), 0);
   EXPECT_EQ(p.getStdout() + p.getStderr(), "");

   p.setSilent(false);
   EXPECT_EQ(p.getCommunication(), 0);
   p.readFromStdout("abc");
   p.readFromStdout("def");
   EXPECT_EQ(p.getStdout(), "abc\ndef\n");
   p.setSilent(true);
   EXPECT_EQ(p.getCommunication(), 6);
}

} // namespace
