#pragma once

// The calls that the C library's streams, and the standard library's threads, make the same way
// on every platform; the platform implementations derive from this.

#include <cerrno>
#include <cstdio>
#include <sx/SxOS.h>
#include <system_error>
#include <utility>

namespace sx::detail {

class StdioOS : public SxOS {
public:
   int64_t read(std::FILE* file, void* buffer, int64_t n) override {
      const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(n), file);
      return settle(file, got, got < static_cast<std::size_t>(n) && std::ferror(file));
   }

   int64_t write(std::FILE* file, const void* data, int64_t n) override {
      const std::size_t put = std::fwrite(data, 1, static_cast<std::size_t>(n), file);
      return settle(file, put, put < static_cast<std::size_t>(n));
   }

   int flush(std::FILE* file) override { return std::fflush(file) == 0 ? 0 : -1; }
   int close(std::FILE* file) override { return std::fclose(file) == 0 ? 0 : -1; }

   int startThread(const std::function<std::thread()>& create, std::thread* thread) override {
      try {
         *thread = create();
         return 0;
      } catch (const std::system_error& e) {
         errno = e.code().value();
         return -1;
      }
   }

private:
   // A transfer that moved some bytes before its error reports them, and the caller's next call
   // meets the error again; one that moved none reports the error.
   static int64_t settle(std::FILE* file, std::size_t moved, bool failed) {
      if (failed) {
         const int err = errno;
         std::clearerr(file);
         if (moved == 0) {
            errno = err;
            return -1;
         }
      }
      return static_cast<int64_t>(moved);
   }
};

} // namespace sx::detail
