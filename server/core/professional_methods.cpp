// Professional lookup and the labour item's defaults: GetProdForn, GetVrPgMObra, GetTurma.
#include "platform/runtime/packet.h"
#include "server/core/methods.h"
#include "server/core/money.h"
#include "server/core/packets.h"
#include "server/core/registration.h"

namespace srv {
namespace {

const char* const kProfessionalColumns =
    "SELECT p.supplier_code, p.registration, p.registration_type, p.legal_name, p.trade_name, p.payment_type "
    "FROM product_professionals pp JOIN professionals p ON p.supplier_code = pp.supplier_code "
    "WHERE pp.product = ?";

rt::Variant ProfessionalList(CallContext& c, const std::string& product) {
  const ResultSet r =
      c.db.Query(std::string(kProfessionalColumns) + " ORDER BY p.trade_name, p.supplier_code", {product});
  rt::DataPacket list = packets::Make(packets::ProdForn());
  for (std::size_t i = 0; i < r.size(); ++i) {
    packets::AddRow(list, {r.Text(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4), r.Text(i, 5)});
  }
  return rt::VariantArray{list, packets::Make(packets::VdProf())};
}

}  // namespace

rt::Variant GetProdForn(CallContext& c) {
  const std::string product = c.Str(0);
  const std::string& registration = c.Str(1);
  const std::string branch = c.Str(2);
  const std::string number = c.Str(3);
  if (registration.empty()) {
    if (!branch.empty()) c.RequireBranch(branch);
    return ProfessionalList(c, product);
  }
  c.RequireBranch(branch);
  rt::DataPacket found = packets::Make(packets::VdForn());
  rt::DataPacket booked = packets::Make(packets::VdProf());
  const auto parsed = ParseRegistration(registration);
  if (!parsed) return rt::VariantArray{found, booked};
  c.params[1] = parsed->digits;  // the normalised registration goes back by reference

  std::string sql = std::string(kProfessionalColumns) + " AND p.registration = ?";
  std::vector<SqlValue> args = {product, parsed->digits};
  if (parsed->type) {
    sql += " AND p.registration_type = ?";
    args.emplace_back(std::string(1, parsed->type));
  }
  const ResultSet p = c.db.Query(sql, args);
  if (p.empty()) return rt::VariantArray{found, booked};
  const std::string supplier = p.Text(0, 0);
  packets::AddRow(found, {supplier, p.Text(0, 1), p.Text(0, 2), p.Text(0, 4), p.Text(0, 3)});

  // Allocations already using the professional: every sequence of this budget, and any
  // budget of the operator's branches whose event starts at the same date and hour as
  // one of this budget's sequences (the professional cannot be at both).
  std::vector<SqlValue> q = {supplier, branch, number, branch, number};
  for (auto& b : c.BranchParams()) q.push_back(b);
  const ResultSet a = c.db.Query(
      "SELECT a.number, a.product, a.supplier_code, a.crew_time, a.sequence FROM allocations a "
      "WHERE a.supplier_code = ? AND ((a.branch = ? AND a.number = ?) OR EXISTS ("
      "  SELECT 1 FROM budget_sequences here JOIN budget_sequences there ON there.event_at = here.event_at "
      "  WHERE here.branch = ? AND here.number = ? AND there.branch = a.branch AND there.number = a.number "
      "  AND there.sequence = a.sequence AND a.branch IN (" +
          c.BranchPlaceholders() +
          "))) "
          "ORDER BY a.branch, a.number, a.sequence, a.id",
      q);
  for (std::size_t i = 0; i < a.size(); ++i) {
    packets::AddRow(booked, {a.Text(i, 0), a.Text(i, 1), a.Text(i, 2), a.Text(i, 3), a.Text(i, 4)});
  }
  return rt::VariantArray{found, booked};
}

rt::Variant GetVrPgMObra(CallContext& c) {
  const std::string& product = c.Str(0);
  const std::string& number = c.Str(1);
  const std::string& sequence = c.Str(2);
  const std::string& branch = c.Str(3);
  c.RequireBranch(branch);
  // A product in two shifts gives two rows (this call carries no shift); first shift first.
  const ResultSet r = c.db.Query(
      "SELECT i.branch, i.number, i.sequence, i.shift, i.product, p.name, s.description, i.product_tree_code, "
      "i.charged_cents, i.default_paid_cents, i.default_crew_time FROM labour_items i "
      "JOIN labour_products p ON p.code = i.product JOIN shifts s ON s.code = i.shift "
      "WHERE i.branch = ? AND i.number = ? AND i.sequence = ? AND i.product = ? ORDER BY i.shift",
      {branch, number, sequence, product});
  rt::DataPacket packet = packets::Make(packets::VrPagMObra());
  for (std::size_t i = 0; i < r.size(); ++i) {
    packets::AddRow(packet,
                    {r.Text(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4), r.Text(i, 5), r.Text(i, 6),
                     r.Text(i, 7), FloatFromCents(r.Int(i, 8)), FloatFromCents(r.Int(i, 9)), r.Text(i, 10)});
  }
  return packet;
}

rt::Variant GetTurma(CallContext& c) {
  c.RequireBranch(c.Str(0));
  const ResultSet r = c.db.Query(
      "SELECT crew_time FROM labour_item_crew_times "
      "WHERE branch = ? AND number = ? AND sequence = ? AND shift = ? AND product = ? ORDER BY crew_time",
      {c.Str(0), c.Str(1), c.Str(2), c.Str(3), c.Str(4)});
  rt::DataPacket packet = packets::Make(packets::Turma());
  for (std::size_t i = 0; i < r.size(); ++i) packets::AddRow(packet, {r.Text(i, 0)});
  return packet;
}

}  // namespace srv
