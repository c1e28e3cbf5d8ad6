// Base64 against the standard's test vectors, round trips and refused input.
#include "mail/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace velora {
namespace {

TEST(Base64Test, StandardVectorsBothWays) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"anna@example.org", "YW5uYUBleGFtcGxlLm9yZw=="},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), std::optional<std::string>(plain));
  }
}

TEST(Base64Test, EveryByteValueSurvivesARoundTrip) {
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes += static_cast<char>(i);
  for (std::size_t length = 0; length <= bytes.size(); length += 37) {
    const std::string part = bytes.substr(bytes.size() - length);
    const std::string encoded = Base64Encode(part);
    EXPECT_EQ(encoded.size() % 4, 0u);
    EXPECT_EQ(encoded.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(Base64Decode(encoded), part);
  }
  EXPECT_EQ(Base64Encode("\xFF\xFE"), "//4=");
}

TEST(Base64Test, MalformedTextIsRefused) {
  for (const char* text :
       {"Zg=", "Zg=a", "Z===", "=Zg=", "Zm9v====", "Zm 9", "Zm9v\r\n", "Zg==Zm9v", "Zm-v"}) {
    EXPECT_FALSE(Base64Decode(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace velora
