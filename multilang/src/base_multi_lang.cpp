#include "multilang/base_multi_lang.h"

#include <algorithm>
#include <cstddef>

#include "forms/application.h"
#include "forms/message_box.h"
#include "forms/properties.h"
#include "platform/library.h"
#include "platform/resources.h"
#include "table_formats.h"

using multilang::detail::JoinFields;
using multilang::detail::LowerAscii;
using multilang::detail::ParseBounds;
using multilang::detail::ParseCharSetLine;
using multilang::detail::SplitFields;
using multilang::detail::StartsWithNoCase;
using multilang::detail::TBounds;

namespace {

const char* const kOutOfRange = "Value must not be higher than\rnumber of available languages.";
const char* const kAtLeastOne = "You have to provide at least 1 language.";
const char* const kDecreaseActive =
    "You are decreasing the number of languages.\rEntries for the removed language will be "
    "lost.\rThe currently displayed language will be deleted, too.\r\rDo you really want to "
    "continue?";
const char* const kDecrease =
    "You are decreasing the number of languages.\rEntries for the removed language will be "
    "lost.\r\rContinue?";
const char* const kDropPositions =
    "You are going to drop the positions.\rCurrently different values are stored for each "
    "language,\rDo you want to drop these values?";
const char* const kDropFormPosition =
    "You are going to drop the positions for the form.\rCurrently different values are stored "
    "for each language.\rDo you want to drop these values?";
const char* const kCancelled = "Cancelled.";

// The message boxes of the component, with the captions of the runtime's message dialogs.
void Inform(const char* text, UINT buttons) {
  Application->MessageBox(text, "Information", buttons | MB_ICONINFORMATION);
}
bool Confirmed(const char* text) {
  return Application->MessageBox(text, "Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES;
}
bool WarningConfirmed(const char* text) {
  return Application->MessageBox(text, "Warning", MB_YESNO | MB_ICONWARNING) == IDYES;
}

const char* const kBoundsProps[4] = {"Left", "Top", "Width", "Height"};

bool HasIntProp(const TObject* object, const char* name) {
  return PropIsKind(object, name, TTypeKind::tkInteger);
}

// The owner's font, when it has one with a name and a character set.
TPersistent* OwnerFont(const TComponent* owner) {
  if (!owner || !PropIsKind(owner, "Font", TTypeKind::tkObject)) return nullptr;
  return GetObjectProp(owner, "Font");
}

// Bounds differ between languages when any field after the first bounds field differs from it.
bool BoundsDiffer(const std::vector<std::string>& fields) {
  for (std::size_t n = 2; n < fields.size(); ++n)
    if (fields[n] != fields[1]) return true;
  return false;
}

void ReplaceLines(TStrings* list, const std::vector<std::string>& lines) {
  list->BeginUpdate();
  try {
    list->Clear();
    for (const auto& line : lines) list->Add(line);
  } catch (...) {
    list->EndUpdate();
    throw;
  }
  list->EndUpdate();
}

// Writing a list property copies the given lines; no list means no lines.
void CopyLines(TStrings* target, const TStrings* source) {
  if (source)
    target->Assign(source);
  else
    target->Clear();
}

// A string of a loaded string library, whole; false when the library has no such string.
bool ReadLibraryString(HMODULE library, UINT id, std::string& text) {
  SetLastError(ERROR_SUCCESS);
  text = platform::LoadResString(library, id);
  return GetLastError() == ERROR_SUCCESS;
}

}  // namespace

const TEnumInfo& SwitchPositionsInfo() {
  static const TEnumInfo info{"TSwitchPositions",
                              {"spNone", "spControlsOnly", "spFormAndControls"}};
  return info;
}

const TEnumInfo& TranslateEditsInfo() {
  static const TEnumInfo info{"TTranslateEdits", {"teNever", "teReadOnly", "teAlways"}};
  return info;
}

bool IsContinuationKey(std::string_view key) {
  return key == kContinuationKey;
}

bool IsHintKey(std::string_view key) {
  return key.size() == kHintKey.size() && StartsWithNoCase(key, kHintKey);
}

std::vector<TBaseMultiLang*>& MultiLangList() {
  // Lives to the end of the process: components may still go after static destruction began.
  static auto* list = new std::vector<TBaseMultiLang*>();
  return *list;
}

void SetGlobalLanguage(std::uint8_t language) {
  // A switch runs the owner's handlers, which may create or free components: each one is
  // looked for again before it is switched.
  std::vector<TBaseMultiLang*> snapshot = MultiLangList();
  for (TBaseMultiLang* component : snapshot) {
    auto& live = MultiLangList();
    if (std::find(live.begin(), live.end(), component) == live.end()) continue;
    if (component->Languages() > language) component->SetActiveLanguage(language);
  }
  GlobalLanguage = language;
}

const TClassRecord& TBaseMultiLang::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TBaseMultiLang, TComponent>(
      "TBaseMultiLang", [](TClassBuilder<TBaseMultiLang>& c) {
        c.Str("About", &TBaseMultiLang::About, &TBaseMultiLang::SetAbout).NotStored();
        c.Event("BeforeLanguageChange", &TBaseMultiLang::BeforeLanguageChange);
        c.Event("AfterLanguageChanged", &TBaseMultiLang::AfterLanguageChanged);
        c.Event("IdNotFoundError", &TBaseMultiLang::IdNotFoundError);
        c.Int("DefaultLanguage", &TBaseMultiLang::DefaultLanguage,
              &TBaseMultiLang::SetDefaultLanguage)
            .Default(0);
        c.Bool("DefaultEnabled", &TBaseMultiLang::DefaultEnabled,
               &TBaseMultiLang::SetDefaultEnabled)
            .Default(0);
        c.Int("Languages", &TBaseMultiLang::Languages, &TBaseMultiLang::SetLanguages);
        c.Int("ActiveLanguage", &TBaseMultiLang::ActiveLanguage, &TBaseMultiLang::SetActiveLanguage)
            .Default(0);
        c.Strings("Words", &TBaseMultiLang::Words, &TBaseMultiLang::SetWords);
        c.Strings("DoNot", &TBaseMultiLang::DoNot, &TBaseMultiLang::SetDoNot);
        c.Enum("SwitchPositions", &TBaseMultiLang::SwitchPositions,
               &TBaseMultiLang::SetSwitchPositions, SwitchPositionsInfo())
            .Default(spNone);
        c.Enum("TranslateEdits", &TBaseMultiLang::TranslateEdits,
               &TBaseMultiLang::SetTranslateEdits, TranslateEditsInfo())
            .Default(teReadOnly);
        c.Strings("Positions", &TBaseMultiLang::Positions, &TBaseMultiLang::SetPositions);
        c.Strings("CharSets", &TBaseMultiLang::CharSets, &TBaseMultiLang::SetCharSets);
      });
  return record;
}

