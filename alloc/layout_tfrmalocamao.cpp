// The layout resource "TFRMALOCAMAO" of the allocation screen (format: docs/runtime.md):
// what it adds to the grid screen's layout and the inherited properties it overrides.
#include "module/contracts/resources.h"

const char* const kLayoutTFRMALOCAMAO = R"json({
 "class": "TfrmAlocaMao",
 "name": "frmAlocaMao",
 "properties": {
  "Caption": "Alocação de Mão de Obra",
  "FormStyle": "fsMDIChild",
  "Left": 193,
  "Top": 154,
  "Width": 895,
  "Height": 417,
  "Menu": "mnuMenu",
  "ActiveControl": "edtNrOrcamento"
 },
 "children": [
  {
   "name": "panMenu",
   "inherited": true,
   "children": [
    {
     "class": "TButtonFlat",
     "name": "sbtLimpaForn",
     "properties": {
      "Left": 181,
      "Top": 4,
      "Width": 21,
      "Height": 21,
      "Hint": "Limpar Profissionais",
      "ShowHint": true,
      "Enabled": false
     },
     "events": {
      "OnClick": "sbtLimpaFornClick"
     }
    },
    {
     "class": "TButtonFlat",
     "name": "sbtGeraConta",
     "properties": {
      "Left": 218,
      "Top": 4,
      "Width": 21,
      "Height": 21,
      "Hint": "Gerar Pagamento",
      "ShowHint": true,
      "Enabled": false
     },
     "events": {
      "OnClick": "sbtGeraContaClick"
     }
    },
    {
     "class": "TButtonFlat",
     "name": "sbtCancelaConta",
     "properties": {
      "Left": 239,
      "Top": 4,
      "Width": 21,
      "Height": 21,
      "Hint": "Cancelar Conta a Pagar",
      "ShowHint": true,
      "Enabled": false
     },
     "events": {
      "OnClick": "sbtCancelaContaClick"
     }
    }
   ]
  },
  {
   "class": "TPanel",
   "name": "panFiltro",
   "properties": {
    "Align": "alTop",
    "Left": 0,
    "Top": 30,
    "Width": 887,
    "Height": 30,
    "Caption": ""
   },
   "events": {
    "OnEnter": "panFiltroEnter",
    "OnExit": "panFiltroExit"
   },
   "children": [
    {
     "class": "TLabel",
     "name": "lblNrOrcamento",
     "properties": {
      "Left": 8,
      "Top": 8,
      "Caption": "Nr. Orçamento",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TEdit",
     "name": "edtNrOrcamento",
     "properties": {
      "Left": 98,
      "Top": 4,
      "Width": 81,
      "Height": 21,
      "CharCase": "ecUpperCase",
      "MaxLength": 10,
      "Color": "clInfoBk",
      "TabOrder": 0
     },
     "events": {
      "OnChange": "edtNrOrcamentoChange",
      "OnExit": "edtNrOrcamentoExit",
      "OnKeyPress": "edtNrOrcamentoKeyPress"
     }
    },
    {
     "class": "TBtnPesquisa",
     "name": "btnNrOrcamento",
     "properties": {
      "Left": 180,
      "Top": 4,
      "Width": 21,
      "Height": 21,
      "Hint": "Pesquisar",
      "ShowHint": true,
      "TabOrder": 1,
      "Edit": "edtNrOrcamento",
      "Titulo": "Orçamento",
      "TextoVazio": "Não há orçamento cadastrado."
     },
     "events": {
      "OnClick": "btnNrOrcamentoClick"
     }
    },
    {
     "class": "TLabel",
     "name": "lblSequencial",
     "properties": {
      "Left": 216,
      "Top": 8,
      "Caption": "Sequencial",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TEdit",
     "name": "edtSeq",
     "properties": {
      "Left": 288,
      "Top": 4,
      "Width": 25,
      "Height": 21,
      "MaxLength": 2,
      "Color": "clInfoBk",
      "TabOrder": 2
     },
     "events": {
      "OnKeyPress": "edtSeqKeyPress"
     }
    }
   ]
  },
  {
   "class": "TPanel",
   "name": "panDados",
   "properties": {
    "Align": "alTop",
    "Left": 0,
    "Top": 60,
    "Width": 887,
    "Height": 59,
    "Caption": ""
   },
   "children": [
    {
     "class": "TLabel",
     "name": "lblCliente",
     "properties": {
      "Left": 8,
      "Top": 4,
      "Caption": "Cliente"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeCliente",
     "properties": {
      "Left": 60,
      "Top": 4,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "NMFANTCLIE",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TLabel",
     "name": "lblServico",
     "properties": {
      "Left": 300,
      "Top": 4,
      "Caption": "Serviço"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeServico",
     "properties": {
      "Left": 352,
      "Top": 4,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "NMTPSERVEVEN",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TLabel",
     "name": "lblEvento",
     "properties": {
      "Left": 560,
      "Top": 4,
      "Caption": "Evento"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeEvento",
     "properties": {
      "Left": 606,
      "Top": 4,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "NMTIPOEVENTO",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TLabel",
     "name": "lblDtEvento",
     "properties": {
      "Left": 8,
      "Top": 30,
      "Caption": "Data/Hora do Evento"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeDtEvento",
     "properties": {
      "Left": 132,
      "Top": 30,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "DTEVENTO",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TLabel",
     "name": "lblNrPessoas",
     "properties": {
      "Left": 300,
      "Top": 30,
      "Caption": "Nr. Pessoas"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeNrPessoas",
     "properties": {
      "Left": 376,
      "Top": 30,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "QTCONVORCEVE",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TLabel",
     "name": "lblAdultos",
     "properties": {
      "Left": 450,
      "Top": 30,
      "Caption": "Adultos"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeAdultos",
     "properties": {
      "Left": 502,
      "Top": 30,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "QTADULORCEVE",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TLabel",
     "name": "lblCriancas",
     "properties": {
      "Left": 560,
      "Top": 30,
      "Caption": "Crianças"
     }
    },
    {
     "class": "TDBText",
     "name": "dbeCriancas",
     "properties": {
      "Left": 618,
      "Top": 30,
      "Width": 150,
      "Height": 13,
      "DataSource": "dtsOrcaEvento",
      "DataField": "QTCRIAORCEVE",
      "Font": {
       "Bold": true
      }
     }
    },
    {
     "class": "TPanel",
     "name": "panCorContaGerada",
     "properties": {
      "Left": 730,
      "Top": 6,
      "Width": 12,
      "Height": 12,
      "Color": "clTeal",
      "Caption": ""
     }
    },
    {
     "class": "TLabel",
     "name": "lblContaGerada",
     "properties": {
      "Left": 746,
      "Top": 5,
      "Caption": "Conta gerada"
     }
    },
    {
     "class": "TPanel",
     "name": "panCorNaoGerouConta",
     "properties": {
      "Left": 730,
      "Top": 32,
      "Width": 12,
      "Height": 12,
      "Color": "clBlack",
      "Caption": ""
     }
    },
    {
     "class": "TLabel",
     "name": "lblNaoGerouConta",
     "properties": {
      "Left": 746,
      "Top": 31,
      "Caption": "Não gerou conta"
     }
    }
   ]
  },
  {
   "name": "sbtAjuda",
   "inherited": true,
   "properties": {
    "Left": 314
   }
  },
  {
   "name": "sbtImprimir",
   "inherited": true,
   "properties": {
    "Left": 278,
    "Enabled": false
   },
   "events": {
    "OnClick": "sbtImprimirClick"
   }
  },
  {
   "name": "sbtFechar",
   "inherited": true,
   "properties": {
    "Left": 350
   }
  },
  {
   "name": "lblCodTela",
   "inherited": true,
   "properties": {
    "Caption": "EVT04700"
   }
  },
  {
   "name": "pgcPadrao",
   "inherited": true,
   "properties": {
    "TabStop": false,
    "Top": 117,
    "Width": 887,
    "Height": 223
   }
  },
  {
   "name": "panNavigator",
   "inherited": true,
   "properties": {
    "Top": 340
   }
  },
  {
   "name": "dbgPadrao",
   "inherited": true,
   "properties": {
    "Columns": [
     {
      "FieldName": "NRFORNE",
      "ReadOnly": true,
      "Width": 44
     },
     {
      "FieldName": "NMPRODUTO",
      "ReadOnly": true,
      "Width": 170
     },
     {
      "FieldName": "NRINSJURFORN",
      "Width": 120,
      "ButtonStyle": "cbsEllipsis"
     },
     {
      "FieldName": "NMFANTFORN",
      "ReadOnly": true
     },
     {
      "FieldName": "IDTIPOPAGAFORN",
      "Width": 99,
      "PickList": [
       "EM FOLHA",
       "GERAR CONTA"
      ]
     },
     {
      "FieldName": "VRPAGOFORNORC",
      "Title": {
       "Alignment": "taRightJustify"
      }
     },
     {
      "FieldName": "QTHORAS",
      "ReadOnly": true,
      "Width": 50
     },
     {
      "FieldName": "HRINITUMOBRA",
      "Width": 55,
      "ButtonStyle": "cbsEllipsis"
     }
    ]
   },
   "events": {
    "OnColEnter": "dbgPadraoColEnter",
    "OnColExit": "dbgPadraoColExit",
    "OnDrawColumnCell": "dbgPadraoDrawColumnCell",
    "OnEditButtonClick": "dbgPadraoEditButtonClick",
    "OnEnter": "dbgPadraoEnter",
    "OnExit": "dbgPadraoExit",
    "OnKeyPress": "dbgPadraoKeyPress"
   }
  },
  {
   "name": "mnuListagem",
   "inherited": true,
   "properties": {
    "Enabled": false
   }
  },
  {
   "name": "mnuConfigImpressora",
   "inherited": true,
   "properties": {
    "Enabled": false
   }
  },
  {
   "name": "mnuManutencao",
   "inherited": true,
   "children": [
    {
     "class": "TMenuItem",
     "name": "N1",
     "properties": {
      "Caption": "-"
     }
    },
    {
     "class": "TMenuItem",
     "name": "mnuLimpaForn",
     "properties": {
      "Caption": "Limpar Profissionais",
      "ShortCut": "Ctrl+L",
      "Enabled": false
     },
     "events": {
      "OnClick": "sbtLimpaFornClick"
     }
    },
    {
     "class": "TMenuItem",
     "name": "mnuGeraConta",
     "properties": {
      "Caption": "Gerar Conta a Pagar",
      "ShortCut": "Ctrl+P",
      "Enabled": false
     },
     "events": {
      "OnClick": "sbtGeraContaClick"
     }
    },
    {
     "class": "TMenuItem",
     "name": "mnuCancelaConta",
     "properties": {
      "Caption": "Cancelar Conta a Pagar",
      "ShortCut": "Ctrl+A",
      "Enabled": false
     },
     "events": {
      "OnClick": "sbtCancelaContaClick"
     }
    }
   ]
  },
  {
   "name": "dtsPadrao",
   "inherited": true,
   "properties": {
    "DataSet": "cdsForneMao"
   },
   "events": {
    "OnStateChange": "dtsPadraoStateChange"
   }
  },
  {
   "name": "msgPadrao",
   "inherited": true,
   "properties": {
    "Items": [
     "Excl|Confirma exclusão?",
     "ORCA_N_INFO|Orçamento deve ser informado.",
     "ORCA_N_CAD|Orçamento não cadastrado.",
     "FORN|Profissional",
     "ORCA|Orçamento",
     "FORN_N_INF|Profissional deve ser informado.",
     "FORN_N_CAD|Profissional não cadastrado para mão de obra informada.",
     "N_FORN|Não há profissional cadastrado para a mão de obra.",
     "FORN_JA_CAD|Profissional já cadastrado para o orçamento.",
     "SUCESSO|Conta gerada com sucesso.",
     "CONTA_JA_CAD|Já existe conta a pagar de profissionais para o orçamento.",
     "FORN_EMPTY|Existe mão de obra sem profissional cadastrado. Conta não pode ser gerada.",
     "EXISTE_CONTA|Já existe conta a pagar de profissionais para o orçamento. Operação Bloqueada.",
     "N_PARAM_TIPOOPERPAG|Tipo de operação de entrada não parametrizado.",
     "N_PARAM_TPCTPAG|Tipo de conta a pagar não parametrizado para o tipo de operação %s.",
     "N_PARAM_SERIEENTR|Série de entrada não parametrizada.",
     "TURMA|Turma",
     "HRTURMA_N_CAD|Hora da turma não cadastrada.",
     "LIMPA_FORN|Todos os profissionais do orçamento serão apagados. Confirma operação?",
     "CANC_SUCESSO|Cancelamento realizado com sucesso.",
     "DEL_FORN|Profissional, Pagamento, Valor Pago e a Hora Turma serão apagados. Confirma Operação?",
     "PROF|Profissional",
     "SEQ_N_INF|Sequencial deve ser informado.",
     "SEQ_N_CAD|Sequencial não cadastrado.",
     "PROF_CAD|O profissional já está alocado para a mão de obra informada.",
     "VRZERO_GERCNT_BLOQ|Não é possível gerar conta a pagar para mão de obra com valor zero. Operação bloqueada.",
     "TPFORM_GERCNT_BLOQ|Tipo de pagamento de um ou mais profissionais não está parametrizado como 'gerar conta a pagar'. Operação bloqueada.",
     "N_PARAM_CONTABAIXADA|Não foi possível realizar o cancelamento, pois a conta a pagar encontra-se baixada. Operação bloqueada.",
     "N_PARAM_TPCTPAGFORN|A conta não pode ser gerada, pois existem profissionais que não possuem tipo de conta a pagar parametrizado. Operação bloqueada.",
     "N_PARAM_S_FORMA_PAGTO|A conta não pode ser gerada, pois não há fornecedor parametrizado como 'gerar conta a pagar'. Operação bloqueada.",
     "CONTA_PAGAR|GERAR CONTA",
     "FOLHA_PAGA|EM FOLHA",
     "pgto_Inf|Pagamento deve ser informado.",
     "N_PARAM_EMPRESARELAC|Empresa ou sua Inscrição Estadual  não esta relacionada a filial. ",
     "N_PARAM_NRINSCESTA|Não há Inscrição Estadual cadastrada para a Empresa informada.",
     "N_PARAM_CDEMPRESAORCA|Não foi gravado o código da empresa informada na tela do Contratante.",
     "N_PARAM_EMITIDO|Cancelamento não pode ser realizado, pois existe(m) boleto(s) emitido(s).",
     "N_PARAM_DESCONTADO|Cancelamento não pode ser realizado, pois existe(m) boleto(s) descontado(s)."
    ]
   }
  },
  {
   "class": "TNetConnection",
   "name": "netAloc",
   "properties": {
    "ServerName": "EVT04700.rdmAloc"
   },
   "events": {
    "BeforeConnect": "netAlocBeforeConnect"
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsForneMao",
   "properties": {
    "FieldDefs": [
     {
      "name": "VRCOBRMOBRA",
      "type": "float",
      "visible": false
     },
     {
      "name": "NRFORNE",
      "type": "float",
      "label": "Nr.",
      "visible": false
     },
     {
      "name": "CDPRODUTO",
      "type": "string",
      "size": 10,
      "visible": false
     },
     {
      "name": "NMPRODUTO",
      "type": "string",
      "size": 50,
      "label": "Descrição da Mão de Obra",
      "applied": false
     },
     {
      "name": "NRINSJURFORN",
      "type": "string",
      "size": 20,
      "label": "Profissional",
      "applied": false
     },
     {
      "name": "NMRAZSOCFORN",
      "type": "string",
      "size": 40,
      "label": "Nome do Profissional"
     },
     {
      "name": "NMFANTFORN",
      "type": "string",
      "size": 40,
      "label": "Nome do Profissional",
      "visible": false,
      "applied": false
     },
     {
      "name": "QTPRODMOBRA",
      "type": "float",
      "visible": false,
      "applied": false
     },
     {
      "name": "IDTPIJURFORN",
      "type": "string",
      "size": 1,
      "visible": false,
      "applied": false
     },
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21,
      "visible": false,
      "applied": false
     },
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRTURNO",
      "type": "string",
      "size": 2,
      "visible": false,
      "applied": false
     },
     {
      "name": "NMFORNMOBRA",
      "type": "string",
      "size": 50,
      "visible": false,
      "applied": false
     },
     {
      "name": "HRINITUMOBRA",
      "type": "string",
      "size": 5,
      "label": "Hr. Turma",
      "displayWidth": 5,
      "visible": false
     },
     {
      "name": "QTHREVENTO",
      "type": "float",
      "visible": false
     },
     {
      "name": "QTHORAS",
      "type": "string",
      "size": 8,
      "label": "Qt. Horas",
      "visible": false,
      "calculated": true
     },
     {
      "name": "IDCONTAGERADA",
      "type": "string",
      "size": 1,
      "visible": false
     },
     {
      "name": "VRPAGOFORNORC",
      "type": "float",
      "label": "Vr. Pago"
     },
     {
      "name": "IDTIPOPAGAFORN",
      "type": "string",
      "size": 10,
      "label": "Pagamento",
      "displayWidth": 17
     }
    ],
    "IndexFieldNames": "NMPRODUTO;NRFORNE",
    "BeforeInsert": "cdsForneMaoBeforeInsert",
    "BeforeEdit": "cdsForneMaoBeforeEdit",
    "BeforePost": "cdsForneMaoBeforePost",
    "AfterPost": "cdsForneMaoAfterPost",
    "OnCalcFields": "cdsForneMaoCalcFields"
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsFornMaoAux",
   "properties": {
    "FieldDefs": [
     {
      "name": "VRPAGOFORNORC",
      "type": "float"
     },
     {
      "name": "VRCOBRMOBRA",
      "type": "float",
      "visible": false
     },
     {
      "name": "NRFORNE",
      "type": "float",
      "label": "Nr."
     },
     {
      "name": "CDPRODUTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NMPRODUTO",
      "type": "string",
      "size": 50,
      "label": "Descrição da Mão de Obra",
      "applied": false
     },
     {
      "name": "NRINSJURFORN",
      "type": "string",
      "size": 20,
      "label": "Fornecedor",
      "applied": false
     },
     {
      "name": "NMRAZSOCFORN",
      "type": "string",
      "size": 40,
      "label": "Razão Social"
     },
     {
      "name": "NMFANTFORN",
      "type": "string",
      "size": 40,
      "label": "Nome do Fornecedor",
      "visible": false,
      "applied": false
     },
     {
      "name": "QTPRODMOBRA",
      "type": "float",
      "visible": false,
      "applied": false
     },
     {
      "name": "IDTPIJURFORN",
      "type": "string",
      "size": 1,
      "visible": false,
      "applied": false
     },
     {
      "name": "IDCONTAGERADA",
      "type": "string",
      "size": 1
     },
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21,
      "visible": false,
      "applied": false
     },
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRTURNO",
      "type": "string",
      "size": 2,
      "visible": false,
      "applied": false
     },
     {
      "name": "NMFORNMOBRA",
      "type": "string",
      "size": 50,
      "visible": false,
      "applied": false
     },
     {
      "name": "HRINITUMOBRA",
      "type": "string",
      "size": 4,
      "label": "Hr. Turma"
     },
     {
      "name": "QTHREVENTO",
      "type": "float",
      "visible": false
     },
     {
      "name": "QTHORAS",
      "type": "string",
      "size": 8,
      "label": "Qt. Horas",
      "calculated": true
     },
     {
      "name": "IDTIPOPAGAFORN",
      "type": "string",
      "size": 10
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsForneAux",
   "properties": {
    "FieldDefs": [
     {
      "name": "NRFORNE",
      "type": "float",
      "label": "Nr."
     },
     {
      "name": "CDPRODUTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NMPRODUTO",
      "type": "string",
      "size": 50
     },
     {
      "name": "NRINSJURFORN",
      "type": "string",
      "size": 20
     },
     {
      "name": "NMFANTFORN",
      "type": "string",
      "size": 40
     },
     {
      "name": "QTPRODMOBRA",
      "type": "float"
     },
     {
      "name": "IDTPIJURFORN",
      "type": "string",
      "size": 1
     },
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21
     },
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2
     },
     {
      "name": "NRTURNO",
      "type": "string",
      "size": 2
     },
     {
      "name": "NMFORNMOBRA",
      "type": "string",
      "size": 50
     },
     {
      "name": "NMRAZSOCFORN",
      "type": "string",
      "size": 50
     },
     {
      "name": "HRINITUMOBRA",
      "type": "string",
      "size": 4
     },
     {
      "name": "QTHREVENTO",
      "type": "float"
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsOrcaEvento",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2
     },
     {
      "name": "DTEVENTO",
      "type": "datetime"
     },
     {
      "name": "NMFANTCLIE",
      "type": "string",
      "size": 50
     },
     {
      "name": "NMTIPOEVENTO",
      "type": "string",
      "size": 30
     },
     {
      "name": "NMTPSERVEVEN",
      "type": "string",
      "size": 30
     },
     {
      "name": "QTCONVORCEVE",
      "type": "float"
     },
     {
      "name": "QTADULORCEVE",
      "type": "float"
     },
     {
      "name": "QTCRIAORCEVE",
      "type": "float"
     },
     {
      "name": "QTHREVENTO",
      "type": "float"
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsItMaoObra",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDPRODUTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "QTPRODMOBRA",
      "type": "float"
     },
     {
      "name": "NMPRODUTO",
      "type": "string",
      "size": 50
     },
     {
      "name": "NRTURNO",
      "type": "string",
      "size": 2
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsNfRelacOrc",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21
     },
     {
      "name": "CDFILIALNF",
      "type": "string",
      "size": 4
     },
     {
      "name": "NRLANCTONF",
      "type": "string",
      "size": 10
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsAuxFornConta",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFILIALNF",
      "type": "string",
      "size": 4
     },
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21,
      "visible": false,
      "applied": false
     },
     {
      "name": "NRLANCTONF",
      "type": "string",
      "size": 10
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsPesqOrca",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4,
      "label": "Filial",
      "displayWidth": 10
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10,
      "label": "Nr. Orçamento",
      "displayWidth": 12
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2,
      "visible": false
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsVdOrcaEven",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsSequencial",
   "properties": {
    "FieldDefs": [
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsProdForn",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21,
      "visible": false
     },
     {
      "name": "NRINSJURFORN",
      "type": "string",
      "size": 20,
      "label": "Código"
     },
     {
      "name": "IDTPIJURFORN",
      "type": "string",
      "size": 1,
      "visible": false
     },
     {
      "name": "NMRAZSOCFORN",
      "type": "string",
      "size": 40,
      "label": "Razão Social",
      "visible": false
     },
     {
      "name": "NMFANTFORN",
      "type": "string",
      "size": 50,
      "label": "Nome do Profissional"
     },
     {
      "name": "IDTIPOPAGAPROF",
      "type": "string",
      "size": 10,
      "visible": false
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsVdForn",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21
     },
     {
      "name": "NRINSJURFORN",
      "type": "string",
      "size": 20
     },
     {
      "name": "IDTPIJURFORN",
      "type": "string",
      "size": 1
     },
     {
      "name": "NMFANTFORN",
      "type": "string",
      "size": 50
     },
     {
      "name": "NMRAZSOCFORN",
      "type": "string",
      "size": 40
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsVdProf",
   "properties": {
    "FieldDefs": [
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "CDPRODUTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "CDFORNECED",
      "type": "string",
      "size": 21
     },
     {
      "name": "HRINITUMOBRA",
      "type": "string",
      "size": 4
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2,
      "fixedLength": true
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsVrPagMObra",
   "properties": {
    "FieldDefs": [
     {
      "name": "CDFILIAL",
      "type": "string",
      "size": 4
     },
     {
      "name": "NRORCAEVENTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NRSEQORCAEVE",
      "type": "string",
      "size": 2,
      "fixedLength": true
     },
     {
      "name": "NRTURNO",
      "type": "string",
      "size": 2
     },
     {
      "name": "CDPRODUTO",
      "type": "string",
      "size": 10
     },
     {
      "name": "NMPRODUTO",
      "type": "string",
      "size": 50
     },
     {
      "name": "DSTURNO",
      "type": "string",
      "size": 20
     },
     {
      "name": "CDARVPROD",
      "type": "string",
      "size": 20
     },
     {
      "name": "VRCOBRMOBRA",
      "type": "float"
     },
     {
      "name": "VRPAGOMOBRA",
      "type": "float"
     },
     {
      "name": "HRINITUMOBRA",
      "type": "string",
      "size": 4,
      "editMask": "99:99;0"
     }
    ]
   }
  },
  {
   "class": "TClientDataSet",
   "name": "cdsTurma",
   "properties": {
    "FieldDefs": [
     {
      "name": "HRINITUMOBRA",
      "type": "string",
      "size": 4,
      "label": "Hr. Turma"
     }
    ]
   }
  },
  {
   "class": "TDataSource",
   "name": "dtsOrcaEvento",
   "properties": {
    "DataSet": "cdsOrcaEvento"
   }
  },
  {
   "class": "TDataSource",
   "name": "dtsPesqOrca",
   "properties": {
    "DataSet": "cdsPesqOrca"
   }
  },
  {
   "class": "TDataSource",
   "name": "dtsProdForn",
   "properties": {
    "DataSet": "cdsProdForn"
   }
  },
  {
   "class": "TDataSource",
   "name": "dtsTurma",
   "properties": {
    "DataSet": "cdsTurma"
   }
  },
  {
   "class": "TDataSource",
   "name": "dtsVrPagMObra",
   "properties": {
    "DataSet": "cdsVrPagMObra"
   }
  }
 ]
})json";
