// The alignment rule on a panel of 200 x 100: the edges are taken in the order top,
// bottom, left, right, each from what the ones before left; client fills the rest.
#include "platform/runtime/ui/align.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct TAligned {
  const char* name;
  rt::TAlign align;
  int width, height;  // the size set before aligning
};

std::string Bounds(const rt::TControl& c) {
  return std::to_string(c.Left()) + "," + std::to_string(c.Top()) + " " + std::to_string(c.Width()) + "x" +
         std::to_string(c.Height());
}

TEST(AlignTest, EdgesInTheFrameworksOrderThenClient) {
  rt::TPanel owner(nullptr);
  auto* panel = new rt::TPanel(&owner);
  panel->SetBounds(0, 0, 200, 100);
  // Created in an order other than the rule's, so the order of the passes shows.
  const std::vector<TAligned> children = {{"client", rt::alClient, 5, 5}, {"right", rt::alRight, 30, 5},
                                          {"left", rt::alLeft, 20, 5},    {"bottom", rt::alBottom, 5, 10},
                                          {"top", rt::alTop, 5, 15},      {"free", rt::alNone, 7, 8}};
  std::vector<rt::TPanel*> made;
  for (const auto& child : children) {
    auto* c = new rt::TPanel(&owner);
    c->SetName(child.name);
    c->SetParent(panel);
    c->SetBounds(3, 4, child.width, child.height);
    c->SetAlign(child.align);
    made.push_back(c);
  }
  rt::AlignControls(*panel, rt::Rect(0, 0, 200, 100));
  const std::vector<std::pair<const char*, std::string>> expected = {
      {"client", "20,15 150x75"}, {"right", "170,15 30x75"}, {"left", "0,15 20x75"},
      {"bottom", "0,90 200x10"},  {"top", "0,0 200x15"},     {"free", "3,4 7x8"}};
  for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(Bounds(*made[i]), expected[i].second) << expected[i].first;
}

TEST(AlignTest, HiddenControlsTakeNoRoomAndTheClientAreaMayBeOffset) {
  rt::TPanel owner(nullptr);
  auto* pages = new rt::TPanel(&owner);
  pages->SetBounds(0, 0, 100, 80);
  auto* hidden = new rt::TPanel(&owner);
  hidden->SetParent(pages);
  hidden->SetBounds(1, 2, 3, 40);
  hidden->SetAlign(rt::alTop);
  hidden->SetVisible(false);
  auto* client = new rt::TPanel(&owner);
  client->SetParent(pages);
  client->SetAlign(rt::alClient);
  // A page control's client area starts below its tabs.
  rt::AlignControls(*pages, rt::Rect(0, 22, 100, 80));
  EXPECT_EQ(Bounds(*hidden), "1,2 3x40");
  EXPECT_EQ(Bounds(*client), "0,22 100x58");
}

TEST(AlignTest, ClientNeverGetsANegativeSize) {
  rt::TPanel owner(nullptr);
  auto* panel = new rt::TPanel(&owner);
  panel->SetBounds(0, 0, 50, 20);
  auto* top = new rt::TPanel(&owner);
  top->SetParent(panel);
  top->SetBounds(0, 0, 50, 30);  // taller than the panel
  top->SetAlign(rt::alTop);
  auto* client = new rt::TPanel(&owner);
  client->SetParent(panel);
  client->SetAlign(rt::alClient);
  rt::AlignControls(*panel, rt::Rect(0, 0, 50, 20));
  EXPECT_EQ(Bounds(*client), "0,30 50x0");
}

}  // namespace
