// The booking rule: from the crew's start for as long as the event lasts, half open.
#include "server/core/booking.h"

#include <gtest/gtest.h>

namespace srv {
namespace {

struct Event {
  const char* at;
  double hours;
  const char* crew;
};

TEST(Booking, WorkedCasesOverlapOrNot) {
  struct Case {
    const char* name;
    Event a, b;
    bool overlap;
  } cases[] = {
      {"two events the same evening", {"2026-12-19T19:30:00", 6.5, "1900"}, {"2026-12-19T21:00:00", 3, "2030"}, true},
      {"the same crew time on two days", {"2026-12-19T19:30:00", 6.5, "1900"}, {"2026-12-20T19:30:00", 6.5, "1900"},
       false},
      {"back to back: one ends when the other starts",
       {"2026-12-19T12:00:00", 4, "1200"},
       {"2026-12-19T16:00:00", 3, "1600"},
       false},
      {"an event past midnight and a crew after midnight",
       {"2026-12-19T22:00:00", 5, "2200"},
       {"2026-12-20T02:00:00", 2, "0200"},
       true},
      {"a night crew after midnight is the next day's", {"2026-12-19T22:00:00", 2, "0100"},
       {"2026-12-20T01:30:00", 1, ""}, true},
      {"a crew that starts before the event", {"2026-12-19T19:30:00", 1, "1800"}, {"2026-12-19T18:30:00", 1, ""},
       true},
      {"a morning crew and an evening one of the same event",
       {"2026-12-19T19:30:00", 6.5, "0800"},
       {"2026-12-19T19:30:00", 6.5, "1900"},
       false},
      {"no duration counts one hour", {"2026-12-19T19:00:00", 0, ""}, {"2026-12-19T19:59:00", 1, ""}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto a = BookingOf(c.a.at, c.a.hours, c.a.crew);
    const auto b = BookingOf(c.b.at, c.b.hours, c.b.crew);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Overlaps(*b), c.overlap);
    EXPECT_EQ(b->Overlaps(*a), c.overlap);
  }
}

TEST(Booking, StartsAtTheCrewTimeAndIsShownAsDayAndTime) {
  const auto evening = BookingOf("2026-12-19T19:30:00", 6.5, "1900");
  ASSERT_TRUE(evening);
  EXPECT_EQ(BookingStartText(*evening), "19/12 19:00");
  EXPECT_EQ(evening->until - evening->from, 390);
  EXPECT_EQ(BookingStartText(*BookingOf("2026-12-31T22:00:00", 4, "0030")), "01/01 00:30");
  EXPECT_EQ(BookingStartText(*BookingOf("2026-12-19T19:30:00", 1, "")), "19/12 19:30");  // no crew time
  EXPECT_EQ(BookingStartText(*BookingOf("2026-12-19T19:30:00", 1, "2599")), "19/12 19:30");  // not a time
  for (const char* bad : {"", "19/12/2026 19:30", "2026-02-30T10:00:00", "2026-12-19T24:00:00"})
    EXPECT_FALSE(BookingOf(bad, 1, "1900")) << bad;
}

}  // namespace
}  // namespace srv
