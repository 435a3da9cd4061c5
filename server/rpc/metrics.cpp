#include "server/rpc/metrics.h"

#include <cstdio>

#include "server/rpc/rpc_handler.h"

namespace srv {
namespace {

constexpr std::array<const char*, CallMetrics::kOutcomes> kOutcomeNames = {"ok", "refused", "not_signed_in", "invalid",
                                                                           "internal_error"};

// A label value with the format's three escapes.
std::string LabelValue(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    if (c == '\n') {
      escaped += "\\n";
      continue;
    }
    escaped += c;
  }
  return escaped;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void Sample(std::string& out, const std::string& name_and_labels, std::uint64_t value) {
  out += name_and_labels;
  out += ' ';
  out += std::to_string(value);
  out += '\n';
}

void Gauge(std::string& out, const char* name, const char* help, std::int64_t value) {
  Family(out, name, "gauge", help);
  out += name;
  out += ' ';
  out += std::to_string(value);
  out += '\n';
}

}  // namespace

CallMetrics::CallMetrics(const std::vector<std::string>& methods) : names_(methods) {
  names_.emplace_back("other");
  counters_ = std::make_unique<MethodCounters[]>(names_.size());
  for (std::size_t i = 0; i + 1 < names_.size(); ++i) slots_.emplace(names_[i], i);
}

std::size_t CallMetrics::SlotOf(std::string_view method) const {
  const auto found = slots_.find(method);
  return found == slots_.end() ? names_.size() - 1 : found->second;
}

void CallMetrics::CountCall(std::size_t slot, Outcome outcome, std::chrono::nanoseconds took) {
  MethodCounters& counters = counters_[slot];
  counters.outcomes[static_cast<std::size_t>(outcome)].fetch_add(1, std::memory_order_relaxed);
  const double seconds = std::chrono::duration<double>(took).count();
  std::size_t bucket = 0;
  while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) ++bucket;
  counters.buckets[bucket].fetch_add(1, std::memory_order_relaxed);
  counters.nanoseconds.fetch_add(static_cast<std::uint64_t>(took.count() > 0 ? took.count() : 0),
                                 std::memory_order_relaxed);
}

void CallMetrics::CountRefusedSignIn(bool locked) {
  (locked ? locked_sign_ins_ : refused_sign_ins_).fetch_add(1, std::memory_order_relaxed);
}

CallMetrics::Outcome CallMetrics::OutcomeOfErrorCode(int code) {
  switch (code) {
    case 0:
      return Outcome::Ok;
    case rpc::kServerError:
      return Outcome::Refused;
    case rpc::kNotSignedIn:
      return Outcome::NotSignedIn;
    case rpc::kInternalError:
      return Outcome::InternalError;
    default:
      return Outcome::Invalid;
  }
}

std::string CallMetrics::Exposition(const Gauges& gauges) const {
  std::string out;
  out.reserve(std::size_t{32} * 1024);
  Family(out, "alloc_rpc_calls_total", "counter", "JSON-RPC calls answered, by method and outcome.");
  for (std::size_t slot = 0; slot < names_.size(); ++slot) {
    for (std::size_t outcome = 0; outcome < kOutcomes; ++outcome) {
      Sample(out,
             "alloc_rpc_calls_total{method=\"" + LabelValue(names_[slot]) + "\",outcome=\"" + kOutcomeNames[outcome] +
                 "\"}",
             counters_[slot].outcomes[outcome].load(std::memory_order_relaxed));
    }
  }
  Family(out, "alloc_rpc_call_duration_seconds", "histogram",
         "Time from a call's decoding to its answer's text, by method.");
  for (std::size_t slot = 0; slot < names_.size(); ++slot) {
    const MethodCounters& counters = counters_[slot];
    const std::string method = "method=\"" + LabelValue(names_[slot]) + "\"";
    // Each bucket is read once: the cumulative counts, +Inf and the count agree
    // whatever calls end meanwhile.
    std::uint64_t cumulative = 0;
    for (std::size_t bucket = 0; bucket <= kBuckets.size(); ++bucket) {
      cumulative += counters.buckets[bucket].load(std::memory_order_relaxed);
      const std::string bound = bucket < kBuckets.size() ? Number(kBuckets[bucket]) : "+Inf";
      Sample(out, "alloc_rpc_call_duration_seconds_bucket{" + method + ",le=\"" + bound + "\"}", cumulative);
    }
    out += "alloc_rpc_call_duration_seconds_sum{" + method + "} " +
           Number(static_cast<double>(counters.nanoseconds.load(std::memory_order_relaxed)) / 1e9) + "\n";
    Sample(out, "alloc_rpc_call_duration_seconds_count{" + method + "}", cumulative);
  }
  Family(out, "alloc_sign_ins_refused_total", "counter",
         "Sign-ins refused: wrong operator or password, or refused unchecked while locked after too many.");
  Sample(out, "alloc_sign_ins_refused_total{reason=\"wrong_credentials\"}",
         refused_sign_ins_.load(std::memory_order_relaxed));
  Sample(out, "alloc_sign_ins_refused_total{reason=\"locked\"}", locked_sign_ins_.load(std::memory_order_relaxed));
  Gauge(out, "alloc_http_connections_open", "Client connections open now.", gauges.open_connections);
  Gauge(out, "alloc_db_connections_in_use", "Database connections lent to calls now.",
        gauges.database_connections_in_use);
  Gauge(out, "alloc_db_connections_idle", "Database connections open and idle in the pool now.",
        gauges.database_connections_idle);
  return out;
}

bool IsLoopbackAddress(std::string_view address) {
  if (address.starts_with("::ffff:")) address.remove_prefix(7);  // IPv4 mapped into IPv6
  return address == "::1" || address.starts_with("127.");
}

}  // namespace srv
