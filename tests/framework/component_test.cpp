#include "framework/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every removal notice it receives and the order of destruction.
class Probe : public fw::TComponent {
 public:
  Probe(fw::TComponent* owner, std::string name, std::vector<std::string>* log)
      : fw::TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~Probe() override {
    BeforeDestruction();
    log_->push_back("destroy " + Name());
  }
  void Notification(fw::TComponent* c, fw::TOperation op) override {
    fw::TComponent::Notification(c, op);
    if (op == fw::opRemove) {
      log_->push_back(Name() + " saw removal of " + c->Name());
      if (c == watched) watched = nullptr;
    }
  }
  void Loaded() override {
    fw::TComponent::Loaded();
    log_->push_back("loaded " + Name());
  }
  fw::TComponent* watched = nullptr;

 private:
  std::vector<std::string>* log_;
};

TEST(Component, owner_frees_last_inserted_first_and_siblings_hear_each_removal) {
  std::vector<std::string> log;
  auto* owner = new Probe(nullptr, "owner", &log);
  auto* a = new Probe(owner, "a", &log);
  auto* b = new Probe(owner, "b", &log);
  a->watched = b;
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->FindComponent("b"), b);
  owner->DestroyComponents();
  // b goes first; a (through the owner, which passes the notice on before it records it) and
  // the owner hear of it while b is still whole; then a goes.
  const std::vector<std::string> want = {"a saw removal of b", "owner saw removal of b",
                                         "destroy b", "owner saw removal of a", "destroy a"};
  EXPECT_EQ(log, want);
  delete owner;
  EXPECT_EQ(log.back(), "destroy owner");
}

TEST(Component, freeing_one_component_lets_a_sibling_drop_its_reference) {
  std::vector<std::string> log;
  Probe owner(nullptr, "owner", &log);
  auto* port = new Probe(&owner, "port", &log);
  auto* indicator = new Probe(&owner, "indicator", &log);
  indicator->watched = port;
  fw::TComponent::Free(port);
  EXPECT_EQ(indicator->watched, nullptr);
  EXPECT_EQ(owner.ComponentCount(), 1);
  // A plain delete announces too, because the class calls BeforeDestruction first.
  auto* other = new Probe(&owner, "other", &log);
  indicator->watched = other;
  delete other;
  EXPECT_EQ(indicator->watched, nullptr);
}

TEST(Component, state_flags_and_loaded) {
  std::vector<std::string> log;
  Probe owner(nullptr, "owner", &log);
  Probe* child = new Probe(&owner, "child", &log);
  owner.SetDesigning(true);
  EXPECT_TRUE(child->Designing());
  child->BeginLoading();
  EXPECT_TRUE(child->Loading());
  child->Loaded();
  EXPECT_FALSE(child->Loading());
  EXPECT_EQ(log.back(), "loaded child");
}

TEST(Persistent, assign_between_unrelated_classes_is_a_conversion_error) {
  fw::TPersistent a;
  fw::TPersistent b;
  EXPECT_THROW(a.Assign(b), fw::EConvertError);
}

}  // namespace
