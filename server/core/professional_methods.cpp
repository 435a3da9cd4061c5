// Professional lookup and the labour item's defaults: GetProdForn, GetVrPgMObra, GetTurma.
#include <map>
#include <optional>

#include "platform/runtime/packet.h"
#include "server/core/booking.h"
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

// The unit of labour a lookup is for: its budget sequence and the booking its crew would
// take (the crew time sent, else the item's default). Nullopt without a budget key.
std::optional<Booking> UnitBooking(CallContext& c, const std::string& product) {
  if (c.params.size() < 6 || c.Str(2).empty() || c.Str(3).empty() || c.Str(4).empty()) return std::nullopt;
  const std::string crew = c.params.size() > 6 ? c.Str(6) : std::string();
  const ResultSet r = c.db.Query(
      "SELECT s.event_at, s.duration_hours, i.default_crew_time FROM budget_sequences s LEFT JOIN labour_items i "
      "ON i.branch = s.branch AND i.number = s.number AND i.sequence = s.sequence AND i.shift = ? AND i.product = ? "
      "WHERE s.branch = ? AND s.number = ? AND s.sequence = ?",
      {c.Str(5), product, c.Str(2), c.Str(3), c.Str(4)});
  if (r.empty()) return std::nullopt;
  return BookingOf(r.Text(0, 0), r.Float(0, 1), IsBlank(crew) ? r.Text(0, 2) : crew);
}

// The list: every professional allowed for the product in trade-name order; with a unit,
// those free at its booking first, then those booked at an overlapping time, each with
// where ("15/01 GARÇOM 19:00"; "*" for a budget of a branch the operator may not see).
rt::Variant ProfessionalList(CallContext& c, const std::string& product) {
  const ResultSet r =
      c.db.Query(std::string(kProfessionalColumns) + " ORDER BY p.trade_name, p.supplier_code", {product});
  std::map<std::string, std::string> booked;  // supplier -> where, the earliest overlapping booking
  if (const std::optional<Booking> unit = UnitBooking(c, product)) {
    const ResultSet b = c.db.Query(
        "SELECT a.supplier_code, a.branch, a.number, a.sequence, lp.name, a.booked_from, a.booked_until "
        "FROM product_professionals pp JOIN allocations a ON a.supplier_code = pp.supplier_code "
        "JOIN labour_products lp ON lp.code = a.product "
        "WHERE pp.product = ? AND a.booked_from < ? AND a.booked_until > ? ORDER BY a.supplier_code, a.booked_from",
        {product, unit->until, unit->from});
    for (std::size_t i = 0; i < b.size(); ++i) {
      const bool visible = c.SeesBranch(b.Text(i, 1));
      const std::string start = BookingStartText({b.Int(i, 5), b.Int(i, 6)});
      booked.try_emplace(b.Text(i, 0), visible ? BudgetName(b.Text(i, 2), b.Text(i, 3)) + " " + b.Text(i, 4) + " " +
                                                     start.substr(start.size() - 5)
                                               : "*");
    }
  }
  rt::DataPacket list = packets::Make(packets::ProdForn());
  for (bool free : {true, false}) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      const auto at = booked.find(r.Text(i, 0));
      if ((at == booked.end()) != free) continue;
      packets::AddRow(list, {r.Text(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4), r.Text(i, 5),
                             free ? std::string() : at->second});
    }
  }
  return rt::VariantArray{list, packets::Make(packets::VdProf())};
}

// Allocations of the professional's in the operator's branches whose bookings overlap
// the unit's.
void OverlappingBookings(CallContext& c, const std::string& supplier, const Booking& unit, rt::DataPacket& booked) {
  const ResultSet a = c.db.Query(
      "SELECT a.branch, a.number, a.product, a.supplier_code, a.crew_time, a.sequence, lp.name, a.booked_from, "
      "a.booked_until FROM allocations a JOIN labour_products lp ON lp.code = a.product "
      "WHERE a.supplier_code = ? AND a.booked_from < ? AND a.booked_until > ? "
      "ORDER BY a.booked_from, a.branch, a.number, a.sequence, a.id",
      {supplier, unit.until, unit.from});
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!c.SeesBranch(a.Text(i, 0))) continue;  // never named
    packets::AddRow(booked, {a.Text(i, 1), a.Text(i, 2), a.Text(i, 3), a.Text(i, 4), a.Text(i, 5), a.Text(i, 6),
                             BookingStartText({a.Int(i, 7), a.Int(i, 8)})});
  }
}

// Without a unit (a client that sends no sequence): every sequence of this budget, and
// any budget of the operator's branches whose event starts at the same date and hour.
void BookingsOfTheBudget(CallContext& c, const std::string& supplier, rt::DataPacket& booked) {
  const std::string& branch = c.Str(2);
  const std::string& number = c.Str(3);
  std::vector<SqlValue> q = {supplier, branch, number, branch, number};
  for (auto& b : c.BranchParams()) q.push_back(b);
  const ResultSet a = c.db.Query(
      "SELECT a.number, a.product, a.supplier_code, a.crew_time, a.sequence, lp.name, a.booked_from, a.booked_until "
      "FROM allocations a JOIN labour_products lp ON lp.code = a.product "
      "WHERE a.supplier_code = ? AND ((a.branch = ? AND a.number = ?) OR EXISTS ("
      "  SELECT 1 FROM budget_sequences here JOIN budget_sequences there ON there.event_at = here.event_at "
      "  WHERE here.branch = ? AND here.number = ? AND there.branch = a.branch AND there.number = a.number "
      "  AND there.sequence = a.sequence AND a.branch IN (" +
          c.BranchPlaceholders() +
          "))) "
          "ORDER BY a.branch, a.number, a.sequence, a.id",
      q);
  for (std::size_t i = 0; i < a.size(); ++i) {
    packets::AddRow(booked, {a.Text(i, 0), a.Text(i, 1), a.Text(i, 2), a.Text(i, 3), a.Text(i, 4), a.Text(i, 5),
                             BookingStartText({a.Int(i, 6), a.Int(i, 7)})});
  }
}

}  // namespace

rt::Variant GetProdForn(CallContext& c) {
  const std::string product = c.Str(0);
  const std::string& registration = c.Str(1);
  const std::string branch = c.Str(2);
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

  // The professional's bookings the unit's would overlap (the professional cannot be at
  // two events at once).
  if (const std::optional<Booking> unit = UnitBooking(c, product)) {
    OverlappingBookings(c, supplier, *unit, booked);
  } else {
    BookingsOfTheBudget(c, supplier, booked);
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
