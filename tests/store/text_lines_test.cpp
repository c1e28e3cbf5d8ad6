#include "store/text_lines.h"

#include <gtest/gtest.h>

#include "store/user_file_error.h"

namespace velora {
namespace {

TEST(TextLinesTest, BooleanLinesReadAndWriteTheTwoWords) {
  TextLineWriter out;
  WriteLnBoolean(out, true);
  WriteLnBoolean(out, false);
  EXPECT_EQ(out.Bytes(), "true\r\nfalse\r\n");
  TextLineReader in(out.Bytes() + "TRUE\n");
  EXPECT_TRUE(ReadLnBoolean(in));
  EXPECT_FALSE(ReadLnBoolean(in));
  EXPECT_FALSE(ReadLnBoolean(in));
  EXPECT_THROW(ReadLnBoolean(in), UserFileError) << "past the end there is no line to read";
}

}  // namespace
}  // namespace velora
