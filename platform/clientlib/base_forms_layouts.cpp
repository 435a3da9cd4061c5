// The layout resources of the two base screens (format: docs/runtime.md).
#include "platform/clientlib/base_forms_layouts.h"

namespace clib {

const char* const kLayoutTFRMPADRAOGRID = R"json({
  "class": "TfrmPadraoGrid", "name": "frmPadraoGrid",
  "properties": {"Caption": "Cadastro", "Left": 0, "Top": 0, "Width": 640, "Height": 417},
  "events": {"OnCreate": "FormCreate", "OnClose": "FormClose"},
  "children": [
    {"class": "TPanel", "name": "panMenu",
     "properties": {"Align": "alTop", "Height": 30, "Caption": ""},
     "children": [
       {"class": "TButtonFlat", "name": "sbtIncluir",
        "properties": {"Left": 4, "Top": 4, "Width": 21, "Height": 21, "Hint": "Incluir", "ShowHint": true},
        "events": {"OnClick": "sbtIncluirClick"}},
       {"class": "TButtonFlat", "name": "sbtAlterar",
        "properties": {"Left": 25, "Top": 4, "Width": 21, "Height": 21, "Hint": "Alterar", "ShowHint": true},
        "events": {"OnClick": "sbtAlterarClick"}},
       {"class": "TButtonFlat", "name": "sbtExcluir",
        "properties": {"Left": 46, "Top": 4, "Width": 21, "Height": 21, "Hint": "Excluir", "ShowHint": true},
        "events": {"OnClick": "sbtExcluirClick"}},
       {"class": "TButtonFlat", "name": "sbtPesquisar",
        "properties": {"Left": 67, "Top": 4, "Width": 21, "Height": 21, "Hint": "Pesquisar", "ShowHint": true},
        "events": {"OnClick": "sbtPesquisarClick"}},
       {"class": "TButtonFlat", "name": "sbtVerificar",
        "properties": {"Left": 88, "Top": 4, "Width": 21, "Height": 21, "Hint": "Gravar", "ShowHint": true},
        "events": {"OnClick": "sbtVerificarClick"}},
       {"class": "TButtonFlat", "name": "sbtImprimir",
        "properties": {"Left": 278, "Top": 4, "Width": 21, "Height": 21, "Hint": "Imprimir", "ShowHint": true}},
       {"class": "TButtonFlat", "name": "sbtAjuda",
        "properties": {"Left": 314, "Top": 4, "Width": 21, "Height": 21, "Hint": "Ajuda", "ShowHint": true}},
       {"class": "TButtonFlat", "name": "sbtFechar",
        "properties": {"Left": 350, "Top": 4, "Width": 21, "Height": 21, "Hint": "Fechar", "ShowHint": true},
        "events": {"OnClick": "sbtFecharClick"}},
       {"class": "TLabel", "name": "lblCodTela",
        "properties": {"Left": 560, "Top": 8, "Caption": ""}}
     ]},
    {"class": "TPageControl", "name": "pgcPadrao",
     "properties": {"Left": 0, "Top": 117, "Width": 640, "Height": 223},
     "children": [
       {"class": "TTabSheet", "name": "tshPadrao", "properties": {"Caption": "Dados"},
        "children": [
          {"class": "TPanel", "name": "panDbgPadrao", "properties": {"Align": "alClient", "Caption": ""},
           "children": [
             {"class": "TScrollBox", "name": "scbFolhaDados", "properties": {"Align": "alClient"},
              "children": [
                {"class": "TDBGrid", "name": "dbgPadrao",
                 "properties": {"Align": "alClient", "DataSource": "dtsPadrao", "TabOrder": 0},
                 "events": {"OnKeyPress": "dbgPadraoKeyPress"}}
              ]}
           ]}
        ]}
     ]},
    {"class": "TPanel", "name": "panNavigator",
     "properties": {"Left": 0, "Top": 340, "Width": 640, "Height": 25, "Caption": ""},
     "children": [
       {"class": "TDBNavigator", "name": "dbnPadrao",
        "properties": {"Left": 2, "Top": 1, "Width": 240, "Height": 23, "DataSource": "dtsPadrao"}}
     ]},
    {"class": "TMainMenu", "name": "mnuMenu",
     "children": [
       {"class": "TMenuItem", "name": "mnuOperacao", "properties": {"Caption": "&Operação"},
        "children": [
          {"class": "TMenuItem", "name": "mnuListagem", "properties": {"Caption": "&Listagem"}},
          {"class": "TMenuItem", "name": "mnuConfigImpressora", "properties": {"Caption": "&Configurar Impressora"}}
        ]},
       {"class": "TMenuItem", "name": "mnuManutencao", "properties": {"Caption": "&Manutenção"},
        "children": [
          {"class": "TMenuItem", "name": "mnuIncluir", "properties": {"Caption": "&Incluir", "ShortCut": "Ctrl+I"},
           "events": {"OnClick": "sbtIncluirClick"}},
          {"class": "TMenuItem", "name": "mnuAlterar", "properties": {"Caption": "A&lterar", "ShortCut": "Ctrl+E"},
           "events": {"OnClick": "sbtAlterarClick"}},
          {"class": "TMenuItem", "name": "mnuExcluir", "properties": {"Caption": "&Excluir", "ShortCut": "Ctrl+Del"},
           "events": {"OnClick": "sbtExcluirClick"}},
          {"class": "TMenuItem", "name": "mnuPesquisar", "properties": {"Caption": "&Pesquisar", "ShortCut": "F3"},
           "events": {"OnClick": "sbtPesquisarClick"}},
          {"class": "TMenuItem", "name": "mnuVerificar", "properties": {"Caption": "&Gravar", "ShortCut": "F2"},
           "events": {"OnClick": "sbtVerificarClick"}}
        ]}
     ]},
    {"class": "TDataSource", "name": "dtsPadrao", "events": {"OnStateChange": "dtsPadraoStateChange"}},
    {"class": "TMessages", "name": "msgPadrao"},
    {"class": "TMessages", "name": "msgMensagensPadroes",
     "properties": {"Items": ["Excl|Confirma exclusão?", "Grav|Confirma gravação?",
                              "Canc|Confirma cancelamento?"]}}
  ]
})json";

