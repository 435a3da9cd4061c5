// Named parameters of report queries become positional placeholders; the text around
// them (literals, quoted names, comments, casts) is copied as it is.
#include "server/core/report_query.h"

#include <gtest/gtest.h>

namespace srv {
namespace {

TEST(ReportQueryTest, MarksBecomePlaceholdersWithTheirValuesInMarkOrder) {
  const PositionalQuery q = ToPositional(
      "SELECT ':P_A', \"x:P_A\" FROM t -- :P_B here is a comment\n"
      "WHERE a = :p_b AND b = :P_A AND c::text = 'it''s :P_A' AND d = :P_A",
      {{"P_A", SqlValue(std::string("a"))}, {"P_B", SqlValue()}});
  EXPECT_EQ(q.sql,
            "SELECT ':P_A', \"x:P_A\" FROM t -- :P_B here is a comment\n"
            "WHERE a = ? AND b = ? AND c::text = 'it''s :P_A' AND d = ?");
  ASSERT_EQ(q.params.size(), 3u);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(q.params[0]));
  EXPECT_EQ(std::get<std::string>(q.params[1]), "a");
  EXPECT_EQ(std::get<std::string>(q.params[2]), "a");
  EXPECT_EQ(QueryParamNames("SELECT :P_A, :p_b, ':P_C', :P_A::text"), (std::vector<std::string>{"P_A", "p_b"}));
}

TEST(ReportQueryTest, AMarkWithoutValueOrABareQuestionMarkIsRefused) {
  EXPECT_THROW(ToPositional("SELECT :P_A, :P_OUTRO", {{"P_A", SqlValue()}}), ReportQueryError);
  EXPECT_THROW(ToPositional("SELECT ? , :P_A", {{"P_A", SqlValue()}}), ReportQueryError);
  EXPECT_EQ(ToPositional("SELECT '?' AS q", {}).sql, "SELECT '?' AS q");
}

}  // namespace
}  // namespace srv
