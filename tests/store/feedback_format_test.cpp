#include "store/feedback_format.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

TEST(FeedbackFormatTest, FeedbackFileEdges) {
  EXPECT_TRUE(ParseFeedbackFile("").empty()) << "an empty file gives an empty list";

  const FeedbackList feedback = ParseFeedbackFile("a\r\nb\r\nc\r\nd\r\ne");
  ASSERT_EQ(feedback.size(), 2u);
  EXPECT_EQ(feedback[0].Author, "a");
  EXPECT_EQ(feedback[0].Time, "c");
  EXPECT_EQ(feedback[1].Author, "d");
  EXPECT_EQ(feedback[1].Text, "e");
  EXPECT_EQ(feedback[1].Time, "") << "a last entry cut short reads its missing lines as empty";
}

TEST(FeedbackFormatTest, LineBreaksInsideValuesDoNotShiftTheFile) {
  const FeedbackList feedback = ParseFeedbackFile(
      FormatFeedbackFile({{"anna", "Zeile 1\nZeile 2", "t"}, {"bert", "x", "t"}}));
  ASSERT_EQ(feedback.size(), 2u);
  EXPECT_EQ(feedback[0].Text, "Zeile 1 Zeile 2");
  EXPECT_EQ(feedback[1].Author, "bert");
}

}  // namespace
}  // namespace velora
