// The migration that makes the allocation report of "EVT047" tell the whole staffing
// story: the query adds the entry number of each allocation's payable, and the layout
// prints every free unit, "n de m" per labour item, the units as the grid counts them,
// the range asked, when and by whom, the budget's identification on every page, and a
// summary of what each professional is owed. Earlier databases keep their history: this
// migration updates the definition the report-definitions migration wrote.
#include <string>

#include "server/core/sql_literal.h"

namespace srv {
namespace {

// One row per allocation, or per labour item without any, of the budget's sequences in
// the range (the rules of the report-definitions migration, unchanged); the client adds
// the free units. NRLANCTONF is the entry number of the payable generated for the
// allocation's professional in its budget sequence (null while none is generated).
constexpr const char* kAllocationQuery = R"SQL(WITH raw AS (
  SELECT COALESCE(CAST(:P_CDFILIAL AS TEXT), '') AS branch,
         COALESCE(CAST(:P_NRORCAEVENTO AS TEXT), '') AS number,
         TRIM(COALESCE(CAST(:P_NRSEQDE AS TEXT), '')) AS seq_from,
         TRIM(COALESCE(CAST(:P_NRSEQATE AS TEXT), '')) AS seq_to,
         COALESCE(CAST(:P_IDRESULTANTE AS TEXT), 'N') AS resulting
), p AS (
  SELECT branch, number, resulting,
         CASE WHEN LENGTH(seq_from) = 1 THEN '0' || seq_from ELSE seq_from END AS seq_from,
         CASE WHEN LENGTH(seq_to) = 1 THEN '0' || seq_to ELSE seq_to END AS seq_to
  FROM raw
)
SELECT s.branch AS CDFILIAL, s.number AS NRORCAEVENTO, b.client_trade_name AS NMFANTCLIE,
       s.sequence AS NRSEQORCAEVE, s.event_type_name AS NMTIPOEVENTO, s.service_type_name AS NMTPSERVEVEN,
       s.event_at AS DTEVENTO, s.guests AS QTCONVORCEVE, s.adults AS QTADULORCEVE, s.children AS QTCRIAORCEVE,
       s.duration_hours AS QTHREVENTO,
       i.shift AS NRTURNO, t.description AS DSTURNO, i.product AS CDPRODUTO, lp.name AS NMPRODUTO,
       i.quantity AS QTPRODMOBRA,
       a.supplier_code AS CDFORNECED, pr.legal_name AS NMRAZSOCFORN, pr.registration AS NRINSJURFORN,
       pr.registration_type AS IDTPIJURFORN, a.payment_type AS IDTIPOPAGAFORN,
       CAST(a.paid_cents AS DOUBLE PRECISION) / 100 AS VRPAGOFORNORC, a.crew_time AS HRINITUMOBRA,
       a.account_generated AS IDCONTAGERADA,
       CASE WHEN a.account_generated = 'S' THEN
         (SELECT MIN(py.entry_number) FROM payable_budgets pb JOIN payables py ON py.id = pb.payable_id
          WHERE pb.branch = a.branch AND pb.number = a.number AND pb.sequence = a.sequence
            AND py.supplier_code = a.supplier_code)
       END AS NRLANCTONF
FROM p
JOIN budget_sequences s ON s.branch = p.branch AND s.number = p.number
 AND (p.resulting = 'S' OR ((p.seq_from = '' OR s.sequence >= p.seq_from) AND (p.seq_to = '' OR s.sequence <= p.seq_to)))
JOIN budgets b ON b.branch = s.branch AND b.number = s.number
JOIN labour_items i ON i.branch = s.branch AND i.number = s.number AND i.sequence = s.sequence
JOIN labour_products lp ON lp.code = i.product
JOIN shifts t ON t.code = i.shift
LEFT JOIN allocations a ON a.branch = i.branch AND a.number = i.number AND a.sequence = i.sequence
 AND a.shift = i.shift AND a.product = i.product
LEFT JOIN professionals pr ON pr.supplier_code = a.supplier_code
WHERE a.id IS NOT NULL OR i.quantity >= 1
ORDER BY s.sequence, lp.name, i.shift, i.product, a.id)SQL";

