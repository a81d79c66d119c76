#include <common/FaultInjectingOS.h>
#include <common/Messages.h>
#include <common/TempDir.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <random>
#include <string>
#include <voutil/VoArchive.h>
#include <zstd.h>

#ifndef _WIN32
#include <dlfcn.h>

// Context creation that fails on request: the test program puts its own ZSTD_createCCtx and
// ZSTD_createDCtx in front of the library's (ELF symbol interposition).
static bool failContexts = false;

extern "C" ZSTD_CCtx* ZSTD_createCCtx(void) {
   static const auto real = reinterpret_cast<ZSTD_CCtx* (*)()>(dlsym(RTLD_NEXT, "ZSTD_createCCtx"));
   return failContexts ? nullptr : real();
}

extern "C" ZSTD_DCtx* ZSTD_createDCtx(void) {
   static const auto real = reinterpret_cast<ZSTD_DCtx* (*)()>(dlsym(RTLD_NEXT, "ZSTD_createDCtx"));
   return failContexts ? nullptr : real();
}

// On request, a decoder that takes a whole chunk at once and then hands out what it decoded as
// the output buffer has room, as the streaming interface lets zstd do.
static bool holdBack = false;

extern "C" size_t ZSTD_decompressStream(ZSTD_DCtx* context, ZSTD_outBuffer* output,
                                        ZSTD_inBuffer* input) {
   static const auto real = reinterpret_cast<decltype(&ZSTD_decompressStream)>(
       dlsym(RTLD_NEXT, "ZSTD_decompressStream"));
   if (!holdBack)
      return real(context, output, input);
   static std::string held;
   char buffer[1 << 17];
   for (ZSTD_outBuffer all{}; input->pos < input->size || all.pos == all.size;) {
      all = {buffer, sizeof buffer, 0};
      if (const size_t result = real(context, &all, input); ZSTD_isError(result))
         return result;
      held.append(buffer, all.pos);
   }
   const size_t n =
       held.copy(static_cast<char*>(output->dst) + output->pos, output->size - output->pos);
   output->pos += n;
   held.erase(0, n);
   return held.size();
}
#endif

namespace {

using namespace vo::test;

// Text and random bytes in turns, so that some blocks compress and some do not.
std::string mixedData(std::size_t size, unsigned seed = 1) {
   std::mt19937 random(seed);
   std::string data;
   while (data.size() < size) {
      for (int i = 0; i < 200; ++i)
         data += "the quick brown fox " + std::to_string(i) + "\n";
      for (int i = 0; i < 5000; ++i)
         data += static_cast<char>(random());
   }
   return data.substr(0, size);
}

class VoArchiveZstd : public ::testing::Test {
protected:
   std::string roundTrip(const std::string& content) {
      writeFile(src, content);
      VoArchive::compressZSTD(src.c_str(), packed.c_str(), 3);
      VoArchive::extractZSTD(packed.c_str(), back.c_str());
      return readFile(back);
   }

   // What compressing from into to, and extracting from into to, fail with; and the messages
   // of both failures around their causes.
   static std::pair<Messages, Messages> failures(const std::string& from, const std::string& to) {
      return {messagesOf([&] { VoArchive::compressZSTD(from.c_str(), to.c_str(), 3); }),
              messagesOf([&] { VoArchive::extractZSTD(from.c_str(), to.c_str()); })};
   }
   static std::pair<Messages, Messages> wrapped(const std::string& from, const std::string& cause,
                                                const std::string& extractCause = "") {
      return {{"Cannot compress " + from + " using zstd", cause},
              {"Cannot decompress " + from + " using zstd",
               extractCause.empty() ? cause : extractCause}};
   }
   // The messages that extracting a file into back fails with.
   Messages extracting(const std::string& from, const VoArchive::ReadProgress& onRead = {}) const {
      return messagesOf([&] { VoArchive::extractZSTD(from.c_str(), back.c_str(), onRead); });
   }

