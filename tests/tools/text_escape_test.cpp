#include "tools/text_escape.h"

#include <gtest/gtest.h>

namespace mox::host {
namespace {

TEST(TextEscape, ShowsOnlyPrintableAsciiAsItIs) {
  const std::string bytes("ab \"q\" \\ \x01\x7f\x80\xff\0", 14);
  EXPECT_EQ(EscapeBytes(bytes), "ab \"q\" \\\\ \\x01\\x7f\\x80\\xff\\x00");
  EXPECT_EQ(QuotedBytes(bytes), "\"ab \\\"q\\\" \\\\ \\x01\\x7f\\x80\\xff\\x00\"");
}

TEST(TextEscape, EveryByteReadsBackUnchanged) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const auto back = UnescapeText(EscapeBytes(all), nullptr);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
}

TEST(TextEscape, ReadsTheEscapesAnOperatorTypes) {
  EXPECT_EQ(UnescapeText("a\\x41\\x4B\\x7", nullptr), std::string("aAK\x07"));
  EXPECT_EQ(UnescapeText("\\x4g", nullptr), std::string("\x04g"));
  EXPECT_EQ(UnescapeText("\\0\\t\\n\\r\\s\\\\\\\"", nullptr), std::string("\0\t\n\r \\\"", 7));
  EXPECT_EQ(UnescapeText("plain text", nullptr), "plain text");
}

TEST(TextEscape, RejectsMalformedEscapes) {
  for (const char* text : {"end\\", "\\q", "\\xZZ", "\\x"}) {
    std::string error;
    EXPECT_FALSE(UnescapeText(text, &error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

}  // namespace
}  // namespace mox::host