constexpr const char* kAllocationLayout = R"JSON({
  "header": [
    {"label": "Filial", "field": "CDFILIAL"},
    {"label": "Orçamento", "field": "NRORCAEVENTO"},
    {"label": "Cliente", "field": "NMFANTCLIE"}
  ],
  "parameters": [{"label": "Orçamento solicitado", "param": "P_NRORCAEVENTO"}],
  "range": {"label": "Sequências", "from": "P_NRSEQDE", "to": "P_NRSEQATE", "pad": 2,
            "all_param": "P_IDRESULTANTE", "all_equals": "S"},
  "notes": [
    {"param": "P_IDRESULTANTE", "equals": "S", "text": "Cópia resultante: todas as sequências do orçamento."}
  ],
  "empty": "Nenhuma mão de obra encontrada para o orçamento e as sequências informados.",
  "missing": {"param": "P_NRORCAEVENTO",
              "text": "Nenhum orçamento informado: carregue um orçamento na alocação de mão de obra e emita o relatório de novo."},
  "groups": [
    {"keys": ["NRSEQORCAEVE"], "total": "Total da sequência",
     "caption": [
       {"label": "Sequência", "field": "NRSEQORCAEVE"},
       {"label": "Evento", "field": "NMTIPOEVENTO"},
       {"label": "Serviço", "field": "NMTPSERVEVEN"},
       {"label": "Data e hora", "field": "DTEVENTO", "format": "datetime"},
       {"label": "Convidados", "field": "QTCONVORCEVE", "format": "0"},
       {"label": "Adultos", "field": "QTADULORCEVE", "format": "0"},
       {"label": "Crianças", "field": "QTCRIAORCEVE", "format": "0"}
     ]},
    {"keys": ["NRTURNO", "CDPRODUTO"], "total": "Total da mão de obra", "split": true,
     "units": "QTPRODMOBRA", "filled": "Preenchidas",
     "caption": [
       {"label": "Mão de obra", "field": "NMPRODUTO"},
       {"label": "Turno", "field": "DSTURNO"},
       {"label": "Quantidade", "field": "QTPRODMOBRA", "format": "units"}
     ]}
  ],
  "detail": {
    "present": "CDFORNECED", "absent": "(sem profissional)",
    "columns": [
      {"title": "Profissional", "field": "NMRAZSOCFORN", "width": 28},
      {"title": "Inscrição", "field": "NRINSJURFORN", "width": 18, "format": "registration", "type_field": "IDTPIJURFORN"},
      {"title": "Pagamento", "field": "IDTIPOPAGAFORN", "width": 13, "map": {"FOLHAPAGA": "EM FOLHA", "": "", "*": "GERAR CONTA"}},
      {"title": "Valor", "field": "VRPAGOFORNORC", "width": 12, "format": "#,##0.00", "align": "right"},
      {"title": "Hr. Turma", "field": "HRINITUMOBRA", "width": 10, "format": "crew_time"},
      {"title": "Horas", "field": "QTHREVENTO", "width": 7, "format": "hours"},
      {"title": "Conta", "field": "IDCONTAGERADA", "width": 13, "map": {"S": "GERADA", "*": ""}}
    ]
  },
  "totals": {"field": "VRPAGOFORNORC", "format": "#,##0.00", "split": "IDTIPOPAGAFORN", "blank": "SEM TIPO",
             "report": "Total do orçamento", "report_range": "Total das sequências", "report_split": true},
  "summary": {"title": "Resumo por profissional: a receber por tipo de pagamento",
              "keys": ["CDFORNECED", "IDTIPOPAGAFORN", "NRLANCTONF"], "total": "Total dos profissionais",
    "columns": [
      {"title": "Profissional", "field": "NMRAZSOCFORN"},
      {"title": "Inscrição", "field": "NRINSJURFORN"},
      {"title": "Pagamento", "field": "IDTIPOPAGAFORN"},
      {"title": "A receber", "field": "VRPAGOFORNORC"},
      {"title": "Sequências", "field": "NRSEQORCAEVE"},
      {"title": "", "field": ""},
      {"title": "Lançamento", "field": "NRLANCTONF"}
    ]}
})JSON";

std::string Build() {
  return "UPDATE report_definitions SET query_text = " + SqlLiteral(kAllocationQuery) +
         ", layout = " + SqlLiteral(kAllocationLayout) +
         " WHERE report_code = 'EVT047' AND name = 'Alocação de Mão de Obra';\n";
}

}  // namespace

const char* AllocationReportStaffingMigration() {
  static const std::string script = Build();
  return script.c_str();
}

}  // namespace srv
