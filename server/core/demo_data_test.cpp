// Demo data and the large budgets of the benchmarks.
#include "server/core/service_fixture.h"

namespace srv {
namespace {

using testing::ServiceTest;

class DemoDataTest : public ServiceTest {};

TEST_P(DemoDataTest, SeedingTwiceChangesNothing) {
  const std::int64_t allocations = Count("SELECT COUNT(*) FROM allocations");
  EXPECT_FALSE(SeedDemo(config_));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM allocations"), allocations);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM operators"), 4);  // demo, bia, ana, caio
}

TEST_P(DemoDataTest, LargeBudgetLoadsAsOneRecordPerAllocationAndIsReplacedWhenRegenerated) {
  const std::string number = GenerateLargeBudget(config_, 1000);
  EXPECT_EQ(number, "9000001000");
  EXPECT_EQ(GenerateLargeBudget(config_, 1000), number);  // replaced, not doubled
  const auto answer = Call("GetAlocaForne", {"0001", number, "01"}).AsArray();
  // 50 items of 20 units, 18 of each allocated.
  EXPECT_EQ(answer[1].AsPacket().rows.size(), 900u);
  EXPECT_EQ(answer[2].AsPacket().rows.size(), 50u);
  EXPECT_EQ(Count("SELECT SUM(quantity) FROM labour_items WHERE number = ?", {number}), 1000);
}

INSTANTIATE_TEST_SUITE_P(Backends, DemoDataTest,
                         ::testing::Values(testing::Backend::Sqlite, testing::Backend::Postgres), testing::BackendName);

}  // namespace
}  // namespace srv
