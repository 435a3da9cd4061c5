// Test support of the desktop tests: one QApplication on Qt's offscreen platform (set
// here too, so that a test binary run by hand needs no display).
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QFont>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/ui/dbgrid.h"
#include "platform/runtime/ui/forms.h"

namespace desk::testing {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The tests read the Portuguese texts (module and host) whatever the machine's locale.
    ::setenv("ALLOC_UI_LANG", "pt_BR", 0);
    static int argc = 1;
    static char name[] = "alloc_desktop_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);  // text pixels keep their exact colour
    QApplication::setFont(font);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

// A form with one grid showing a dataset of text fields (name, size) filled with
// `rows`, the first row current: what the grid view tests paint and drive.
struct TGridForm {
  TGridForm(const std::vector<std::pair<std::string, int>>& fields, const std::vector<std::vector<std::string>>& rows)
      : form(std::make_unique<rt::TForm>(nullptr)), grid(new rt::TDBGrid(form.get())) {
    std::vector<rt::FieldDef> defs;
    for (const auto& [name, size] : fields) {
      rt::FieldDef def;
      def.name = name;
      def.type = rt::FieldType::String;
      def.size = size;
      defs.push_back(def);
    }
    dataset.SetFieldDefs(defs);
    dataset.CreateDataSet();
    for (const auto& row : rows) {
      dataset.Append();
      for (size_t i = 0; i < row.size(); ++i) dataset.FieldByName(fields[i].first).SetAsString(row[i]);
      dataset.Post();
    }
    dataset.First();
    source.SetDataSet(&dataset);
    grid->SetParent(form.get());
    grid->SetDataSource(&source);
  }
  rt::TClientDataSet dataset;
  rt::TDataSource source;
  std::unique_ptr<rt::TForm> form;
  rt::TDBGrid* grid;  // owned by the form
};

}  // namespace desk::testing
