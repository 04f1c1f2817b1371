// Forms: the windows of the program. A form class reads its stored description in its own
// constructor (LoadDescription / LoadDescriptionResource), which ends with OnCreate.
#pragma once

#include <string>
#include <string_view>

#include "forms/control.h"

enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter,
};
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

using TCloseEvent = TEvent<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = TEvent<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }

  // The frame around the client area follows the border style (no window manager draws it).
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int width);
  void SetClientHeight(int height);
  int FrameWidth() const;   // left + right border
  int FrameHeight() const;  // caption + top + bottom border

  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle style);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition position);

  void SetVisible(bool visible) override;
  // Reads the description into this form, then runs OnCreate (an exception from OnCreate goes
  // to the application's error box and the form still opens).
  void LoadDescription(std::string_view text, const std::string& source);
  void LoadDescriptionResource(const std::string& resourceName);

  // Asks OnCloseQuery, then OnClose; the main form's close ends the application, another
  // form is hidden (caHide) or freed (caFree) as OnClose says. A modal form only sets
  // ModalResult to mrCancel.
  void Close();
  bool CloseQuery();
  // Shows the form and runs the loop until ModalResult is set or the form is hidden.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult result);
  // Frees the form once the current message has been handled.
  void Release();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void HandleNotice(TControlNotice notice) override;
  void BeforeDestruction() override;

 protected:
  virtual void DoCreate();
  virtual void DoDestroy();

 private:
  TBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDesigned;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FDestroyHandled = false;
};

class TForm : public TCustomForm {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
};
