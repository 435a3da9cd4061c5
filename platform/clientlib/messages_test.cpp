#include "platform/clientlib/messages.h"

#include <gtest/gtest.h>

namespace clib {
namespace {

TEST(MessageTableTest, LooksUpTextsExactly) {
  TMessageTable table;
  table.SetItems({"ORCA_N_CAD|Orçamento não cadastrado.",
                  "N_PARAM_EMPRESARELAC|Empresa ou sua Inscrição Estadual  não esta relacionada a filial. ", "PIPE|a|b",
                  "EMPTY|", "NOBAR", "ORCA_N_CAD|second"});
  struct Case {
    const char* key;
    const char* text;
  };
  for (const Case& c :
       {Case{"ORCA_N_CAD", "Orçamento não cadastrado."},  // first item wins
        Case{"N_PARAM_EMPRESARELAC", "Empresa ou sua Inscrição Estadual  não esta relacionada a filial. "},
        Case{"PIPE", "a|b"}, Case{"EMPTY", ""}, Case{"NOBAR", ""},
        Case{"UNKNOWN", "UNKNOWN"},  // unknown key: the key itself
        Case{"orca_n_cad", "orca_n_cad"}})
    EXPECT_EQ(table.Msg(c.key), c.text) << c.key;
  EXPECT_TRUE(table.HasKey("EMPTY"));
  EXPECT_FALSE(table.HasKey("UNKNOWN"));
}

}  // namespace
}  // namespace clib
