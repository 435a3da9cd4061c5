#include "platform/clientlib/report_engine.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "platform/clientlib/net/client_texts.h"
#include "platform/clientlib/server_result.h"

namespace clib {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::toupper(x) == std::toupper(y);
         });
}

std::shared_ptr<IReportDataProvider>& Provider() {
  static std::shared_ptr<IReportDataProvider> provider;
  return provider;
}

[[noreturn]] void BadAnswer(const std::string& method, TClientText why) { ThrowBadAnswer(method, ClientText(why)); }

const rt::VariantArray& ArrayOf(const rt::Variant& v, const std::string& method, TClientText missing) {
  if (v.type() != rt::Variant::Type::Array) BadAnswer(method, missing);
  return v.AsArray();
}

const std::string& TextOf(const rt::Variant& v, const std::string& method, TClientText missing) {
  if (v.type() != rt::Variant::Type::String) BadAnswer(method, missing);
  return v.AsString();
}

}  // namespace

TReportParams::TReportParams(const std::vector<std::string>& names) {
  for (const auto& n : names)
    if (!FindParam(n)) items_.emplace_back(n);
}

TReportParam* TReportParams::FindParam(const std::string& name) {
  for (auto& p : items_)
    if (SameName(p.Name(), name)) return &p;
  return nullptr;
}

TReportParam& TReportParams::ParamByName(const std::string& name) {
  if (TReportParam* p = FindParam(name)) return *p;
  throw std::out_of_range("Parameter '" + name + "' not found");
}

bool ExistParam(TReportParams& params, const std::string& name) { return params.FindParam(name) != nullptr; }

void SetReportDataProvider(std::shared_ptr<IReportDataProvider> provider) { Provider() = std::move(provider); }
std::shared_ptr<IReportDataProvider> ReportDataProvider() { return Provider(); }

std::vector<TReportInfo> ListReports(IAppServer& server, const std::string& branch, const std::string& code) {
  const std::string method = "GetRelatorios";
  const rt::Variant answer = CheckResultServ(server.Call(method, {branch, code}), true, 0);
  std::vector<TReportInfo> reports;
  for (const rt::Variant& item : ArrayOf(answer, method, TClientText::kNoReportList)) {
    const rt::VariantArray& fields = ArrayOf(item, method, TClientText::kNoReport);
    if (fields.size() != 3) BadAnswer(method, TClientText::kIncompleteReport);
    TReportInfo info{TextOf(fields[0], method, TClientText::kNoReportName),
                     TextOf(fields[1], method, TClientText::kNoReportTitle),
                     {}};
    for (const rt::Variant& p : ArrayOf(fields[2], method, TClientText::kNoReportParameters))
      info.params.push_back(TextOf(p, method, TClientText::kNoReportParameter));
    reports.push_back(std::move(info));
  }
  return reports;
}

TReportRun FetchReport(IAppServer& server, const std::string& branch, const std::string& code, const std::string& name,
                       const TReportParams& params) {
  const std::string method = "GetDadosRelatorio";
  TReportRun run;
  run.report = name;
  rt::VariantArray values;
  for (int i = 0; i < params.Count(); ++i) {
    const TReportParam& p = params[i];
    run.params.emplace_back(p.Name(), p.IsNull() ? std::nullopt : std::optional(p.AsString()));
    values.emplace_back(rt::VariantArray{p.Name(), p.IsNull() ? rt::Variant() : rt::Variant(p.AsString())});
  }
  const rt::Variant answer = CheckResultServ(server.Call(method, {branch, code, name, std::move(values)}), true, 0);
  const rt::VariantArray& parts = ArrayOf(answer, method, TClientText::kNoReportResult);
  if (parts.size() != 3 || parts[2].type() != rt::Variant::Type::Packet) BadAnswer(method, TClientText::kNoReportRows);
  run.title = TextOf(parts[0], method, TClientText::kNoReportTitle);
  run.layout = TextOf(parts[1], method, TClientText::kNoReportLayout);
  run.rows = parts[2].AsPacket();
  return run;
}

}  // namespace clib
