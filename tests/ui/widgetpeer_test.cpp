#include "ui/widgetpeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ui {
namespace {

// A peer whose widget is a list of the parts it was told to apply.
class ListPeer : public WidgetPeer {
 public:
  using WidgetPeer::WidgetPeer;
  void Repaint() override {}

  bool widget = true;
  std::vector<std::string> applied;

 protected:
  bool HasWidget() const override { return widget; }
  void ApplyBounds() override { applied.push_back("bounds"); }
  void ApplyText() override { applied.push_back("text"); }
  void ApplyColor() override { applied.push_back("color"); }
  void ApplyFont() override { applied.push_back("font"); }
  void ApplyEnabled() override { applied.push_back("enabled"); }
  void ApplyVisible() override { applied.push_back("visible"); }
  void ApplyKind(fw::TPeerChange what) override {
    applied.push_back("kind " + std::to_string(static_cast<int>(what)));
  }
};

std::string KindOf(fw::TPeerChange what) {
  return "kind " + std::to_string(static_cast<int>(what));
}

TEST(WidgetPeer, each_change_reaches_its_part_of_the_widget_only_while_there_is_one) {
  using C = fw::TPeerChange;
  const struct {
    C change;
    std::string part;
  } cases[] = {
      {C::Bounds, "bounds"},           {C::Text, "text"},
      {C::Color, "color"},             {C::Font, "font"},
      {C::Enabled, "enabled"},         {C::Visible, "visible"},
      {C::Progress, KindOf(C::Progress)}, {C::Items, KindOf(C::Items)},
      {C::ItemIndex, KindOf(C::ItemIndex)}, {C::Style, KindOf(C::Style)},
  };
  fw::TLabel label(nullptr);
  for (const auto& c : cases) {
    ListPeer peer(label);
    peer.Changed(c.change);
    EXPECT_EQ(peer.applied, std::vector<std::string>{c.part}) << c.part;
    peer.widget = false;
    peer.Changed(c.change);
    EXPECT_EQ(peer.applied.size(), 1u) << c.part << " reached a widget that is gone";
  }
}

TEST(WidgetPeer, a_new_widget_takes_the_kind_first_and_visibility_last) {
  fw::TLabel label(nullptr);
  ListPeer peer(label);
  peer.ApplyAll();
  using C = fw::TPeerChange;
  EXPECT_EQ(peer.applied,
            (std::vector<std::string>{KindOf(C::Style), KindOf(C::Items), KindOf(C::Progress),
                                      "bounds", "font", "color", "text", "enabled", "visible"}));
}

}  // namespace
}  // namespace ui
