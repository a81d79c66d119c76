#include <algorithm>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <voutil/VoArchive.h>
#include <zstd.h>

namespace {

using vo::test::messagesOf;
using vo::test::readFile;
using vo::test::TempDir;

void writeFile(const std::string& name, const std::string& content) {
   std::ofstream(name, std::ios::binary) << content;
}

// Text and random bytes in turns, so that some blocks compress and some do not.
std::string mixedData(std::size_t size, unsigned seed = 1) {
   std::mt19937 random(seed);
   std::string data;
   data.reserve(size);
   while (data.size() < size) {
      for (int i = 0; i < 200 && data.size() < size; ++i)
         data += "the quick brown fox " + std::to_string(i) + "\n";
      for (int i = 0; i < 5000 && data.size() < size; ++i)
         data += static_cast<char>(random());
   }
   data.resize(size);
   return data;
}

class VoArchiveZstd : public ::testing::Test {
protected:
   std::string roundTrip(const std::string& content, int level = 3) {
      writeFile(src, content);
      VoArchive::compressZSTD(src.c_str(), packed.c_str(), level);
      VoArchive::extractZSTD(packed.c_str(), back.c_str());
      return readFile(back);
   }

   TempDir dir;
   const std::string src = dir.file("src.bin");
   const std::string packed = dir.file("src.zst");
   const std::string back = dir.file("back.bin");
};

TEST_F(VoArchiveZstd, RoundTripsAnySizeByteForByte) {
   const std::size_t block = ZSTD_CStreamInSize();
   for (std::size_t size : {std::size_t{0}, std::size_t{1}, block, 2 * block, 3 * block + 17}) {
      const std::string content = mixedData(size);
      EXPECT_EQ(roundTrip(content), content) << size << " bytes";
   }
   const std::string content = mixedData(300000, 7);
   EXPECT_EQ(roundTrip(content, 19), content) << "level 19";
   EXPECT_EQ(roundTrip(content, -5), content) << "a fast level";
}

TEST_F(VoArchiveZstd, EmptySourceGivesACompleteFrameAndEmptyInputAnEmptyFile) {
   EXPECT_EQ(roundTrip(""), "");
   const std::string frame = readFile(packed);
   ASSERT_GE(frame.size(), 4u + 4u);
   EXPECT_EQ(ZSTD_getFrameContentSize(frame.data(), frame.size()), 0u);
   writeFile(dir.file("empty.zst"), "");
   VoArchive::extractZSTD(dir.file("empty.zst").c_str(), back.c_str());
   EXPECT_EQ(readFile(back), "");
}

TEST_F(VoArchiveZstd, TheDestinationIsTruncatedAndFramesFollowOneAnother) {
   writeFile(back, std::string(1 << 20, 'x'));
   EXPECT_EQ(roundTrip("short"), "short");
   const std::string one = readFile(packed);
   EXPECT_EQ(roundTrip("second"), "second");
   writeFile(dir.file("two.zst"), one + readFile(packed));
   VoArchive::extractZSTD(dir.file("two.zst").c_str(), back.c_str());
   EXPECT_EQ(readFile(back), "shortsecond");
}

TEST_F(VoArchiveZstd, AMissingSourceIsReportedAndCreatesNothing) {
   const SxString missing = dir.file("missing").c_str();
   EXPECT_EQ(messagesOf([&] { VoArchive::compressZSTD(missing, packed.c_str(), 3); }),
             (std::vector<std::string>{"Cannot compress " + missing.str() + " using zstd",
                                       "File " + missing.str() + " does not exist"}));
   EXPECT_EQ(messagesOf([&] { VoArchive::extractZSTD(missing, back.c_str()); }),
             (std::vector<std::string>{"Cannot decompress " + missing.str() + " using zstd",
                                       "File " + missing.str() + " does not exist"}));
   EXPECT_FALSE(std::filesystem::exists(packed));
   EXPECT_FALSE(std::filesystem::exists(back));
}

TEST_F(VoArchiveZstd, BadInputFailsWithTheOuterMessageOrStopsAtTheCut) {
   const std::string content = mixedData(400000, 3);
   roundTrip(content);
   const std::string frame = readFile(packed);
   const std::string outer = "Cannot decompress " + packed + " using zstd";

   std::string flipped = frame;
   flipped[flipped.size() / 2] ^= 0x01;
   std::string random = mixedData(50000, 9).substr(20000);
   std::string checksum = frame;
   checksum.back() ^= 0x40;
   for (const std::string* bad : {&flipped, &random, &checksum}) {
      writeFile(packed, *bad);
      const auto messages =
          messagesOf([&] { VoArchive::extractZSTD(packed.c_str(), back.c_str()); });
      ASSERT_EQ(messages.size(), 2u);
      EXPECT_EQ(messages[0], outer);
      EXPECT_TRUE(messages[1].starts_with("zstd: ")) << messages[1];
   }

   writeFile(packed, frame.substr(0, frame.size() / 2));
   VoArchive::extractZSTD(packed.c_str(), back.c_str());
   const std::string prefix = readFile(back);
   EXPECT_LT(prefix.size(), content.size());
   EXPECT_EQ(prefix, content.substr(0, prefix.size()));
}

TEST_F(VoArchiveZstd, AnUnwritableDestinationFailsWithTheFileError) {
   writeFile(src, "data");
   const std::string target = dir.file("no/such/dir/out.zst");
   const auto messages =
       messagesOf([&] { VoArchive::compressZSTD(src.c_str(), target.c_str(), 3); });
   ASSERT_EQ(messages.size(), 2u);
   EXPECT_EQ(messages[0], "Cannot compress " + src + " using zstd");
   EXPECT_TRUE(messages[1].starts_with("Can't open file '" + target + "'")) << messages[1];
}

TEST_F(VoArchiveZstd, ReadingIsReportedAndCanBeCancelled) {
   const std::string content = mixedData(3 * ZSTD_CStreamInSize() + 5);
   writeFile(src, content);
   std::vector<uint64_t> seen;
   VoArchive::compressZSTD(src.c_str(), packed.c_str(), 1, [&](uint64_t read, uint64_t size) {
      EXPECT_EQ(size, content.size());
      seen.push_back(read);
   });
   ASSERT_EQ(seen.size(), 4u);
   EXPECT_EQ(seen.back(), content.size());
   EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

   const auto messages = messagesOf([&] {
      VoArchive::extractZSTD(packed.c_str(), back.c_str(),
                             [](uint64_t, uint64_t) { throw SxException("cancelled", "tests"); });
   });
   EXPECT_EQ(messages, (std::vector<std::string>{"Cannot decompress " + packed + " using zstd",
                                                 "cancelled"}));
}

} // namespace
