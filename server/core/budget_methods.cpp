// Budget selection and the loading of the grid: GetPesqOrca, GetSequencial, GetAlocaForne.
#include <algorithm>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/runtime/packet.h"
#include "platform/runtime/packet_text_writer.h"
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
  const std::string base = "SELECT branch, number, MIN(sequence) AS sequence FROM budget_sequences WHERE branch = ?";
  const ResultSet rows = mode.empty() ? c.db.Query(base + " GROUP BY branch, number ORDER BY number", {branch})
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

// The labour items' positions by shift and product (columns 0 and 1 of their rows),
// looked up without building a key.
class ItemIndex {
 public:
  explicit ItemIndex(const ResultSet& items) {
    entries_.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) entries_.push_back({items.Text(i, 0), items.Text(i, 1), i});
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.key() < b.key(); });
  }
  // The item of row `row` of `rows`, whose columns 0 and 1 are a shift and a product.
  std::optional<std::size_t> Find(const ResultSet& rows, std::size_t row) {
    const Key key{rows.TextView(row, 0, scratch_[0]), rows.TextView(row, 1, scratch_[1])};
    // Rows of one item mostly come together (the database reads them by shift and product).
    if (last_ < entries_.size() && entries_[last_].key() == key) return entries_[last_].item;
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), key,
                                     [](const Entry& e, const Key& k) { return e.key() < k; });
    if (at == entries_.end() || at->key() != key) return std::nullopt;
    last_ = static_cast<std::size_t>(at - entries_.begin());
    return at->item;
  }

 private:
  using Key = std::pair<std::string_view, std::string_view>;
  struct Entry {
    std::string shift, product;
    std::size_t item;
    Key key() const { return {shift, product}; }
  };
  std::vector<Entry> entries_;
  std::size_t last_ = SIZE_MAX;  // the entry found last
  std::string scratch_[2];       // a number rendered as text
};

// An allocation's place in the grid: its item's position and the order it was made in.
struct Placed {
  std::size_t item;
  std::int64_t id;
  std::size_t row;  // in the allocations' result
};

// The allocations (shift, product first; id in column 12) by item, then id; an
// allocation without its item is left out.
std::vector<Placed> PlaceByItem(const ResultSet& items, const ResultSet& allocations) {
  ItemIndex index(items);
  std::vector<Placed> placed;
  placed.reserve(allocations.size());
  for (std::size_t r = 0; r < allocations.size(); ++r) {
    if (const std::optional<std::size_t> item = index.Find(allocations, r))
      placed.push_back({*item, allocations.Int(r, 12), r});
  }
  std::sort(placed.begin(), placed.end(),
            [](const Placed& x, const Placed& y) { return std::tie(x.item, x.id) < std::tie(y.item, y.id); });
  return placed;
}

rt::Variant DateTimeOf(const std::string& iso) {
  rt::DateTime dt;
  if (rt::DateTime::FromIso(iso, dt)) return dt;
  return nullptr;
}

// Values of a result set as the grid load hands them to its sink: a text, and a text
// that may be NULL.
struct Cell {
  const ResultSet& rows;
  std::size_t row;
  int col;
};
struct NullableCell : Cell {};

// The grid load's four packets, their field definitions and heads made once: every call
// writes the same ones ({"$packet": ...} inside the answer's array: depth 1).
struct GridLayouts {
  rt::PacketLayout header{packets::OrcaEvento(), 1};
  rt::PacketLayout allocations{packets::FornMaoAux(), 1};
  rt::PacketLayout items{packets::ItMaoObra(), 1};
  rt::PacketLayout payables{packets::NfRelacOrc(), 1};
};
const GridLayouts& Grid() {
  static const GridLayouts layouts;
  return layouts;
}

// Builds the answer as variants: four packets in an array.
class VariantSink {
 public:
  void Begin(const rt::PacketLayout& layout) { packets_.emplace_back(packets::Make(layout.Fields())); }
  template <class... Values>
  void Row(Values&&... values) {
    packets::AddRow(packets_.back(), packets::RowOf(ToVariant(std::forward<Values>(values))...));
  }
  void End() {}
  // The packets, moved into the answer (a large budget's rows are not copied).
  rt::Variant Answer() {
    rt::VariantArray answer;
    answer.reserve(packets_.size());
    for (rt::DataPacket& packet : packets_) answer.emplace_back(std::move(packet));
    return answer;
  }

