// The multi-language component's tables: the word table walk of the language switch, the
// Positions lines and the CharSets lines, on a window read from its stored description with
// one control of each kind the component translates. The first bytes choose the number of
// languages, the switch settings and the languages switched to; then come the word table,
// the Positions lines and the CharSets lines as texts.
//
// Checked: a switch never changes the word table and leaves a valid active language (also
// when a malformed CharSets line or window bounds field ends it with its error); the
// window's caption is the text the "%Form%" group gives; a CharSets line "name,number" with
// a name for the new language gives the window's font that name; a control whose Positions field
// for the new language holds four plain numbers gets those bounds; adding languages and taking them
// away again gives back a table of whole groups.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "forms/class_record.h"
#include "forms/class_registry.h"
#include "forms/control.h"
#include "forms/form.h"
#include "forms/graphics.h"
#include "forms/properties.h"
#include "forms/strings.h"
#include "fuzz_support.h"
#include "multilang/multi_lang.h"
#include "platform/sysutils.h"

namespace {

class TFuzzForm : public TForm {
 public:
  static const TClassRecord& StaticClass() {
    static const TClassRecord record = TClassRecord::Define<TFuzzForm, TForm>(
        "TFuzzForm",
        [](TClassBuilder<TFuzzForm>& c) { c.Field("MultiLang1", &TFuzzForm::MultiLang1); });
    return record;
  }
  const TClassRecord& ClassType() const override { return StaticClass(); }
  explicit TFuzzForm(TComponent* owner) : TForm(owner) { LoadDescriptionResource("FUZZFORM"); }

  TMultiLang* MultiLang1 = nullptr;
};

std::vector<std::string> Lines(const TStrings* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->Count(); ++i) lines.push_back(list->Get(i));
  return lines;
}

