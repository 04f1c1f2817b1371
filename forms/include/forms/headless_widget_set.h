// The headless widget set: draws nothing and answers message boxes by a policy that the
// caller sets (tests, the tool's batch mode).
#pragma once

#include <functional>
#include <set>
#include <vector>

#include "forms/widget_set.h"

// Receives every box as it opens; returns the answer (ID*), or 0 to leave the box open until
// THeadlessWidgetSet::Answer is called (the loop keeps dispatching meanwhile).
using TMessageBoxPolicy = std::function<int(const TMessageBoxRequest& request)>;

class THeadlessWidgetSet : public TWidgetSet {
 public:
  // Without a policy every box is answered with its default button.
  THeadlessWidgetSet() = default;
  explicit THeadlessWidgetSet(TMessageBoxPolicy policy) : FPolicy(std::move(policy)) {}
  ~THeadlessWidgetSet() override;

  std::string Name() const override { return "headless"; }
  void SetMessageBoxPolicy(TMessageBoxPolicy policy) { FPolicy = std::move(policy); }

  void ShowForm(TCustomForm* form) override;
  void HideForm(TCustomForm* form) override;
  void ReleaseControl(TControl* control) override;
  bool IsShown(const TCustomForm* form) const { return FShown.count(form) != 0; }

  std::unique_ptr<TModalBox> OpenMessageBox(const TMessageBoxRequest& request) override;
  int OpenBoxCount() const { return static_cast<int>(FOpen.size()); }
  // Answers the newest open box; false when none is open.
  bool Answer(int result);

  struct TBoxRecord {
    TMessageBoxRequest Request;
    int Result = 0;  // 0 while open
  };
  // Every box since the set was made (or the log cleared), oldest first.
  const std::vector<TBoxRecord>& Log() const { return FLog; }
  void ClearLog() { FLog.clear(); }

 private:
  class TBox;
  friend class TBox;

  TMessageBoxPolicy FPolicy;
  std::vector<TBox*> FOpen;
  std::vector<TBoxRecord> FLog;
  std::set<const TCustomForm*> FShown;
};
