// A fake of the business layer for the protocol layer's tests (header only; never part
// of the server): one operator "demo"/"demo" with token "tok-demo", a few methods that
// echo, rewrite a by-reference parameter, refuse or fail, and a log of every call.
#pragma once

#include <cctype>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/service.h"

namespace srv::fakes {

class FakeService : public AllocService {
 public:
  std::string refusal = "N_PARAM_TPCTPAG|12";  // the text of Refuse
  std::string raw_text;                        // the value of Raw

  std::optional<LoginResult> Login(const std::string& operator_id, const std::string& password) override {
    if (operator_id != "demo" || password != "demo") return std::nullopt;
    return LoginResult{"tok-demo", Session{"demo", {"0001", "0002"}, "fake-session"}};
  }

  std::optional<Session> Authenticate(const std::string& token) override {
    if (token != "tok-demo") return std::nullopt;
    return Session{"demo", {"0001", "0002"}, "fake-session"};
  }

  rt::Variant Call(const Session& session, const std::string& method, std::vector<rt::Variant>& params) override {
    Record(session.operator_id + ":" + method + "(" + Describe(params) + ")");
    if (method == "Echo") return params.empty() ? rt::Variant() : params[0];
    if (method == "GetProdForn") {  // like the registration lookup: digits only, written back
      if (params.size() != 4) throw InvalidParams("GetProdForn takes 4 parameters");
      std::string digits;
      for (char c : params[1].AsString()) {
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
      }
      params[1] = digits;
      return params[3];
    }
    if (method == "Refuse") throw ServiceError(refusal);
    if (method == "BadArgs") throw InvalidParams("BadArgs takes 3 parameters, got " + std::to_string(params.size()));
    if (method == "Crash") throw std::runtime_error("disk I/O error at /var/lib/secret.db");
    if (method == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (method == "Raw") return raw_text;
    throw UnknownMethod("no method " + method);
  }

  // "demo:Echo(\"a\") | demo:Refuse()"
  std::string Log() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const std::string& entry : log_) text += (text.empty() ? "" : " | ") + entry;
    return text;
  }

 private:
  static std::string Describe(const std::vector<rt::Variant>& params) {
    std::string text;
    for (const rt::Variant& p : params) text += (text.empty() ? "" : ", ") + p.Describe();
    return text;
  }
  void Record(std::string entry) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(entry));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> log_;
};

}  // namespace srv::fakes
