#include "common/Messages.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <voutil/VoBase64.h>

namespace {

using vo::test::messagesOf;
using Messages = std::vector<std::string>;

SxArray<char> bytesOf(std::string const& s) {
   return SxArray<char>(s.data(), static_cast<std::ptrdiff_t>(s.size()));
}

std::string decoded(SxString const& text) {
   const SxArray<char> bytes = VoBase64::decode(text);
   return std::string(bytes.begin(), bytes.end());
}

TEST(VoBase64, EncodesGroupsAndPadding) {
   EXPECT_EQ(VoBase64::encode(bytesOf("abc")), "YWJj");
   EXPECT_EQ(VoBase64::encode(bytesOf("ab")), "YWI=");
   EXPECT_EQ(VoBase64::encode(bytesOf("a")), "YQ==");
   EXPECT_EQ(VoBase64::encode(SxArray<char>()), "");
   EXPECT_EQ(VoBase64::encode(SxArray<char>(24)).getSize(), 32);
   EXPECT_EQ(VoBase64::encode(bytesOf(std::string("\xfb\xff\xbf", 3))), "+/+/");
}

TEST(VoBase64, DecodesAndSkipsWhitespace) {
   EXPECT_EQ(decoded("YWJj"), "abc");
   EXPECT_EQ(decoded(" Y W\tI\n= \r\v\f"), "ab");
   EXPECT_EQ(decoded("Y Q\t= \n = \r"), "a");
   EXPECT_EQ(decoded("YQ=="), "a");
   EXPECT_EQ(decoded(""), "");
   EXPECT_EQ(decoded(" \n\t"), "");
   EXPECT_EQ(decoded("+/+/"), std::string("\xfb\xff\xbf", 3));
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
      EXPECT_EQ(messagesOf([&] { (void)VoBase64::decode(c.text); }),
                (Messages{"Base64 decode error", c.message}))
          << c.text;
}

TEST(VoBase64, TargetLimits) {
   const auto* abc = reinterpret_cast<unsigned char const*>("abcd");
   char text[9] = "xxxxxxxx";
   EXPECT_EQ(VoBase64_ntop(abc, 4, nullptr, 0), 8);
   // Room for the characters but not the NUL: the characters are written, then it fails.
   EXPECT_EQ(messagesOf([&] { (void)VoBase64_ntop(abc, 4, text, 8); }),
             Messages{"Not enough space in the output buffer"});
   EXPECT_EQ(std::string(text, 8), "YWJjZA==");
   EXPECT_EQ(messagesOf([&] { (void)VoBase64_ntop(abc, 4, text, 7); }),
             Messages{"Not enough space in the output buffer"});
   EXPECT_EQ(VoBase64_ntop(abc, 4, text, 9), 8);

   unsigned char bytes[4] = {9, 9, 9, 9};
   EXPECT_EQ(VoBase64_pton("YQ==", nullptr, 0), 1);
   // Padding makes the decoder write one byte ahead of the result.
   EXPECT_EQ(messagesOf([&] { (void)VoBase64_pton("YQ==", bytes, 1); }),
             Messages{"Not enough space in the output buffer"});
   EXPECT_EQ(VoBase64_pton("YQ==", bytes, 2), 1);
   EXPECT_EQ(bytes[0], 'a');
   EXPECT_EQ(messagesOf([&] { (void)VoBase64_pton("YWJj", bytes, 2); }),
             Messages{"Not enough space in the output buffer"});
   // Without a target the leftover bits are not looked at.
   EXPECT_EQ(VoBase64_pton("YR==", nullptr, 0), 1);
}

TEST(VoBase64, LongTextsKeepPositionsAndBoundaries) {
   std::string body;
   for (int i = 0; i < 300; ++i)
      body += static_cast<char>('a' + i % 26);
   const SxString text = VoBase64::encode(bytesOf(body));
   EXPECT_EQ(decoded(text), body);
   std::string broken = text.str();
   broken[123] = '.';
   EXPECT_EQ(messagesOf([&] { (void)VoBase64::decode(SxString(broken)); }),
             (Messages{"Base64 decode error", "A non-base64 character at char 124"}));
   std::string wrapped;
   for (std::size_t i = 0; i < text.str().size(); i += 76)
      wrapped += text.str().substr(i, 76) + "\r\n";
   EXPECT_EQ(decoded(SxString(wrapped)), body);
}

} // namespace
