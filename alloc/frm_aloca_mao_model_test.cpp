// The static model of the allocation screen as its layout resource builds it: controls,
// menus, grid columns, datasets and their fields, connection, message table, and the
// state right after creation.
#include <gtest/gtest.h>

#include "alloc/screen_test_support.h"
#include "platform/runtime/ui/menus.h"

namespace {

using ModelTest = alloc::testing::ScreenTest;

TEST_F(ModelTest, FormAndInheritedSettings) {
  EXPECT_EQ(F().Caption(), "Alocação de Mão de Obra");
  EXPECT_EQ(F().FormStyle(), rt::fsMDIChild);
  EXPECT_EQ(F().Control("lblCodTela").Caption(), "EVT04700");
  EXPECT_EQ(F().Control("pgcPadrao").Top(), 117);
  EXPECT_EQ(F().Control("pgcPadrao").Height(), 223);
  EXPECT_EQ(F().Control("panNavigator").Top(), 340);
  struct Button {
    const char* name;
    int left;
    const char* hint;
  } buttons[] = {{"sbtLimpaForn", 181, "Limpar Profissionais"},
                 {"sbtGeraConta", 218, "Gerar Pagamento"},
                 {"sbtCancelaConta", 239, "Cancelar Conta a Pagar"},
                 {"sbtImprimir", 278, nullptr},
                 {"sbtAjuda", 314, nullptr},
                 {"sbtFechar", 350, nullptr}};
  for (const Button& b : buttons) {
    rt::TControl& c = F().Control(b.name);
    EXPECT_EQ(c.Left(), b.left) << b.name;
    if (b.hint) {
      EXPECT_EQ(c.Hint(), b.hint);
      EXPECT_TRUE(c.ShowHint()) << b.name;
      EXPECT_EQ(c.Top(), 4);
      EXPECT_EQ(c.Width(), 21);
      EXPECT_EQ(c.Height(), 21);
      EXPECT_EQ(c.Parent()->Name(), "panMenu");
    }
  }
}

TEST_F(ModelTest, MenuItemsWithShortCutsRunTheirHandlersOnlyWhenEnabled) {
  struct Item {
    const char* name;
    const char* caption;
    const char* short_cut;
  } items[] = {{"mnuLimpaForn", "Limpar Profissionais", "Ctrl+L"},
               {"mnuGeraConta", "Gerar Conta a Pagar", "Ctrl+P"},
               {"mnuCancelaConta", "Cancelar Conta a Pagar", "Ctrl+A"}};
  EXPECT_EQ(F().MenuItem("N1").Caption(), "-");
  for (const Item& i : items) {
    rt::TMenuItem& item = F().MenuItem(i.name);
    EXPECT_EQ(item.Caption(), i.caption);
    EXPECT_EQ(item.ShortCut(), rt::TextToShortCut(i.short_cut)) << i.name;
    EXPECT_FALSE(item.Enabled()) << i.name;
    EXPECT_TRUE(static_cast<bool>(item.OnClick)) << i.name;
    EXPECT_FALSE(rt::Input::ShortCut(F(), i.short_cut)) << i.name;  // disabled at start
  }
  EXPECT_FALSE(F().MenuItem("mnuListagem").Enabled());
  EXPECT_FALSE(F().MenuItem("mnuConfigImpressora").Enabled());
}

TEST_F(ModelTest, FilterPanelControls) {
  rt::TEdit& numero = F().edtNrOrcamento();
  EXPECT_EQ(numero.CharCase(), rt::ecUpperCase);
  EXPECT_EQ(numero.MaxLength(), 10);
  EXPECT_EQ(numero.Color(), rt::clInfoBk);
  EXPECT_EQ(numero.TabOrder(), 0);
  EXPECT_EQ(F().edtSeq().MaxLength(), 2);
  EXPECT_EQ(F().edtSeq().Color(), rt::clInfoBk);
  EXPECT_EQ(F().edtSeq().TabOrder(), 2);
  EXPECT_EQ(F().Control("lblNrOrcamento").Caption(), "Nr. Orçamento");
  EXPECT_TRUE(F().Control("lblNrOrcamento").Font().Bold);
  EXPECT_EQ(F().Control("lblSequencial").Caption(), "Sequencial");
  EXPECT_TRUE(F().Control("lblSequencial").Font().Bold);
  clib::TBtnPesquisa& busca = F().btnNrOrcamento();
  EXPECT_EQ(busca.Hint(), "Pesquisar");
  EXPECT_EQ(busca.Edit(), &numero);
  EXPECT_EQ(busca.Titulo(), "Orçamento");
  EXPECT_EQ(busca.TextoVazio(), "Não há orçamento cadastrado.");
  EXPECT_EQ(F().panFiltro().Height(), 30);
  EXPECT_EQ(F().Control("panDados").Height(), 59);
}

TEST_F(ModelTest, HeaderPanelShowsTheBudgetHeader) {
  struct Bound {
    const char* label;
    const char* caption;
    const char* text;
    const char* field;
  } bound[] = {{"lblCliente", "Cliente", "dbeCliente", "NMFANTCLIE"},
               {"lblServico", "Serviço", "dbeServico", "NMTPSERVEVEN"},
               {"lblEvento", "Evento", "dbeEvento", "NMTIPOEVENTO"},
               {"lblDtEvento", "Data/Hora do Evento", "dbeDtEvento", "DTEVENTO"},
               {"lblNrPessoas", "Nr. Pessoas", "dbeNrPessoas", "QTCONVORCEVE"},
               {"lblAdultos", "Adultos", "dbeAdultos", "QTADULORCEVE"},
               {"lblCriancas", "Crianças", "dbeCriancas", "QTCRIAORCEVE"}};
  for (const Bound& b : bound) {
    EXPECT_EQ(F().Control(b.label).Caption(), b.caption);
    auto& text = dynamic_cast<rt::TDBText&>(F().Control(b.text));
    EXPECT_EQ(text.DataField(), b.field);
    EXPECT_EQ(text.DataSource(), &F().DataSource("dtsOrcaEvento"));
    EXPECT_TRUE(text.Font().Bold) << b.text;
  }
  EXPECT_EQ(F().Control("lblContaGerada").Caption(), "Conta gerada");
  EXPECT_EQ(F().Control("panCorContaGerada").Color(), rt::clTeal);
  EXPECT_EQ(F().Control("lblNaoGerouConta").Caption(), "Não gerou conta");
  EXPECT_EQ(F().Control("panCorNaoGerouConta").Color(), rt::clBlack);
}

TEST_F(ModelTest, GridColumnsInTheirOrder) {
  rt::TDBGrid& grid = F().dbgPadrao();
  EXPECT_EQ(grid.DataSource(), &F().DataSourcePadrao());
  EXPECT_EQ(F().DataSourcePadrao().DataSet(), &F().cdsForneMao());
  std::string columns;
  for (int i = 0; i < grid.Columns().Count(); ++i) {
    rt::TColumn& c = grid.Columns()[i];
    columns += c.FieldName() + (c.ReadOnly() ? " ro" : "") + " w" + std::to_string(c.Width()) +
               (c.ButtonStyle() == rt::cbsEllipsis ? " ..." : "") +
               (c.Title().Alignment() == rt::taRightJustify ? " right" : "") +
               (c.PickList().empty() ? "" : " [" + c.PickList()[0] + "|" + c.PickList()[1] + "]") + "; ";
  }
  EXPECT_EQ(columns,
            "NRFORNE ro w44; NMPRODUTO ro w170; NRINSJURFORN w120 ...; NMFANTFORN ro w244; "
            "IDTIPOPAGAFORN w99 [EM FOLHA|GERAR CONTA]; VRPAGOFORNORC w64 right; QTHORAS ro w50; "
            "HRINITUMOBRA w55 ...; ");
  EXPECT_EQ(grid.Columns()[4].PickList().size(), 2u);
  for (auto event : {&rt::TDBGrid::OnColEnter, &rt::TDBGrid::OnColExit, &rt::TDBGrid::OnEditButtonClick})
    EXPECT_TRUE(static_cast<bool>(grid.*event));
  EXPECT_TRUE(static_cast<bool>(grid.OnKeyPress));
  EXPECT_TRUE(static_cast<bool>(grid.OnDrawColumnCell));
  EXPECT_TRUE(static_cast<bool>(grid.OnExit));
}

TEST_F(ModelTest, AllocationGridFields) {
  struct Field {
    const char* name;
    rt::FieldType type;
    int size;
    const char* label;
    bool visible, applied, calculated;
    int display_width;
  } fields[] = {
      {"VRCOBRMOBRA", rt::FieldType::Float, 0, "", false, true, false, 0},
      {"NRFORNE", rt::FieldType::Float, 0, "Nr.", false, true, false, 0},
      {"CDPRODUTO", rt::FieldType::String, 10, "", false, true, false, 0},
      {"NMPRODUTO", rt::FieldType::String, 50, "Descrição da Mão de Obra", true, false, false, 0},
      {"NRINSJURFORN", rt::FieldType::String, 20, "Profissional", true, false, false, 0},
      {"NMRAZSOCFORN", rt::FieldType::String, 40, "Nome do Profissional", true, true, false, 0},
      {"NMFANTFORN", rt::FieldType::String, 40, "Nome do Profissional", false, false, false, 0},
      {"QTPRODMOBRA", rt::FieldType::Float, 0, "", false, false, false, 0},
      {"IDTPIJURFORN", rt::FieldType::String, 1, "", false, false, false, 0},
      {"CDFORNECED", rt::FieldType::String, 21, "", false, false, false, 0},
      {"CDFILIAL", rt::FieldType::String, 4, "", false, false, false, 0},
      {"NRORCAEVENTO", rt::FieldType::String, 10, "", false, false, false, 0},
      {"NRSEQORCAEVE", rt::FieldType::String, 2, "", false, false, false, 0},
      {"NRTURNO", rt::FieldType::String, 2, "", false, false, false, 0},
      {"NMFORNMOBRA", rt::FieldType::String, 50, "", false, false, false, 0},
      {"HRINITUMOBRA", rt::FieldType::String, 5, "Hr. Turma", false, true, false, 5},
      {"QTHREVENTO", rt::FieldType::Float, 0, "", false, true, false, 0},
      {"QTHORAS", rt::FieldType::String, 8, "Qt. Horas", false, true, true, 0},
      {"IDCONTAGERADA", rt::FieldType::String, 1, "", false, true, false, 0},
      {"VRPAGOFORNORC", rt::FieldType::Float, 0, "Vr. Pago", true, true, false, 0},
      {"IDTIPOPAGAFORN", rt::FieldType::String, 10, "Pagamento", true, true, false, 17},
  };
  rt::TClientDataSet& ds = F().cdsForneMao();
  ASSERT_EQ(ds.FieldCount(), static_cast<int>(std::size(fields)));
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    const Field& f = fields[i];
    const rt::FieldDef& def = ds.Fields()[i]->Def();
    EXPECT_EQ(def.name, f.name);
    EXPECT_EQ(def.type, f.type) << f.name;
    if (f.type == rt::FieldType::String) {
      EXPECT_EQ(def.size, f.size) << f.name;
    }
    EXPECT_EQ(def.display_label, f.label) << f.name;
    EXPECT_EQ(def.visible, f.visible) << f.name;
    EXPECT_EQ(def.provider_flags.IsEmpty(), !f.applied) << f.name;
    EXPECT_EQ(def.calculated, f.calculated) << f.name;
    EXPECT_EQ(def.display_width, f.display_width) << f.name;
  }
  EXPECT_EQ(ds.IndexFieldNames(), "NMPRODUTO;NRFORNE");
  EXPECT_TRUE(ds.BeforeInsert && ds.BeforeEdit && ds.BeforePost && ds.AfterPost && ds.OnCalcFields);
  for (const char* name : {"NRINSJURFORN", "IDTIPOPAGAFORN", "HRINITUMOBRA"})
    EXPECT_TRUE(static_cast<bool>(ds.FieldByName(name).OnGetText)) << name;
  EXPECT_TRUE(static_cast<bool>(ds.FieldByName("IDTIPOPAGAFORN").OnSetText));
}

