// Ownership, destruction order, notifications, names and states of components.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/class_record.h"
#include "forms/component.h"
#include "forms/events.h"

namespace {

// Records what it is told and when it goes, into a log shared by a test.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::string name, std::vector<std::string>* log)
      : TComponent(owner), FLog(log) {
    SetName(name);
  }
  ~TProbe() override { FLog->push_back("delete " + Name()); }
  void BeforeDestruction() override {
    FLog->push_back("free " + Name() + (Destroying() ? "" : " (whole)"));
    TComponent::BeforeDestruction();
  }
  void Notification(TComponent* component, TOperation operation) override {
    if (component != this && !component->Name().empty())
      FLog->push_back(Name() + (operation == opInsert ? " +" : " -") + component->Name());
    TComponent::Notification(component, operation);
  }
  void Loaded() override {
    FLog->push_back("loaded " + Name());
    TComponent::Loaded();
  }

 private:
  std::vector<std::string>* FLog;
};

TEST(ComponentOwnership, OwnedComponentsGoWithTheOwnerLastCreatedFirst) {
  std::vector<std::string> log;
  auto* owner = new TProbe(nullptr, "Owner", &log);
  new TProbe(owner, "A", &log);
  new TProbe(owner, "B", &log);
  new TProbe(owner, "C", &log);
  ASSERT_EQ(owner->ComponentCount(), 3);
  log.clear();
  TObject::Free(owner);
  // The owner's own clean-up runs first, then C, B, A; each one leaving tells the others.
  std::vector<std::string> expected = {
      "free Owner (whole)", "free C", "Owner -C", "B -C",   "A -C",     "delete C", "free B",
      "Owner -B",           "A -B",   "delete B", "free A", "Owner -A", "delete A", "delete Owner"};
  EXPECT_EQ(log, expected);
}

TEST(ComponentOwnership, PlainDeleteStillFreesOwnedComponents) {
  std::vector<std::string> log;
  auto* owner = new TComponent(nullptr);
  new TProbe(owner, "A", &log);
  new TProbe(owner, "B", &log);
  delete owner;
  EXPECT_EQ(log.back(), "delete A");
  EXPECT_NE(std::find(log.begin(), log.end(), "delete B"), log.end());
}

TEST(ComponentOwnership, FreeingOneTakesItOutOfItsOwner) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* a = new TProbe(&owner, "A", &log);
  auto* b = new TProbe(&owner, "B", &log);
  TObject::Free(a);
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(b->ComponentIndex(), 0);
  EXPECT_THROW(owner.Components(1), EComponentError);
}

TEST(ComponentNotification, InsertAndRemoveReachEveryOwnedComponent) {
  std::vector<std::string> log;
  TProbe owner(nullptr, "Owner", &log);
  auto* a = new TProbe(&owner, "A", &log);
  auto* b = new TProbe(nullptr, "B", &log);
  log.clear();
  owner.InsertComponent(b);
  EXPECT_EQ(b->Owner(), &owner);
  EXPECT_NE(std::find(log.begin(), log.end(), "Owner +B"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "A +B"), log.end());
  log.clear();
  owner.RemoveComponent(a);
  EXPECT_EQ(a->Owner(), nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), "B -A"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Owner -A"), log.end());
  TObject::Free(a);
}

TEST(ComponentNotification, FreeNotificationCrossesOwners) {
  std::vector<std::string> log;
  TComponent formA(nullptr);
  TComponent formB(nullptr);
  auto* watcher = new TProbe(&formA, "Watcher", &log);
  auto* watched = new TProbe(&formB, "Watched", &log);
  watcher->FreeNotification(watched);
  log.clear();
  TObject::Free(watched);
  EXPECT_NE(std::find(log.begin(), log.end(), "Watcher -Watched"), log.end());
  // The watcher going later must not touch the one already gone.
  TObject::Free(watcher);
}