TBaseMultiLang::TBaseMultiLang(TComponent* owner)
    : TComponent(owner),
      FWords(std::make_unique<TStringList>()),
      FDoNot(std::make_unique<TStringList>()),
      FPositions(std::make_unique<TStringList>()),
      FCharSets(std::make_unique<TStringList>()) {
  MultiLangList().push_back(this);
}

TBaseMultiLang::~TBaseMultiLang() {
  std::erase(MultiLangList(), this);
}

void TBaseMultiLang::BeforeDestruction() {
  std::erase(MultiLangList(), this);
  TComponent::BeforeDestruction();
}

void TBaseMultiLang::SetWords(TStrings* words) {
  CopyLines(FWords.get(), words);
}

void TBaseMultiLang::SetDoNot(TStrings* doNot) {
  CopyLines(FDoNot.get(), doNot);
}

void TBaseMultiLang::SetPositions(TStrings* positions) {
  CopyLines(FPositions.get(), positions);
}

void TBaseMultiLang::SetCharSets(TStrings* charSets) {
  CopyLines(FCharSets.get(), charSets);
}

bool TBaseMultiLang::InformOutOfRange() const {
  Inform(kOutOfRange, MB_CANCELONLY);
  return false;
}

void TBaseMultiLang::SetDefaultLanguage(std::uint8_t language) {
  // A description sets DefaultLanguage before Languages: while loading the value is kept as
  // given, and the text rule ignores a default beyond the languages.
  if (language >= FLanguages && !Loading()) {
    InformOutOfRange();
    return;
  }
  if (language == FDefaultLanguage) return;
  FDefaultLanguage = language;
  SetActiveLanguage(FActiveLanguage);
}

