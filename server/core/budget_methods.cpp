// Budget selection and the loading of the grid: GetPesqOrca, GetSequencial, GetAlocaForne.
#include <map>
#include <utility>

#include "platform/runtime/packet.h"
#include "server/core/methods.h"
#include "server/core/money.h"
#include "server/core/packets.h"

namespace srv {

rt::Variant GetPesqOrca(CallContext& c) {
  const std::string& branch = c.Str(0);
  const std::string& number = c.Str(1);
  const std::string& mode = c.Str(2);
  if (mode != "" && mode != "1") {
    throw InvalidParams("GetPesqOrca: mode must be \"\" (search list) or \"1\" (one budget), got \"" + mode + "\"");
  }
  c.RequireBranch(branch);
  // One row per budget (its first sequence): the list shows branch and number only.
  const std::string base =
      "SELECT branch, number, MIN(sequence) AS sequence FROM budget_sequences WHERE branch = ?";
  const ResultSet rows =
      mode.empty() ? c.db.Query(base + " GROUP BY branch, number ORDER BY number", {branch})
                   : c.db.Query(base + " AND number = ? GROUP BY branch, number", {branch, number});
  rt::DataPacket packet = packets::Make(mode.empty() ? packets::PesqOrca() : packets::VdOrcaEven());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    packets::AddRow(packet, {rows.Text(i, 0), rows.Text(i, 1), rows.Text(i, 2)});
  }
  return packet;
}

rt::Variant GetSequencial(CallContext& c) {
  // No branch comes with this call: a sequence counts when it exists in any branch the
  // operator was granted.
  std::vector<SqlValue> params = {c.Str(0), c.Str(1)};
  for (auto& b : c.BranchParams()) params.push_back(b);
  const ResultSet rows = c.db.Query(
      "SELECT DISTINCT number, sequence FROM budget_sequences WHERE number = ? AND sequence = ? AND branch IN (" +
          c.BranchPlaceholders() + ")",
      params);
  rt::DataPacket packet = packets::Make(packets::Sequencial());
  for (std::size_t i = 0; i < rows.size(); ++i) packets::AddRow(packet, {rows.Text(i, 0), rows.Text(i, 1)});
  return packet;
}

namespace {

using ItemKey = std::pair<std::string, std::string>;  // shift, product

rt::Variant DateTimeOf(const std::string& iso) {
  rt::DateTime dt;
  if (rt::DateTime::FromIso(iso, dt)) return dt;
  return nullptr;
}

rt::Variant TextOrNull(ResultSet& r, std::size_t row, int col) {
  return r.IsNull(row, col) ? rt::Variant() : rt::Variant(r.TakeText(row, col));
}

// The four packets of a grid load, moved into the answer (a large budget's rows are not copied).
rt::Variant Answer(rt::DataPacket& header, rt::DataPacket& allocations, rt::DataPacket& items,
                   rt::DataPacket& payables) {
  rt::VariantArray answer;
  answer.reserve(4);
  for (rt::DataPacket* packet : {&header, &allocations, &items, &payables}) answer.emplace_back(std::move(*packet));
  return answer;
}

}  // namespace

