#include "platform/clientlib/report_engine.h"

#include <gtest/gtest.h>

namespace clib {
namespace {

TEST(ReportQueryTest, DeclaredParamsInOrderSkippingQuotedTextAndCasts) {
  EXPECT_EQ(DeclaredParams("select * from t where a = :P_A and b = ':NOT' and c = :p_b "
                           "and d = :P_A and e::text = 'x'"),
            (std::vector<std::string>{"P_A", "p_b"}));
  EXPECT_TRUE(DeclaredParams("select 1").empty());
}

TEST(ReportQueryTest, BindQuotesValuesAndLeavesUnsetNull) {
  TReportParams params({"P_A", "P_B", "P_C"});
  params.ParamByName("P_A").SetAsString("0001");
  params.ParamByName("p_b").SetAsString("O'Neil");
  EXPECT_EQ(BindParams("x = :P_A and y = :P_B and z = :P_C and w = ':P_A'", params),
            "x = '0001' and y = 'O''Neil' and z = NULL and w = ':P_A'");
}

TEST(ReportParamsTest, ExistParamAndParamByName) {
  TReportParams params({"P_CDFILIAL", "P_NRORCAEVENTO"});
  EXPECT_TRUE(ExistParam(params, "P_CDFILIAL"));
  EXPECT_TRUE(ExistParam(params, "p_nrorcaevento"));
  EXPECT_FALSE(ExistParam(params, "P_NRSEQDE"));
  EXPECT_TRUE(params.ParamByName("P_CDFILIAL").IsNull());
  try {
    params.ParamByName("P_NRSEQDE");
    FAIL() << "no error for an undeclared parameter";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Parameter 'P_NRSEQDE' not found");
  }
}

}  // namespace
}  // namespace clib
