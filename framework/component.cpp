#include "framework/component.h"

#include <algorithm>

namespace fw {

void TPersistent::Assign(const TPersistent& source) {
  throw EConvertError(std::string("Cannot assign a ") + source.ClassName() + " to a " +
                      ClassName());
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  BeforeDestruction();
  DestroyComponents();
  if (owner_ != nullptr) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    owner_ = nullptr;
  }
}

void TComponent::BeforeDestruction() {
  if (announced_) return;
  announced_ = true;
  state_ |= csDestroying;
  // Also while the owner itself is going away: the siblings still forget this one.
  if (owner_ != nullptr) owner_->AnnounceRemoval(this);
}

void TComponent::DestroyComponents() {
  // Each one is announced to the remaining siblings before it is deleted.
  while (!components_.empty()) Free(components_.back());
}

void TComponent::Free(TComponent* component) {
  if (component == nullptr) return;
  component->BeforeDestruction();
  delete component;
}

void TComponent::AnnounceRemoval(TComponent* component) {
  auto& list = components_;
  list.erase(std::remove(list.begin(), list.end(), component), list.end());
  component->owner_ = nullptr;
  Notification(component, opRemove);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* c : components_) {
    if (c->name_ == name) return c;
  }
  return nullptr;
}

void TComponent::SetDesigning(bool value) {
  if (value) {
    state_ |= csDesigning;
  } else {
    state_ &= ~csDesigning;
  }
  for (TComponent* c : components_) c->SetDesigning(value);
}

void TComponent::Loaded() { state_ &= ~csLoading; }

void TComponent::Notification(TComponent* component, TOperation operation) {
  // Pass the notice on to everything this component owns (a copy: a receiver may free itself).
  std::vector<TComponent*> owned = components_;
  for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
    if (*it != component) (*it)->Notification(component, operation);
  }
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  AnnounceRemoval(component);
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, opInsert);
}

}  // namespace fw
