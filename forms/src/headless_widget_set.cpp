#include "forms/headless_widget_set.h"

#include <algorithm>

#include "forms/form.h"
#include "forms/message_box.h"

class THeadlessWidgetSet::TBox : public TModalBox {
 public:
  TBox(THeadlessWidgetSet* set, std::size_t logIndex) : FSet(set), FLogIndex(logIndex) {}
  ~TBox() override {
    if (!FSet) return;  // the widget set went first
    std::erase(FSet->FOpen, this);
    if (FLogIndex < FSet->FLog.size()) FSet->FLog[FLogIndex].Result = Result;
  }
  std::size_t LogIndex() const { return FLogIndex; }
  void Orphan() { FSet = nullptr; }

 private:
  THeadlessWidgetSet* FSet;
  std::size_t FLogIndex;
};

THeadlessWidgetSet::~THeadlessWidgetSet() {
  for (TBox* box : FOpen) box->Orphan();
}

void THeadlessWidgetSet::ShowForm(TCustomForm* form) {
  FShown.insert(form);
}

void THeadlessWidgetSet::HideForm(TCustomForm* form) {
  FShown.erase(form);
}

void THeadlessWidgetSet::ReleaseControl(TControl* control) {
  FShown.erase(dynamic_cast<TCustomForm*>(control));
}

std::unique_ptr<TModalBox> THeadlessWidgetSet::OpenMessageBox(const TMessageBoxRequest& request) {
  FLog.push_back({request, 0});
  auto box = std::make_unique<TBox>(this, FLog.size() - 1);
  int answer = FPolicy ? FPolicy(request) : MessageBoxDefaultButton(request.Flags);
  if (answer != 0) {
    box->Result = answer;
    FLog.back().Result = answer;
  } else {
    FOpen.push_back(box.get());
  }
  return box;
}

bool THeadlessWidgetSet::Answer(int result) {
  if (FOpen.empty() || result == 0) return false;
  TBox* box = FOpen.back();
  FOpen.pop_back();
  box->Result = result;
  if (box->LogIndex() < FLog.size()) FLog[box->LogIndex()].Result = result;
  WakeMessageLoop();
  return true;
}
