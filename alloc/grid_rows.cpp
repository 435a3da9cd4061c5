#include "alloc/grid_rows.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/clientlib/routines.h"

namespace alloc {

namespace {

// The labour item whose records are being walked. Its texts are held as the values
// every unit of the item is given, so that writing them copies no text into a new one.
struct TItem {
  rt::Variant turno, produto, nome;
  double quantidade = 0;
};

// The field's AsString (a null reads as "") into `to`, reusing the string it holds.
void ReadText(const rt::TField& from, rt::Variant& to) {
  from.ReadValue(to);
  if (to.type() != rt::Variant::Type::String) to = from.AsString();
}

// The allocation texts copied from an allocated record into its row, by name in both.
constexpr const char* kAllocationTexts[] = {"CDFORNECED",    "NRINSJURFORN",   "NMFANTFORN",
                                            "NMRAZSOCFORN",  "NMFORNMOBRA",    "HRINITUMOBRA",
                                            "IDCONTAGERADA", "IDTIPOPAGAFORN", "IDTPIJURFORN"};

// Fields looked up once per load, not once per row: a large budget has thousands of rows.
// A row is assembled in a reused list of values (its strings keep their capacity) and
// appended whole, without a field write per value: one list for free units, whose
// allocation values stay null, one for allocated units.
class TRowWriter {
 public:
  TRowWriter(rt::TClientDataSet& source, rt::TClientDataSet& grid, const TGridRowKey& key)
      : grid_(grid), free_(static_cast<std::size_t>(grid.FieldCount())), allocated_(free_.size()) {
    for (const char* name : kAllocationTexts) texts_.emplace_back(&source.FieldByName(name), Index(name));
    src_valor_ = &source.FieldByName("VRPAGOFORNORC");
    valor_ = Index("VRPAGOFORNORC");
    turno_ = Index("NRTURNO");
    produto_ = Index("CDPRODUTO");
    nome_ = Index("NMPRODUTO");
    numero_ = Index("NRFORNE");
    for (rt::Row* row : {&free_, &allocated_}) {
      (*row)[Index("CDFILIAL")] = key.cd_filial;
      (*row)[Index("NRORCAEVENTO")] = key.nr_orcamento;
      (*row)[Index("NRSEQORCAEVE")] = key.nr_seq;
      (*row)[Index("QTHREVENTO")] = key.qt_hr_evento;
    }
  }

  // A free unit of the item.
  void Free(const TItem& item, long long n) {
    Common(free_, item, n);
    grid_.AppendRecord(free_);
  }

  // A unit filled from the allocated record now current in the source.
  void Allocated(const TItem& item, long long n) {
    Common(allocated_, item, n);
    for (auto& [from, to] : texts_) ReadText(*from, allocated_[to]);
    allocated_[valor_] = src_valor_->AsFloat();  // an absent amount reads as 0
    grid_.AppendRecord(allocated_);
  }

 private:
  std::size_t Index(const char* name) const { return static_cast<std::size_t>(grid_.FieldByName(name).Index()); }

  void Common(rt::Row& row, const TItem& item, long long n) const {
    row[turno_] = item.turno;
    row[produto_] = item.produto;
    row[nome_] = item.nome;
    row[numero_] = static_cast<std::int64_t>(n);
  }

  rt::TClientDataSet& grid_;
  rt::Row free_, allocated_;  // the rows being appended; the key's values stay in them
  std::vector<std::pair<const rt::TField*, std::size_t>> texts_;
  const rt::TField* src_valor_;
  std::size_t valor_, turno_, produto_, nome_, numero_;
};

}  // namespace

void BuildAllocationRows(rt::TClientDataSet& allocations, rt::TClientDataSet& grid, const TGridRowKey& key) {
  rt::TField& turno = allocations.FieldByName("NRTURNO");
  rt::TField& produto = allocations.FieldByName("CDPRODUTO");
  rt::TField& nome = allocations.FieldByName("NMPRODUTO");
  rt::TField& quantidade = allocations.FieldByName("QTPRODMOBRA");
  rt::TField& fornecedor = allocations.FieldByName("CDFORNECED");
  TRowWriter writer(allocations, grid, key);

  auto take_item = [&](TItem& into) {
    ReadText(turno, into.turno);
    ReadText(produto, into.produto);
    ReadText(nome, into.nome);
    into.quantidade = quantidade.AsFloat();
  };
  // Closing an item adds its free units after the allocated ones.
  auto close_item = [&](const TItem& item, long long next) {
    for (long long units = UnitsOf(item.quantidade); next <= units; ++next) writer.Free(item, next);
  };

  allocations.First();
  if (allocations.Eof()) return;  // an empty packet adds no row
  TItem item, record;
  take_item(item);
  long long next = 1;
  rt::Variant cd_fornecedor;
  for (; !allocations.Eof(); allocations.Next()) {
    take_item(record);
    if (record.turno != item.turno || record.produto != item.produto) {
      close_item(item, next);
      next = 1;
    }
    ReadText(fornecedor, cd_fornecedor);
    if (!clib::EmptyString(cd_fornecedor.AsString())) writer.Allocated(record, next++);
    std::swap(item, record);
  }
  close_item(item, next);
}

}  // namespace alloc
