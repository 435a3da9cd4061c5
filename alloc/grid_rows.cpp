#include "alloc/grid_rows.h"

#include <cmath>
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

// The allocation texts copied from an allocated record into its row, by name in both.
constexpr const char* kAllocationTexts[] = {"CDFORNECED",    "NRINSJURFORN",   "NMFANTFORN",
                                            "NMRAZSOCFORN",  "NMFORNMOBRA",    "HRINITUMOBRA",
                                            "IDCONTAGERADA", "IDTIPOPAGAFORN", "IDTPIJURFORN"};

// Fields looked up once per load, not once per row: a large budget has thousands of rows.
class TRowWriter {
 public:
  TRowWriter(rt::TClientDataSet& source, rt::TClientDataSet& grid, const TGridRowKey& key)
      : grid_(grid), key_(key), cd_filial_(key.cd_filial), nr_orcamento_(key.nr_orcamento), nr_seq_(key.nr_seq) {
    for (const char* name : kAllocationTexts) texts_.push_back({&source.FieldByName(name), &grid.FieldByName(name)});
    src_valor_ = &source.FieldByName("VRPAGOFORNORC");
    valor_ = &grid.FieldByName("VRPAGOFORNORC");
    filial_ = &grid.FieldByName("CDFILIAL");
    orcamento_ = &grid.FieldByName("NRORCAEVENTO");
    seq_ = &grid.FieldByName("NRSEQORCAEVE");
    turno_ = &grid.FieldByName("NRTURNO");
    produto_ = &grid.FieldByName("CDPRODUTO");
    nome_ = &grid.FieldByName("NMPRODUTO");
    numero_ = &grid.FieldByName("NRFORNE");
    horas_ = &grid.FieldByName("QTHREVENTO");
  }

  // A free unit of the item.
  void Free(const TItem& item, long long n) {
    grid_.Append();
    Common(item, n);
    grid_.Post();
  }

  // A unit filled from the allocated record now current in the source.
  void Allocated(const TItem& item, long long n) {
    grid_.Append();
    Common(item, n);
    for (auto& [from, to] : texts_) CopyText(*from, *to);
    valor_->SetAsFloat(src_valor_->AsFloat());  // an absent amount reads as 0
    grid_.Post();
  }

 private:
  // As to.SetAsString(from.AsString()) (a null is copied as ""), without the text's
  // two extra copies when the value is a string already.
  static void CopyText(const rt::TField& from, rt::TField& to) {
    const rt::Variant value = from.Value();
    if (value.type() == rt::Variant::Type::String) {
      to.SetValue(value);
    } else {
      to.SetAsString(from.AsString());
    }
  }

  void Common(const TItem& item, long long n) {
    filial_->SetValue(cd_filial_);
    orcamento_->SetValue(nr_orcamento_);
    seq_->SetValue(nr_seq_);
    turno_->SetValue(item.turno);
    produto_->SetValue(item.produto);
    nome_->SetValue(item.nome);
    numero_->SetAsInteger(n);
    if (!key_.qt_hr_evento.IsNull()) horas_->SetValue(key_.qt_hr_evento);
  }

  rt::TClientDataSet& grid_;
  const TGridRowKey& key_;
  const rt::Variant cd_filial_, nr_orcamento_, nr_seq_;  // the key's texts, as every row is given them
  std::vector<std::pair<rt::TField*, rt::TField*>> texts_;
  rt::TField *src_valor_, *valor_, *filial_, *orcamento_, *seq_, *turno_, *produto_, *nome_, *numero_, *horas_;
};

}  // namespace

long long UnitsOf(double quantity) {
  if (!std::isfinite(quantity) || quantity < 1) return 0;
  return static_cast<long long>(std::trunc(quantity));
}

void BuildAllocationRows(rt::TClientDataSet& allocations, rt::TClientDataSet& grid, const TGridRowKey& key) {
  rt::TField& turno = allocations.FieldByName("NRTURNO");
  rt::TField& produto = allocations.FieldByName("CDPRODUTO");
  rt::TField& nome = allocations.FieldByName("NMPRODUTO");
  rt::TField& quantidade = allocations.FieldByName("QTPRODMOBRA");
  rt::TField& fornecedor = allocations.FieldByName("CDFORNECED");
  TRowWriter writer(allocations, grid, key);

  auto take_item = [&] {
    return TItem{rt::Variant(turno.AsString()), rt::Variant(produto.AsString()), rt::Variant(nome.AsString()),
                 quantidade.AsFloat()};
  };
  // Closing an item adds its free units after the allocated ones.
  auto close_item = [&](const TItem& item, long long next) {
    for (long long units = UnitsOf(item.quantidade); next <= units; ++next) writer.Free(item, next);
  };

  allocations.First();
  if (allocations.Eof()) return;  // an empty packet adds no row
  TItem item = take_item();
  long long next = 1;
  for (; !allocations.Eof(); allocations.Next()) {
    TItem record = take_item();
    if (record.turno != item.turno || record.produto != item.produto) {
      close_item(item, next);
      next = 1;
    }
    if (!clib::EmptyString(fornecedor.AsString())) writer.Allocated(record, next++);
    item = std::move(record);
  }
  close_item(item, next);
}

}  // namespace alloc