TEST(ComponentNames, FoundWithoutRegardToLetterCase) {
  TComponent owner(nullptr);
  auto* c = new TComponent(&owner);
  c->SetName("btnFileDownload");
  EXPECT_EQ(owner.FindComponent("BTNFILEDOWNLOAD"), c);
  EXPECT_EQ(owner.FindComponent("btnfiledownload"), c);
  EXPECT_EQ(owner.FindComponent("btnFileDownload1"), nullptr);
  EXPECT_EQ(owner.FindComponent(""), nullptr);
}

TEST(ComponentNames, BadAndDuplicateNamesAreRefusedAndNothingChanges) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("Label1");
  EXPECT_THROW(b->SetName("LABEL1"), EComponentError);
  EXPECT_THROW(b->SetName("1Label"), EComponentError);
  EXPECT_THROW(b->SetName("Label 2"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  b->SetName("_Label2");
  EXPECT_EQ(b->Name(), "_Label2");
  a->SetName("label1");  // its own name in other letters
  EXPECT_EQ(a->Name(), "label1");
  auto* stray = new TComponent(nullptr);
  stray->SetName("_LABEL2");
  EXPECT_THROW(owner.InsertComponent(stray), EComponentError);
  EXPECT_EQ(stray->Owner(), nullptr);
  delete stray;
}

TEST(ComponentState, DesigningSpreadsAndDestroyingIsSetBeforeOwnedComponentsGo) {
  std::vector<std::string> log;
  auto* owner = new TComponent(nullptr);
  owner->SetDesigning(true);
  auto* child = new TComponent(owner);
  EXPECT_TRUE(child->Designing());
  bool childSawOwnerDestroying = false;
  struct TWatch : TComponent {
    TComponent* Owner_;
    bool* Saw;
    TWatch(TComponent* o, bool* saw) : TComponent(o), Owner_(o), Saw(saw) {}
    void BeforeDestruction() override {
      *Saw = Owner_->Destroying() && Destroying();
      TComponent::BeforeDestruction();
    }
  };
  new TWatch(owner, &childSawOwnerDestroying);
  TObject::Free(owner);
  EXPECT_TRUE(childSawOwnerDestroying);
}

TEST(ComponentState, LoadedEndsLoading) {
  std::vector<std::string> log;
  TProbe c(nullptr, "C", &log);
  c.SetLoading(true);
  EXPECT_TRUE(c.Loading());
  EXPECT_TRUE(c.ComponentState().Contains(csReading));
  c.Loaded();
  EXPECT_FALSE(c.Loading());
  EXPECT_FALSE(c.ComponentState().Contains(csReading));
  EXPECT_EQ(log.back(), "loaded C");
}

TEST(Events, UnassignedEventsDoNothingAndReturnDefaults) {
  TNotifyEvent plain;
  EXPECT_FALSE(plain.Assigned());
  plain(nullptr);  // nothing happens
  TEvent<int(int)> twice;
  EXPECT_EQ(twice(21), 0);
  twice = [](int v) { return v * 2; };
  EXPECT_EQ(twice(21), 42);
  twice.Clear();
  EXPECT_EQ(twice(21), 0);
}

TEST(Events, MethodsAreBoundToTheirObject) {
  struct TTarget {
    int Seen = 0;
    void Handle(TObject*, int& value) {
      Seen = value;
      value = 7;
    }
  } target;
  auto event = TEvent<void(TObject*, int&)>::Method(&target, &TTarget::Handle, "Handle");
  int value = 5;
  event(nullptr, value);
  EXPECT_EQ(target.Seen, 5);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(event.HandlerName(), "Handle");
}

TEST(Events, AHandlerMayReplaceItsOwnEvent) {
  TNotifyEvent event;
  int calls = 0;
  event = [&](TObject*) {
    ++calls;
    event = nullptr;  // the running handler is a copy and stays alive
  };
  event(nullptr);
  event(nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace
