// The reports of the module's report code, run by the allocation report form.
#pragma once

#include <vector>

#include "platform/clientlib/report_engine.h"

namespace pkg {

inline constexpr const char* kReportCode = "EVT047";

// "Alocação de Mão de Obra": the allocations of a budget over a range of sequences; the
// resulting copy (P_IDRESULTANTE "S") adds the sequences the budget's copies produced.
std::vector<clib::TReportDefinition> AllocationReports();

}  // namespace pkg
