#include "server/core/booking.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace srv {
namespace {

constexpr std::int64_t kMinutesPerHour = 60;
constexpr std::int64_t kMinutesPerDay = 24 * kMinutesPerHour;

bool Digits(const std::string& s, std::size_t at, std::size_t n, int& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

// Minutes of the day of "HHMM"; nullopt when blank or not a time.
std::optional<int> CrewMinutes(const std::string& crew_time) {
  int hours = 0, minutes = 0;
  if (crew_time.size() != 4 || !Digits(crew_time, 0, 2, hours) || !Digits(crew_time, 2, 2, minutes) || hours > 23 ||
      minutes > 59)
    return std::nullopt;
  return hours * 60 + minutes;
}

// Minutes of a local date-time "YYYY-MM-DDTHH:MM[:SS]"; nullopt when it is not one.
std::optional<std::int64_t> MinutesOf(const std::string& date_time) {
  int year = 0, month = 0, day = 0, hours = 0, minutes = 0;
  if (date_time.size() < 16 || !Digits(date_time, 0, 4, year) || date_time[4] != '-' ||
      !Digits(date_time, 5, 2, month) || date_time[7] != '-' || !Digits(date_time, 8, 2, day) ||
      (date_time[10] != 'T' && date_time[10] != ' ') || !Digits(date_time, 11, 2, hours) || date_time[13] != ':' ||
      !Digits(date_time, 14, 2, minutes) || hours > 23 || minutes > 59)
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok()) return std::nullopt;
  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return days * kMinutesPerDay + hours * kMinutesPerHour + minutes;
}

Database::Statement BookingStatement(std::int64_t allocation_id, const Booking& booking) {
  return {"UPDATE allocations SET booked_from = ?, booked_until = ? WHERE id = ?",
          {booking.from, booking.until, allocation_id}};
}

}  // namespace

std::optional<Booking> BookingOf(const std::string& event_at, double duration_hours, const std::string& crew_time) {
  const std::optional<std::int64_t> event = MinutesOf(event_at);
  if (!event) return std::nullopt;
  const std::int64_t length =
      std::isfinite(duration_hours) && duration_hours > 0 ? std::llround(duration_hours * 60) : std::int64_t{60};
  std::int64_t start = *event;
  if (const std::optional<int> crew = CrewMinutes(crew_time)) {
    const std::int64_t day = *event - *event % kMinutesPerDay;
    const bool night_crew = *event - day >= 18 * kMinutesPerHour && *crew < 6 * kMinutesPerHour;
    start = day + *crew + (night_crew ? kMinutesPerDay : 0);
  }
  return Booking{start, start + std::max<std::int64_t>(length, 1)};
}

std::string BookingStartText(const Booking& booking) {
  const std::chrono::sys_days days{std::chrono::days(booking.from / kMinutesPerDay)};
  const std::chrono::year_month_day date{days};
  const std::int64_t minutes = booking.from % kMinutesPerDay;
  char text[32];
  std::snprintf(text, sizeof text, "%02u/%02u %02d:%02d", static_cast<unsigned>(date.day()),
                static_cast<unsigned>(date.month()), static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
  return text;
}

std::string BudgetName(const std::string& number, const std::string& sequence) {
  const std::size_t first = number.find_first_not_of('0');
  return (first == std::string::npos ? number : number.substr(first)) + "/" + sequence;
}

void FillMissingBookings(Database& db) {
  const ResultSet r = db.Query(
      "SELECT a.id, s.event_at, s.duration_hours, a.crew_time FROM allocations a JOIN budget_sequences s "
      "ON s.branch = a.branch AND s.number = a.number AND s.sequence = a.sequence WHERE a.booked_until = 0");
  std::vector<Database::Statement> writes;
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (const auto booking = BookingOf(r.Text(i, 1), r.Float(i, 2), r.Text(i, 3)))
      writes.push_back(BookingStatement(r.Int(i, 0), *booking));
  }
  if (!writes.empty()) db.QueryEach(writes);
}


}  // namespace srv
