// Every layout file of the tree (the .json beside each screen, listed by the build) is
// the resource the library carries, and the screens read each of them whole: every
// component a file names exists on a screen the package creates.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/clientlib/components.h"
#include "platform/clientlib/package_loader.h"
#include "platform/clientlib/session.h"
#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/layout.h"
#include "platform/runtime/ui/testing/scripted_services.h"

// See package_test.cpp: host and library share one runtime by design.
extern "C" const char* __asan_default_options() { return "detect_odr_violation=0"; }

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// "RESOURCE=file|RESOURCE=file..." from the build -> (resource, file) pairs.
std::vector<std::pair<std::string, std::string>> LayoutFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  std::string all = ALLOC_LAYOUTS;
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find('|', start);
    if (end == std::string::npos) end = all.size();
    std::string entry = all.substr(start, end - start);
    size_t eq = entry.find('=');
    files.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
    start = end + 1;
  }
  return files;
}

json ReadFile(const std::string& path) {
  std::ifstream in(path);
  return json::parse(in, nullptr, false);
}

void CollectNames(const json& entry, std::vector<std::string>& names) {
  if (entry.contains("name")) names.push_back(entry["name"].get<std::string>());
  if (entry.contains("children"))
    for (const json& child : entry["children"]) CollectNames(child, names);
}

// A server that answers the report form's list of reports (empty) and refuses the rest.
struct TQuietServer : clib::IAppServer {
  clib::ServerAnswer Call(const std::string& method, std::vector<clib::Arg>) override {
    if (method == "GetRelatorios") return {true, rt::VariantArray{}, "", 0};
    return {false, rt::Variant(), "no method " + method, -32601};
  }
};

class LayoutFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clib::Session().host = "127.0.0.1";
    clib::Session().port = 9;
    clib::TNetConnectionComponent::SetAppServerProvider(
        [](clib::TNetConnectionComponent&) { return std::make_shared<TQuietServer>(); });
    // The library alone in a folder, no language module beside it: its own texts serve.
    dir_ = fs::temp_directory_path() / ("layouts_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    fs::path built = PKG_EVT04700_PATH;
    fs::copy_file(built, dir_ / built.filename(), fs::copy_options::overwrite_existing);
    setenv("ALLOC_UI_LANG", "pt_BR", 1);
    package_ = clib::TPackage::Load((dir_ / built.filename()).string());
  }
  void TearDown() override {
    for (rt::TForm* f : std::vector<rt::TForm*>(rt::Screen().Forms())) f->Close();
    rt::Application().ProcessMessages();
    package_.reset();
    clib::TNetConnectionComponent::SetAppServerProvider(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  rt::testing::TScriptedServices services_;
  fs::path dir_;
  std::unique_ptr<clib::TPackage> package_;
};

TEST_F(LayoutFilesTest, EveryLayoutFileIsTheResourceTheLibraryReads) {
  const auto files = LayoutFiles();
  ASSERT_EQ(files.size(), 4u) << ALLOC_LAYOUTS;
  package_->Call("CriaAlocaMaoObra");
  package_->Call("CriaRelAlocMObra");
  for (const auto& [resource, path] : files) {
    SCOPED_TRACE(resource + " from " + path);
    json file = ReadFile(path);
    ASSERT_FALSE(file.is_discarded()) << "not valid JSON";
    EXPECT_EQ(rt::FindResource(resource), file);
    std::vector<std::string> names;
    for (const json& child : file["children"]) CollectNames(child, names);
    ASSERT_FALSE(names.empty());
    // Some screen the package created holds every component the file names.
    bool read_whole = false;
    for (rt::TForm* form : rt::Screen().Forms()) {
      bool all = true;
      for (const std::string& name : names) all = all && form->FindComponent(name) != nullptr;
      read_whole = read_whole || all;
    }
    EXPECT_TRUE(read_whole) << "no screen holds every component of the file";
  }
}

}  // namespace
