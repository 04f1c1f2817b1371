#include "forms/file_controls.h"

#include <algorithm>
#include <filesystem>

#include "forms/class_record.h"
#include "platform/files.h"
#include "platform/sysutils.h"

namespace {

bool MatchOne(std::string_view name, std::string_view mask) {
  // Iterative wildcard match with one back-tracking point.
  std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  auto same = [](char a, char b) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return fold(a) == fold(b);
  };
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || same(mask[m], name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = mask.find(';', start);
    std::string one =
        mask.substr(start, end == std::string::npos ? std::string::npos : end - start);
    one.erase(0, one.find_first_not_of(' '));
    while (!one.empty() && one.back() == ' ') one.pop_back();
    if (one == "*.*" || one == "*") return true;
    if (!one.empty() && MatchOne(name, one)) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

const TClassRecord& TFileListBox::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TFileListBox, TCustomListBox>(
      "TFileListBox", [](TClassBuilder<TFileListBox>& c) {
        c.Str("Directory", &TFileListBox::Directory, &TFileListBox::SetDirectory).NotStored();
        // The files are read from the folder, not stored.
        c.Strings("Items", &TFileListBox::Items, &TFileListBox::SetItems).NotStored();
        c.Str("Mask", &TFileListBox::Mask, &TFileListBox::SetMask);
      });
  return record;
}

TFileListBox::TFileListBox(TComponent* owner) : TCustomListBox(owner) {
  SetBounds(0, 0, 145, 97);
  FDirectory = platform::GetCurrentDir();
  Update();
}

void TFileListBox::SetDirectory(const std::string& directory) {
  FDirectory = directory;
  if (!Loading()) Update();
}

void TFileListBox::SetMask(const std::string& mask) {
  FMask = mask.empty() ? "*.*" : mask;
  if (!Loading()) Update();
}

void TFileListBox::Loaded() {
  TCustomListBox::Loaded();
  Update();
}

void TFileListBox::Update() {
  std::vector<std::string> names;
  std::string host = platform::ToHostPath(FDirectory);
  std::error_code error;
  if (!host.empty()) {
    for (std::filesystem::directory_iterator it(host, error), end; !error && it != end;
         it.increment(error)) {
      if (!it->is_regular_file(error)) continue;
      std::string name = it->path().filename().string();
      if (MatchesMask(name, FMask)) names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    int c = CompareTextAscii(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  std::string selected = ItemIndex() >= 0 ? Items()->Get(ItemIndex()) : std::string();
  TStringList list;
  for (auto& name : names) list.Add(name);
  if (!Items()->Equals(&list)) Items()->Assign(&list);
  SetItemIndex(selected.empty() ? -1 : Items()->IndexOf(selected));
}

std::string TFileListBox::FileName() const {
  if (ItemIndex() < 0) return {};
  return platform::IncludeTrailingPathDelimiter(FDirectory) + Items()->Get(ItemIndex());
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TFilterComboBox::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TFilterComboBox, TCustomComboBox>(
      "TFilterComboBox", [](TClassBuilder<TFilterComboBox>& c) {
        c.Str("Filter", &TFilterComboBox::Filter, &TFilterComboBox::SetFilter);
        c.Strings("Items", &TFilterComboBox::Items, &TFilterComboBox::SetItems).NotStored();
      });
  return record;
}

TFilterComboBox::TFilterComboBox(TComponent* owner) : TCustomComboBox(owner) {
  SetStyle(csDropDownList);
  SetFilter("All files (*.*)|*.*");
}

void TFilterComboBox::SetFilter(const std::string& filter) {
  FFilter = filter;
  FMasks.clear();
  TStringList descriptions;
  std::size_t start = 0;
  std::vector<std::string> parts;
  for (;;) {
    std::size_t bar = filter.find('|', start);
    parts.push_back(
        filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    if (parts[i].empty() && i + 1 >= parts.size()) break;  // an empty filter, or a trailing '|'
    descriptions.Add(parts[i]);
    FMasks.push_back(i + 1 < parts.size() ? parts[i + 1] : "*.*");
  }
  Items()->Assign(&descriptions);
  SetItemIndex(Items()->Count() > 0 ? 0 : -1);
}

std::string TFilterComboBox::Mask() const {
  int index = ItemIndex();
  return index >= 0 && index < static_cast<int>(FMasks.size())
             ? FMasks[static_cast<std::size_t>(index)]
             : std::string("*.*");
}
