// MD5 state over libcrypto's EVP interface.

#include "../SxMd5Impl.h"

#include <openssl/evp.h>
#include <sx/SxException.h>

namespace sx::detail {

namespace {
constexpr char kSource[] = "src/sx/SxMd5";

EVP_MD_CTX* ctx(void* handle) {
   return static_cast<EVP_MD_CTX*>(handle);
}

void check(int ok, const char* step) {
   if (ok != 1)
      throw SxException(SxString("MD5 ") + step + " failed in libcrypto", kSource);
}

EVP_MD_CTX* newContext() {
   EVP_MD_CTX* c = EVP_MD_CTX_new();
   if (!c)
      throw SxException("Cannot create an MD5 context in libcrypto", kSource);
   return c;
}
} // namespace

Md5State::Md5State() : handle_(newContext()) {
   const int ok = EVP_DigestInit_ex(ctx(handle_), EVP_md5(), nullptr);
   if (ok != 1)
      EVP_MD_CTX_free(ctx(handle_));
   check(ok, "initialisation");
}

Md5State::Md5State(const Md5State& other) : handle_(newContext()) {
   const int ok = EVP_MD_CTX_copy_ex(ctx(handle_), ctx(other.handle_));
   if (ok != 1)
      EVP_MD_CTX_free(ctx(handle_));
   check(ok, "copy");
}

Md5State::~Md5State() {
   EVP_MD_CTX_free(ctx(handle_));
}

void Md5State::update(const void* data, std::size_t n) {
   check(EVP_DigestUpdate(ctx(handle_), data, n), "update");
}

std::array<unsigned char, 16> Md5State::finish() {
   std::array<unsigned char, 16> digest{};
   unsigned int length = 0;
   check(EVP_DigestFinal_ex(ctx(handle_), digest.data(), &length), "finalisation");
   return digest;
}

} // namespace sx::detail
