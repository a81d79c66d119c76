// Copying byte ranges of a file into another, with the MD5 of what was copied.

#include <algorithm>
#include <limits>
#include <sx/SxException.h>
#include <sx/SxFS.h>
#include <sx/SxFileIO.h>
#include <voutil/VoCopyTask.h>

namespace {

constexpr char kSource[] = "src/util/VoCopyTask";

// A piece streams through one buffer of this size, so memory stays small however large the
// piece; the task starts no thread of its own, so the chunks are read, written and hashed in turn.
constexpr int64_t kChunk = 8 << 20;

// Copies pieces between two open files and feeds the digest.
class PieceCopier {
public:
   PieceCopier(SxFileIO& src, SxFileIO& dest, SxMd5& digest, uint64_t total)
       : src_(src), dest_(dest), digest_(digest), total_(total) {}

   void copy(uint64_t srcOffset, uint64_t destOffset, uint64_t n) {
      if (srcOffset > kMaxOffset - n || destOffset > kMaxOffset - n)
         throw SxException("A range reaches beyond the largest file offset", kSource);
      moveTo(src_, srcOffset);
      moveTo(dest_, destOffset);
      const bool closesDigest = fed_ + n == total_;
      int64_t done = 0;
      const auto length = static_cast<int64_t>(n);
      while (done < length) {
         const int64_t want = std::min(kChunk, length - done);
         const int64_t got = src_.read(buffer_, want);
         if (got < want)
            throw SxException("Source file [" + src_.getName() + "] ends inside a range, at byte " +
                                  SxString(static_cast<long long>(src_.getOffset())),
                              kSource);
         done += got;
         dest_.write(buffer_, got);
         const int64_t last = closesDigest && done == length ? static_cast<int64_t>(total_) : -1;
         digest_.update(buffer_.elements(), got, last);
      }
      fed_ += n;
   }

private:
   static constexpr uint64_t kMaxOffset = std::numeric_limits<int64_t>::max();

   // Seeks only when the file is not already there, so that pieces and ranges that follow on
   // directly cost no seek.
   static void moveTo(SxFileIO& file, uint64_t offset) {
      if (static_cast<uint64_t>(file.getOffset()) != offset)
         file.seek(static_cast<int64_t>(offset));
   }

   SxFileIO& src_;
   SxFileIO& dest_;
   SxMd5& digest_;
   const uint64_t total_;
   uint64_t fed_ = 0;
   SxArray<char> buffer_;
};

} // namespace

VoFileCopyTask::VoFileCopyTask(SxString const& source, SxString const& destination,
                               SxArray<VoFileCopyTask::Range> const& rangesToCopy)
    : srcFile(source), destFile(destination), ranges(rangesToCopy) {}

VoFileCopyTask::~VoFileCopyTask() = default;

SxMd5 VoFileCopyTask::getMD5() const {
   SxMutexBlock lock(dataMutex);
   return md5;
}

void VoFileCopyTask::main() {
   try {
      if (!SxFSAction::test_f(srcFile))
         throw SxException("Source file [" + srcFile + "] not found.", kSource);
      // Ranges written into the file they are read from would read back their own output.
      if (SxFSAction::sameFile(srcFile, destFile))
         throw SxException("Destination file [" + destFile + "] is the source file.", kSource);
      if (!SxFSAction::test_f(destFile))
         SxFSAction::touch(destFile, 0644);
      SxMd5 digest;
      uint64_t total = 0;
      for (const Range& range : ranges)
         total += range.nBytes;
      setNTotal(total);

      SxFileIO src;
      src.open(srcFile, "rb", 0600);
      SxFileIO dest;
      dest.open(destFile, "r+b", 0600);
      PieceCopier copier(src, dest, digest, total);
      for (const Range& range : ranges) {
         if (stopRequested())
            break;
         for (uint64_t position = 0; position < range.nBytes && !stopRequested();) {
            const uint64_t n = std::min(range.nBytes - position, copyBlock);
            copier.copy(range.srcOffset + position, range.destOffset + position, n);
            position += n;
            addNCurrent(n);
         }
      }
      src.close();
      dest.close();
      SxMutexBlock lock(dataMutex);
      md5 = digest;
   } catch (SxException const& e) {
      // A failure after a stop request is the stop's doing (the owner may have pulled the files
      // away); the owner asked for the end and gets it quietly.
      if (stopRequested())
         return;
      throw SxException(e, "Copy task failed", kSource);
   }
}
