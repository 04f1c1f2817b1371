#include "forms/ext_controls.h"

#include "forms/class_record.h"
#include "publish.h"

using forms::detail::PublishCaption;

const TClassRecord& TImage::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TImage, TGraphicControl>("TImage", [](TClassBuilder<TImage>& c) {
        c.Bool("Center", &TImage::Center, &TImage::SetCenter).Default(0);
        c.Object("Picture", &TImage::Picture, &TImage::SetPicture);
        c.Bool("Stretch", &TImage::Stretch, &TImage::SetStretch).Default(0);
        c.Bool("Transparent", &TImage::Transparent, &TImage::SetTransparent).Default(0);
      });
  return record;
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner), FPicture(std::make_unique<TPicture>()) {
  SetBounds(0, 0, 105, 105);
  FPicture->SetObserver([this] { Changed(TWidgetChange::wcPicture); });
}

void TImage::SetPicture(TPicture* picture) {
  FPicture->Assign(picture);
}

void TImage::SetStretch(bool stretch) {
  if (stretch == FStretch) return;
  FStretch = stretch;
  Changed(TWidgetChange::wcPicture);
}

void TImage::SetCenter(bool center) {
  if (center == FCenter) return;
  FCenter = center;
  Changed(TWidgetChange::wcPicture);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TPanel::StaticClass() {
  static const TEnumInfo bevels{"TBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}};
  static const TClassRecord record =
      TClassRecord::Define<TPanel, TWinControl>("TPanel", [](TClassBuilder<TPanel>& c) {
        c.Enum("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter, bevels).Default(bvRaised);
        PublishCaption(c);
      });
  return record;
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 41);
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
  if (bevel == FBevelOuter) return;
  FBevelOuter = bevel;
  Changed(TWidgetChange::wcOptions);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TRadioGroup::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TRadioGroup, TWinControl>(
      "TRadioGroup", [](TClassBuilder<TRadioGroup>& c) {
        PublishCaption(c);
        c.Int("Columns", &TRadioGroup::Columns, &TRadioGroup::SetColumns).Default(1);
        c.Int("ItemIndex", &TRadioGroup::ItemIndex, &TRadioGroup::SetItemIndex).Default(-1);
        c.Strings("Items", &TRadioGroup::Items, &TRadioGroup::SetItems);
      });
  return record;
}

TRadioGroup::TRadioGroup(TComponent* owner)
    : TWinControl(owner), FItems(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 185, 105);
  FItems->SetObserver([this] { Changed(TWidgetChange::wcItems); });
}

void TRadioGroup::SetItems(TStrings* items) {
  FItems->Assign(items);
}

void TRadioGroup::SetItemIndex(int index) {
  if (!Loading() && (index < -1 || index >= FItems->Count())) index = -1;
  if (index == FItemIndex) return;
  FItemIndex = index;
  Changed(TWidgetChange::wcItemIndex);
  if (!Loading()) Click();
}

void TRadioGroup::SetColumns(int columns) {
  if (columns < 1) columns = 1;
  if (columns == FColumns) return;
  FColumns = columns;
  Changed(TWidgetChange::wcOptions);
}

void TRadioGroup::HandleNotice(TControlNotice notice) {
  if (notice == cnSelected) {
    int index;
    if (WidgetSet().ReadItemIndex(this, index)) SetItemIndex(index);
    return;
  }
  TWinControl::HandleNotice(notice);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TNotebook::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TNotebook, TWinControl>("TNotebook", [](TClassBuilder<TNotebook>& c) {
        c.Str("ActivePage", &TNotebook::ActivePage, &TNotebook::SetActivePage).NotStored();
        c.Int("PageIndex", &TNotebook::PageIndex, &TNotebook::SetPageIndex).Default(0);
        c.Strings("Pages", &TNotebook::Pages, &TNotebook::SetPages);
      });
  return record;
}

TNotebook::TNotebook(TComponent* owner)
    : TWinControl(owner), FPages(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 150, 150);
  FPages->Add("Default");
  FPages->SetObserver([this] {
    if (FPageIndex >= FPages->Count()) FPageIndex = 0;
    Changed(TWidgetChange::wcItems);
  });
}

void TNotebook::SetPages(TStrings* pages) {
  FPages->Assign(pages);
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || (!Loading() && index >= FPages->Count()) || index == FPageIndex) return;
  FPageIndex = index;
  Changed(TWidgetChange::wcItemIndex);
}

std::string TNotebook::ActivePage() const {
  return FPageIndex < FPages->Count() ? FPages->Get(FPageIndex) : std::string();
}

void TNotebook::SetActivePage(const std::string& page) {
  int index = FPages->IndexOf(page);
  if (index >= 0) SetPageIndex(index);
}

const TClassRecord& TTabbedNotebook::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TTabbedNotebook, TNotebook>(
      "TTabbedNotebook", [](TClassBuilder<TTabbedNotebook>&) {});
  return record;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& THeader::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<THeader, TWinControl>("THeader", [](TClassBuilder<THeader>& c) {
        c.Strings("Sections", &THeader::Sections, &THeader::SetSections);
      });
  return record;
}

THeader::THeader(TComponent* owner)
    : TWinControl(owner), FSections(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 250, 25);
  FSections->SetObserver([this] { Changed(TWidgetChange::wcItems); });
}

void THeader::SetSections(TStrings* sections) {
  FSections->Assign(sections);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TTabSet::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TTabSet, TWinControl>("TTabSet", [](TClassBuilder<TTabSet>& c) {
        c.Int("TabIndex", &TTabSet::TabIndex, &TTabSet::SetTabIndex).Default(-1);
        c.Strings("Tabs", &TTabSet::Tabs, &TTabSet::SetTabs);
      });
  return record;
}

TTabSet::TTabSet(TComponent* owner) : TWinControl(owner), FTabs(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 185, 21);
  FTabs->SetObserver([this] {
    if (FTabIndex >= FTabs->Count()) FTabIndex = -1;
    Changed(TWidgetChange::wcItems);
  });
}

void TTabSet::SetTabs(TStrings* tabs) {
  FTabs->Assign(tabs);
}

void TTabSet::SetTabIndex(int index) {
  if (!Loading() && (index < -1 || index >= FTabs->Count())) return;
  if (index == FTabIndex) return;
  FTabIndex = index;
  Changed(TWidgetChange::wcItemIndex);
}
