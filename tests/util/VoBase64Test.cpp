// Known answers and every decoding message; the differential tests compare the rest with the
// plain algorithms.

#include "common/Messages.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <voutil/VoBase64.h>

namespace {

using Messages = std::vector<std::string>;

std::string decoded(SxString const& text) {
   const SxArray<char> bytes = VoBase64::decode(text);
   return std::string(bytes.begin(), bytes.end());
}

TEST(VoBase64, KnownAnswersBothWays) {
   const struct {
      std::string bytes;
      const char* text;
   } cases[] = {{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"\xfb\xff\xbf", "+/+/"}};
   for (const auto& c : cases) {
      EXPECT_EQ(VoBase64::encode(SxArray<char>(c.bytes.data(), std::ssize(c.bytes))), c.text);
      EXPECT_EQ(decoded(c.text), c.bytes) << c.text;
   }
   EXPECT_EQ(decoded(" Y W\tI\n= \r\v\f"), "ab");
}

TEST(VoBase64, DecodingErrorsArriveWrapped) {
   const struct {
      const char* text;
      std::string message;
   } cases[] = {
       {"YQ=", "Expected trailing ="},
       {"YQ= x", "Expected trailing ="},
       {"YR==", "Extra data after the last full byte"},
       {"YWJ=", "Extra data after the last full byte"},
       {"Y", "Partial bytes after the end of the string"},
       {"=", "Invalid = in first position"},
       {"Y=", "Invalid = in second position"},
       {"YQ==x", "Expected nothing or whitespaces after trailing ="},
       {"YWI= x", "Expected nothing or whitespaces after trailing ="},
       {"YW Jj\n*", "A non-base64 character at char 7"},
       {"ab\xc3\xa9", "A non-base64 character at char 3"},
   };
   for (const auto& c : cases)
      EXPECT_EQ(vo::test::messagesOf([&] { (void)VoBase64::decode(c.text); }),
                (Messages{"Base64 decode error", c.message}))
          << c.text;
}

} // namespace
