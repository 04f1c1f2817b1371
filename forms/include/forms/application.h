// The application object: title, main form, message loop, the standard error box for
// exceptions that escape event handlers, message boxes, and the widget set in use.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/events.h"
#include "forms/graphics.h"
#include "forms/widget_set.h"

class TCustomForm;

using TExceptionEvent = TEvent<void(TObject* Sender, const std::exception& E)>;

// Raised to end an operation without an error box.
class EAbort : public platform::Exception {
 public:
  EAbort() : platform::Exception("Operation aborted") {}
};

class TApplication : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApplication(TComponent* owner);
  ~TApplication() override;

  // The program's file name without its extension until set.
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& title) { FTitle = title; }
  TCustomForm* MainForm() const { return FMainForm; }
  // The program's icon, which its windows carry: the program's RCDATA resource "MAINICON"
  // when it has one (read on first use), else empty until set.
  TBitmap* Icon();
  void SetMainForm(TCustomForm* form) { FMainForm = form; }

  // Creates a form owned by the application; the first one becomes the main form.
  template <class T>
  T* CreateForm(T** reference = nullptr) {
    T* form = new T(this);
    if (reference) *reference = form;
    if (!FMainForm) FMainForm = form;
    return form;
  }

  // Shows the main form and handles messages until the application is terminated; then
  // destroys the forms (their OnDestroy runs) while the platform is still whole, as the
  // program is about to end.
  void Run();
  // Ends Run after the current message (the quit message).
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles every message that is waiting, then returns.
  void ProcessMessages();
  // Waits for one message and handles it.
  void HandleMessage();
  // Handles messages until `done` holds; a quit message ends it early (and stays posted for
  // the outer loop). Message boxes and modal forms run in it.
  void ModalLoop(const std::function<bool()>& done);
  int ModalLevel() const { return FModalLevel; }

  // The standard error box for an exception that escaped an event handler: OnException when
  // assigned, else ShowException. EAbort is silent. The program goes on.
  void HandleException(TObject* sender, std::exception_ptr error);
  void HandleCurrentException(TObject* sender = nullptr);
  void ShowException(const std::exception& error);
  TExceptionEvent OnException;

  // A modal box (MB_* flags, ID* result); posted messages, timers and socket notices keep
  // being handled while it is open. Text and caption are bytes of the system code page.
  int MessageBox(const std::string& text, const std::string& caption, UINT flags);
  // The language of the boxes' buttons (LANGID_* of message_box.h): a program whose windows
  // switch language sets it with them, so that a box does not answer in another language.
  WORD BoxLanguage() const { return FBoxLanguage; }
  void SetBoxLanguage(WORD language) { FBoxLanguage = language; }

  // The widget set in use; forms shown by the old one are shown again by the new one.
  TWidgetSet& WidgetSet() const;
  void SetWidgetSet(std::unique_ptr<TWidgetSet> widgetSet);

  // Every form that exists, in order of creation.
  const std::vector<TCustomForm*>& Forms() const { return FForms; }
  void AddForm(TCustomForm* form);
  void RemoveForm(TCustomForm* form);

  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::string FTitle;
  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  int FModalLevel = 0;
  WORD FBoxLanguage = 0;
  TBitmap FIcon;
  bool FIconRead = false;
  std::unique_ptr<TWidgetSet> FWidgetSet;
  std::vector<TCustomForm*> FForms;
};

// The one application object of the program: made on first use (so it can be used during
// start-up from any unit) and never destroyed, since at program end the platform it would
// need is already gone; Run destroys the forms before it returns.
struct TApplicationRef {
  TApplication* operator->() const { return Get(); }
  TApplication& operator*() const { return *Get(); }
  operator TApplication*() const { return Get(); }
  static TApplication* Get();
};
inline constexpr TApplicationRef Application{};

// A simple box: the text, the application's title as caption, an OK button.
void ShowMessage(const std::string& text);
