#include "forms/application.h"

#include <algorithm>
#include <filesystem>

#include "forms/class_record.h"
#include "forms/form.h"
#include "forms/headless_widget_set.h"
#include "forms/message_box.h"
#include "platform/messages.h"

TApplication* TApplicationRef::Get() {
  static TApplication* application = new TApplication(nullptr);
  return application;
}

const TClassRecord& TApplication::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TApplication, TComponent>(
      "TApplication", [](TClassBuilder<TApplication>& c) {
        c.Str("Title", &TApplication::Title, &TApplication::SetTitle);
      });
  return record;
}

TApplication::TApplication(TComponent* owner)
    : TComponent(owner), FWidgetSet(std::make_unique<THeadlessWidgetSet>()) {
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) FTitle = exe.stem().string();
}

TApplication::~TApplication() = default;

TBitmap* TApplication::Icon() {
  if (!FIconRead) {
    FIconRead = true;
    try {
      if (FIcon.Empty()) FIcon.LoadFromResourceName("MAINICON");
    } catch (const EInvalidGraphic&) {
      // A program without an icon of its own: its windows get the desktop's default.
    }
  }
  return &FIcon;
}

void TApplication::Run() {
  FTerminated = false;
  if (FMainForm && !FMainForm->Visible()) FMainForm->Show();
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (...) {
      HandleCurrentException(this);
    }
  }
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  DestroyComponents();
}

void TApplication::Terminate() {
  PostQuitMessage(0);
}

void TApplication::HandleMessage() {
  MSG msg;
  BOOL result = GetMessageW(&msg, nullptr, 0, 0);
  if (result == 0) {
    FTerminated = true;
    return;
  }
  if (result < 0) return;
  if (FWidgetSet->TranslateDialogMessage(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the loop that runs the application.
      FTerminated = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (FWidgetSet->TranslateDialogMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TApplication::ModalLoop(const std::function<bool()>& done) {
  ++FModalLevel;
  struct TLevel {
    int& Level;
    ~TLevel() { --Level; }
  } level{FModalLevel};
  while (!done()) {
    MSG msg;
    BOOL result = GetMessageW(&msg, nullptr, 0, 0);
    if (result == 0) {
      // The quit message ends the modal loop and stays for the application's loop.
      FTerminated = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (result < 0) return;
    try {
      if (FWidgetSet->TranslateDialogMessage(msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } catch (...) {
      HandleCurrentException(this);
    }
  }
}

void TApplication::HandleException(TObject* sender, std::exception_ptr error) {
  if (!error) return;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    if (OnException.Assigned())
      OnException(sender, e);
    else
      ShowException(e);
  } catch (...) {
    platform::Exception unknown("Unknown exception");
    if (OnException.Assigned())
      OnException(sender, unknown);
    else
      ShowException(unknown);
  }
}

void TApplication::HandleCurrentException(TObject* sender) {
  HandleException(sender ? sender : this, std::current_exception());
}

void TApplication::ShowException(const std::exception& error) {
  std::string text = error.what();
  // The box ends the message with a full stop unless it ends with punctuation already.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  MessageBox(text, FTitle, MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  TMessageBoxRequest request;
  request.Text = text;
  request.Caption = caption;
  request.Flags = flags;
  request.Language = FBoxLanguage;
  if (FMainForm && FMainForm->Visible()) request.Owner = FMainForm;
  for (auto it = FForms.rbegin(); it != FForms.rend() && !request.Owner; ++it)
    if ((*it)->Visible()) request.Owner = *it;
  std::unique_ptr<TModalBox> box = FWidgetSet->OpenMessageBox(request);
  TModalBox* open = box.get();
  ModalLoop([open] { return open->Result != 0; });
  return box->Result;
}

TWidgetSet& TApplication::WidgetSet() const {
  return *FWidgetSet;
}

void TApplication::SetWidgetSet(std::unique_ptr<TWidgetSet> widgetSet) {
  if (!widgetSet) widgetSet = std::make_unique<THeadlessWidgetSet>();
  std::vector<TCustomForm*> shown;
  for (TCustomForm* form : FForms)
    if (form->Visible()) shown.push_back(form);
  for (TCustomForm* form : FForms) FWidgetSet->ReleaseControl(form);
  FWidgetSet = std::move(widgetSet);
  for (TCustomForm* form : shown) FWidgetSet->ShowForm(form);
}

void TApplication::AddForm(TCustomForm* form) {
  if (std::find(FForms.begin(), FForms.end(), form) == FForms.end()) FForms.push_back(form);
}

void TApplication::RemoveForm(TCustomForm* form) {
  std::erase(FForms, form);
  if (FMainForm == form) FMainForm = nullptr;
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == FMainForm) FMainForm = nullptr;
  TComponent::Notification(component, operation);
}

void ShowMessage(const std::string& text) {
  Application->MessageBox(text, Application->Title(), MB_OK);
}
