// Test double of the application server (tests only): an in-process IAppServer that
// records every call as one line, "GetPesqOrca(0001, 0000000012, 1)" (strings bare,
// other values as Variant::Describe gives them; a by-reference argument marked "&"),
// and answers from a script: per method, a queue of answers (the last one repeats),
// optionally rewriting by-reference arguments. Unscripted methods fail the test and
// answer with a failure naming the method.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clientlib/app_server.h"

namespace contracts::testing {

class TRecordingAppServer : public clib::IAppServer {
 public:
  using TRespond = std::function<clib::ServerAnswer(std::vector<clib::Arg>& args)>;

  void Answer(const std::string& method, rt::Variant value) {
    script_[method].push_back([value](std::vector<clib::Arg>&) { return clib::ServerAnswer{true, value, "", 0}; });
  }
  void Fail(const std::string& method, const std::string& text) {
    script_[method].push_back([text](std::vector<clib::Arg>&) {
      return clib::ServerAnswer{false, rt::Variant(), text, -32000};
    });
  }
  void Respond(const std::string& method, TRespond respond) { script_[method].push_back(std::move(respond)); }

  clib::ServerAnswer Call(const std::string& method, std::vector<clib::Arg> args) override {
    std::string line = method + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
      const rt::Variant& v = args[i].Value();
      line += (i ? ", " : "") + std::string(args[i].RefTarget() ? "&" : "") +
              (v.type() == rt::Variant::Type::String ? v.AsString() : v.Describe());
    }
    calls_.push_back(line + ")");
    auto it = script_.find(method);
    if (it == script_.end() || it->second.empty()) {
      ADD_FAILURE() << "Unscripted server call: " << calls_.back();
      return {false, rt::Variant(), "unscripted " + method, -32601};
    }
    TRespond respond = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
    return respond(args);
  }

  const std::vector<std::string>& Calls() const { return calls_; }
  std::string Log() const {
    std::string out;
    for (const auto& c : calls_) out += (out.empty() ? "" : " | ") + c;
    return out;
  }
  void Clear() { calls_.clear(); }

 private:
  std::map<std::string, std::deque<TRespond>> script_;
  std::vector<std::string> calls_;
};

}  // namespace contracts::testing
