// The layout resource "TFRMRELALOCMOBRA" of the allocation report form (format:
// docs/runtime.md): what it adds to the report-parameter screen's layout.
#include "module/contracts/resources.h"

const char* const kLayoutTFRMRELALOCMOBRA = R"json({
  "class": "TfrmRelAlocMObra", "name": "frmRelAlocMObra",
  "properties": {"Caption": "Relatório de Alocação de Mão de Obra", "ClientHeight": 124},
  "events": {"OnCreate": "FormCreate", "OnClose": "FormClose"},
  "children": [
    {"name": "lblCodTela", "inherited": true, "properties": {"Caption": "EVT04701"}},
    {"name": "lblCodRel", "inherited": true, "properties": {"Caption": "EVT047"}},
    {"name": "grbDadosRel", "inherited": true, "properties": {"Height": 97},
     "children": [
       {"class": "TGroupBox", "name": "grbSequencial",
        "properties": {"Left": 5, "Top": 44, "Width": 191, "Height": 48, "Caption": "Sequencial",
                       "Font": {"Bold": true}, "TabOrder": 1},
        "children": [
          {"class": "TLabel", "name": "lblDe", "properties": {"Left": 8, "Top": 20, "Caption": "De"}},
          {"class": "TEdit", "name": "edtSeqDe",
           "properties": {"Left": 36, "Top": 17, "Width": 42, "Height": 19, "MaxLength": 2, "Flat": true,
                          "TabOrder": 0}},
          {"class": "TLabel", "name": "lblAte", "properties": {"Left": 107, "Top": 20, "Caption": "Até"}},
          {"class": "TEdit", "name": "edtSeqAte",
           "properties": {"Left": 137, "Top": 17, "Width": 42, "Height": 19, "MaxLength": 2, "Flat": true,
                          "TabOrder": 1}}
        ]},
       {"class": "TGroupBox", "name": "GroupBox1",
        "properties": {"Left": 200, "Top": 44, "Width": 186, "Height": 48, "Caption": "", "TabOrder": 2},
        "children": [
          {"class": "TCheckBox", "name": "ckbMostrarCopia",
           "properties": {"Left": 8, "Top": 20, "Width": 171, "Height": 17, "Caption": "Mostrar Cópia Resultante",
                          "Font": {"Bold": true}, "Flat": true, "Checked": false},
           "events": {"OnClick": "ckbMostrarCopiaClick"}}
        ]}
     ]},
    {"name": "cbbReportNames", "inherited": true, "properties": {"Flat": true}},
    {"name": "rpddPadrao", "inherited": true, "properties": {"ReportCode": "EVT047"},
     "events": {"BeforeGetQueryParams": "rpddPadraoBeforeGetQueryParams"}}
  ]
})json";
