#include "server/rpc/fuzz_entry.h"

#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>

#include <spdlog/spdlog.h>
#include <nlohmann/json.hpp>

#include "platform/runtime/packet.h"
#include "server/core/database.h"
#include "server/core/service_factory.h"
#include "server/core/storage.h"
#include "server/rpc/rpc_handler.h"

namespace srv {
namespace {

struct FuzzWorld {
  std::filesystem::path folder;
  StorageConfig config;
  std::unique_ptr<AllocService> service;
  std::unique_ptr<RpcHandler> handler;
  std::string authorization;
  Session session;
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
    w->session = login->session;
    w->config = config;
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

namespace {

// The fuzzer's bytes, read one at a time (0 once they run out).
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned Next() { return at_ < size_ ? data_[at_++] : 0u; }
  bool Done() const { return at_ >= size_; }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[Next() % from.size()];
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// What the delta entry draws from: the labour items, professionals, crew times and
// allocations of the demo database as they are now.
struct DeltaWorld {
  std::vector<std::vector<std::string>> items;  // branch, number, sequence, shift, product
  std::vector<std::string> suppliers, crews;
  std::vector<std::vector<std::string>> allocations;  // item key, supplier, crew, payment, cents
};

std::vector<std::vector<std::string>> Rows(Database& db, const std::string& sql) {
  const ResultSet r = db.Query(sql);
  std::vector<std::vector<std::string>> rows(r.size());
  for (std::size_t i = 0; i < r.size(); ++i)
    for (std::size_t c = 0; c < r.columns().size(); ++c) rows[i].push_back(r.Text(i, static_cast<int>(c)));
  return rows;
}

std::string Snapshot(Database& db) {
  std::string out;
  for (const auto& row : Rows(db,
                              "SELECT branch, number, sequence, shift, product, supplier_code, paid_cents, "
                              "typeof(paid_cents), crew_time, payment_type, account_generated FROM allocations "
                              "ORDER BY id")) {
    for (const std::string& v : row) out += v + "|";
    out += "\n";
  }
  return out;
}

DeltaWorld ReadDeltaWorld(Database& db) {
  DeltaWorld w;
  w.items = Rows(db, "SELECT branch, number, sequence, shift, product FROM labour_items ORDER BY 1, 2, 3, 4, 5");
  for (const auto& row : Rows(db, "SELECT supplier_code FROM professionals ORDER BY 1")) w.suppliers.push_back(row[0]);
  w.suppliers.insert(w.suppliers.end(), {"*", "", "9999"});
  for (const auto& row : Rows(db, "SELECT DISTINCT crew_time FROM labour_item_crew_times ORDER BY 1"))
    w.crews.push_back(row[0]);
  w.crews.insert(w.crews.end(), {"", "08:30", "9999"});
  w.allocations = Rows(db,
                       "SELECT branch, number, sequence, shift, product, supplier_code, crew_time, payment_type, "
                       "paid_cents FROM allocations ORDER BY id");
  return w;
}

// Amounts a clerk or a hostile client may send: plain cents, halves of a cent, floats
// that do not hold their decimal, negative, huge and not finite.
double Amount(ByteReader& in) {
  switch (in.Next() % 8) {
    case 0:
      return static_cast<double>(in.Next() * 256 + in.Next()) / 100.0;
    case 1:
      return 1.005;
    case 2:
      return 0.1 + 0.2;
    case 3:
      return 2.675;
    case 4:
      return -1;
    case 5:
      return 1e300;
    case 6:
      return std::nan("");
    default:
      return 99999999.995;
  }
}

const char* const kDeltaFields[] = {"CDFILIAL",   "NRORCAEVENTO", "NRSEQORCAEVE",   "NRTURNO",      "CDPRODUTO",
                                    "CDFORNECED", "HRINITUMOBRA", "IDTIPOPAGAFORN", "VRPAGOFORNORC"};

// A delta of one to four rows drawn from the bytes: each row's old values are an
// allocation as stored (so that most changes apply), a free unit, a removed one ("*")
// or made up; its new values any professional, crew time, payment type and amount.
rt::DataPacket DrawDelta(ByteReader& in, const DeltaWorld& w) {
  rt::DataPacket delta;
  delta.kind = rt::DataPacket::Kind::Delta;
  for (const char* name : kDeltaFields) {
    rt::FieldDef f;
    f.name = name;
    f.type = std::string(name) == "VRPAGOFORNORC" ? rt::FieldType::Float : rt::FieldType::String;
    delta.fields.push_back(f);
  }
  const std::vector<std::string> payments{"", "FOLHAPAGA", "CONTAPAGAR", "OUTRO"};
  const unsigned rows = 1 + in.Next() % 4;
  for (unsigned r = 0; r < rows; ++r) {
    std::vector<std::string> item = in.Pick(w.items);
    rt::Row old_values{item[0], item[1], item[2], item[3], item[4], rt::Variant(), rt::Variant(), rt::Variant(), 0.0};
    switch (in.Next() % 4) {
      case 0:
        if (!w.allocations.empty()) {
          const auto& a = in.Pick(w.allocations);
          old_values = {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], std::stod(a[8]) / 100.0};
        }
        break;
      case 1:
        break;  // a free unit
      case 2:
        old_values[5] = "*";
        break;
      default:
        old_values[5] = in.Pick(w.suppliers);
        old_values[6] = in.Pick(w.crews);
        old_values[7] = in.Pick(payments);
        old_values[8] = Amount(in);
    }
    rt::Row new_values = old_values;
    new_values[5] = in.Pick(w.suppliers);
    new_values[6] = in.Pick(w.crews);
    new_values[7] = in.Pick(payments);
    new_values[8] = Amount(in);
    const rt::RowKind kind = in.Next() % 16 == 0 ? rt::RowKind::Inserted : rt::RowKind::Modified;
    delta.changes.push_back({kind, std::move(old_values), std::move(new_values)});
  }
  return delta;
}

// The invariants every state of the database keeps, whatever was sent: no labour item
// with more allocations than units, a professional at most once per item, money stored
// as whole non-negative cents. "" when they hold.
std::string BrokenInvariant(Database& db) {
  const auto over =
      Rows(db,
           "SELECT i.number, i.sequence, i.shift, i.product, i.quantity, COUNT(a.id) FROM labour_items i "
           "JOIN allocations a ON a.branch = i.branch AND a.number = i.number AND a.sequence = i.sequence AND "
           "a.shift = i.shift AND a.product = i.product GROUP BY i.branch, i.number, i.sequence, i.shift, i.product, "
           "i.quantity");
  for (const auto& row : over) {
    const double quantity = std::stod(row[4]);
    const long long units = quantity > 0 ? static_cast<long long>(std::trunc(quantity)) : 0;
    if (std::stoll(row[5]) > units)
      return "item " + row[0] + "/" + row[1] + "/" + row[2] + "/" + row[3] + " over-allocated";
  }
  if (!Rows(db,
            "SELECT 1 FROM allocations GROUP BY branch, number, sequence, shift, product, supplier_code "
            "HAVING COUNT(*) > 1")
           .empty())
    return "a professional twice in one item";
  if (!Rows(db, "SELECT 1 FROM allocations WHERE typeof(paid_cents) <> 'integer' OR paid_cents < 0").empty())
    return "an amount not stored as whole non-negative cents";
  return "";
}

// For an applied delta: each professional a row put into an item (and no other row of
// the delta touched there) holds that row's amount rounded to the cent.
std::string WrongAmount(Database& db, const rt::DataPacket& delta) {
  std::map<std::string, int> touched;
  auto key = [](const rt::Row& r, const rt::Variant& supplier) {
    std::string k;
    for (int i = 0; i < 5; ++i) k += r[static_cast<std::size_t>(i)].AsString() + "|";
    return k + (supplier.IsNull() ? "" : supplier.AsString());
  };
  for (const rt::DeltaRow& row : delta.changes) {
    ++touched[key(row.old_values, row.old_values[5])];
    ++touched[key(row.old_values, row.new_values[5])];
  }
  for (const rt::DeltaRow& row : delta.changes) {
    const std::string supplier = row.new_values[5].AsString();
    if (supplier.empty() || supplier == "*" || touched[key(row.old_values, row.new_values[5])] != 1) continue;
    const ResultSet r = db.Query(
        "SELECT paid_cents FROM allocations WHERE branch = ? AND number = ? AND sequence = ? AND shift = ? AND "
        "product = ? AND supplier_code = ?",
        {row.old_values[0].AsString(), row.old_values[1].AsString(), row.old_values[2].AsString(),
         row.old_values[3].AsString(), row.old_values[4].AsString(), supplier});
    if (r.empty()) return "an applied row's professional " + supplier + " is not stored";
    const double amount = row.new_values[8].AsFloat();
    if (std::fabs(static_cast<double>(r.Int(0, 0)) - amount * 100.0) > 0.5 + 1e-6)
      return "amount " + std::to_string(amount) + " stored as " + r.Text(0, 0) + " cents";
  }
  return "";
}

}  // namespace

std::string CheckOneDelta(const std::uint8_t* data, std::size_t size) {
  FuzzWorld& world = World();
  auto db = OpenDatabase(world.config);
  ByteReader in(data, size);
  while (!in.Done()) {
    const rt::DataPacket delta = DrawDelta(in, ReadDeltaWorld(*db));
    const std::string before = Snapshot(*db);
    std::vector<rt::Variant> params{rt::Variant(delta)};
    bool applied = false;
    try {
      world.service->Call(world.session, "SetForneMao", params);
      applied = true;
    } catch (const ServiceError&) {
    } catch (const InvalidParams&) {
    } catch (const std::exception& e) {
      return std::string("SetForneMao failed unexpectedly: ") + e.what();
    }
    if (!applied && Snapshot(*db) != before) return "a refused delta changed the allocations";
    if (std::string broken = BrokenInvariant(*db); !broken.empty()) return broken;
    if (applied) {
      if (std::string wrong = WrongAmount(*db, delta); !wrong.empty()) return wrong;
    }
  }
  return "";
}

int FuzzOneDelta(const std::uint8_t* data, std::size_t size) {
  const std::string broken = CheckOneDelta(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "invariant broken: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace srv
