#include "forms/strings.h"

#include <algorithm>

#include "forms/class_record.h"

namespace {
unsigned char FoldAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Takes a double-quoted string at `pos` (doubled quotes stand for one); without a closing
// quote the rest of the text is taken.
std::string ExtractQuoted(std::string_view text, std::size_t& pos) {
  std::string out;
  ++pos;
  while (pos < text.size()) {
    if (text[pos] == '"') {
      if (pos + 1 < text.size() && text[pos + 1] == '"') {
        out += '"';
        pos += 2;
        continue;
      }
      ++pos;
      return out;
    }
    out += text[pos++];
  }
  return out;
}

bool IsBlank(char c) {
  return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}
}  // namespace

int CompareTextAscii(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
    unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

const TClassRecord& TStrings::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TStrings, TPersistent>("TStrings", [](TClassBuilder<TStrings>&) {});
  return record;
}

void TStrings::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit)
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStrings::Get(int index) const {
  CheckIndex(index, Count());
  return FItems[static_cast<std::size_t>(index)];
}

void TStrings::Put(int index, const std::string& text) {
  CheckIndex(index, Count());
  Changing();
  FItems[static_cast<std::size_t>(index)] = text;
  Changed();
}

int TStrings::Add(const std::string& text) {
  int index = Count();
  Insert(index, text);
  return index;
}

void TStrings::Insert(int index, const std::string& text) {
  CheckIndex(index, Count() + 1);
  Changing();
  FItems.insert(FItems.begin() + index, text);
  Changed();
}

void TStrings::Delete(int index) {
  CheckIndex(index, Count());
  Changing();
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TStrings::Clear() {
  if (FItems.empty()) return;
  Changing();
  FItems.clear();
  Changed();
}

void TStrings::Exchange(int index1, int index2) {
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  Changing();
  std::swap(FItems[static_cast<std::size_t>(index1)], FItems[static_cast<std::size_t>(index2)]);
  Changed();
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex, Count());
  CheckIndex(newIndex, Count());
  BeginUpdate();
  std::string text = FItems[static_cast<std::size_t>(curIndex)];
  Delete(curIndex);
  Insert(newIndex, text);
  EndUpdate();
}

void TStrings::AddStrings(const TStrings* other) {
  if (!other) return;
  std::vector<std::string> copy = other->FItems;  // `other` may be this list
  BeginUpdate();
  for (auto& line : copy) Add(line);
  EndUpdate();
}

int TStrings::IndexOf(std::string_view text) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<std::size_t>(i)] == text) return i;
  return -1;
}

bool TStrings::Equals(const TStrings* other) const {
  return other && FItems == other->FItems;
}

std::string TStrings::Text() const {
  std::string out;
  for (auto& line : FItems) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  Clear();
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      Add(std::string(text.substr(start, i - start)));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) Add(std::string(text.substr(start)));
  EndUpdate();
}

std::string TStrings::CommaText() const {
  if (Count() == 1 && FItems[0].empty()) return "\"\"";
  std::string out;
  for (std::size_t n = 0; n < FItems.size(); ++n) {
    const std::string& s = FItems[n];
    bool quote = std::any_of(s.begin(), s.end(), [](char c) {
      return static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',';
    });
    if (n) out += ',';
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(std::string_view text) {
  BeginUpdate();
  Clear();
  std::size_t p = 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  while (p < text.size()) {
    std::string item;
    if (text[p] == '"') {
      item = ExtractQuoted(text, p);
    } else {
      std::size_t start = p;
      while (p < text.size() && static_cast<unsigned char>(text[p]) > ' ' && text[p] != ',') ++p;
      item = std::string(text.substr(start, p - start));
    }
    Add(item);
    while (p < text.size() && IsBlank(text[p])) ++p;
    if (p < text.size() && text[p] == ',') {
      if (p + 1 == text.size()) Add("");  // a trailing comma ends with an empty item
      do ++p;
      while (p < text.size() && IsBlank(text[p]));
    }
  }
  EndUpdate();
}

void TStrings::Assign(const TPersistent* source) {
  if (auto* other = dynamic_cast<const TStrings*>(source)) {
    if (other == this) return;
    BeginUpdate();
    Clear();
    AddStrings(other);
    EndUpdate();
    return;
  }
  TPersistent::Assign(source);
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) FChangedInUpdate = false;
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0 && FChangedInUpdate) {
    FChangedInUpdate = false;
    Changed();
  }
}

void TStrings::Changing() {
  if (FUpdateCount == 0) OnChanging(this);
}

void TStrings::Changed() {
  if (FUpdateCount > 0) {
    FChangedInUpdate = true;
    return;
  }
  OnChange(this);
  if (FObserver) FObserver();
}

const TClassRecord& TStringList::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TStringList, TStrings>(
      "TStringList", [](TClassBuilder<TStringList>&) {});
  return record;
}

int TStringList::Compare(std::string_view a, std::string_view b) const {
  if (FCaseSensitive) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return CompareTextAscii(a, b);
}

bool TStringList::Find(std::string_view text, int& index) const {
  int lo = 0;
  int hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = Compare(FItems[static_cast<std::size_t>(mid)], text);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int TStringList::Add(const std::string& text) {
  if (!FSorted) return TStrings::Add(text);
  int index;
  if (Find(text, index)) {
    if (FDuplicates == dupIgnore) return index;
    if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
  }
  TStrings::Insert(index, text);
  return index;
}

void TStringList::Insert(int index, const std::string& text) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted string list");
  TStrings::Insert(index, text);
}

void TStringList::Put(int index, const std::string& text) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted string list");
  TStrings::Put(index, text);
}

int TStringList::IndexOf(std::string_view text) const {
  if (FSorted) {
    int index;
    return Find(text, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (Compare(FItems[static_cast<std::size_t>(i)], text) == 0) return i;
  return -1;
}

void TStringList::SetSorted(bool sorted) {
  if (FSorted == sorted) return;
  if (sorted) Sort();
  FSorted = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (FCaseSensitive == caseSensitive) return;
  FCaseSensitive = caseSensitive;
  if (FSorted) Sort();
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(
      FItems.begin(), FItems.end(),
      [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
  Changed();
}
