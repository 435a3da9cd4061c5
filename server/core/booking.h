// Bookings: the time interval an allocation occupies, so that nobody is booked at two
// events at once. An allocation books its professional from the crew's start time for
// as long as the event lasts (docs/server-rules.md, "Bookings", has the rule and its
// worked cases). Intervals are kept with each allocation (booked_from, booked_until:
// minutes on the local calendar counted from 1970-01-01 00:00, half open), indexed by
// professional, so that an overlap is one index range read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "server/core/database.h"

namespace srv {

struct Booking {
  std::int64_t from = 0, until = 0;  // [from, until), minutes
  bool Overlaps(const Booking& other) const { return from < other.until && other.from < until; }
};

// The booking of a crew starting at `crew_time` ("HHMM"; blank: the event's start) at an
// event starting at `event_at` and lasting `duration_hours` (none or not positive: one
// hour). A crew time before 06:00 at an event starting at 18:00 or later is taken on the
// next day (a night crew after midnight). Nullopt when the event's start is unreadable.
std::optional<Booking> BookingOf(const std::string& event_at, double duration_hours, const std::string& crew_time);

// "19/12 19:00": the day and time a booking starts, as lists and refusals show it.
std::string BookingStartText(const Booking& booking);

// Computes the booking of every allocation that has none yet (booked_until = 0): after
// the migration that brought the columns, and after rows written straight into the
// table (demo data, generated benchmark budgets).
void FillMissingBookings(Database& db);

// A budget as lists and refusals name a booking's: "15/01" for number "0000000015",
// sequence "01".
std::string BudgetName(const std::string& number, const std::string& sequence);

}  // namespace srv
