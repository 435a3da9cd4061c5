// Test support (included by the *_test.cpp files only): a service over a fresh database
// seeded with the demo data, signed in as "demo" (branch 0001).
#pragma once

#include <string>
#include <vector>

#include "platform/runtime/packet.h"
#include "server/core/test_backends.h"

namespace srv::testing {

class ServiceTest : public BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    if (IsSkipped()) return;
    service_ = OpenService(config_);
    SeedDemo(config_);
    auto login = service_->Login("demo", "demo");
    ASSERT_TRUE(login);
    session_ = login->session;
  }

  rt::Variant Call(const std::string& method, std::vector<rt::Variant> params) {
    return service_->Call(session_, method, params);
  }
  // The text of the ServiceError a call raises; "" when it succeeds.
  std::string Refusal(const std::string& method, std::vector<rt::Variant> params) {
    try {
      service_->Call(session_, method, params);
    } catch (const ServiceError& e) {
      return e.what();
    }
    return "";
  }
  std::int64_t Count(const std::string& sql, const std::vector<SqlValue>& params = {}) {
    return Connect()->Query(sql, params).Int(0, 0);
  }
  void Exec(const std::string& sql, const std::vector<SqlValue>& params = {}) { Connect()->Execute(sql, params); }

  // Values of one field of a packet's rows, joined by " ".
  static std::string Column(const rt::DataPacket& p, const std::string& field) {
    const int i = p.FieldIndex(field);
    std::string out;
    for (const rt::Row& row : p.rows) {
      if (!out.empty()) out += " ";
      const rt::Variant& v = row.at(static_cast<std::size_t>(i));
      out += v.type() == rt::Variant::Type::String ? v.AsString() : v.Describe();
    }
    return out;
  }

  std::unique_ptr<AllocService> service_;
  Session session_;
};

// One unit of labour of budget 0001/<number>/<sequence> as the grid holds it.
struct Unit {
  std::string supplier;  // "" free, "*" removal
  std::string crew;
  std::string payment;
  double amount = 0;
};

struct UnitChange {
  std::string number, sequence, shift, product;
  Unit old_unit, new_unit;
  std::string branch = "0001";
};

// The delta of the grid that saves these changes (the grid's fields the server reads,
// plus a not-applied name field as the client sends it).
inline rt::Variant GridDelta(const std::vector<UnitChange>& changes) {
  rt::DataPacket delta;
  delta.kind = rt::DataPacket::Kind::Delta;
  for (const char* name : {"CDFILIAL", "NRORCAEVENTO", "NRSEQORCAEVE", "NRTURNO", "CDPRODUTO", "CDFORNECED",
                           "HRINITUMOBRA", "IDTIPOPAGAFORN", "VRPAGOFORNORC", "NMFORNMOBRA"}) {
    rt::FieldDef f;
    f.name = name;
    f.type = std::string(name) == "VRPAGOFORNORC" ? rt::FieldType::Float : rt::FieldType::String;
    delta.fields.push_back(f);
  }
  auto values = [](const UnitChange& c, const Unit& u, bool free_is_null) -> rt::Row {
    auto text = [&](const std::string& s) { return free_is_null && s.empty() ? rt::Variant() : rt::Variant(s); };
    return {c.branch,
            c.number,
            c.sequence,
            c.shift,
            c.product,
            text(u.supplier),
            text(u.crew),
            text(u.payment),
            rt::Variant(u.amount),
            "'; DROP TABLE allocations; --"};
  };
  for (const UnitChange& c : changes) {
    delta.changes.push_back({rt::RowKind::Modified, values(c, c.old_unit, true), values(c, c.new_unit, false)});
  }
  return delta;
}

// One demo allocation whose paid amount a client moves by one real per save: after n
// acknowledged saves it holds `base_cents` + 100 n. Different owners touch different
// rows, so that several clients save side by side without refusing each other.
struct OwnedAllocation {
  std::string number, sequence, shift, product;
  Unit unit;  // its professional, crew time and payment type
  std::int64_t base_cents = 0;

  // The save that moves the amount from step `from` to `from + 1`. Sent again after a
  // lost answer, it is recognised as applied.
  rt::Variant Save(int from) const {
    Unit old_unit = unit, new_unit = unit;
    old_unit.amount = static_cast<double>(base_cents) / 100 + from;
    new_unit.amount = old_unit.amount + 1;
    rt::DataPacket delta = GridDelta({{number, sequence, shift, product, old_unit, new_unit}}).AsPacket();
    for (rt::FieldDef& field : delta.fields) field.size = 64;  // room for the fixture's hostile name text
    return delta;
  }
  // The step the database holds, or -1 when its amount is none of the steps.
  int StoredStep(Database& db) const {
    const ResultSet rows = db.Query(
        "SELECT paid_cents FROM allocations WHERE branch = '0001' AND number = ? AND sequence = ? AND shift = ? "
        "AND product = ? AND supplier_code = ?",
        {number, sequence, shift, product, unit.supplier});
    if (rows.size() != 1) return -1;
    const std::int64_t moved = rows.Int(0, 0) - base_cents;
    return moved >= 0 && moved % 100 == 0 ? static_cast<int>(moved / 100) : -1;
  }
};

// Four allocations of the demo data, one per client.
inline const std::vector<OwnedAllocation>& DemoOwnedAllocations() {
  static const std::vector<OwnedAllocation> owned = {
      {"0000000012", "01", "01", "MO001", {"1001", "0800", "CONTAPAGAR", 0}, 12000},
      {"0000000012", "01", "01", "MO001", {"1003", "0830", "CONTAPAGAR", 0}, 12000},
      {"0000000015", "01", "02", "MO001", {"1008", "1900", "CONTAPAGAR", 0}, 14000},
      {"0000000012", "01", "02", "MO001", {"1004", "1900", "CONTAPAGAR", 0}, 15000},
  };
  return owned;
}

}  // namespace srv::testing
