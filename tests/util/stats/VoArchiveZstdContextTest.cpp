// Context creation that fails: the test program puts its own ZSTD_createCCtx and
// ZSTD_createDCtx in front of the library's (ELF symbol interposition), failing on request.

#include <common/Messages.h>
#include <common/TempDir.h>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <voutil/VoArchive.h>
#include <zstd.h>

namespace {
bool failContexts = false;

template <class Fn>
Fn next(const char* name) {
   return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" ZSTD_CCtx* ZSTD_createCCtx(void) {
   static const auto real = next<ZSTD_CCtx* (*)()>("ZSTD_createCCtx");
   return failContexts ? nullptr : real();
}

extern "C" ZSTD_DCtx* ZSTD_createDCtx(void) {
   static const auto real = next<ZSTD_DCtx* (*)()>("ZSTD_createDCtx");
   return failContexts ? nullptr : real();
}

namespace {

TEST(VoArchiveZstdContext, AContextThatCannotBeMadeIsReported) {
   vo::test::TempDir dir;
   const std::string src = dir.file("src");
   std::ofstream(src, std::ios::binary) << "data";
   failContexts = true;
   const auto compress = vo::test::messagesOf(
       [&] { VoArchive::compressZSTD(src.c_str(), dir.file("out").c_str(), 3); });
   const auto extract =
       vo::test::messagesOf([&] { VoArchive::extractZSTD(src.c_str(), dir.file("back").c_str()); });
   failContexts = false;
   EXPECT_EQ(compress, (std::vector<std::string>{"Cannot compress " + src + " using zstd",
                                                 "Cannot create zstd compression context"}));
   EXPECT_EQ(extract, (std::vector<std::string>{"Cannot decompress " + src + " using zstd",
                                                "Cannot create zstd decompression context"}));
}

} // namespace
