#include "server/rpc/fuzz_entry.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>

#include "server/core/service_factory.h"
#include "server/rpc/rpc_handler.h"

namespace srv {
namespace {

struct FuzzWorld {
  std::filesystem::path folder;
  std::unique_ptr<AllocService> service;
  std::unique_ptr<RpcHandler> handler;
  std::string authorization;
};

std::filesystem::path* g_folder = nullptr;

void RemoveFolder() {
  std::error_code ignored;
  if (g_folder != nullptr) std::filesystem::remove_all(*g_folder, ignored);
}

FuzzWorld& World() {
  static FuzzWorld* world = [] {
    auto* w = new FuzzWorld;
    std::string pattern = (std::filesystem::temp_directory_path() / "alloc-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    w->folder = pattern;
    g_folder = &w->folder;
    std::atexit(RemoveFolder);
    StorageConfig config = StorageConfig::Sqlite((w->folder / "alloc.db").string());
    config.pbkdf2_iterations = 1000;
    w->service = OpenService(config);
    SeedDemo(config);
    auto login = w->service->Login("demo", "demo");
    if (!login) std::abort();
    w->authorization = "Bearer " + login->token;
    w->handler = std::make_unique<RpcHandler>(*w->service);
    spdlog::set_level(spdlog::level::off);
    return w;
  }();
  return *world;
}

bool WellFormedResponse(const nlohmann::json& answer) {
  if (answer.is_array()) {
    for (const auto& one : answer) {
      if (!WellFormedResponse(one)) return false;
    }
    return !answer.empty();
  }
  if (!answer.is_object() || answer.value("jsonrpc", "") != "2.0" || !answer.contains("id")) return false;
  if (answer.contains("result") == answer.contains("error")) return false;
  if (answer.contains("error")) {
    const auto& error = answer["error"];
    return error.is_object() && error.contains("code") && error["code"].is_number_integer() &&
           error.contains("message") && error["message"].is_string();
  }
  return true;
}

}  // namespace

RpcReply FuzzReply(const std::string& body) {
  FuzzWorld& world = World();
  return world.handler->Handle(body, world.authorization);
}

bool IsWellFormedReply(const RpcReply& reply) {
  if (reply.body.empty()) return reply.http_status == 204;
  const auto answer = nlohmann::json::parse(reply.body, nullptr, false);
  return !answer.is_discarded() && WellFormedResponse(answer);
}

int FuzzOneRequest(const std::uint8_t* data, std::size_t size) {
  const RpcReply reply = FuzzReply(std::string(reinterpret_cast<const char*>(data), size));
  if (!IsWellFormedReply(reply)) {
    std::fprintf(stderr, "malformed reply (HTTP %d): %s\n", reply.http_status, reply.body.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace srv
