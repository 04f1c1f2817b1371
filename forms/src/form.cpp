#include "forms/form.h"

#include "forms/application.h"
#include "forms/class_record.h"
#include "forms/description_reader.h"

const TClassRecord& TCustomForm::StaticClass() {
  static const TEnumInfo borderStyles{
      "TBorderStyle",
      {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}};
  static const TEnumInfo positions{
      "TPosition",
      {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
       "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"}};
  static const TEnumInfo icons{"TBorderIcon",
                               {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}};
  static const TClassRecord record = TClassRecord::Define<TCustomForm, TWinControl>(
      "TCustomForm", [](TClassBuilder<TCustomForm>& c) {
        // The outer size follows from the client size and the border style.
        c.Int("Width", &TCustomForm::Width, &TCustomForm::SetWidth).NotStored();
        c.Int("Height", &TCustomForm::Height, &TCustomForm::SetHeight).NotStored();
        c.Set("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons, icons)
            .Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize}.Bits());
        c.Enum("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle, borderStyles)
            .Default(bsSizeable);
        c.Str("Caption", &TCustomForm::GetText, &TCustomForm::SetText);
        c.Int("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight);
        c.Int("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth);
        c.Enum("Position", &TCustomForm::Position, &TCustomForm::SetPosition, positions)
            .Default(poDesigned);
        c.Bool("Visible", &TCustomForm::Visible, &TCustomForm::SetVisible).Default(0);
        c.Event("OnClose", &TCustomForm::OnClose);
        c.Event("OnCloseQuery", &TCustomForm::OnCloseQuery);
        c.Event("OnCreate", &TCustomForm::OnCreate);
        c.Event("OnDestroy", &TCustomForm::OnDestroy);
        c.Event("OnHide", &TCustomForm::OnHide);
        c.Event("OnShow", &TCustomForm::OnShow);
      });
  return record;
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  StoreVisible(false);
  SetBounds(0, 0, 320 + FrameWidth(), 240 + FrameHeight());
  Application->AddForm(this);
}

TCustomForm::~TCustomForm() {
  Application->RemoveForm(this);
}

namespace {
int BorderOf(TBorderStyle style) {
  switch (style) {
    case bsNone:
      return 0;
    case bsSingle:
    case bsDialog:
    case bsToolWindow:
      return 3;
    default:
      return 4;
  }
}
int CaptionOf(TBorderStyle style) {
  switch (style) {
    case bsNone:
      return 0;
    case bsToolWindow:
    case bsSizeToolWin:
      return 15;
    default:
      return 19;
  }
}
}  // namespace

int TCustomForm::FrameWidth() const {
  return 2 * BorderOf(FBorderStyle);
}

int TCustomForm::FrameHeight() const {
  return CaptionOf(FBorderStyle) + 2 * BorderOf(FBorderStyle);
}

int TCustomForm::ClientWidth() const {
  return Width() - FrameWidth();
}

int TCustomForm::ClientHeight() const {
  return Height() - FrameHeight();
}

void TCustomForm::SetClientWidth(int width) {
  SetWidth(width + FrameWidth());
}

void TCustomForm::SetClientHeight(int height) {
  SetHeight(height + FrameHeight());
}

void TCustomForm::SetBorderStyle(TBorderStyle style) {
  if (style == FBorderStyle) return;
  int clientWidth = ClientWidth();
  int clientHeight = ClientHeight();
  FBorderStyle = style;
  SetBounds(Left(), Top(), clientWidth + FrameWidth(), clientHeight + FrameHeight());
  Changed(TWidgetChange::wcOptions);
}

void TCustomForm::SetBorderIcons(TBorderIcons icons) {
  if (icons == FBorderIcons) return;
  FBorderIcons = icons;
  Changed(TWidgetChange::wcOptions);
}

void TCustomForm::SetPosition(TPosition position) {
  if (position == FPosition) return;
  FPosition = position;
  Changed(TWidgetChange::wcOptions);
}

void TCustomForm::SetVisible(bool visible) {
  if (Loading() || Released()) {
    StoreVisible(visible);
    return;
  }
  if (visible == Visible()) {
    if (visible) WidgetSet().ShowForm(this);  // brings it to the front
    return;
  }
  StoreVisible(visible);
  if (visible) {
    WidgetSet().ShowForm(this);
    OnShow(this);
  } else {
    WidgetSet().HideForm(this);
    OnHide(this);
  }
}

void TCustomForm::LoadDescription(std::string_view text, const std::string& source) {
  ReadDescription(this, text, source);
  DoCreate();
  if (Visible()) {
    WidgetSet().ShowForm(this);
    OnShow(this);
  }
}

void TCustomForm::LoadDescriptionResource(const std::string& resourceName) {
  LoadDescription(::LoadDescriptionResource(resourceName), resourceName);
}

void TCustomForm::DoCreate() {
  try {
    OnCreate(this);
  } catch (...) {
    Application->HandleCurrentException(this);
  }
}

void TCustomForm::DoDestroy() {
  try {
    OnDestroy(this);
  } catch (...) {
    Application->HandleCurrentException(this);
  }
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (FModal) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  OnClose(this, action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caHide || action == caMinimize) {
    Hide();
  } else {
    Release();
  }
}

TModalResult TCustomForm::ShowModal() {
  if (FModal || Visible()) throw platform::Exception("Cannot make a visible window modal");
  FModal = true;
  FModalResult = mrNone;
  try {
    Show();
    Application->ModalLoop([this] { return FModalResult != mrNone || !Visible(); });
  } catch (...) {
    FModal = false;
    throw;
  }
  FModal = false;
  if (FModalResult == mrNone) FModalResult = mrCancel;
  TModalResult result = FModalResult;
  Hide();
  return result;
}

void TCustomForm::SetModalResult(TModalResult result) {
  FModalResult = result;
}

void TCustomForm::Release() {
  PostControlNotice(this, cnRelease);
}

void TCustomForm::HandleNotice(TControlNotice notice) {
  if (notice == cnCloseQuery) {
    Close();
    return;
  }
  TWinControl::HandleNotice(notice);
}

void TCustomForm::BeforeDestruction() {
  if (Released()) return;
  if (!FDestroyHandled) {
    FDestroyHandled = true;
    DoDestroy();
  }
  // The window goes first, with every widget in it.
  WidgetSet().ReleaseControl(this);
  Application->RemoveForm(this);
  TWinControl::BeforeDestruction();
}

const TClassRecord& TForm::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TForm, TCustomForm>("TForm", [](TClassBuilder<TForm>&) {});
  return record;
}