 private:
  static rt::Variant ToVariant(const Cell& c) { return c.rows.Text(c.row, c.col); }
  static rt::Variant ToVariant(const NullableCell& c) {
    return c.rows.IsNull(c.row, c.col) ? rt::Variant() : rt::Variant(c.rows.Text(c.row, c.col));
  }
  template <class Value>
  requires(!std::derived_from<std::remove_cvref_t<Value>, Cell>) static rt::Variant ToVariant(Value&& value) {
    return rt::Variant(std::forward<Value>(value));
  }

  std::vector<rt::DataPacket> packets_;
};

// Writes the answer's JSON text as it goes, the same bytes as encoding VariantSink's
// answer: no variant, row or packet is built.
class TextSink {
 public:
  explicit TextSink(std::string& out) : out_(out) {}
  void Begin(const rt::PacketLayout& layout) {
    out_ += packets_++ == 0 ? '[' : ',';
    fields_ = &layout.Fields();
    writer_.emplace(out_, layout);
  }
  template <class... Values>
  void Row(Values&&... values) {
    writer_->BeginRow();
    column_ = 0;
    (Put(values), ...);
    writer_->EndRow();
  }
  void End() { writer_->Finish(); }
  void Close() { out_ += ']'; }

 private:
  void Put(const Cell& c) { PutText(c.rows.TextView(c.row, c.col, scratch_)); }
  void Put(const NullableCell& c) {
    if (c.rows.IsNull(c.row, c.col)) return PutNull();
    PutText(c.rows.TextView(c.row, c.col, scratch_));
  }
  void Put(const std::string& text) { PutText(text); }
  void Put(const char* text) { PutText(text); }
  void Put(double value) {
    ++column_;
    writer_->Float(value);
  }
  void Put(std::nullptr_t) { PutNull(); }
  void Put(const rt::Variant& value) {
    ++column_;
    writer_->Value(value);
  }
  void PutNull() {
    ++column_;
    writer_->Null();
  }
  // A text cut to its field's size, as packets::AddRow cuts it.
  void PutText(std::string_view text) {
    const std::size_t i = column_++;
    if (i < fields_->size() && (*fields_)[i].type == rt::FieldType::String)
      text = packets::CutToCharsView(text, (*fields_)[i].size);
    writer_->String(text);
  }

  std::string& out_;
  int packets_ = 0;
  const std::vector<rt::FieldDef>* fields_ = nullptr;
  std::optional<rt::PacketTextWriter> writer_;
  std::size_t column_ = 0;
  std::string scratch_;  // a number rendered as text
};