rt::Variant GetAlocaForne(CallContext& c) {
  const std::string& branch = c.Str(0);
  const std::string& number = c.Str(1);
  const std::string& sequence = c.Str(2);
  c.RequireBranch(branch);
  const std::vector<SqlValue> key = {branch, number, sequence};
  Transaction snapshot(c.db, false);  // header, allocations, items and payables of one moment

  rt::DataPacket header = packets::Make(packets::OrcaEvento());
  rt::DataPacket allocations = packets::Make(packets::FornMaoAux());
  rt::DataPacket items = packets::Make(packets::ItMaoObra());
  rt::DataPacket payables = packets::Make(packets::NfRelacOrc());

  const ResultSet h = c.db.Query(
      "SELECT s.branch, s.number, s.sequence, s.event_at, b.client_trade_name, s.event_type_name, "
      "s.service_type_name, s.guests, s.adults, s.children, s.duration_hours "
      "FROM budget_sequences s JOIN budgets b ON b.branch = s.branch AND b.number = s.number "
      "WHERE s.branch = ? AND s.number = ? AND s.sequence = ?",
      key);
  if (h.empty()) return Answer(header, allocations, items, payables);  // unknown budget: all empty
  const double duration = h.Float(0, 10);
  packets::AddRow(header, {h.Text(0, 0), h.Text(0, 1), h.Text(0, 2), DateTimeOf(h.Text(0, 3)), h.Text(0, 4),
                           h.Text(0, 5), h.Text(0, 6), h.Float(0, 7), h.Float(0, 8), h.Float(0, 9), duration});

  ResultSet a = c.db.Query(
      "SELECT a.shift, a.product, a.supplier_code, p.registration, p.registration_type, p.trade_name, p.legal_name, "
      "a.stored_name, a.crew_time, a.payment_type, a.paid_cents, a.account_generated "
      "FROM allocations a JOIN professionals p ON p.supplier_code = a.supplier_code "
      "WHERE a.branch = ? AND a.number = ? AND a.sequence = ? ORDER BY a.id",
      key);
  std::map<ItemKey, std::vector<std::size_t>> by_item;
  for (std::size_t i = 0; i < a.size(); ++i) by_item[{a.Text(i, 0), a.Text(i, 1)}].push_back(i);

  // Items by product name, then shift: the records of one item stay adjacent.
  ResultSet it = c.db.Query(
      "SELECT i.shift, i.product, p.name, i.quantity, i.charged_cents FROM labour_items i "
      "JOIN labour_products p ON p.code = i.product "
      "WHERE i.branch = ? AND i.number = ? AND i.sequence = ? ORDER BY p.name, i.shift, i.product",
      key);
  for (std::size_t i = 0; i < it.size(); ++i) {
    const std::string shift = it.TakeText(i, 0), product = it.TakeText(i, 1), name = it.TakeText(i, 2);
    const double quantity = it.Float(i, 3);
    const double charged = FloatFromCents(it.Int(i, 4));
    packets::AddRow(items, packets::RowOf(product, quantity, name, shift));

    const auto found = by_item.find({shift, product});
    if (found == by_item.end()) {
      // The item's one free record: blank professional, no allocation values.
      packets::AddRow(allocations,
                      packets::RowOf(nullptr, charged, nullptr, product, name, nullptr, nullptr, nullptr, quantity,
                                     nullptr, nullptr, "", branch, number, sequence, shift, nullptr, nullptr,
                                     duration, nullptr));
      continue;
    }
    int ordinal = 0;
    for (std::size_t r : found->second) {
      packets::AddRow(allocations,
                      packets::RowOf(FloatFromCents(a.Int(r, 10)), charged, static_cast<double>(++ordinal), product,
                                     name, a.TakeText(r, 3), a.TakeText(r, 6), a.TakeText(r, 5), quantity,
                                     a.TakeText(r, 4), a.TakeText(r, 11), a.TakeText(r, 2), branch, number,
                                     sequence, shift, TextOrNull(a, r, 7), a.TakeText(r, 8), duration,
                                     a.TakeText(r, 9)));
    }
  }

  const ResultSet p = c.db.Query(
      "SELECT p.supplier_code, p.branch, p.entry_number FROM payables p "
      "JOIN payable_budgets pb ON pb.payable_id = p.id "
      "WHERE pb.branch = ? AND pb.number = ? AND pb.sequence = ? ORDER BY p.entry_number",
      key);
  for (std::size_t i = 0; i < p.size(); ++i) packets::AddRow(payables, {p.Text(i, 0), p.Text(i, 1), p.Text(i, 2)});

  snapshot.Commit();
  return Answer(header, allocations, items, payables);
}

}  // namespace srv
