// Quoting for a Windows command line: what the C runtime splits back into the same
// arguments (used when placasim starts its command on Windows).
#include <gtest/gtest.h>

#include "command_line.h"

namespace {

TEST(QuotedArgument, PlainWordsStandAsTheyAre) {
  EXPECT_EQ(quoted_argument("plain"), "plain");
  EXPECT_EQ(quoted_argument("back\\slash\\"), "back\\slash\\") << "no quotes, no doubling";
}

TEST(QuotedArgument, SpacesQuotesAndEmptyArgumentsAreQuoted) {
  EXPECT_EQ(quoted_argument("two words"), "\"two words\"");
  EXPECT_EQ(quoted_argument("tab\there"), "\"tab\there\"");
  EXPECT_EQ(quoted_argument(""), "\"\"");
  EXPECT_EQ(quoted_argument("say \"hi\""), "\"say \\\"hi\\\"\"");
}

TEST(QuotedArgument, BackslashesBeforeAQuoteAreDoubled) {
  EXPECT_EQ(quoted_argument("end\\ \\"), "\"end\\ \\\\\"") << "before the closing quote";
  EXPECT_EQ(quoted_argument("a\\\"b"), "\"a\\\\\\\"b\"") << "before a quote inside";
}

}  // namespace
