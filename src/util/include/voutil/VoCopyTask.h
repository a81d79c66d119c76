#pragma once

#include <cstdint>
#include <sx/SxArray.h>
#include <sx/SxMd5.h>
#include <sx/SxString.h>
#include <voutil/VoExport.h>
#include <voutil/VoTaskMon.h>

/// Copies byte ranges of a source file into a destination file on a worker thread, counting
/// progress in bytes and taking the MD5 digest of the copied bytes.
///
/// The owner constructs the task, starts it (start), may watch its counters and ask it to stop
/// from any thread, joins it (wait) and takes the digest (getMD5). When the copy fails, wait
/// raises "Copy task failed" around the cause. The destination is created (permissions 0644)
/// when missing; it is neither truncated nor extended beforehand, so its bytes outside the
/// ranges stay, and a range written past its end extends it.
///
/// Ranges are copied in order, each in pieces of at most copyBlock bytes; a stop request is
/// seen before each range and each piece, and a piece that has begun is always finished (read,
/// written, digested and counted). The total is set once, when the copy starts; the count of
/// bytes done grows by each finished piece. The task never sets the speed.
///
/// A range must lie inside the source. One that reaches past its end fails the task with "Copy
/// task failed" when the copy gets there; no byte that was not read from the source is
/// written.
class VOUTIL_API VoFileCopyTask : public VoTaskMon {
public:
   /// One range: nBytes bytes from srcOffset in the source to destOffset in the destination.
   struct Range {
      uint64_t srcOffset = 0;
      uint64_t destOffset = 0;
      uint64_t nBytes = 0;
   };

   /// The largest piece that is copied at once (decimal, not 512 MiB).
   static constexpr uint64_t copyBlock = 512000000;

   /// Keeps copies of the paths and the ranges. Touches no file and does not start the thread.
   VoFileCopyTask(SxString const& source, SxString const& destination,
                  SxArray<VoFileCopyTask::Range> const& rangesToCopy);
   /// Neither stops nor waits for the thread: call stop and wait first if it may still run.
   ~VoFileCopyTask() override;

   /// The digest published by the copy: of every byte copied, in copying order, closed once the
   /// last byte is copied. Before the copy has ended it is a new digest; after a stopped run it
   /// is the open digest of the bytes counted by getNCurrent; after a failed run it is
   /// unchanged.
   [[nodiscard]] SxMd5 getMD5() const;

protected:
   /// The copy; see the class description.
   void main() override;

private:
   SxString srcFile;
   SxString destFile;
   SxArray<VoFileCopyTask::Range> ranges;
   SxMd5 md5;
};
