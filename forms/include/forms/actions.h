// Actions: a caption, hint and state shared by the controls and menu items that use them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/events.h"

class TBasicAction : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  ~TBasicAction() override;

  // Runs OnExecute; false when it is not assigned.
  virtual bool Execute();
  TNotifyEvent OnExecute;

  // A client (control, menu item) is told of every change until it unregisters.
  void RegisterClient(TComponent* client, std::function<void()> changed);
  void UnRegisterClient(TComponent* client);

 protected:
  void Change();

 private:
  std::vector<std::pair<TComponent*, std::function<void()>>> FClients;
};

class TCustomAction : public TBasicAction {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCustomAction(TComponent* owner) : TBasicAction(owner) {}

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& caption);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& hint);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  bool Checked() const { return FChecked; }
  void SetChecked(bool checked);
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);

  void SetParentComponent(TComponent* parent) override;
  TComponent* GetParentComponent() const override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::string FCaption;
  std::string FHint;
  bool FEnabled = true;
  bool FChecked = false;
  bool FVisible = true;
  TComponent* FActionList = nullptr;
};

class TAction : public TCustomAction {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TAction(TComponent* owner) : TCustomAction(owner) {}
};

// Holds actions at design time; in a description they are nested in it.
class TActionList : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TActionList(TComponent* owner) : TComponent(owner) {}
};