void TBaseMultiLang::SetDefaultEnabled(bool enabled) {
  if (enabled == FDefaultEnabled) return;
  FDefaultEnabled = enabled;
  SetActiveLanguage(FActiveLanguage);
}

void TBaseMultiLang::SetActiveLanguage(std::uint8_t language) {
  if (language >= FLanguages) {
    InformOutOfRange();
    return;
  }
  bool allowIt = true;
  BeforeLanguageChange(this, language, allowIt);
  if (!allowIt) return;
  StoreCharSet();
  if (TComponent* owner = Owner()) {
    StorePosition(owner, true);
    for (int i = 0; i < owner->ComponentCount(); ++i) StorePosition(owner->Components(i), false);
  }
  FActiveLanguage = language;
  ApplyCharSet();
  if (Owner()) ApplyPosition(Owner(), true);
  Walk();
  AfterLanguageChanged(this, FActiveLanguage);
}

void TBaseMultiLang::Walk() {
  TComponent* owner = Owner();
  if (!owner) return;
  int i = 0;
  try {
    while (i < FWords->Count()) {
      const std::string& key = FWords->Get(i);
      if (key == kFormKey) {
        int cursor = i;
        std::string caption;
        if (PropIsKind(owner, "Caption", TTypeKind::tkString) && NextText(cursor, caption)) {
          try {
            SetStrProp(owner, "Caption", caption);
          } catch (...) {
            // As for any component: a text that cannot be set leaves the others to be set.
          }
        }
        i += GroupSize();
        continue;
      }
      TComponent* component = owner->FindComponent(key);
      if (!component) {
        i += GroupSize();  // also passes stray continuation and hint groups
        continue;
      }
      // The index moves only when the component is done; one that fails, or reads nothing
      // (a component without texts), is passed over by its first group.
      int next = i;
      try {
        TranslateComponent(component, next);
      } catch (...) {
        next = i;
      }
      i = next > i ? next : i + GroupSize();
    }
  } catch (...) {
    // A table that cannot be read any further ends the walk; the switch is still complete.
  }
}

bool TBaseMultiLang::NextText(int& cursor, std::string& text) const {
  const int count = FWords->Count();
  if (cursor < 0) return false;
  long long line = static_cast<long long>(cursor) + FActiveLanguage + 1;
  if (line >= count) return false;
  text = FWords->Get(static_cast<int>(line));
  if (text.empty() && FDefaultEnabled && FDefaultLanguage < FLanguages) {
    long long fallback = static_cast<long long>(cursor) + FDefaultLanguage + 1;
    if (fallback < count) text = FWords->Get(static_cast<int>(fallback));
  }
  cursor += GroupSize();
  return true;
}

bool TBaseMultiLang::NextHint(int& cursor, std::string& hint) const {
  if (cursor < 0 || cursor >= FWords->Count() || !IsHintKey(FWords->Get(cursor))) return false;
  std::string text;
  if (!NextText(cursor, text) || text.empty()) return false;
  hint = std::move(text);
  return true;
}

bool TBaseMultiLang::MayTranslate(TComponent* component) const {
  if (FTranslateEdits == teAlways) return true;
  if (PropIsKind(component, "Action", TTypeKind::tkComponent) &&
      GetComponentProp(component, "Action"))
    return false;
  if (PropIsKind(component, "ReadOnly", TTypeKind::tkBool) &&
      (IsPublishedProp(component, "Text") || IsPublishedProp(component, "Lines"))) {
    if (FTranslateEdits == teNever) return false;
    return GetOrdProp(component, "ReadOnly") != 0;
  }
  return true;
}

