#pragma once

#include <cstdint>
#include <sx/SxString.h>
#include <variant>

/// A typed value: nothing, a truth value, an integer, a floating-point number or a text.
class SxVariant {
public:
   SxVariant() = default;
   SxVariant(bool value) : value_(value) {}
   SxVariant(int value) : value_(int64_t{value}) {}
   SxVariant(int64_t value) : value_(value) {}
   SxVariant(double value) : value_(value) {}
   SxVariant(const SxString& value) : value_(value) {}
   SxVariant(const char* value) : value_(SxString(value)) {}

   [[nodiscard]] bool isNull() const { return std::holds_alternative<std::monostate>(value_); }
   [[nodiscard]] const auto& get() const { return value_; }

private:
   std::variant<std::monostate, bool, int64_t, double, SxString> value_;
};
