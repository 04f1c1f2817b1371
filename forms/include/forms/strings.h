// String lists: ordered 8-bit strings with add, insert, delete, index access, count and whole
// text. Controls that show a list hold one and mirror its changes (SetObserver).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/events.h"
#include "forms/object.h"
#include "platform/sysutils.h"

class EStringListError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

class TStrings : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  TStrings() = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raise EStringListError "List index out of bounds (i)" outside 0 .. Count - 1.
  const std::string& Get(int index) const;
  const std::string& operator[](int index) const { return Get(index); }
  virtual void Put(int index, const std::string& text);

  virtual int Add(const std::string& text);                 // the new line's index
  virtual void Insert(int index, const std::string& text);  // 0 .. Count
  void Delete(int index);
  void Clear();
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  void AddStrings(const TStrings* other);
  // First line equal to `text`; -1 when none. TStrings compares exactly; TStringList follows
  // its CaseSensitive setting.
  virtual int IndexOf(std::string_view text) const;
  bool Equals(const TStrings* other) const;
  const std::vector<std::string>& Lines() const { return FItems; }

  // Every line followed by CR LF. Setting splits at CR LF, a lone CR or a lone LF; a final
  // line break does not begin another line.
  std::string Text() const;
  void SetText(std::string_view text);
  // Comma-separated: lines with blanks, commas or quotes are put in double quotes. Setting
  // splits at commas and blanks outside double quotes.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);

  void Assign(const TPersistent* source) override;

  // Changes inside BeginUpdate / EndUpdate are announced once, at the outer EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  // For the control that shows the list: called after every announced change, besides
  // OnChange, so that the control's own use does not take OnChange from its users.
  void SetObserver(std::function<void()> observer) { FObserver = std::move(observer); }

 protected:
  void Changing();
  void Changed();
  void CheckIndex(int index, int limit) const;
  std::vector<std::string> FItems;

 private:
  int FUpdateCount = 0;
  bool FChangedInUpdate = false;
  std::function<void()> FObserver;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  TStringList() = default;

  int Add(const std::string& text) override;
  // Not allowed on a sorted list (EStringListError).
  void Insert(int index, const std::string& text) override;
  void Put(int index, const std::string& text) override;
  int IndexOf(std::string_view text) const override;

  bool Sorted() const { return FSorted; }
  void SetSorted(bool sorted);
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool caseSensitive);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates duplicates) { FDuplicates = duplicates; }
  void Sort();
  // Binary search in a sorted list: true when found; `index` is the line or the insert place.
  bool Find(std::string_view text, int& index) const;

 private:
  int Compare(std::string_view a, std::string_view b) const;

  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = dupIgnore;
};

// Letter case folded for ASCII letters only: Big5 trail bytes in 0x40 .. 0x7E must not change.
int CompareTextAscii(std::string_view a, std::string_view b);
bool SameTextAscii(std::string_view a, std::string_view b);
