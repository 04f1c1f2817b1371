#include "forms/actions.h"

#include <algorithm>

#include "forms/class_record.h"

const TClassRecord& TBasicAction::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TBasicAction, TComponent>(
      "TBasicAction",
      [](TClassBuilder<TBasicAction>& c) { c.Event("OnExecute", &TBasicAction::OnExecute); });
  return record;
}

TBasicAction::~TBasicAction() {
  // Clients forget the action through its free notification.
  FClients.clear();
}

bool TBasicAction::Execute() {
  if (!OnExecute.Assigned()) return false;
  OnExecute(this);
  return true;
}

void TBasicAction::RegisterClient(TComponent* client, std::function<void()> changed) {
  UnRegisterClient(client);
  FClients.emplace_back(client, std::move(changed));
}

void TBasicAction::UnRegisterClient(TComponent* client) {
  std::erase_if(FClients, [client](auto& entry) { return entry.first == client; });
}

void TBasicAction::Change() {
  auto clients = FClients;  // a client may unregister while told
  for (auto& [client, changed] : clients) changed();
}

const TClassRecord& TCustomAction::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TCustomAction, TBasicAction>(
      "TCustomAction", [](TClassBuilder<TCustomAction>& c) {
        c.Str("Caption", &TCustomAction::Caption, &TCustomAction::SetCaption);
        c.Bool("Checked", &TCustomAction::Checked, &TCustomAction::SetChecked).Default(0);
        c.Bool("Enabled", &TCustomAction::Enabled, &TCustomAction::SetEnabled).Default(1);
        c.Str("Hint", &TCustomAction::Hint, &TCustomAction::SetHint);
        c.Bool("Visible", &TCustomAction::Visible, &TCustomAction::SetVisible).Default(1);
      });
  return record;
}

void TCustomAction::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  Change();
}

void TCustomAction::SetHint(const std::string& hint) {
  if (hint == FHint) return;
  FHint = hint;
  Change();
}

void TCustomAction::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  Change();
}

void TCustomAction::SetChecked(bool checked) {
  if (checked == FChecked) return;
  FChecked = checked;
  Change();
}

void TCustomAction::SetVisible(bool visible) {
  if (visible == FVisible) return;
  FVisible = visible;
  Change();
}

void TCustomAction::SetParentComponent(TComponent* parent) {
  if (FActionList) RemoveFreeNotification(FActionList);
  FActionList = dynamic_cast<TActionList*>(parent);
  if (FActionList) FreeNotification(FActionList);
}

TComponent* TCustomAction::GetParentComponent() const {
  return FActionList;
}

void TCustomAction::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == FActionList) FActionList = nullptr;
  TBasicAction::Notification(component, operation);
}

const TClassRecord& TAction::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TAction, TCustomAction>("TAction", [](TClassBuilder<TAction>&) {});
  return record;
}

const TClassRecord& TActionList::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TActionList, TComponent>(
      "TActionList", [](TClassBuilder<TActionList>&) {});
  return record;
}
