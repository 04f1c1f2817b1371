// Components: an owner, a name, owned components destroyed with their owner (the last created
// first), insert and remove notifications to the owner's components, the loading, designing
// and destroying states, and the loading-finished notification.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "forms/object.h"
#include "forms/set.h"
#include "platform/sysutils.h"

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
};
using TComponentState = TSet<TComponentStateFlag>;

// Bad component names, duplicate names.
class EComponentError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

class TComponent : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // The owner's components are told of the insertion from this constructor, while the new
  // component's own class is not built yet: a notification must not ask for its class.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  // An identifier (letters, digits, '_', not starting with a digit) or empty; unique among the
  // owner's components without regard to letter case. Raises EComponentError otherwise.
  virtual void SetName(const std::string& name);
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;  // place in the owner's list; -1 without owner
  // The owned component named `name` (letter case ignored); null when none or name empty.
  TComponent* FindComponent(std::string_view name) const;

  // Moves `component` into this one's list; both sides are told through Notification.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Destroys every owned component, the last created first.
  void DestroyComponents();

  TComponentState ComponentState() const { return FComponentState; }
  bool Loading() const { return FComponentState.Contains(csLoading); }
  bool Designing() const { return FComponentState.Contains(csDesigning); }
  bool Destroying() const { return FComponentState.Contains(csDestroying); }
  // Designing spreads to every owned component, as a designer sets it for a whole form.
  void SetDesigning(bool designing);
  // Used by the description reader: marks the component as being loaded (and read).
  void SetLoading(bool loading);

  // Asks `component` (usually of another owner) to tell this one, by Notification(opRemove),
  // when it is destroyed. Both sides forget each other when either goes.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // The loading-finished notification: the whole description has been read and references
  // are resolved. The base clears csLoading.
  virtual void Loaded();
  // A component was inserted into or removed from the owner (also this one itself), or a
  // component this one asked for a free notification is going. The base passes it on to
  // every owned component.
  virtual void Notification(TComponent* component, TOperation operation);
  // Where a nested object of a description goes (a control's parent, a menu item's menu).
  virtual void SetParentComponent(TComponent* parent);
  virtual TComponent* GetParentComponent() const { return nullptr; }

  // Marks this one and everything it owns as destroying, tells those that asked for a free
  // notification, destroys the owned components and leaves the owner, all while the object
  // is still whole. Free calls it; the destructor calls it when Free was not used.
  void BeforeDestruction() override;

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void MarkDestroying();
  void Teardown();

  TComponent* FOwner = nullptr;
  std::string FName;
  int FTag = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState;
  bool FDestroyed = false;  // BeforeDestruction has run
};

bool IsValidIdent(std::string_view name);
