#include "forms/widget_set.h"

#include "forms/application.h"
#include "forms/control.h"
#include "forms/message_box.h"
#include "platform/messages.h"

void TWidgetSet::ShowForm(TCustomForm*) {}
void TWidgetSet::HideForm(TCustomForm*) {}
void TWidgetSet::ControlChanged(TControl*, TWidgetChange) {}
void TWidgetSet::ReleaseControl(TControl*) {}
bool TWidgetSet::ReadText(TControl*, std::string&) {
  return false;
}
bool TWidgetSet::ReadChecked(TControl*, bool&) {
  return false;
}
bool TWidgetSet::ReadItemIndex(TControl*, int&) {
  return false;
}
std::unique_ptr<TModalBox> TWidgetSet::OpenMessageBox(const TMessageBoxRequest& request) {
  auto box = std::make_unique<TModalBox>();
  box->Result = MessageBoxDefaultButton(request.Flags);
  return box;
}
bool TWidgetSet::ExecuteFileDialog(TOpenDialog*, bool) {
  return false;
}
bool TWidgetSet::Probe(TControl*, TWidgetProbe&) {
  return false;
}
bool TWidgetSet::TranslateDialogMessage(MSG&) {
  return false;
}

TWidgetSet& WidgetSet() {
  return Application->WidgetSet();
}

namespace {

constexpr UINT kNoticeMessage = WM_APP + 0x0F01;

void NoticeProc(TMessage& message) {
  if (message.Msg != kNoticeMessage) return;
  TControl* control = TControl::FindBySerial(static_cast<std::uint32_t>(message.WParam));
  if (!control) return;  // gone meanwhile
  try {
    auto notice = static_cast<TControlNotice>(message.LParam);
    if (notice == cnRelease)
      TObject::Free(control);
    else
      control->HandleNotice(notice);
  } catch (...) {
    Application->HandleCurrentException(control);
  }
}

// The hidden window that receives notices; one for the user-interface thread.
HWND NoticeWindow() {
  static HWND window = AllocateHWnd(NoticeProc);
  return window;
}

}  // namespace

void PostControlNotice(TControl* control, TControlNotice notice) {
  if (!control) return;
  PostMessageA(NoticeWindow(), kNoticeMessage, control->Serial(), static_cast<LPARAM>(notice));
}

void WakeMessageLoop() {
  PostMessageA(NoticeWindow(), WM_NULL, 0, 0);
}