bool Digits(const std::string& text, std::size_t most) {
  if (text.empty() || text.size() > most) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// "L.T.W.H" with four plain numbers up to 4000.
bool PlainBounds(const std::string& field, int bounds[4]) {
  std::size_t at = 0;
  for (int n = 0; n < 4; ++n) {
    std::size_t dot = n < 3 ? field.find('.', at) : field.size();
    if (dot == std::string::npos) return false;
    std::string number = field.substr(at, dot - at);
    if (!Digits(number, 4) || std::stoi(number) > 4000) return false;
    bounds[n] = std::stoi(number);
    at = dot + 1;
  }
  return true;
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The fields of a Positions line, blanks around each dropped.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  while (true) {
    std::size_t comma = line.find(',', at);
    std::string field =
        line.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    std::size_t b = field.find_first_not_of(" \t");
    std::size_t e = field.find_last_not_of(" \t");
    fields.push_back(b == std::string::npos ? std::string() : field.substr(b, e - b + 1));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return fields;
}

void CheckAfterSwitch(TFuzzForm& form, const std::vector<std::string>& words, bool switched) {
  TMultiLang& ml = *form.MultiLang1;
  FUZZ_CHECK(Lines(ml.Words()) == words, "a switch changed the word table");
  FUZZ_CHECK(ml.ActiveLanguage() < ml.Languages(), "active language beyond the languages");
  if (!switched) return;
  const int active = ml.ActiveLanguage();
  const int group = 1 + ml.Languages();

  // The caption from the last "%Form%" group that has a line for the active language.
  for (std::size_t i = 0; i < words.size(); i += static_cast<std::size_t>(group)) {
    // Groups are found by walking; only a table whose keys are all "%Form%" is predictable.
    if (words[i] != "%Form%") return;
  }
  std::string expected;
  bool any = false;
  for (std::size_t i = 0; i < words.size(); i += static_cast<std::size_t>(group)) {
    std::size_t line = i + 1 + active;
    if (line >= words.size()) break;
    std::string text = words[line];
    std::size_t fallback = i + 1 + ml.DefaultLanguage();
    if (text.empty() && ml.DefaultEnabled() && ml.DefaultLanguage() < ml.Languages() &&
        fallback < words.size())
      text = words[fallback];
    expected = text;
    any = true;
  }
  if (any)
    FUZZ_CHECK(form.Caption() == expected, "caption " + fuzzsupport::Escaped(form.Caption()) +
                                               ", expected " + fuzzsupport::Escaped(expected));
}

void CheckCharSet(TFuzzForm& form) {
  TMultiLang& ml = *form.MultiLang1;
  const int active = ml.ActiveLanguage();
  if (active >= ml.CharSets()->Count()) return;
  const std::string line = ml.CharSets()->Get(active);
  const std::size_t comma = line.find(',');
  // A font is never given an empty name: ",1" keeps the name it has.
  if (comma == std::string::npos || comma == 0) return;
  const std::string number = line.substr(comma + 1);
  if (!Digits(number, 3) || std::stoi(number) > 255) return;
  FUZZ_CHECK(
      form.Font()->Name() == line.substr(0, comma),
      "font " + fuzzsupport::Escaped(form.Font()->Name()) + " for " + fuzzsupport::Escaped(line));
}

// The bounds a target gets from its Positions line for the active language, when that field
// holds four plain numbers.
void CheckBounds(TMultiLang& ml, TControl& target, const std::string& key) {
  // A control that sizes itself to its text keeps its own width and height.
  if (PropIsKind(&target, "AutoSize", TTypeKind::tkBool) && GetOrdProp(&target, "AutoSize")) return;
  const std::string prefix = LowerAscii(key) + ",";
  const std::size_t field = 1 + ml.ActiveLanguage();
  for (int i = ml.Positions()->Count() - 1; i >= 0; --i) {
    const std::string& line = ml.Positions()->Get(i);
    if (LowerAscii(line.substr(0, prefix.size())) != prefix) continue;
    std::vector<std::string> fields = Fields(line);
    int bounds[4];
    if (field < fields.size() && PlainBounds(fields[field], bounds)) {
      const int actual[4] = {target.Left(), target.Top(), target.Width(), target.Height()};
      for (int n = 0; n < 4; ++n)
        FUZZ_CHECK(actual[n] == bounds[n], key + " not at " + fields[field]);
    }
    return;
  }
}

// The owner's bounds are applied by every switch; a control's when the walk translates it,
// which it surely does for the component named by the table's first line.
void CheckPositions(TFuzzForm& form) {
  TMultiLang& ml = *form.MultiLang1;
  if (ml.SwitchPositions() == spFormAndControls) CheckBounds(ml, form, "%Form%");
  if (ml.SwitchPositions() == spNone || ml.Words()->Count() == 0) return;
  auto* first = dynamic_cast<TControl*>(form.FindComponent(ml.Words()->Get(0)));
  if (first && !first->Name().empty()) CheckBounds(ml, *first, first->Name());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::SetUpApplication();
  RegisterClasses({&TFuzzForm::StaticClass()});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto languages = input.ConsumeIntegralInRange<std::uint8_t>(1, 4);
  const bool defaultEnabled = input.ConsumeBool();
  const auto defaultLanguage = input.ConsumeIntegralInRange<std::uint8_t>(0, 4);
  const auto switchPositions = static_cast<TSwitchPositions>(input.ConsumeIntegralInRange(0, 2));
  const auto translateEdits = static_cast<TTranslateEdits>(input.ConsumeIntegralInRange(0, 2));
  std::vector<std::uint8_t> switches(input.ConsumeIntegralInRange<std::size_t>(1, 4));
  for (auto& to : switches) to = input.ConsumeIntegralInRange<std::uint8_t>(0, 5);
  const std::string words = input.ConsumeRandomLengthString(4000);
  const std::string positions = input.ConsumeRandomLengthString(1000);
  const std::string charSets = input.ConsumeRemainingBytesAsString();

  GlobalLanguage = 0;
  auto* form = new TFuzzForm(nullptr);
  TMultiLang& ml = *form->MultiLang1;
  ml.SetLanguages(languages);
  ml.SetDefaultEnabled(defaultEnabled);
  ml.SetDefaultLanguage(defaultLanguage);
  ml.SetTranslateEdits(translateEdits);
  TStringList list;
  list.SetText(words);
  ml.SetWords(&list);
  list.SetText(positions);
  ml.SetPositions(&list);
  list.SetText(charSets);
  ml.SetCharSets(&list);
  ml.SetSwitchPositions(switchPositions);

  const std::vector<std::string> table = Lines(ml.Words());
  for (std::uint8_t to : switches) {
    const bool switched = to < ml.Languages();
    try {
      ml.SetActiveLanguage(to);
    } catch (const platform::EConvertError&) {
      // A CharSets line, or a number of the window's bounds, that is not a decimal integer
      // ends the switch after the language has changed.
      CheckAfterSwitch(*form, table, false);
      continue;
    } catch (const EAssertionFailed&) {
      CheckAfterSwitch(*form, table, false);  // the window's bounds field is too short
      continue;
    }
    CheckAfterSwitch(*form, table, switched);
    if (switched) {
      CheckCharSet(*form);
      CheckPositions(*form);
    }
  }

  // More languages and back: whole groups come back as they were.
  const std::uint8_t count = ml.Languages();
  if (table.size() % (1u + count) == 0 && count < 200) {
    ml.SetLanguages(static_cast<std::uint8_t>(count + 2));
    FUZZ_CHECK(ml.Words()->Count() == static_cast<int>(table.size() / (1u + count) * (3u + count)),
               "lines after adding languages");
    ml.SetLanguages(count);
    FUZZ_CHECK(Lines(ml.Words()) == table, "adding and removing languages changed the table");
  }
  TObject::Free(form);
  return 0;
}
