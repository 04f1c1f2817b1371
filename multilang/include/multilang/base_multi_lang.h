// The multi-language base component: a word table with the texts of its owner (a window) and
// the owner's components in several languages, and the switch between them, together with
// the owner's font (CharSets) and, if wanted, the bounds of the owner and its controls
// (Positions). How one component reads its groups is TMultiLang's work.
//
// Word table (Words): groups of 1 + Languages lines, the key then one text per language.
// Keys: "%Form%" (the owner's caption), a component name (letter case ignored), '"' (the next
// text of the component before) and '".Hint' (its hint).
// CharSets: one line per language, "font name,charset number".
// Positions: one line per control, "key,L.T.W.H,L.T.W.H..." with one bounds field per
// language; the key is "%Form%" for the owner, else the control's name in small letters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forms/class_record.h"
#include "forms/component.h"
#include "forms/events.h"
#include "forms/strings.h"
#include "platform/sysutils.h"

class TEditingGrid;

enum TSwitchPositions { spNone, spControlsOnly, spFormAndControls };
enum TTranslateEdits { teNever, teReadOnly, teAlways };
const TEnumInfo& SwitchPositionsInfo();
const TEnumInfo& TranslateEditsInfo();

using TBeforeLanguageChange =
    TEvent<void(TObject* Sender, std::uint8_t NewLanguage, bool& AllowIt)>;
using TAfterLanguageChanged = TEvent<void(TObject* Sender, std::uint8_t NewLanguage)>;
using TIdNotFoundError = TEvent<void(TObject* Sender, const std::string& id, std::string& Res)>;

// A string library that cannot be loaded.
class EMultiLangError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

// A broken precondition of a caller ("Assertion failed (MLang)").
class EAssertionFailed : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

inline constexpr std::string_view kFormKey = "%Form%";
inline constexpr std::string_view kContinuationKey = "\"";
inline constexpr std::string_view kHintKey = "\".Hint";
bool IsContinuationKey(std::string_view key);
bool IsHintKey(std::string_view key);  // letter case ignored

class TBaseMultiLang : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TBaseMultiLang(TComponent* owner);
  ~TBaseMultiLang() override;

  std::string About() const { return "3.76"; }
  void SetAbout(const std::string&) {}

  TBeforeLanguageChange BeforeLanguageChange;
  TAfterLanguageChanged AfterLanguageChanged;
  // Kept for the owner's code; nothing here raises it.
  TIdNotFoundError IdNotFoundError;

  std::uint8_t DefaultLanguage() const { return FDefaultLanguage; }
  void SetDefaultLanguage(std::uint8_t language);
  bool DefaultEnabled() const { return FDefaultEnabled; }
  void SetDefaultEnabled(bool enabled);
  std::uint8_t Languages() const { return FLanguages; }
  // Restructures Words; asks before languages are dropped (not while loading).
  void SetLanguages(std::uint8_t count);
  std::uint8_t ActiveLanguage() const { return FActiveLanguage; }
  // The language switch.
  void SetActiveLanguage(std::uint8_t language);
  TStrings* Words() const { return FWords.get(); }
  void SetWords(TStrings* words);
  TStrings* DoNot() const { return FDoNot.get(); }
  void SetDoNot(TStrings* doNot);
  TSwitchPositions SwitchPositions() const { return FSwitchPositions; }
  void SetSwitchPositions(TSwitchPositions value);
  TTranslateEdits TranslateEdits() const { return FTranslateEdits; }
  void SetTranslateEdits(TTranslateEdits value) { FTranslateEdits = value; }
  TStrings* Positions() const { return FPositions.get(); }
  void SetPositions(TStrings* positions);
  TStrings* CharSets() const { return FCharSets.get(); }
  void SetCharSets(TStrings* charSets);

  // Applies the groups of `component` that start at `index` and moves `index` past them.
  virtual void TranslateComponent(TComponent* component, int& index) = 0;
  // Appends the current texts of `component` to `grid`, from `row` on, as the groups that
  // TranslateComponent reads.
  virtual void CollectComponent(TComponent* component, int row, TEditingGrid* grid) = 0;

  // Whether the component's own texts are replaced at all (TranslateEdits, actions).
  bool MayTranslate(TComponent* component) const;

  // Reads the owner's word table from the string library StringLibraryName; raises
  // EMultiLangError when the library cannot be loaded.
  void LoadWordsFromLibrary();

  // The owner's font for the active language: remembered in CharSets / applied from it.
  void StoreCharSet();
  void ApplyCharSet();
  // Bounds of a control (or of the owner) for the active language, as SwitchPositions says.
  void StorePosition(TComponent* target, bool isOwner);
  void ApplyPosition(TComponent* target, bool isOwner);

  // Switches to GlobalLanguage and reads a string library when one is named.
  void Loaded() override;
  void BeforeDestruction() override;

 protected:
  // The text rule: the text of the group at `cursor` for the active language (the default
  // language's text instead of an empty one, when enabled). False, with the cursor kept,
  // when the table has no such line; otherwise the cursor moves to the next group.
  bool NextText(int& cursor, std::string& text) const;
  // The hint of a hint group at `cursor`; the group is used even when its text is empty.
  bool NextHint(int& cursor, std::string& hint) const;
  int GroupSize() const { return 1 + FLanguages; }

 private:
  bool InformOutOfRange() const;
  void Walk();
  std::string BoundsText(TComponent* target) const;
  std::string PositionKey(TComponent* target, bool isOwner) const;
  int FindPositionLine(const std::string& key) const;
  bool DropPositionsAsked();
  bool DropFormPositionAsked();

  std::uint8_t FDefaultLanguage = 0;
  bool FDefaultEnabled = false;
  std::uint8_t FLanguages = 2;
  std::uint8_t FActiveLanguage = 0;
  TSwitchPositions FSwitchPositions = spNone;
  TTranslateEdits FTranslateEdits = teReadOnly;
  std::unique_ptr<TStringList> FWords;
  std::unique_ptr<TStringList> FDoNot;
  std::unique_ptr<TStringList> FPositions;
  std::unique_ptr<TStringList> FCharSets;
};

// Every live multi-language component, in order of creation.
std::vector<TBaseMultiLang*>& MultiLangList();
// The language a component switches to when it finishes loading.
inline std::uint8_t GlobalLanguage = 0;
// A string library to read word tables from; empty: none.
inline std::string StringLibraryName;

// Switches every component of MultiLangList that has more than `language` languages, then
// makes `language` the GlobalLanguage.
void SetGlobalLanguage(std::uint8_t language);
