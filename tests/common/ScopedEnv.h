#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace vo::test {

/// Sets an environment variable, or unsets it for a null value, until the end of the scope, so
/// that later tests in the binary see the environment they started with.
class ScopedEnv {
public:
   ScopedEnv(const char* name, const char* value) : name_(name) {
      if (const char* old = std::getenv(name))
         saved_ = old;
      set(value);
   }
   ~ScopedEnv() { set(saved_ ? saved_->c_str() : nullptr); }
   ScopedEnv(const ScopedEnv&) = delete;
   ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
   // The zone is read again each time, for the variable that names it.
   void set(const char* value) const {
#ifdef _WIN32
      _putenv_s(name_, value ? value : "");
      _tzset();
#else
      value ? ::setenv(name_, value, 1) : ::unsetenv(name_);
      ::tzset();
#endif
   }

   const char* name_;
   std::optional<std::string> saved_;
};

} // namespace vo::test
