// Persistent objects and owner-based components.
//
// A TComponent is owned by another (or by nobody). The owner keeps its components in insertion
// order and destroys them with itself, the last inserted first. Every removal of an owned
// component (destroyed by its owner, freed directly, or taken out) is announced before the
// component goes away: the owner's Notification(component, opRemove) runs, and the owner passes
// it on to every component it still owns, so siblings can drop references to it while it is
// still whole. Free() is the way to destroy a component that has an owner.
#pragma once

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/object.h"

namespace fw {

class TPersistent : public TObject {
 public:
  // Copies another object's state. The base refuses with EConvertError ("Cannot assign ...");
  // classes that can copy override it.
  virtual void Assign(const TPersistent& source);
  virtual const char* ClassName() const { return "TPersistent"; }
};

enum TOperation { opInsert, opRemove };

using TComponentState = unsigned;
constexpr TComponentState csLoading = 0x1;
constexpr TComponentState csDesigning = 0x2;
constexpr TComponentState csDestroying = 0x4;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  const char* ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }
  TComponent* FindComponent(const std::string& name) const;

  bool Designing() const { return (state_ & csDesigning) != 0; }
  bool Loading() const { return (state_ & csLoading) != 0; }

  // Design mode for this component and everything it owns (an editing environment, or a test).
  void SetDesigning(bool value);
  // Enters the loading state; the form reader calls it before it sets stored properties.
  void BeginLoading() { state_ |= csLoading; }
  // After-streaming notification: the base ends the loading state.
  virtual void Loaded();
  // A component is being inserted into or removed from this component's owner family.
  virtual void Notification(TComponent* component, TOperation operation);

  // Takes a component out of this owner's list (announcing the removal) or adds one.
  void RemoveComponent(TComponent* component);
  void InsertComponent(TComponent* component);

  // Announces the removal while the object is whole, then deletes it. Null is allowed.
  static void Free(TComponent* component);
  // Destroys every owned component, the last inserted first. The base destructor does this
  // after the derived destructors have run; a class whose owned components may call back into
  // it while they go (a form and its handlers) calls it first in its own destructor.
  void DestroyComponents();

 protected:
  // Runs the announcement and marks the component as being destroyed; idempotent. A class
  // whose siblings may hold references to it calls this first in its destructor, so a plain
  // `delete` also announces the removal while the object is still whole.
  void BeforeDestruction();

 private:
  void AnnounceRemoval(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  TComponentState state_ = 0;
  bool announced_ = false;
};

}  // namespace fw
