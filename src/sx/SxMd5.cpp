// MD5 digests over the platform's hash implementation.

#include "SxMd5Impl.h"

#include <sx/SxException.h>
#include <sx/SxMd5.h>

namespace {
constexpr char kSource[] = "src/sx/SxMd5";

SxString hexText(const std::array<unsigned char, 16>& digest) {
   static constexpr char kDigits[] = "0123456789abcdef";
   std::string text;
   text.reserve(32);
   for (unsigned char byte : digest) {
      text.push_back(kDigits[byte >> 4]);
      text.push_back(kDigits[byte & 0x0F]);
   }
   return SxString(std::move(text));
}
} // namespace

SxMd5::SxMd5() noexcept = default;

SxMd5::~SxMd5() = default;

SxMd5::SxMd5(const SxMd5& other)
    : state_(other.state_ ? std::make_unique<sx::detail::Md5State>(*other.state_) : nullptr),
      final_(other.final_), nBytes_(other.nBytes_), closed_(other.closed_) {}

SxMd5& SxMd5::operator=(const SxMd5& other) {
   if (this != &other)
      *this = SxMd5(other);
   return *this;
}

SxMd5::SxMd5(SxMd5&& other) noexcept
    : state_(std::move(other.state_)), final_(other.final_), nBytes_(other.nBytes_),
      closed_(other.closed_) {
   other.reset();
}

SxMd5& SxMd5::operator=(SxMd5&& other) noexcept {
   if (this != &other) {
      state_ = std::move(other.state_);
      final_ = other.final_;
      nBytes_ = other.nBytes_;
      closed_ = other.closed_;
      other.reset();
   }
   return *this;
}

void SxMd5::reset() noexcept {
   state_.reset();
   final_ = {};
   nBytes_ = 0;
   closed_ = false;
}

sx::detail::Md5State& SxMd5::state() {
   if (!state_)
      state_ = std::make_unique<sx::detail::Md5State>();
   return *state_;
}

void SxMd5::update(const void* data, int64_t n, int64_t last) {
   if (n < 0)
      throw SxException("Cannot feed a negative byte count to an MD5 digest", kSource);
   if (closed_)
      throw SxException("Cannot feed a closed MD5 digest", kSource);
   if (last != -1 && last != nBytes_ + n)
      throw SxException(SxString::sprintf("MD5 digest closed at %lld bytes, but %lld were fed",
                                          static_cast<long long>(last),
                                          static_cast<long long>(nBytes_ + n)),
                        kSource);
   sx::detail::Md5State& running = state();
   if (n > 0)
      running.update(data, static_cast<std::size_t>(n));
   nBytes_ += n;
   if (last != -1) {
      final_ = running.finish();
      state_.reset();
      closed_ = true;
   }
}

std::array<unsigned char, 16> SxMd5::getBytes() const {
   if (closed_)
      return final_;
   // Finish a copy, so that the running state can still be fed.
   if (!state_)
      return sx::detail::Md5State().finish();
   return sx::detail::Md5State(*state_).finish();
}

SxString SxMd5::get() const {
   return hexText(getBytes());
}

SxString SxMd5::get(const SxString& text) {
   SxMd5 digest;
   digest.update(text.utf8(), text.getNBytes(), text.getNBytes());
   return digest.get();
}