void TBaseMultiLang::SetLanguages(std::uint8_t count) {
  const int old = FLanguages;
  if (count == old) return;
  if (count == 0) {
    // Without a language the groups would be keys alone; a description cannot ask for it
    // either, so while loading the value is passed over without a message.
    if (!Loading()) Inform(kAtLeastOne, MB_OK);
    return;
  }
  if (count < old && !Loading()) {
    if (FActiveLanguage >= count) {
      if (!Confirmed(kDecreaseActive)) return;
      SetActiveLanguage(0);
      // A BeforeLanguageChange handler may have kept the language that is about to go.
      if (FActiveLanguage >= count) return;
    } else if (!Confirmed(kDecrease)) {
      return;
    }
  }
  const int size = 1 + old;
  const std::vector<std::string>& lines = FWords->Lines();
  std::vector<std::string> result;
  result.reserve(lines.size() / size * (1 + count) + size);
  // Group by group; a last group that the table cuts short keeps what it has.
  for (std::size_t start = 0; start < lines.size(); start += static_cast<std::size_t>(size)) {
    std::size_t end = std::min(lines.size(), start + static_cast<std::size_t>(size));
    if (count < old) {
      std::size_t keep = std::min(end, start + 1 + count);
      result.insert(result.end(), lines.begin() + static_cast<std::ptrdiff_t>(start),
                    lines.begin() + static_cast<std::ptrdiff_t>(keep));
    } else {
      result.insert(result.end(), lines.begin() + static_cast<std::ptrdiff_t>(start),
                    lines.begin() + static_cast<std::ptrdiff_t>(end));
      result.insert(result.end(), static_cast<std::size_t>(count - old), "?");
    }
  }
  ReplaceLines(FWords.get(), result);
  FLanguages = count;
  // Only while loading can the active language be among those removed (a description that
  // stores it before Languages): the table holds no line for it any more.
  if (FActiveLanguage >= FLanguages) FActiveLanguage = 0;
}

bool TBaseMultiLang::DropPositionsAsked() {
  for (int i = FPositions->Count() - 1; i >= 0; --i) {
    if (!BoundsDiffer(SplitFields(FPositions->Get(i)))) continue;
    if (!WarningConfirmed(kDropPositions)) {
      ShowMessage(kCancelled);
      return false;
    }
  }
  return true;
}

bool TBaseMultiLang::DropFormPositionAsked() {
  std::string prefix = std::string(kFormKey) + ",";
  for (int i = 0; i < FPositions->Count(); ++i) {
    if (FPositions->Get(i).rfind(prefix, 0) != 0) continue;
    if (BoundsDiffer(SplitFields(FPositions->Get(i))) && !WarningConfirmed(kDropFormPosition)) {
      ShowMessage(kCancelled);
      return false;
    }
    FPositions->Delete(i);
    return true;
  }
  return true;
}

void TBaseMultiLang::SetSwitchPositions(TSwitchPositions value) {
  if (value == FSwitchPositions) return;
  if (value == spNone) {
    if (!DropPositionsAsked()) return;
    FPositions->Clear();
  } else if (value == spControlsOnly && FSwitchPositions == spFormAndControls) {
    if (!DropFormPositionAsked()) return;
  }
  FSwitchPositions = value;
}

void TBaseMultiLang::StoreCharSet() {
  TPersistent* font = OwnerFont(Owner());
  if (!font || !PropIsKind(font, "Name", TTypeKind::tkString) ||
      !PropIsKind(font, "CharSet", TTypeKind::tkInteger))
    return;
  std::string line = GetStrProp(font, "Name") + "," + std::to_string(GetOrdProp(font, "CharSet"));
  while (FCharSets->Count() < FLanguages) FCharSets->Add(line);
  FCharSets->Put(FActiveLanguage, line);
}

void TBaseMultiLang::ApplyCharSet() {
  if (FActiveLanguage >= FCharSets->Count()) return;
  TPersistent* font = OwnerFont(Owner());
  if (!font) return;
  std::string name;
  int charset;
  // A line that is not "name,number" ends the switch with its conversion error.
  ParseCharSetLine(FCharSets->Get(FActiveLanguage), name, charset);
  if (PropIsKind(font, "Name", TTypeKind::tkString)) SetStrProp(font, "Name", name);
  if (PropIsKind(font, "CharSet", TTypeKind::tkInteger)) SetOrdProp(font, "CharSet", charset);
}

std::string TBaseMultiLang::PositionKey(TComponent* target, bool isOwner) const {
  return isOwner ? std::string(kFormKey) : LowerAscii(target->Name());
}

std::string TBaseMultiLang::BoundsText(TComponent* target) const {
  std::string text;
  for (int n = 0; n < 4; ++n) {
    if (n) text += '.';
    if (HasIntProp(target, kBoundsProps[n]))
      text += std::to_string(GetOrdProp(target, kBoundsProps[n]));
  }
  return text;
}

