// Pagination of the painted report, read back from its PDF with pdftotext: captions and
// column titles are never left at the foot of a page, away from what they introduce,
// whatever the number of lines before them.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QString>

#include "desktop/qt_test_support.h"
#include "desktop/report_view.h"
#include "server/rpc/server_process_for_tests.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

std::string PageText(const std::string& pdf, int page) {
  const std::string command =
      "pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf + "' - 2>/dev/null";
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

std::string LastLine(const std::string& text) {
  std::istringstream lines(text);
  std::string last;
  for (std::string line; std::getline(lines, line);) {
    if (line.find_first_not_of(" \f\r") != std::string::npos) last = line;
  }
  return last;
}

clib::TReportLine Line(clib::TReportLineKind kind, int level, std::string text, std::vector<std::string> cells = {}) {
  return {kind, level, std::move(text), std::move(cells)};
}

// `filler` detail lines, then two sequences with an item each (captions, titles, rows).
clib::TReportDocument Document(int filler) {
  clib::TReportDocument doc;
  doc.title = "Alocação de Mão de Obra";
  doc.header = {"Orçamento: 0000000025"};
  doc.columns = {{"Profissional", "A", "", "", {}, 30, false}, {"Valor", "B", "", "", {}, 10, true}};
  using K = clib::TReportLineKind;
  doc.lines.push_back(Line(K::Group, 0, "SEQUENCIA-CAPTION 00"));
  doc.lines.push_back(Line(K::ColumnTitles, 1, "", {"Profissional", "Valor"}));
  for (int i = 0; i < filler; ++i) doc.lines.push_back(Line(K::Detail, 1, "", {"Filler " + std::to_string(i), "1,00"}));
  for (const char* seq : {"01", "02"}) {
    doc.lines.push_back(Line(K::Group, 0, std::string("SEQUENCIA-CAPTION ") + seq));
    doc.lines.push_back(Line(K::Group, 1, std::string("ITEM-CAPTION ") + seq));
    doc.lines.push_back(Line(K::ColumnTitles, 1, "", {"Profissional", "Valor"}));
    for (int i = 0; i < 3; ++i) doc.lines.push_back(Line(K::Detail, 1, "", {"Row " + std::to_string(i), "2,00"}));
  }
  return doc;
}

TEST(ReportPages, CaptionsAndTitlesAreNeverLeftAtTheFootOfAPage) {
  srv::fakes::TempDir out;
  int pages_seen_with_break = 0;
  // Enough fillers to push the captions across the whole foot of the first page.
  for (int filler = 35; filler <= 70; ++filler) {
    SCOPED_TRACE("filler lines: " + std::to_string(filler));
    const std::string pdf = (out.path() / ("pages-" + std::to_string(filler) + ".pdf")).string();
    ASSERT_EQ(WriteReportPdf(Document(filler), QString::fromStdString(pdf)).toStdString(), "");
    for (int page = 1;; ++page) {
      const std::string text = PageText(pdf, page);
      if (text.find_first_not_of(" \f\r\n") == std::string::npos) break;
      const std::string next = PageText(pdf, page + 1);
      if (next.find_first_not_of(" \f\r\n") == std::string::npos) break;  // the last page ends as it may
      ++pages_seen_with_break;
      const std::string last = LastLine(text);
      EXPECT_EQ(last.find("CAPTION"), std::string::npos) << "page " << page << " ends with a caption: " << last;
      EXPECT_EQ(last.find("Profissional"), std::string::npos) << "page " << page << " ends with the titles";
    }
  }
  EXPECT_GT(pages_seen_with_break, 10) << "the documents did not reach a second page";
}

}  // namespace
}  // namespace desk
