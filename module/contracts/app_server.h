// The application server "EVT04700.rdmAloc" as the allocation screen calls it: each
// method by name, with its positional arguments in order, over the connection's
// application-server interface (clib::IAppServer: the network connection, or an
// in-process double in tests). Every answer still goes through CheckResultServ.
// Arguments marked "ref" are strings the server may rewrite.
#pragma once

#include <string>
#include <vector>

#include "platform/clientlib/app_server.h"

namespace contracts {

using clib::Arg;
using clib::IAppServer;
using clib::ServerAnswer;

inline constexpr const char* kServerName = "EVT04700.rdmAloc";

class TAlocServer {
 public:
  explicit TAlocServer(IAppServer& server) : server_(server) {}

  // Budgets: mode "1" validates one number, "" lists the branch's budgets.
  ServerAnswer GetPesqOrca(const std::string& filial, const std::string& nr_orcamento, const std::string& modo) {
    return server_.Call("GetPesqOrca", {filial, nr_orcamento, modo});
  }
  ServerAnswer GetSequencial(const std::string& nr_orcamento, const std::string& seq) {
    return server_.Call("GetSequencial", {nr_orcamento, seq});
  }
  // Array of four packets: header, allocations, labour items, related payables.
  ServerAnswer GetAlocaForne(const std::string& filial, const std::string& nr_orcamento, const std::string& seq) {
    return server_.Call("GetAlocaForne", {filial, nr_orcamento, seq});
  }
  // Array: the list (element 0), or the validation (elements 0 and 1).
  ServerAnswer GetProdForn(const std::string& cd_produto, std::string& inscricao /* ref */, const std::string& filial,
                           const std::string& nr_orcamento) {
    return server_.Call("GetProdForn", {cd_produto, Arg::Ref(inscricao), filial, nr_orcamento});
  }
  ServerAnswer GetVrPgMObra(const std::string& cd_produto, const std::string& nr_orcamento, const std::string& seq,
                            const std::string& filial) {
    return server_.Call("GetVrPgMObra", {cd_produto, nr_orcamento, seq, filial});
  }
  ServerAnswer GetTurma(const std::string& filial, const std::string& nr_orcamento, const std::string& seq,
                        const std::string& turno, const std::string& cd_produto) {
    return server_.Call("GetTurma", {filial, nr_orcamento, seq, turno, cd_produto});
  }
  // The delta packet of the grid.
  ServerAnswer SetForneMao(const rt::Variant& delta) { return server_.Call("SetForneMao", {delta}); }
  ServerAnswer Get_VrPgMObra(std::string& filial /* ref */, std::string& nr_orcamento /* ref */,
                             const std::string& seq) {
    return server_.Call("Get_VrPgMObra", {Arg::Ref(filial), Arg::Ref(nr_orcamento), seq});
  }
  ServerAnswer GetTpFormPgProf(std::string& filial /* ref */, std::string& nr_orcamento /* ref */,
                               const std::string& seq) {
    return server_.Call("GetTpFormPgProf", {Arg::Ref(filial), Arg::Ref(nr_orcamento), seq});
  }
  // Null: generated; other: they already existed; refusals as "N_PARAM_" failure texts.
  ServerAnswer GeraConta(std::string& filial /* ref */, std::string& nr_orcamento /* ref */, const std::string& seq,
                         const std::string& operador) {
    return server_.Call("GeraConta", {Arg::Ref(filial), Arg::Ref(nr_orcamento), seq, operador});
  }
  ServerAnswer SetCancelaConta(const std::string& filial, const std::string& nr_orcamento, const std::string& seq) {
    return server_.Call("SetCancelaConta", {filial, nr_orcamento, seq});
  }

 private:
  IAppServer& server_;
};

}  // namespace contracts
