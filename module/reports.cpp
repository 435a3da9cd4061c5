#include "module/reports.h"

namespace pkg {

std::vector<clib::TReportDefinition> AllocationReports() {
  return {{"Alocação de Mão de Obra", "Relatório de Alocação de Mão de Obra",
           "SELECT A.CDFILIAL, A.NRORCAEVENTO, A.NRSEQORCAEVE, A.CDPRODUTO, A.NRFORNE, A.CDFORNECED,"
           " A.NMFORNMOBRA, A.HRINITUMOBRA, A.VRPAGOFORNORC, A.IDTIPOPAGAFORN"
           " FROM ALOCAMOBRA A"
           " WHERE A.CDFILIAL = :P_CDFILIAL AND A.NRORCAEVENTO = :P_NRORCAEVENTO"
           " AND A.NRSEQORCAEVE BETWEEN :P_NRSEQDE AND :P_NRSEQATE"
           " AND (:P_IDRESULTANTE = 'S' OR A.IDRESULTANTE = 'N')"
           " ORDER BY A.NRSEQORCAEVE, A.CDPRODUTO, A.NRFORNE",
           {}}};
}

}  // namespace pkg
