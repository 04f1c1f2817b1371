// Menus: menu items in a main or pop-up menu. Kept in the model; not drawn.
#pragma once

#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/events.h"

class TBasicAction;
class TMenu;

class TMenuItem : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& caption) { FCaption = caption; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& hint) { FHint = hint; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool checked) { FChecked = checked; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled) { FEnabled = enabled; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible) { FVisible = visible; }
  TBasicAction* Action() const { return FAction; }
  void SetAction(TBasicAction* action);

  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int index) const;
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item);
  TMenuItem* Parent() const { return FParent; }

  virtual void Click();
  TNotifyEvent OnClick;

  void SetParentComponent(TComponent* parent) override;
  TComponent* GetParentComponent() const override;
  void Notification(TComponent* component, TOperation operation) override;
  void BeforeDestruction() override;

 private:
  friend class TMenu;
  void ActionChanged();

  std::string FCaption;
  std::string FHint;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  TBasicAction* FAction = nullptr;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParent = nullptr;
  TMenu* FMenu = nullptr;
};

class TMenu : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMenu(TComponent* owner);
  ~TMenu() override;

  // The invisible root whose sub-items are the menu's items.
  TMenuItem* Items() const { return FItems; }

 private:
  TMenuItem* FItems;
};

class TMainMenu : public TMenu {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMainMenu(TComponent* owner) : TMenu(owner) {}
};

class TPopupMenu : public TMenu {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TPopupMenu(TComponent* owner) : TMenu(owner) {}
};
