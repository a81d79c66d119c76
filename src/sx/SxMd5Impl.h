#pragma once

// The per-platform MD5 engine behind SxMd5; see posix/ and windows/.

#include <array>
#include <cstddef>

namespace sx::detail {

/// A running MD5 computation of the system's hash service. Every failure raises SxException.
class Md5State {
public:
   Md5State();
   /// An independent copy of other's running state.
   Md5State(const Md5State& other);
   ~Md5State();
   Md5State& operator=(const Md5State&) = delete;

   void update(const void* data, std::size_t n);
   /// The digest of everything fed; the state cannot be fed afterwards.
   std::array<unsigned char, 16> finish();

private:
   void* handle_ = nullptr;
};

} // namespace sx::detail
