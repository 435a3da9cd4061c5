// The server contract passes each method's arguments in order, by-reference ones
// written back; the recording double renders the calls.
#include "module/contracts/app_server.h"

#include <gtest/gtest.h>

#include "module/contracts/testing/recording_app_server.h"
#include "platform/clientlib/server_result.h"

namespace {

TEST(AlocServerContractTest, ArgumentsInOrderAndReferencesWrittenBack) {
  contracts::testing::TRecordingAppServer server;
  server.Respond("GeraConta", [](std::vector<clib::Arg>& args) {
    *args[0].RefTarget() = "0002";
    return clib::ServerAnswer{true, rt::Variant(), "", 0};
  });
  server.Fail("SetCancelaConta", "N_PARAM_CONTABAIXADA");
  server.Answer("GetProdForn", rt::Variant(rt::VariantArray{}));
  contracts::TAlocServer aloc(server);
  std::string filial = "0001", orcamento = "0000000012", inscricao = "F12345678901";
  EXPECT_TRUE(clib::CheckResultServ(aloc.GeraConta(filial, orcamento, "01", "demo")).IsNull());
  EXPECT_EQ(filial, "0002");
  aloc.GetProdForn("P1", inscricao, "0001", orcamento);
  EXPECT_THROW(clib::CheckResultServ(aloc.SetCancelaConta("0001", "0000000012", "01")), clib::EServerError);
  EXPECT_EQ(server.Log(),
            "GeraConta(&0001, &0000000012, 01, demo) | GetProdForn(P1, &F12345678901, 0001, 0000000012) | "
            "SetCancelaConta(0001, 0000000012, 01)");
}

}  // namespace