const char* const kLayoutTFRMDADOSGERREL = R"json({
  "class": "TfrmDadosGerRel", "name": "frmDadosGerRel",
  "properties": {"Caption": "Relatório", "Width": 400, "Height": 160},
  "events": {"OnCreate": "FormCreate", "OnClose": "FormClose"},
  "children": [
    {"class": "TPanel", "name": "panMenu",
     "properties": {"Align": "alTop", "Height": 27, "Caption": ""},
     "children": [
       {"class": "TButtonFlat", "name": "sbtVisualizar",
        "properties": {"Left": 4, "Top": 3, "Width": 21, "Height": 21, "Hint": "Visualizar", "ShowHint": true},
        "events": {"OnClick": "sbtImprimirClick"}},
       {"class": "TButtonFlat", "name": "sbtImprimir",
        "properties": {"Left": 25, "Top": 3, "Width": 21, "Height": 21, "Hint": "Imprimir", "ShowHint": true},
        "events": {"OnClick": "sbtImprimirClick"}},
       {"class": "TButtonFlat", "name": "sbtFechar",
        "properties": {"Left": 60, "Top": 3, "Width": 21, "Height": 21, "Hint": "Fechar", "ShowHint": true},
        "events": {"OnClick": "sbtFecharClick"}},
       {"class": "TLabel", "name": "lblCodRel", "properties": {"Left": 300, "Top": 7, "Caption": ""}},
       {"class": "TLabel", "name": "lblCodTela", "properties": {"Left": 340, "Top": 7, "Caption": ""}}
     ]},
    {"class": "TGroupBox", "name": "grbDadosRel",
     "properties": {"Left": 4, "Top": 27, "Width": 392, "Height": 97, "Caption": ""},
     "children": [
       {"class": "TPanel", "name": "panRelat",
        "properties": {"Left": 5, "Top": 12, "Width": 381, "Height": 28, "Caption": ""},
        "children": [
          {"class": "TComboBox", "name": "cbbReportNames",
           "properties": {"Left": 4, "Top": 3, "Width": 372, "Height": 21, "TabOrder": 0}}
        ]}
     ]},
    {"class": "TNetConnection", "name": "netRelatorio", "properties": {"ServerName": "EVT04700.rdmAloc"},
     "events": {"BeforeConnect": "netRelatorioBeforeConnect"}},
    {"class": "TReportDesignerDialog", "name": "rpddPadrao", "properties": {"Connection": "netRelatorio"}}
  ]
})json";

}  // namespace clib
