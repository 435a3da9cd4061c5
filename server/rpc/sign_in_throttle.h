// Throttling of wrong passwords, per operator and per client address: the first few
// wrong passwords are answered at once, the next ones only after a delay that doubles
// each time, and after many in a row the operator (or the address) is refused for a
// while without the password even being checked. A right password clears the count.
//
// Kept in the server's memory: a restart forgets it, and servers sharing one database
// count each on their own (docs/server-program.md).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace srv {

struct SignInPolicy {
  int free_failures = 3;                        // wrong passwords in a row answered without delay
  std::chrono::milliseconds first_delay{1000};  // the next one's; doubles per failure
  std::chrono::milliseconds max_delay{8000};
  int lock_after = 10;  // wrong passwords in a row that lock the operator or address
  std::chrono::seconds lock_for{300};
  std::chrono::seconds forget_after{900};  // a count not added to for this long is dropped
};

class SignInThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  explicit SignInThrottle(SignInPolicy policy = {}, Clock clock = {});

  // How long the operator or the address is still refused; nullopt when neither is.
  // `address` may be empty (no network peer): only the operator counts then.
  std::optional<std::chrono::seconds> LockedFor(std::string_view operator_id, std::string_view address);
  // Counts a wrong password; answers how long to hold its refusal back.
  std::chrono::milliseconds Failed(std::string_view operator_id, std::string_view address);
  void Succeeded(std::string_view operator_id, std::string_view address);

  // The clerk's text for a refusal while locked.
  static std::string LockedText(std::chrono::seconds remaining);

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct Count {
    int failures = 0;
    TimePoint last_failure{};
    TimePoint locked_until{};
  };
  std::chrono::milliseconds Record(Count& count, TimePoint now) const;
  void ForgetStale(TimePoint now);

  SignInPolicy policy_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Count, std::less<>> counts_;  // "op:<id>" and "ip:<address>"
};

}  // namespace srv