int TBaseMultiLang::FindPositionLine(const std::string& key) const {
  std::string prefix = key + ",";
  for (int i = FPositions->Count() - 1; i >= 0; --i)
    if (StartsWithNoCase(FPositions->Get(i), prefix)) return i;
  return -1;
}

void TBaseMultiLang::StorePosition(TComponent* target, bool isOwner) {
  if (!target || FSwitchPositions == spNone || (FSwitchPositions == spControlsOnly && isOwner))
    return;
  std::string bounds = BoundsText(target);
  if (bounds == "...") return;
  std::string key = PositionKey(target, isOwner);
  if (key.empty()) return;  // a component without a name cannot be found again
  int line = FindPositionLine(key);
  if (line >= 0) {
    std::vector<std::string> fields = SplitFields(FPositions->Get(line));
    if (fields.size() < static_cast<std::size_t>(1 + FLanguages)) fields.resize(1 + FLanguages);
    fields[1 + FActiveLanguage] = bounds;
    FPositions->Put(line, JoinFields(fields));
    return;
  }
  std::vector<std::string> fields{key};
  fields.insert(fields.end(), FLanguages, bounds);
  FPositions->Add(JoinFields(fields));
}

void TBaseMultiLang::ApplyPosition(TComponent* target, bool isOwner) {
  if (!target || FSwitchPositions == spNone || (FSwitchPositions == spControlsOnly && isOwner))
    return;
  std::string key = PositionKey(target, isOwner);
  if (key.empty()) return;
  int line = FindPositionLine(key);
  if (line < 0) return;
  std::vector<std::string> fields = SplitFields(FPositions->Get(line));
  std::size_t field = 1 + static_cast<std::size_t>(FActiveLanguage);
  // An empty field is a language whose bounds were never stored.
  if (field >= fields.size() || fields[field].empty()) return;
  // A malformed field raises: for the owner that ends the switch, for a control the walk
  // passes over it.
  const TBounds bounds = ParseBounds(fields[field]);
  // All or nothing: a field without a number for a property the target has (a language
  // whose bounds were never stored) moves nothing.
  for (int n = 0; n < 4; ++n)
    if (HasIntProp(target, kBoundsProps[n]) && !bounds[n]) return;
  for (int n = 0; n < 4; ++n)
    if (HasIntProp(target, kBoundsProps[n])) SetOrdProp(target, kBoundsProps[n], *bounds[n]);
}

void TBaseMultiLang::Loaded() {
  TComponent::Loaded();
  if (Designing()) return;
  SetActiveLanguage(GlobalLanguage);
  if (StringLibraryName.empty()) return;
  if (platform::FileExists(StringLibraryName))
    LoadWordsFromLibrary();
  else
    StringLibraryName = platform::ExtractFileName(StringLibraryName);
}

void TBaseMultiLang::LoadWordsFromLibrary() {
  HMODULE library = LoadLibraryA(StringLibraryName.c_str());
  if (!library) throw EMultiLangError("Cannot load string DLL \"" + StringLibraryName + "\".");
  struct TRelease {
    HMODULE Library;
    ~TRelease() { FreeLibrary(Library); }
  } release{library};

  TComponent* owner = Owner();
  if (!owner) return;
  const std::string className = LowerAscii(owner->ClassName());
  const std::string ownerName = LowerAscii(owner->Name());
  constexpr UINT kLastId = 0xFFFF;  // string numbers are 16-bit
  for (UINT id = 1000; id <= kLastId; id += 100) {
    std::string entry;
    if (!ReadLibraryString(library, id, entry)) return;
    if (entry.size() <= 2 || (entry[0] != '%' && entry[0] != '$')) continue;
    std::string rest = LowerAscii(platform::ExtractFileName(entry.substr(1)));
    const std::string& wanted = entry[0] == '%' ? className : ownerName;
    if (rest.empty() || rest != wanted) continue;

    FDefaultLanguage = 0;
    FActiveLanguage = 0;
    FLanguages = 1;
    std::vector<std::string> table;
    for (UINT next = id + 1; next <= kLastId; ++next) {
      std::string text;
      ReadLibraryString(library, next, text);
      // A missing or empty string ends the table where a key would come next, and is an
      // empty text where a text would.
      if (text.empty() && table.size() % 2 == 0) break;
      table.push_back(std::move(text));
    }
    ReplaceLines(FWords.get(), table);
    SetActiveLanguage(0);
    return;
  }
}
