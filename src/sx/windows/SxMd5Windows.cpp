#include "../SxMd5Impl.h"

// bcrypt.h needs the types of windows.h first.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#include <sx/SxException.h>

namespace sx::detail {

namespace {
constexpr char kSource[] = "src/sx/SxMd5";

BCRYPT_HASH_HANDLE hash(void* handle) {
   return static_cast<BCRYPT_HASH_HANDLE>(handle);
}

void check(NTSTATUS status, const char* step) {
   if (!BCRYPT_SUCCESS(status))
      throw SxException(SxString::sprintf("MD5 %s failed in CNG (status 0x%08lx)", step,
                                          static_cast<unsigned long>(status)),
                        kSource);
}

// One algorithm provider for the process; CNG lets every thread share it, and it lives until
// the process ends.
BCRYPT_ALG_HANDLE md5Provider() {
   static const BCRYPT_ALG_HANDLE provider = [] {
      BCRYPT_ALG_HANDLE alg = nullptr;
      check(BCryptOpenAlgorithmProvider(&alg, BCRYPT_MD5_ALGORITHM, nullptr, 0),
            "provider opening");
      return alg;
   }();
   return provider;
}
} // namespace

// The hash objects let CNG manage their memory (a null object buffer).
Md5State::Md5State() {
   BCRYPT_HASH_HANDLE h = nullptr;
   check(BCryptCreateHash(md5Provider(), &h, nullptr, 0, nullptr, 0, 0), "initialisation");
   handle_ = h;
}

Md5State::Md5State(const Md5State& other) {
   BCRYPT_HASH_HANDLE h = nullptr;
   check(BCryptDuplicateHash(hash(other.handle_), &h, nullptr, 0, 0), "copy");
   handle_ = h;
}

Md5State::~Md5State() {
   BCryptDestroyHash(hash(handle_));
}

void Md5State::update(const void* data, std::size_t n) {
   // CNG takes at most 4 GiB - 1 per call.
   auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
   while (n > 0) {
      const ULONG piece = n > 0x40000000u ? 0x40000000u : static_cast<ULONG>(n);
      check(BCryptHashData(hash(handle_), bytes, piece, 0), "update");
      bytes += piece;
      n -= piece;
   }
}

std::array<unsigned char, 16> Md5State::finish() {
   std::array<unsigned char, 16> digest{};
   check(BCryptFinishHash(hash(handle_), digest.data(), static_cast<ULONG>(digest.size()), 0),
         "finalisation");
   return digest;
}

} // namespace sx::detail