// The grid load, handed to `sink` packet by packet: the budget's header, its allocations
// (one record per allocation or free item), its labour items and its payables.
template <class Sink>
void LoadGrid(CallContext& c, Sink& sink) {
  const std::string& branch = c.Str(0);
  const std::string& number = c.Str(1);
  const std::string& sequence = c.Str(2);
  c.RequireBranch(branch);
  const std::vector<SqlValue> key = {branch, number, sequence};
  Transaction snapshot(c.db, false);  // header, allocations, items and payables of one moment

  const ResultSet h = c.db.Query(
      "SELECT s.branch, s.number, s.sequence, s.event_at, b.client_trade_name, s.event_type_name, "
      "s.service_type_name, s.guests, s.adults, s.children, s.duration_hours "
      "FROM budget_sequences s JOIN budgets b ON b.branch = s.branch AND b.number = s.number "
      "WHERE s.branch = ? AND s.number = ? AND s.sequence = ?",
      key);
  const GridLayouts& layouts = Grid();
  sink.Begin(layouts.header);
  if (h.empty()) {  // unknown budget: all empty
    sink.End();
    for (const rt::PacketLayout* layout : {&layouts.allocations, &layouts.items, &layouts.payables}) {
      sink.Begin(*layout);
      sink.End();
    }
    return;
  }
  const double duration = h.Float(0, 10);
  sink.Row(Cell{h, 0, 0}, Cell{h, 0, 1}, Cell{h, 0, 2}, DateTimeOf(h.Text(0, 3)), Cell{h, 0, 4}, Cell{h, 0, 5},
           Cell{h, 0, 6}, h.Float(0, 7), h.Float(0, 8), h.Float(0, 9), duration);
  sink.End();

  // Items by product name, then shift: the records of one item stay adjacent.
  const ResultSet it = c.db.Query(
      "SELECT i.shift, i.product, p.name, i.quantity, i.charged_cents FROM labour_items i "
      "JOIN labour_products p ON p.code = i.product "
      "WHERE i.branch = ? AND i.number = ? AND i.sequence = ? ORDER BY p.name, i.shift, i.product",
      key);
  // Each item's allocations in the order they were made: read in the index's order and
  // sorted here by item and id, where small keys sort faster than the database sorts
  // whole rows.
  const ResultSet a = c.db.Query(
      "SELECT a.shift, a.product, a.supplier_code, p.registration, p.registration_type, p.trade_name, p.legal_name, "
      "a.stored_name, a.crew_time, a.payment_type, a.paid_cents, a.account_generated, a.id "
      "FROM allocations a JOIN professionals p ON p.supplier_code = a.supplier_code "
      "WHERE a.branch = ? AND a.number = ? AND a.sequence = ?",
      key);
  const std::vector<Placed> placed = PlaceByItem(it, a);

  sink.Begin(layouts.allocations);
  auto next = placed.begin();
  for (std::size_t i = 0; i < it.size(); ++i) {
    const Cell shift{it, i, 0}, product{it, i, 1}, name{it, i, 2};
    const double quantity = it.Float(i, 3);
    const double charged = FloatFromCents(it.Int(i, 4));
    if (next == placed.end() || next->item != i) {
      // The item's one free record: blank professional, no allocation values.
      sink.Row(nullptr, charged, nullptr, product, name, nullptr, nullptr, nullptr, quantity, nullptr, nullptr, "",
               branch, number, sequence, shift, nullptr, nullptr, duration, nullptr);
      continue;
    }
    int ordinal = 0;
    for (; next != placed.end() && next->item == i; ++next) {
      const std::size_t r = next->row;
      sink.Row(FloatFromCents(a.Int(r, 10)), charged, static_cast<double>(++ordinal), product, name, Cell{a, r, 3},
               Cell{a, r, 6}, Cell{a, r, 5}, quantity, Cell{a, r, 4}, Cell{a, r, 11}, Cell{a, r, 2}, branch, number,
               sequence, shift, NullableCell{a, r, 7}, Cell{a, r, 8}, duration, Cell{a, r, 9});
    }
  }
  sink.End();
  sink.Begin(layouts.items);
  for (std::size_t i = 0; i < it.size(); ++i) sink.Row(Cell{it, i, 1}, it.Float(i, 3), Cell{it, i, 2}, Cell{it, i, 0});
  sink.End();

  const ResultSet p = c.db.Query(
      "SELECT p.supplier_code, p.branch, p.entry_number FROM payables p "
      "JOIN payable_budgets pb ON pb.payable_id = p.id "
      "WHERE pb.branch = ? AND pb.number = ? AND pb.sequence = ? ORDER BY p.entry_number",
      key);
  sink.Begin(layouts.payables);
  for (std::size_t i = 0; i < p.size(); ++i) sink.Row(Cell{p, i, 0}, Cell{p, i, 1}, Cell{p, i, 2});
  sink.End();
  snapshot.Commit();
}

}  // namespace

rt::Variant GetAlocaForne(CallContext& c) {
  VariantSink sink;
  LoadGrid(c, sink);
  return sink.Answer();
}

void WriteAlocaForne(CallContext& c, std::string& out) {
  TextSink sink(out);
  LoadGrid(c, sink);
  sink.Close();
}

}  // namespace srv
