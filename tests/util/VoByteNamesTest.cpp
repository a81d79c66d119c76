// Names that are not UTF-8 reach the system as the bytes they were given: no other file is
// touched.

#include <common/TempDir.h>
#include <gtest/gtest.h>
#include <voutil/VoArchive.h>
#include <voutil/VoCopyTask.h>

namespace {

using namespace vo::test;

#ifndef _WIN32
// A Latin-1 name, copied, compressed and hashed: every file lands under the exact bytes asked
// for, beside the name that a lossy conversion would have used.
TEST(ByteNames, ALatin1FileNameIsCopiedCompressedAndHashed) {
   const TempDir dir;
   const std::string content(70000, 'x');
   const std::string source = dir.file("caf\xE9.txt");
   const std::string lossy = dir.file("caf\xEF\xBF\xBD.txt");
   writeFile(source, content);
   writeFile(lossy, "not this one");

   const std::string copy = dir.file("copie \xE9t\xE9");
   VoFileCopyTask task(source.c_str(), copy.c_str(), {{0, 0, content.size()}});
   task.start();
   task.wait();
   EXPECT_EQ(readFile(copy), content);

   VoArchive::compressZSTD(source.c_str(), (source + ".zst").c_str());
   VoArchive::extractZSTD((source + ".zst").c_str(), (copy + ".back").c_str());
   EXPECT_EQ(readFile(copy + ".back"), content);

   EXPECT_EQ(task.getMD5().get(), SxMd5::get(SxString(content)));
   EXPECT_EQ(readFile(lossy), "not this one");
}
#endif

} // namespace
