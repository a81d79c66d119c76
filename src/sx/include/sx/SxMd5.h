#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <sx/SxExport.h>
#include <sx/SxString.h>

namespace sx::detail {
class Md5State;
}

/// An MD5 digest fed in pieces: a copyable value.
///
/// A new digest is open: update feeds it bytes. A call of update with a total length marks the
/// end of the message and closes the digest; a closed digest takes no more bytes. get gives the
/// digest text at any time, so a digest that is still open can be watched without disturbing
/// it. Copies are independent: feeding a copy leaves the original as it was.
///
/// The system's hash service does the work (libcrypto on POSIX, CNG on Windows). Failures
/// raise SxException; a failed call leaves the digest as it was.
class SXFS_API SxMd5 {
public:
   /// An open digest that has been fed nothing. It asks the hash service for nothing yet, so
   /// it cannot fail.
   SxMd5() noexcept;
   ~SxMd5();
   SxMd5(const SxMd5& other);
   SxMd5& operator=(const SxMd5& other);
   /// Moving leaves other as a new digest.
   SxMd5(SxMd5&& other) noexcept;
   SxMd5& operator=(SxMd5&& other) noexcept;

   /// Feeds the n bytes at data (data may be null when n is 0). With last other than -1 this is
   /// the final piece and last is the length of the whole message, counting every byte fed so
   /// far and these n: the digest is then closed. Raises, leaving the digest unchanged, when n
   /// is negative, when the digest is already closed, or when last does not match the bytes
   /// fed.
   void update(const void* data, int64_t n, int64_t last = -1);

   /// The digest as 32 lower-case hexadecimal digits: of the whole message once closed, or of
   /// the bytes fed so far while open. It does not change the object; an open digest can still
   /// be fed afterwards.
   [[nodiscard]] SxString get() const;
   /// The 16 bytes of the digest, as get describes it.
   [[nodiscard]] std::array<unsigned char, 16> getBytes() const;
   /// True once a final piece has been fed.
   [[nodiscard]] bool isClosed() const { return closed_; }
   /// Number of bytes fed so far.
   [[nodiscard]] int64_t getNBytes() const { return nBytes_; }

   /// The digest text of the text's UTF-8 bytes.
   [[nodiscard]] static SxString get(const SxString& text);

private:
   void reset() noexcept;
   sx::detail::Md5State& state();

   // The running state: made on the first feed, dropped once closed.
   std::unique_ptr<sx::detail::Md5State> state_;
   std::array<unsigned char, 16> final_{};
   int64_t nBytes_ = 0;
   bool closed_ = false;
};