TEST_F(ModelTest, OtherDatasetsAndDataSources) {
  struct Shape {
    const char* dataset;
    const char* fields;
  } shapes[] = {
      {"cdsFornMaoAux",
       "VRPAGOFORNORC VRCOBRMOBRA NRFORNE CDPRODUTO NMPRODUTO NRINSJURFORN NMRAZSOCFORN NMFANTFORN QTPRODMOBRA "
       "IDTPIJURFORN IDCONTAGERADA CDFORNECED CDFILIAL NRORCAEVENTO NRSEQORCAEVE NRTURNO NMFORNMOBRA HRINITUMOBRA "
       "QTHREVENTO QTHORAS IDTIPOPAGAFORN"},
      {"cdsForneAux",
       "NRFORNE CDPRODUTO NMPRODUTO NRINSJURFORN NMFANTFORN QTPRODMOBRA IDTPIJURFORN CDFORNECED CDFILIAL "
       "NRORCAEVENTO NRSEQORCAEVE NRTURNO NMFORNMOBRA NMRAZSOCFORN HRINITUMOBRA QTHREVENTO"},
      {"cdsOrcaEvento",
       "CDFILIAL NRORCAEVENTO NRSEQORCAEVE DTEVENTO NMFANTCLIE NMTIPOEVENTO NMTPSERVEVEN QTCONVORCEVE QTADULORCEVE "
       "QTCRIAORCEVE QTHREVENTO"},
      {"cdsItMaoObra", "CDPRODUTO QTPRODMOBRA NMPRODUTO NRTURNO"},
      {"cdsNfRelacOrc", "CDFORNECED CDFILIALNF NRLANCTONF"},
      {"cdsAuxFornConta", "CDFILIALNF CDFORNECED NRLANCTONF"},
      {"cdsPesqOrca", "CDFILIAL NRORCAEVENTO NRSEQORCAEVE"},
      {"cdsVdOrcaEven", "CDFILIAL NRORCAEVENTO NRSEQORCAEVE"},
      {"cdsSequencial", "NRORCAEVENTO NRSEQORCAEVE"},
      {"cdsProdForn", "CDFORNECED NRINSJURFORN IDTPIJURFORN NMRAZSOCFORN NMFANTFORN IDTIPOPAGAPROF DSALOCACAO"},
      {"cdsVdForn", "CDFORNECED NRINSJURFORN IDTPIJURFORN NMFANTFORN NMRAZSOCFORN"},
      {"cdsVdProf", "NRORCAEVENTO CDPRODUTO CDFORNECED HRINITUMOBRA NRSEQORCAEVE NMPRODUTO DSINICIO"},
      {"cdsVrPagMObra",
       "CDFILIAL NRORCAEVENTO NRSEQORCAEVE NRTURNO CDPRODUTO NMPRODUTO DSTURNO CDARVPROD VRCOBRMOBRA VRPAGOMOBRA "
       "HRINITUMOBRA"},
      {"cdsTurma", "HRINITUMOBRA"},
  };
  for (const Shape& s : shapes) {
    std::string names;
    for (const rt::TField* f : F().DataSet(s.dataset).Fields()) names += (names.empty() ? "" : " ") + f->FieldName();
    EXPECT_EQ(names, s.fields) << s.dataset;
  }
  rt::TClientDataSet& pesq = F().cdsPesqOrca();
  EXPECT_EQ(pesq.FieldByName("CDFILIAL").DisplayLabel(), "Filial");
  EXPECT_EQ(pesq.FieldByName("CDFILIAL").DisplayWidth(), 10);
  EXPECT_EQ(pesq.FieldByName("NRORCAEVENTO").DisplayLabel(), "Nr. Orçamento");
  EXPECT_EQ(pesq.FieldByName("NRORCAEVENTO").DisplayWidth(), 12);
  EXPECT_FALSE(pesq.FieldByName("NRSEQORCAEVE").Visible());
  EXPECT_EQ(F().DataSet("cdsVrPagMObra").FieldByName("HRINITUMOBRA").EditMask(), "99:99;0");
  EXPECT_TRUE(F().DataSet("cdsVdProf").FieldByName("NRSEQORCAEVE").Def().fixed_length);
  EXPECT_TRUE(F().DataSet("cdsAuxFornConta").FieldByName("CDFORNECED").ProviderFlags().IsEmpty());
  struct Source {
    const char* source;
    const char* dataset;
  } sources[] = {{"dtsPadrao", "cdsForneMao"},   {"dtsOrcaEvento", "cdsOrcaEvento"},
                 {"dtsPesqOrca", "cdsPesqOrca"}, {"dtsProdForn", "cdsProdForn"},
                 {"dtsTurma", "cdsTurma"},       {"dtsVrPagMObra", "cdsVrPagMObra"}};
  for (const Source& s : sources) EXPECT_EQ(F().DataSource(s.source).DataSet(), &F().DataSet(s.dataset)) << s.source;
}

