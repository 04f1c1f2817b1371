#include "forms/menus.h"

#include <algorithm>

#include "forms/actions.h"
#include "forms/class_record.h"

const TClassRecord& TMenuItem::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TMenuItem, TComponent>("TMenuItem", [](TClassBuilder<TMenuItem>& c) {
        c.Component("Action", &TMenuItem::Action, &TMenuItem::SetAction);
        c.Str("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption);
        c.Bool("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).Default(0);
        c.Bool("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled).Default(1);
        c.Str("Hint", &TMenuItem::Hint, &TMenuItem::SetHint);
        c.Bool("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible).Default(1);
        c.Event("OnClick", &TMenuItem::OnClick);
      });
  return record;
}

TMenuItem::~TMenuItem() {
  if (FAction) FAction->UnRegisterClient(this);
  if (FParent) std::erase(FParent->FItems, this);
  for (TMenuItem* item : FItems) item->FParent = nullptr;
}

void TMenuItem::BeforeDestruction() {
  TComponent::BeforeDestruction();
  // Sub-items of other owners go with their item, as child controls go with their parent.
  while (!FItems.empty()) {
    TMenuItem* last = FItems.back();
    TObject::Free(last);
    if (!FItems.empty() && FItems.back() == last) FItems.pop_back();
  }
  SetAction(nullptr);
  if (FParent) FParent->Remove(this);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EComponentError("Menu index out of range (" + std::to_string(index) + ")");
  return FItems[static_cast<std::size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item) {
  if (!item || item == this || item->FParent == this) return;
  if (item->FParent) item->FParent->Remove(item);
  FItems.push_back(item);
  item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  if (!item || item->FParent != this) return;
  std::erase(FItems, item);
  item->FParent = nullptr;
}

void TMenuItem::SetAction(TBasicAction* action) {
  if (action == FAction) return;
  if (FAction) {
    FAction->UnRegisterClient(this);
    RemoveFreeNotification(FAction);
  }
  FAction = action;
  if (action) {
    action->RegisterClient(this, [this] { ActionChanged(); });
    FreeNotification(action);
    ActionChanged();
  }
}

void TMenuItem::ActionChanged() {
  auto* action = dynamic_cast<TCustomAction*>(FAction);
  if (!action) return;
  FCaption = action->Caption();
  FHint = action->Hint();
  FEnabled = action->Enabled();
  FChecked = action->Checked();
  FVisible = action->Visible();
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (OnClick.Assigned())
    OnClick(this);
  else if (FAction)
    FAction->Execute();
}

void TMenuItem::SetParentComponent(TComponent* parent) {
  if (auto* item = dynamic_cast<TMenuItem*>(parent))
    item->Add(this);
  else if (auto* menu = dynamic_cast<TMenu*>(parent))
    menu->Items()->Add(this);
}

TComponent* TMenuItem::GetParentComponent() const {
  if (FParent && FParent->FMenu) return FParent->FMenu;
  return FParent;
}

void TMenuItem::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == FAction) FAction = nullptr;
  TComponent::Notification(component, operation);
}

const TClassRecord& TMenu::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TMenu, TComponent>("TMenu", [](TClassBuilder<TMenu>&) {});
  return record;
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), FItems(new TMenuItem(this)) {
  FItems->FMenu = this;
}

TMenu::~TMenu() = default;

const TClassRecord& TMainMenu::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TMainMenu, TMenu>("TMainMenu", [](TClassBuilder<TMainMenu>&) {});
  return record;
}

const TClassRecord& TPopupMenu::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TPopupMenu, TMenu>("TPopupMenu", [](TClassBuilder<TPopupMenu>&) {});
  return record;
}
