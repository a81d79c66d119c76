// VoArchive: zstd compression and decompression of single files, streamed through the buffer
// sizes zstd recommends.

#include <memory>
#include <sx/SxArray.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <voutil/VoArchive.h>
#include <zstd.h>

namespace {

constexpr char kSource[] = "src/util/VoArchive";

using CompressionContext = std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)>;
using DecompressionContext = std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)>;

// The destination is created (or emptied) here, before anything else can fail. Writing the
// source over itself would read back the output, so that is refused before anything is written.
void openFiles(SxString const& source, SxString const& destination, SxFileIO& in, SxFileIO& out) {
   if (!SxFSAction::test_f(source))
      throw SxException("File " + source + " does not exist", kSource);
   if (SxFSAction::sameFile(source, destination))
      throw SxException("Destination " + destination + " is the source file", kSource);
   in.open(source, "rb", 0600);
   out.open(destination, "wb", 0600);
}

// A streaming call answers with an error code in place of a size; the loops stop on it rather
// than call again.
size_t checked(size_t result) {
   if (ZSTD_isError(result))
      throw SxException(SxString("zstd: ") + ZSTD_getErrorName(result), kSource);
   return result;
}

int64_t asCount(size_t n) {
   return static_cast<int64_t>(n);
}

void report(VoArchive::ReadProgress const& onRead, SxFileIO const& in, int64_t size) {
   if (onRead)
      onRead(static_cast<uint64_t>(in.getOffset()), static_cast<uint64_t>(size));
}

} // namespace

void VoArchive::compressZSTD(SxString const& source, SxString const& destination, int level) {
   compressZSTD(source, destination, level, ReadProgress());
}

void VoArchive::extractZSTD(SxString const& source, SxString const& destination) {
   extractZSTD(source, destination, ReadProgress());
}

void VoArchive::compressZSTD(SxString const& source, SxString const& destination, int level,
                             ReadProgress const& onRead) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Compression));
   try {
      SxFileIO in;
      SxFileIO out;
      openFiles(source, destination, in, out);
      const int64_t sourceSize = in.getSize();
      const size_t inSize = ZSTD_CStreamInSize();
      const size_t outSize = ZSTD_CStreamOutSize();
      SxArray<char> inBuffer;
      SxArray<char> outBuffer(asCount(outSize));
      CompressionContext context(ZSTD_createCCtx(), ZSTD_freeCCtx);
      if (!context)
         throw SxException("Cannot create zstd compression context", kSource);
      ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level);
      ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);

      // A chunk shorter than the buffer is the last one; a source of an exact multiple of the
      // buffer size ends with an empty chunk, which closes the frame.
      bool lastChunk = false;
      while (!lastChunk) {
         const int64_t got = in.read(inBuffer, asCount(inSize));
         report(onRead, in, sourceSize);
         lastChunk = got < asCount(inSize);
         const ZSTD_EndDirective directive = lastChunk ? ZSTD_e_end : ZSTD_e_continue;
         ZSTD_inBuffer input{inBuffer.elements(), static_cast<size_t>(got), 0};
         bool flushed = false;
         while (!flushed) {
            ZSTD_outBuffer output{outBuffer.elements(), outSize, 0};
            const size_t remaining =
                checked(ZSTD_compressStream2(context.get(), &output, &input, directive));
            out.write(outBuffer, asCount(output.pos));
            flushed = lastChunk ? remaining == 0 : input.pos == input.size;
         }
      }
      in.close();
      out.close();
   } catch (SxException const& e) {
      throw SxException(e, "Cannot compress " + source + " using zstd", kSource);
   }
}

void VoArchive::extractZSTD(SxString const& source, SxString const& destination,
                            ReadProgress const& onRead) {
   SxTakeTime timer(SxTimer::getTimerId(Timer::Decompression));
   try {
      SxFileIO in;
      SxFileIO out;
      openFiles(source, destination, in, out);
      const int64_t sourceSize = in.getSize();
      const size_t inSize = ZSTD_DStreamInSize();
      const size_t outSize = ZSTD_DStreamOutSize();
      SxArray<char> inBuffer;
      SxArray<char> outBuffer(asCount(outSize));
      DecompressionContext context(ZSTD_createDCtx(), ZSTD_freeDCtx);
      if (!context)
         throw SxException("Cannot create zstd decompression context", kSource);

      do {
         const int64_t got = in.read(inBuffer, asCount(inSize));
         report(onRead, in, sourceSize);
         ZSTD_inBuffer input{inBuffer.elements(), static_cast<size_t>(got), 0};
         // A full output buffer may leave decoded bytes inside zstd: call again until it has
         // room to spare, even when the chunk is used up.
         bool outputFull = false;
         while (input.pos < input.size || outputFull) {
            ZSTD_outBuffer output{outBuffer.elements(), outSize, 0};
            checked(ZSTD_decompressStream(context.get(), &output, &input));
            out.write(outBuffer, asCount(output.pos));
            outputFull = output.pos == output.size;
         }
      } while (in.getOffset() < in.getSize());
      in.close();
      out.close();
   } catch (SxException const& e) {
      throw SxException(e, "Cannot decompress " + source + " using zstd", kSource);
   }
}
