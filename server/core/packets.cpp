#include "server/core/packets.h"

#include <stdexcept>

namespace srv::packets {
namespace {

// A field definition with chained settings: Str("CDFILIAL", 4).Label("Filial").Width(10).
struct F {
  rt::FieldDef def;
  static F Str(const char* name, int size) {
    F f;
    f.def.name = name;
    f.def.type = rt::FieldType::String;
    f.def.size = size;
    return f;
  }
  static F Float(const char* name) {
    F f;
    f.def.name = name;
    f.def.type = rt::FieldType::Float;  // size stays the default: it means nothing here
    return f;
  }
  static F Date(const char* name) {
    F f;
    f.def.name = name;
    f.def.type = rt::FieldType::DateTime;
    return f;
  }
  F& Label(const char* text) { return def.display_label = text, *this; }
  F& Width(int w) { return def.display_width = w, *this; }
  F& Hidden() { return def.visible = false, *this; }
  F& NotApplied() { return def.provider_flags = rt::ProviderFlags::NotApplied(), *this; }
  F& Fixed() { return def.fixed_length = true, *this; }
  F& Mask(const char* m) { return def.edit_mask = m, *this; }
  operator rt::FieldDef() const { return def; }
};

}  // namespace

std::vector<rt::FieldDef> PesqOrca() {
  return {F::Str("CDFILIAL", 4).Label("Filial").Width(10), F::Str("NRORCAEVENTO", 10).Label("Nr. Orçamento").Width(12),
          F::Str("NRSEQORCAEVE", 2).Hidden()};
}

std::vector<rt::FieldDef> VdOrcaEven() {
  return {F::Str("CDFILIAL", 4), F::Str("NRORCAEVENTO", 10), F::Str("NRSEQORCAEVE", 2)};
}

std::vector<rt::FieldDef> Sequencial() { return {F::Str("NRORCAEVENTO", 10), F::Str("NRSEQORCAEVE", 2)}; }

std::vector<rt::FieldDef> OrcaEvento() {
  return {F::Str("CDFILIAL", 4),    F::Str("NRORCAEVENTO", 10), F::Str("NRSEQORCAEVE", 2),  F::Date("DTEVENTO"),
          F::Str("NMFANTCLIE", 50), F::Str("NMTIPOEVENTO", 30), F::Str("NMTPSERVEVEN", 30), F::Float("QTCONVORCEVE"),
          F::Float("QTADULORCEVE"), F::Float("QTCRIAORCEVE"),   F::Float("QTHREVENTO")};
}

std::vector<rt::FieldDef> FornMaoAux() {
  // QTHORAS is calculated on the client and never travels.
  return {F::Float("VRPAGOFORNORC"),
          F::Float("VRCOBRMOBRA").Hidden(),
          F::Float("NRFORNE").Label("Nr."),
          F::Str("CDPRODUTO", 10),
          F::Str("NMPRODUTO", 50).Label("Descrição da Mão de Obra").NotApplied(),
          F::Str("NRINSJURFORN", 20).Label("Fornecedor").NotApplied(),
          F::Str("NMRAZSOCFORN", 40).Label("Razão Social"),
          F::Str("NMFANTFORN", 40).Label("Nome do Fornecedor").Hidden().NotApplied(),
          F::Float("QTPRODMOBRA").Hidden().NotApplied(),
          F::Str("IDTPIJURFORN", 1).Hidden().NotApplied(),
          F::Str("IDCONTAGERADA", 1),
          F::Str("CDFORNECED", 21).Hidden().NotApplied(),
          F::Str("CDFILIAL", 4).Hidden().NotApplied(),
          F::Str("NRORCAEVENTO", 10).Hidden().NotApplied(),
          F::Str("NRSEQORCAEVE", 2).Hidden().NotApplied(),
          F::Str("NRTURNO", 2).Hidden().NotApplied(),
          F::Str("NMFORNMOBRA", 50).Hidden().NotApplied(),
          F::Str("HRINITUMOBRA", 4).Label("Hr. Turma"),
          F::Float("QTHREVENTO").Hidden(),
          F::Str("IDTIPOPAGAFORN", 10)};
}

std::vector<rt::FieldDef> ItMaoObra() {
  return {F::Str("CDPRODUTO", 10), F::Float("QTPRODMOBRA"), F::Str("NMPRODUTO", 50), F::Str("NRTURNO", 2)};
}

std::vector<rt::FieldDef> NfRelacOrc() {
  return {F::Str("CDFORNECED", 21), F::Str("CDFILIALNF", 4), F::Str("NRLANCTONF", 10)};
}

std::vector<rt::FieldDef> ProdForn() {
  return {F::Str("CDFORNECED", 21).Hidden(),
          F::Str("NRINSJURFORN", 20).Label("Código"),
          F::Str("IDTPIJURFORN", 1).Hidden(),
          F::Str("NMRAZSOCFORN", 40).Label("Razão Social").Hidden(),
          F::Str("NMFANTFORN", 50).Label("Nome do Profissional"),
          F::Str("IDTIPOPAGAPROF", 10).Hidden(),
          // "" when free at the unit's time, else where booked ("15/01 GARÇOM 19:00"; "*":
          // a budget the operator may not see).
          F::Str("DSALOCACAO", 80).Label("Disponibilidade")};
}

std::vector<rt::FieldDef> VdForn() {
  return {F::Str("CDFORNECED", 21), F::Str("NRINSJURFORN", 20), F::Str("IDTPIJURFORN", 1), F::Str("NMFANTFORN", 50),
          F::Str("NMRAZSOCFORN", 40)};
}

std::vector<rt::FieldDef> VdProf() {
  return {F::Str("NRORCAEVENTO", 10), F::Str("CDPRODUTO", 10), F::Str("CDFORNECED", 21), F::Str("HRINITUMOBRA", 4),
          F::Str("NRSEQORCAEVE", 2).Fixed(), F::Str("NMPRODUTO", 50),
          F::Str("DSINICIO", 11)};  // the booking's start, "19/12 19:00"
}

std::vector<rt::FieldDef> VrPagMObra() {
  return {F::Str("CDFILIAL", 4),
          F::Str("NRORCAEVENTO", 10),
          F::Str("NRSEQORCAEVE", 2).Fixed(),
          F::Str("NRTURNO", 2),
          F::Str("CDPRODUTO", 10),
          F::Str("NMPRODUTO", 50),
          F::Str("DSTURNO", 20),
          F::Str("CDARVPROD", 20),
          F::Float("VRCOBRMOBRA"),
          F::Float("VRPAGOMOBRA"),
          F::Str("HRINITUMOBRA", 4).Mask("99:99;0")};
}

std::vector<rt::FieldDef> Turma() { return {F::Str("HRINITUMOBRA", 4).Label("Hr. Turma")}; }

std::vector<rt::FieldDef> Historico() {
  return {F::Date("DTHISTORICO").Label("Data/Hora"),
          F::Str("CDOPERADOR", 20).Label("Operador"),
          F::Str("DSOPERACAO", 20).Label("Operação"),
          F::Str("CDFILIAL", 4),
          F::Str("NRORCAEVENTO", 10),
          F::Str("NRSEQORCAEVE", 2),
          F::Str("NRTURNO", 2),
          F::Str("CDPRODUTO", 10),
          F::Float("NRALOCACAO").Label("Unidade"),
          F::Str("CDFORNANTERIOR", 21).Label("Profissional anterior"),
          F::Str("CDFORNECED", 21).Label("Profissional"),
          F::Float("VRPAGOANTERIOR").Label("Valor anterior"),
          F::Float("VRPAGOFORNORC").Label("Valor"),
          F::Str("HRINITUANTERIOR", 4),
          F::Str("HRINITUMOBRA", 4),
          F::Str("IDTIPOPAGAANTERIOR", 10),
          F::Str("IDTIPOPAGAFORN", 10),
          F::Str("NRLANCTONF", 200).Label("Lançamentos")};
}

rt::DataPacket Make(std::vector<rt::FieldDef> fields) {
  rt::DataPacket packet;
  packet.fields = std::move(fields);
  return packet;
}

std::string CutToChars(const std::string& text, int size) { return std::string(CutToCharsView(text, size)); }

std::string_view CutToCharsView(std::string_view text, int size) {
  if (text.size() <= static_cast<std::size_t>(size)) return text;  // bytes bound the characters
  int chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A code point starts at every byte that is not a continuation byte (10xxxxxx).
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == size) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

void AddRow(rt::DataPacket& packet, rt::Row row) {
  if (row.size() != packet.fields.size()) throw std::logic_error("row width differs from the packet's fields");
  for (std::size_t i = 0; i < row.size(); ++i) {
    const rt::FieldDef& f = packet.fields[i];
    if (f.type == rt::FieldType::String && row[i].type() == rt::Variant::Type::String) {
      if (static_cast<int>(row[i].AsString().size()) > f.size) row[i] = CutToChars(row[i].AsString(), f.size);
    }
  }
  packet.rows.push_back(std::move(row));
}

}  // namespace srv::packets
