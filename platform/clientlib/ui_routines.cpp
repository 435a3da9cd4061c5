#include "platform/clientlib/ui_routines.h"

#include <vector>

#include "platform/runtime/client_dataset.h"
#include "platform/runtime/ui/services.h"

namespace clib {

bool Pesquisar(rt::TDataSource& source, const std::string& title, bool all_fields, bool locate) {
  std::size_t bar = title.find('|');
  std::string list_title = title.substr(0, bar);
  std::string empty_text = bar == std::string::npos ? "" : title.substr(bar + 1);

  rt::TClientDataSet* ds = source.DataSet();
  std::vector<rt::TField*> fields;
  std::vector<rt::TPickColumn> columns;
  std::vector<std::vector<std::string>> rows;
  if (ds && ds->Active()) {
    for (rt::TField* f : ds->Fields()) {
      if (!all_fields && !f->Visible()) continue;
      fields.push_back(f);
      columns.push_back({f->DisplayLabel(), f->DisplayWidth()});
    }
    // Read every row without telling the controls, then come back to where we were.
    int recno = ds->RecNo();
    ds->DisableControls();
    try {
      for (ds->First(); !ds->Eof(); ds->Next()) {
        std::vector<std::string> row;
        row.reserve(fields.size());
        for (rt::TField* f : fields) row.push_back(f->DisplayText());
        rows.push_back(std::move(row));
      }
      if (recno > 0) ds->SetRecNo(recno);
    } catch (...) {
      ds->EnableControls();
      throw;
    }
    ds->EnableControls();
  }

  std::optional<int> chosen = rt::Dialogs().PickList(list_title, empty_text, columns, rows);
  if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(rows.size())) return false;
  if (locate) ds->SetRecNo(*chosen + 1);
  return true;
}

namespace {
int& AviDepth() {
  static int depth = 0;
  return depth;
}
}  // namespace

void ActiveShowAvi(rt::TForm* /*form*/, int kind) {
  if (AviDepth()++ == 0) rt::BusyIndicator().Show(kind);
}

void DeactiveShowAvi() {
  if (AviDepth() == 0) return;
  if (--AviDepth() == 0) rt::BusyIndicator().Hide();
}

int ShowAviDepth() { return AviDepth(); }

}  // namespace clib