   TempDir dir;
   const std::string src = dir.file("src.bin");
   const std::string packed = dir.file("src.zst");
   const std::string back = dir.file("back.bin");
};

// A source of whole input blocks ends with an empty last chunk. Zeros fill many output buffers
// from one chunk, and a decoder may keep them after it has taken the whole chunk.
TEST_F(VoArchiveZstd, RoundTripsGiveBackEveryByteAndFramesFollowOneAnother) {
   for (const std::string& content : {mixedData(2 * ZSTD_CStreamInSize(), 7), std::string()})
      EXPECT_TRUE(roundTrip(content) == content) << content.size() << " bytes";
   const std::string empty = readFile(packed);
   EXPECT_EQ(ZSTD_getFrameContentSize(empty.data(), empty.size()), 0u);
#ifndef _WIN32
   const std::string zeros(8 << 20, '\0');
   holdBack = true;
   EXPECT_TRUE(roundTrip(zeros) == zeros);
   holdBack = false;
#endif
   EXPECT_EQ(roundTrip("short"), "short");
   writeFile(packed, readFile(packed) + empty + readFile(packed));
   VoArchive::extractZSTD(packed.c_str(), back.c_str());
   EXPECT_EQ(readFile(back), "shortshort");
}

TEST_F(VoArchiveZstd, BadInputFailsWithTheOuterMessageOrStopsAtTheCut) {
   const std::string content = mixedData(400000, 3);
   roundTrip(content);
   const std::string frame = readFile(packed);
   std::string flipped = frame;
   flipped[flipped.size() / 2] ^= 0x01;
   std::string checksum = frame;
   checksum.back() ^= 0x40;
   for (const std::string& bad : {flipped, mixedData(50000, 9).substr(20000), checksum}) {
      writeFile(packed, bad);
      EXPECT_THAT(extracting(packed),
                  testing::ElementsAre("Cannot decompress " + packed + " using zstd",
                                       testing::StartsWith("zstd: ")));
   }

   writeFile(packed, frame.substr(0, frame.size() / 2));
   VoArchive::extractZSTD(packed.c_str(), back.c_str());
   const std::string prefix = readFile(back);
   EXPECT_LT(prefix.size(), content.size());
   EXPECT_EQ(prefix, content.substr(0, prefix.size()));
}

// A missing source, a context that cannot be made and the source as destination fail before
// anything is written.
TEST_F(VoArchiveZstd, FailuresNameTheFileAndTheirCauseAndLeaveTheSourceAlone) {
   const std::string missing = dir.file("missing");
   EXPECT_EQ(failures(missing, packed), wrapped(missing, "File " + missing + " does not exist"));
   EXPECT_FALSE(std::filesystem::exists(packed));
   writeFile(src, "data");
#ifndef _WIN32
   failContexts = true;
   EXPECT_EQ(failures(src, packed), wrapped(src, "Cannot create zstd compression context",
                                            "Cannot create zstd decompression context"));
   failContexts = false;
#endif
   std::filesystem::create_hard_link(src, dir.file("alias"));
   for (const std::string& same : {src, dir.file("alias")})
      EXPECT_EQ(failures(src, same), wrapped(src, "Destination " + same + " is the source file"));
   EXPECT_EQ(readFile(src), "data");
}

// A failed write fails the operation with its outer message; the destination keeps what was
// written before it.
TEST_F(VoArchiveZstd, WriteFaultsFailWithTheOuterMessage) {
   const std::string content = mixedData(3 * ZSTD_CStreamInSize() + 17, 5);
   roundTrip(content);
   const std::string frame = readFile(packed);
   for (const WriteFault& fault : writeFaults(true)) {
      for (const bool compress : {true, false}) {
         const std::string& output = compress ? packed : back;
         writeFile(packed, compress ? "old" : frame);
         const Messages messages = fault.messagesOf([&] {
            if (compress)
               VoArchive::compressZSTD(src.c_str(), packed.c_str(), 3);
            else
               VoArchive::extractZSTD(packed.c_str(), back.c_str());
         });
         const std::string outer =
             compress ? "Cannot compress " + src : "Cannot decompress " + packed;
         EXPECT_EQ(messages, (fault.harmless() ? Messages{}
                                               : Messages{outer + " using zstd", fault.on(output)}))
             << fault.what;
         if (fault.harmless()) {
            EXPECT_EQ(compress ? roundTrip(content) : readFile(back), content) << fault.what;
         }
      }
   }
}

TEST_F(VoArchiveZstd, ReadingIsReportedAndCanBeCancelled) {
   const uint64_t block = ZSTD_CStreamInSize();
   const std::string content = mixedData(3 * block + 5);
   writeFile(src, content);
   std::vector<uint64_t> seen;
   VoArchive::compressZSTD(src.c_str(), packed.c_str(), 1, [&](uint64_t read, uint64_t size) {
      EXPECT_EQ(size, content.size());
      seen.push_back(read);
   });
   EXPECT_EQ(seen, (std::vector<uint64_t>{block, 2 * block, 3 * block, 3 * block + 5}));
   const auto cancel = [](uint64_t, uint64_t) { throw SxException("cancelled", "tests"); };
   EXPECT_EQ(extracting(packed, cancel),
             (Messages{"Cannot decompress " + packed + " using zstd", "cancelled"}));
}

} // namespace
