// The migration that brings report definitions into the database and seeds the
// allocation report of the report code "EVT047". A definition is a name, a title, a
// query with :NAME parameters, the parameters it declares (in order), the parameter
// whose value is a branch code (the server refuses a branch the operator was not
// granted) and a layout of bands (docs/reports.md describes both).
#include <string>

#include "server/core/sql_literal.h"

namespace srv {
namespace {

// The allocation report: one row per allocation, or per labour item without any, of
// the budget's sequences in the range; "S" in P_IDRESULTANTE takes every sequence of
// the budget (its resulting copy) and ignores the range. A blank bound leaves that
// side of the range open; a one-character bound is read as the padded sequence ("1"
// is "01"). Every value is cast to text once, at the top, so that PostgreSQL never
// has to guess a parameter's type.
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
       a.account_generated AS IDCONTAGERADA
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
  "notes": [
    {"param": "P_IDRESULTANTE", "equals": "S", "text": "Cópia resultante: todas as sequências do orçamento."}
  ],
  "empty": "Nenhuma mão de obra encontrada para o orçamento e as sequências informados.",
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
     "caption": [
       {"label": "Mão de obra", "field": "NMPRODUTO"},
       {"label": "Turno", "field": "DSTURNO"},
       {"label": "Quantidade", "field": "QTPRODMOBRA", "format": "0.##"}
     ]}
  ],
  "detail": {
    "present": "CDFORNECED", "absent": "(sem profissional)",
    "columns": [
      {"title": "Profissional", "field": "NMRAZSOCFORN", "width": 32},
      {"title": "Inscrição", "field": "NRINSJURFORN", "width": 18, "format": "registration", "type_field": "IDTPIJURFORN"},
      {"title": "Pagamento", "field": "IDTIPOPAGAFORN", "width": 13,
       "map": {"FOLHAPAGA": "EM FOLHA", "": "", "*": "GERAR CONTA"}},
      {"title": "Valor", "field": "VRPAGOFORNORC", "width": 12, "format": "#,##0.00", "align": "right"},
      {"title": "Hr. Turma", "field": "HRINITUMOBRA", "width": 10, "format": "crew_time"},
      {"title": "Horas", "field": "QTHREVENTO", "width": 7, "format": "hours"},
      {"title": "Conta", "field": "IDCONTAGERADA", "width": 8, "map": {"S": "GERADA", "*": ""}}
    ]
  },
  "totals": {"field": "VRPAGOFORNORC", "format": "#,##0.00", "split": "IDTIPOPAGAFORN", "blank": "SEM TIPO",
             "report": "Total do orçamento", "report_split": true}
})JSON";

std::string Build() {
  std::string sql = R"SQL(
CREATE TABLE report_definitions (
  report_code TEXT NOT NULL,
  name TEXT NOT NULL,
  position INTEGER NOT NULL,
  title TEXT NOT NULL,
  query_text TEXT NOT NULL,
  branch_param TEXT,
  layout TEXT NOT NULL,
  PRIMARY KEY (report_code, name)
);
CREATE TABLE report_parameters (
  report_code TEXT NOT NULL,
  report_name TEXT NOT NULL,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  PRIMARY KEY (report_code, report_name, name),
  UNIQUE (report_code, report_name, position),
  FOREIGN KEY (report_code, report_name) REFERENCES report_definitions(report_code, name) ON DELETE CASCADE
);
)SQL";
  sql +=
      "INSERT INTO report_definitions (report_code, name, position, title, query_text, branch_param, layout) "
      "VALUES ('EVT047', 'Alocação de Mão de Obra', 1, 'Relatório de Alocação de Mão de Obra', " +
      SqlLiteral(kAllocationQuery) + ", 'P_CDFILIAL', " + SqlLiteral(kAllocationLayout) + ");\n";
  int position = 0;
  for (const char* name : {"P_CDFILIAL", "P_NRORCAEVENTO", "P_NRSEQDE", "P_NRSEQATE", "P_IDRESULTANTE"}) {
    sql +=
        "INSERT INTO report_parameters (report_code, report_name, position, name) VALUES "
        "('EVT047', 'Alocação de Mão de Obra', " +
        std::to_string(++position) + ", '" + name + "');\n";
  }
  return sql;
}

}  // namespace

const char* ReportDefinitionsMigration() {
  static const std::string script = Build();
  return script.c_str();
}

}  // namespace srv