TEST_F(ModelTest, ConnectionAndMessageTable) {
  EXPECT_EQ(F().netAloc().ServerName(), "EVT04700.rdmAloc");
  const std::pair<const char*, const char*> texts[] = {
      {"Excl", "Confirma exclusão?"},
      {"ORCA_N_INFO", "Orçamento deve ser informado."},
      {"ORCA_N_CAD", "Orçamento não cadastrado."},
      {"FORN", "Profissional"},
      {"ORCA", "Orçamento"},
      {"FORN_N_INF", "Profissional deve ser informado."},
      {"FORN_N_CAD", "Profissional não cadastrado para mão de obra informada."},
      {"N_FORN", "Não há profissional cadastrado para a mão de obra."},
      {"FORN_JA_CAD", "Profissional já cadastrado para o orçamento."},
      {"SUCESSO", "Conta gerada com sucesso."},
      {"CONTA_JA_CAD", "Já existe conta a pagar de profissionais para o orçamento."},
      {"FORN_EMPTY", "Existe mão de obra sem profissional cadastrado. Conta não pode ser gerada."},
      {"EXISTE_CONTA", "Já existe conta a pagar de profissionais para o orçamento. Operação Bloqueada."},
      {"N_PARAM_TIPOOPERPAG", "Tipo de operação de entrada não parametrizado."},
      {"N_PARAM_TPCTPAG", "Tipo de conta a pagar não parametrizado para o tipo de operação %s."},
      {"N_PARAM_SERIEENTR", "Série de entrada não parametrizada."},
      {"TURMA", "Turma"},
      {"HRTURMA_N_CAD", "Hora da turma não cadastrada."},
      {"LIMPA_FORN", "Todos os profissionais do orçamento serão apagados. Confirma operação?"},
      {"CANC_SUCESSO", "Cancelamento realizado com sucesso."},
      {"DEL_FORN", "Profissional, Pagamento, Valor Pago e a Hora Turma serão apagados. Confirma Operação?"},
      {"PROF", "Profissional"},
      {"SEQ_N_INF", "Sequencial deve ser informado."},
      {"SEQ_N_CAD", "Sequencial não cadastrado."},
      {"PROF_CAD", "O profissional já está alocado para a mão de obra informada."},
      {"VRZERO_GERCNT_BLOQ", "Não é possível gerar conta a pagar para mão de obra com valor zero. Operação bloqueada."},
      {"TPFORM_GERCNT_BLOQ",
       "Tipo de pagamento de um ou mais profissionais não está parametrizado como 'gerar conta a pagar'. Operação "
       "bloqueada."},
      {"N_PARAM_CONTABAIXADA",
       "Não foi possível realizar o cancelamento, pois a conta a pagar encontra-se baixada. Operação bloqueada."},
      {"N_PARAM_TPCTPAGFORN",
       "A conta não pode ser gerada, pois existem profissionais que não possuem tipo de conta a pagar parametrizado. "
       "Operação bloqueada."},
      {"N_PARAM_S_FORMA_PAGTO",
       "A conta não pode ser gerada, pois não há fornecedor parametrizado como 'gerar conta a pagar'. Operação "
       "bloqueada."},
      {"CONTA_PAGAR", "GERAR CONTA"},
      {"FOLHA_PAGA", "EM FOLHA"},
      {"pgto_Inf", "Pagamento deve ser informado."},
      {"N_PARAM_EMPRESARELAC", "Empresa ou sua Inscrição Estadual  não esta relacionada a filial. "},
      {"N_PARAM_NRINSCESTA", "Não há Inscrição Estadual cadastrada para a Empresa informada."},
      {"N_PARAM_CDEMPRESAORCA", "Não foi gravado o código da empresa informada na tela do Contratante."},
      {"N_PARAM_EMITIDO", "Cancelamento não pode ser realizado, pois existe(m) boleto(s) emitido(s)."},
      {"N_PARAM_DESCONTADO", "Cancelamento não pode ser realizado, pois existe(m) boleto(s) descontado(s)."},
      // The screen's own, for what the clerk is told about unsaved work.
      {"DESCARTA_RECUSA",
       "A alteração não foi gravada. Descartar as alterações não gravadas e recarregar o orçamento como está no "
       "servidor? (Não: elas ficam na grade para gravar de novo.)"},
      {"LIMPA_N_FEITA", "Nenhum profissional foi apagado: %s"},
      {"FECHA_DESCARTA", "As alterações não gravadas serão perdidas. Fechar a tela mesmo assim?"},
      // and of who is free when.
      {"PROF_OCUPADO", "O profissional já está alocado no mesmo horário: orçamento %s, %s, %s."},
      {"LIVRE", "Livre"},
      {"ALOCADO", "Alocado: %s"},
      {"ALOCADO_OUTRO", "Alocado em outro evento"},
      // and of other clerks' changes heard while the clerk edits.
      {"AVISO_ALOCOU", "%s alocou %s às %s — F2 atualiza"},
      {"AVISO_ALTEROU", "%s alterou %s às %s — F2 atualiza"},
      {"AVISO_RETIROU", "%s retirou o profissional de %s às %s — F2 atualiza"},
      {"AVISO_GEROU", "%s gerou as contas a pagar às %s — F2 atualiza"},
      {"AVISO_CANCELOU", "%s cancelou as contas a pagar às %s — F2 atualiza"},
      {"AVISO_VARIAS", "%s alterou %s unidades às %s — F2 atualiza"},
  };
  EXPECT_EQ(F().msgPadrao().Items().size(), std::size(texts));
  for (const auto& [key, text] : texts) {
    EXPECT_TRUE(F().msgPadrao().HasKey(key)) << key;
    EXPECT_EQ(F().msgPadrao().Msg(key), text);
  }
}

TEST_F(ModelTest, InitialState) {
  // Created open and empty; showing the screen puts the focus in the number box, and
  // entering the filter panel closes the grid's dataset again.
  EXPECT_FALSE(F().cdsForneMao().Active());
  EXPECT_TRUE(F().cdsForneAux().Active());
  EXPECT_TRUE(F().cdsForneAux().IsEmpty());
  for (const char* name :
       {"cdsFornMaoAux", "cdsOrcaEvento", "cdsItMaoObra", "cdsNfRelacOrc", "cdsAuxFornConta", "cdsPesqOrca",
        "cdsVdOrcaEven", "cdsSequencial", "cdsProdForn", "cdsVdForn", "cdsVdProf", "cdsVrPagMObra", "cdsTurma"})
    EXPECT_FALSE(F().DataSet(name).Active()) << name;
  EXPECT_EQ(F().stCdFilial + F().stNrOrcamento + F().stInscricao, "");
  EXPECT_EQ(Enabled(), "(none)");
  EXPECT_EQ(Focused(), "edtNrOrcamento");
  EXPECT_EQ(F().edtNrOrcamento().Text() + F().edtSeq().Text(), "");
  EXPECT_EQ(Journal(), "");  // creating the screen asks the server nothing
}

}  // namespace
