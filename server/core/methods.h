// The methods of "EVT04700.rdmAloc" over the database, and what they share.
#pragma once

#include <string>
#include <vector>

#include "platform/runtime/variant.h"
#include "server/core/budget_turns.h"
#include "server/core/database.h"
#include "server/service.h"

namespace srv {

// What one call works with. Parameters have been checked for arity and type by the
// dispatcher: every one is a string except SetForneMao's delta packet.
struct CallContext {
  Database& db;
  const Session& session;
  std::vector<rt::Variant>& params;
  BudgetTurns& turns;  // saves of one budget sequence in the order they came

  const std::string& Str(std::size_t i) const { return params[i].AsString(); }
  // Refuses a branch the session's operator was not granted.
  void RequireBranch(const std::string& branch) const;
  // Whether the session's operator was granted the branch.
  bool SeesBranch(const std::string& branch) const;
  // The session's branches as SQL parameters, and "?, ?, ..." to match.
  std::vector<SqlValue> BranchParams() const;
  std::string BranchPlaceholders() const;
};

std::string Trim(const std::string& text);
inline bool IsBlank(const std::string& text) { return Trim(text).empty(); }

// Whether the budget sequence exists; inside a write transaction it also locks the
// sequence's row until the end of the transaction, so that saves, generation and
// cancellation of one budget sequence queue one behind the other on every backend.
bool LockSequence(Database& db, const std::string& branch, const std::string& number, const std::string& sequence);

rt::Variant GetPesqOrca(CallContext& c);
rt::Variant GetSequencial(CallContext& c);
rt::Variant GetAlocaForne(CallContext& c);
// Appends the JSON text of GetAlocaForne's answer to `out`, written from the result sets
// as they are read (the bytes EncodeVariantTo writes for GetAlocaForne's value).
void WriteAlocaForne(CallContext& c, std::string& out);
rt::Variant GetProdForn(CallContext& c);
rt::Variant GetVrPgMObra(CallContext& c);
rt::Variant GetTurma(CallContext& c);
rt::Variant SetForneMao(CallContext& c);
rt::Variant Get_VrPgMObra(CallContext& c);
rt::Variant GetTpFormPgProf(CallContext& c);
rt::Variant GeraConta(CallContext& c);
rt::Variant SetCancelaConta(CallContext& c);
rt::Variant GetHistorico(CallContext& c);  // history.cpp
// Reports (report_methods.cpp): the reports of a code, and one run with its values.
rt::Variant GetRelatorios(CallContext& c);
rt::Variant GetDadosRelatorio(CallContext& c);

// Clerk-facing texts the server refuses with (Portuguese, the clerks' language).
namespace texts {
inline constexpr const char* kBudgetUnknown = "Orçamento não cadastrado.";
inline constexpr const char* kAccountsExist =
    "Já existe conta a pagar de profissionais para o orçamento. Operação Bloqueada.";
inline constexpr const char* kStale =
    "Alocação alterada por outro usuário desde que foi carregada. Recarregue o orçamento.";
inline constexpr const char* kNoFreeUnit =
    "Não há unidade livre nesta mão de obra: outro usuário a preencheu desde que foi carregada. Recarregue o "
    "orçamento.";
inline constexpr const char* kProfAllocated = "O profissional já está alocado para a mão de obra informada.";
inline constexpr const char* kProfBookedElsewhere =
    "O profissional já está alocado em outro evento no mesmo horário.";
inline constexpr const char* kProfNotAllowed = "Profissional não cadastrado para mão de obra informada.";
inline constexpr const char* kCrewTimeUnknown = "Hora da turma não cadastrada.";
inline constexpr const char* kZeroAmount =
    "Não é possível gerar conta a pagar para mão de obra com valor zero. Operação bloqueada.";
inline constexpr const char* kPaymentTypeBlocked =
    "Tipo de pagamento de um ou mais profissionais não está parametrizado como 'gerar conta a pagar'. Operação "
    "bloqueada.";
inline constexpr const char* kDatabaseBusy = "Banco de dados ocupado por outra operação. Tente novamente.";
inline constexpr const char* kDatabaseError = "Erro ao acessar o banco de dados do servidor de aplicação.";
inline constexpr const char* kDatabaseUnreachable =
    "O banco de dados do servidor de aplicação não responde. Tente novamente em instantes.";
inline constexpr const char* kOutcomeUnknown =
    "A gravação foi enviada ao banco de dados, mas a confirmação não chegou: ela pode ter sido concluída. "
    "Recarregue o orçamento para conferir antes de gravar de novo.";
inline constexpr const char* kDiskFull =
    "Não foi possível gravar: o disco do servidor de aplicação está cheio. Nada foi alterado.";
inline constexpr const char* kDataReadOnly =
    "Não foi possível gravar: os dados do servidor de aplicação estão somente para leitura. Nada foi alterado.";
inline constexpr const char* kNegativeAmount = "Valor pago não pode ser negativo.";
inline constexpr const char* kAmountOutOfRange = "Valor pago fora do limite permitido.";
inline constexpr const char* kRowsAddedOrRemoved =
    "Não é permitido incluir ou excluir linhas da alocação; a remoção de um profissional é feita com \"*\".";
inline constexpr const char* kItemUnknown = "Mão de obra não cadastrada no orçamento.";
inline constexpr const char* kProfessionalRequired = "Profissional deve ser informado.";
inline constexpr const char* kUnitWithoutProfessional =
    "Existe mão de obra sem profissional cadastrado. Conta não pode ser gerada.";
inline constexpr const char* kNoPayables = "Não há conta a pagar gerada para o orçamento.";
// A booking that overlaps the one asked for, named: budget "15/01", product, start.
inline std::string ProfBookedAt(const std::string& budget, const std::string& product, const std::string& start) {
  return "O profissional já está alocado no mesmo horário: orçamento " + budget + ", " + product + ", " + start + ".";
}
inline std::string PaymentTypeInvalid(const std::string& code) {
  return "Tipo de pagamento inválido: \"" + code + "\".";
}
inline std::string BranchNotGranted(const std::string& branch, const std::string& operator_id) {
  return "Filial \"" + branch + "\" não permitida para o operador " + operator_id + ".";
}
inline std::string ReportUnknown(const std::string& name, const std::string& code) {
  return "Relatório \"" + name + "\" não cadastrado para o código " + code + ".";
}
inline std::string ReportParamUndeclared(const std::string& report, const std::string& name) {
  return "O relatório \"" + report + "\" não tem o parâmetro \"" + name + "\".";
}
inline std::string ReportParamRepeated(const std::string& report, const std::string& name) {
  return "Parâmetro \"" + name + "\" informado mais de uma vez para o relatório \"" + report + "\".";
}
inline std::string ReportParamMissing(const std::string& report, const std::string& name) {
  return "Parâmetro \"" + name + "\" do relatório \"" + report + "\" não informado.";
}
inline std::string ReportInvalid(const std::string& report) {
  return "O relatório \"" + report + "\" está definido de forma inválida no servidor.";
}
}  // namespace texts

}  // namespace srv
