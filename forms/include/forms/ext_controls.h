// Pictures, panels, radio groups, notebooks, headers and tab sets.
#pragma once

#include <memory>

#include "forms/graphics.h"
#include "forms/std_controls.h"

class TImage : public TGraphicControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TImage(TComponent* owner);

  TPicture* Picture() const { return FPicture.get(); }
  void SetPicture(TPicture* picture);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool stretch);
  bool Center() const { return FCenter; }
  void SetCenter(bool center);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool transparent) { FTransparent = transparent; }

 private:
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FTransparent = false;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TPanel(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut bevel);

 private:
  TBevelCut FBevelOuter = bvRaised;
};

// A group of radio buttons given by Items; ItemIndex is the checked one.
class TRadioGroup : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TRadioGroup(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* items);
  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int index);
  int Columns() const { return FColumns; }
  void SetColumns(int columns);

  void HandleNotice(TControlNotice notice) override;

 private:
  std::unique_ptr<TStringList> FItems;
  int FItemIndex = -1;
  int FColumns = 1;
};

// Pages named by a string list, one of them shown.
class TNotebook : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TNotebook(TComponent* owner);

  TStrings* Pages() const { return FPages.get(); }
  void SetPages(TStrings* pages);
  int PageIndex() const { return FPageIndex; }
  void SetPageIndex(int index);
  std::string ActivePage() const;
  void SetActivePage(const std::string& page);

 private:
  std::unique_ptr<TStringList> FPages;
  int FPageIndex = 0;
};

// A notebook with tabs.
class TTabbedNotebook : public TNotebook {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TTabbedNotebook(TComponent* owner) : TNotebook(owner) {}
};

// A header with sections given as strings.
class THeader : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit THeader(TComponent* owner);

  TStrings* Sections() const { return FSections.get(); }
  void SetSections(TStrings* sections);

 private:
  std::unique_ptr<TStringList> FSections;
};

// A row of tabs given as strings.
class TTabSet : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TTabSet(TComponent* owner);

  TStrings* Tabs() const { return FTabs.get(); }
  void SetTabs(TStrings* tabs);
  int TabIndex() const { return FTabIndex; }
  void SetTabIndex(int index);

 private:
  std::unique_ptr<TStringList> FTabs;
  int FTabIndex = -1;
};
