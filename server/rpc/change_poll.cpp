#include "server/rpc/change_poll.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace srv {
namespace {

using json = nlohmann::json;

RpcReply Refusal(int status, int code, const std::string& message) {
  return {status, RpcHandler::ErrorBody(code, message)};
}

RpcReply BadRequest(const std::string& message) { return Refusal(400, rpc::kInvalidRequest, message); }

bool IsKeyText(const json& value) { return value.is_string() && !value.get_ref<const std::string&>().empty(); }

// One subscription of the request, or why it is not one.
std::variant<ChangeCursor, std::string> ReadCursor(const json& s) {
  if (!s.is_object()) return std::string("each subscription must be an object");
  ChangeCursor cursor;
  for (const char* name : {"branch", "number", "sequence"}) {
    const auto it = s.find(name);
    if (it == s.end() || !IsKeyText(*it)) return std::string("a subscription needs \"") + name + "\" as a text";
  }
  cursor.branch = s["branch"].get<std::string>();
  cursor.number = s["number"].get<std::string>();
  cursor.sequence = s["sequence"].get<std::string>();
  if (const auto after = s.find("after"); after != s.end() && !after->is_null()) {
    if (!after->is_number_integer() || after->get<std::int64_t>() < 0) {
      return std::string("\"after\" must be a history id (a whole number, 0 or more)");
    }
    cursor.after = after->get<std::int64_t>();
  }
  if (const auto seen = s.find("seen"); seen != s.end()) {
    if (!seen->is_array() || seen->size() > kMaxSeenIds) {
      return "\"seen\" must be a list of at most " + std::to_string(kMaxSeenIds) + " history ids";
    }
    for (const json& id : *seen) {
      if (!id.is_number_integer()) return std::string("\"seen\" must hold history ids");
      cursor.seen.push_back(id.get<std::int64_t>());
    }
  }
  return cursor;
}

json EventJson(const ChangeEvent& e) {
  json event = {{"id", e.id},
                {"at", e.at},
                {"operator", e.operator_id},
                {"action", e.action},
                {"branch", e.branch},
                {"number", e.number},
                {"sequence", e.sequence},
                {"shift", e.shift},
                {"product", e.product},
                {"old_supplier", e.old_supplier},
                {"new_supplier", e.new_supplier},
                {"entries", e.entry_numbers}};
  event["allocation"] = e.allocation_id ? json(*e.allocation_id) : json(nullptr);
  return event;
}

}  // namespace

ChangePoll::ChangePoll(AllocService& service, Session session, std::vector<ChangeCursor> cursors,
                       std::chrono::seconds wait)
    : service_(service), session_(std::move(session)), cursors_(std::move(cursors)), wait_(wait) {
  for (const ChangeCursor& c : cursors_) keys_.push_back({c.branch, c.number, c.sequence});
}

std::variant<std::shared_ptr<ChangePoll>, RpcReply> ChangePoll::Begin(AllocService& service, std::string_view body,
                                                                        std::string_view authorization) {
  const json request = json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
  if (!request.is_object()) return BadRequest("the body must be a JSON object with \"subscriptions\"");
  const auto subscriptions = request.find("subscriptions");
  if (subscriptions == request.end() || !subscriptions->is_array() || subscriptions->empty() ||
      subscriptions->size() > kMaxSubscriptions) {
    return BadRequest("\"subscriptions\" must list 1 to " + std::to_string(kMaxSubscriptions) + " budget sequences");
  }
  std::vector<ChangeCursor> cursors;
  for (const json& s : *subscriptions) {
    auto cursor = ReadCursor(s);
    if (auto* why = std::get_if<std::string>(&cursor)) return BadRequest(*why);
    cursors.push_back(std::get<ChangeCursor>(std::move(cursor)));
  }
  auto wait = std::chrono::seconds(kMaxChangeWaitSeconds);
  if (const auto w = request.find("wait"); w != request.end()) {
    if (!w->is_number_integer() || w->get<int>() < 0 || w->get<int>() > kMaxChangeWaitSeconds) {
      return BadRequest("\"wait\" must be 0 to " + std::to_string(kMaxChangeWaitSeconds) + " seconds");
    }
    wait = std::chrono::seconds(w->get<int>());
  }

  TokenCheck checked = CheckToken(service, authorization);
  if (!checked.session) return Refusal(checked.code == rpc::kServerError ? 503 : 401, checked.code, checked.message);
  return std::shared_ptr<ChangePoll>(new ChangePoll(service, std::move(*checked.session), std::move(cursors), wait));
}

std::optional<RpcReply> ChangePoll::Read() {
  ChangesAnswer answer;
  try {
    answer = service_.ChangesSince(session_, cursors_);
  } catch (const BranchRefused& e) {
    return Refusal(403, rpc::kServerError, e.what());
  } catch (const ServiceError& e) {  // the database failed
    return Refusal(503, rpc::kServerError, e.what());
  }
  // A subscription from now on learns its cursor at once.
  const bool from_now =
      std::any_of(cursors_.begin(), cursors_.end(), [](const ChangeCursor& c) { return !c.after.has_value(); });
  for (std::size_t i = 0; i < cursors_.size() && i < answer.cursors.size(); ++i) {
    cursors_[i].after = answer.cursors[i];
  }
  if (from_now) recent_ = std::move(answer.recent);
  if (answer.events.empty() && !answer.more && !from_now) return std::nullopt;
  return AnswerOf(answer.events, answer.more);
}

RpcReply ChangePoll::Quiet() const { return AnswerOf({}, false); }

RpcReply ChangePoll::AnswerOf(const std::vector<ChangeEvent>& events, bool more) const {
  json changes = json::array();
  for (const ChangeEvent& e : events) changes.push_back(EventJson(e));
  json cursors = json::array();
  for (const ChangeCursor& c : cursors_) cursors.push_back(c.after.value_or(0));
  json answer = {{"changes", std::move(changes)}, {"cursors", std::move(cursors)}, {"more", more}};
  if (!recent_.empty()) answer["recent"] = recent_;
  return {200, DumpJson(answer)};
}

}  // namespace srv
