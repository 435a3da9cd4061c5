#include "server/program/json_log.h"

#include <chrono>
#include <ctime>
#include <string>

#include <nlohmann/json.hpp>
#include <spdlog/details/log_msg.h>

namespace srv {
namespace {

std::string UtcTime(spdlog::log_clock::time_point at) {
  const auto since_epoch = at.time_since_epoch();
  const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
  return text;
}

class JsonLogFormatter final : public spdlog::formatter {
 public:
  void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override {
    const spdlog::string_view_t level = spdlog::level::to_string_view(msg.level);
    const nlohmann::ordered_json line = {
        {"time", UtcTime(msg.time)},
        {"level", std::string(level.data(), level.size())},
        {"logger", std::string(msg.logger_name.data(), msg.logger_name.size())},
        {"thread", msg.thread_id},
        {"message", std::string(msg.payload.data(), msg.payload.size())},
    };
    const std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    dest.append(text.data(), text.data() + text.size());
    dest.push_back('\n');
  }
  std::unique_ptr<spdlog::formatter> clone() const override { return std::make_unique<JsonLogFormatter>(); }
};

}  // namespace

std::unique_ptr<spdlog::formatter> MakeJsonLogFormatter() { return std::make_unique<JsonLogFormatter>(); }

}  // namespace srv
