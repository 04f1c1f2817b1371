// The language switch: loading order, the text rule, the walk over the word table, the
// events, the number of languages and the process-wide switch.
#include <algorithm>

#include "forms/com_controls.h"
#include "forms/std_controls.h"
#include "ml_test_support.h"

namespace {

const std::string kChineseCaption = "\xB4\xFA\xB8\xD5\xB5\xF8\xB5\xA1";
const std::string kChineseExit = "\xC2\xF7\xB6}";
const char* const kOutOfRange = "Value must not be higher than\rnumber of available languages.";

// A label that refuses every caption, as a control whose platform call fails.
class TRefusingLabel : public TLabel {
 public:
  static const TClassRecord& StaticClass() {
    static const TClassRecord record = TClassRecord::Define<TRefusingLabel, TLabel>(
        "TRefusingLabel", [](TClassBuilder<TRefusingLabel>& c) {
          c.Str("Caption", &TRefusingLabel::GetText, &TRefusingLabel::Refuse);
        });
    return record;
  }
  const TClassRecord& ClassType() const override { return StaticClass(); }
  explicit TRefusingLabel(TComponent* owner) : TLabel(owner) {}
  void Refuse(const std::string&) { throw platform::Exception("refused"); }
};

using LoadingTest = MultiLangTest;

TEST_F(LoadingTest, StoredLanguageSwitchesFirstThenLoadingSwitchesToTheGlobalLanguage) {
  MakeForm();
  // Loading ended with the switch to GlobalLanguage 0, the only one the bound handler saw.
  EXPECT_EQ(Form->MultiLang1->ActiveLanguage(), 0);
  EXPECT_EQ(Form->Changes, std::vector<int>{0});
  EXPECT_EQ(Form->Caption(), "Test Window");
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "Exit");
  EXPECT_EQ(Form->Get<TLabel>("Label1")->Caption(), "Status:");
  EXPECT_TRUE(Boxes.empty());

  SetGlobalLanguage(1);
  EXPECT_EQ(Form->Caption(), kChineseCaption);
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), kChineseExit);
  EXPECT_EQ(Form->Changes, (std::vector<int>{0, 1}));
  EXPECT_EQ(GlobalLanguage, 1);
}

TEST_F(LoadingTest, GlobalLanguageBeyondTheComponentShowsTheMessageAndKeepsTheStoredSwitch) {
  SetGlobalLanguage(2);
  EXPECT_EQ(GlobalLanguage, 2);
  MakeForm();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, kOutOfRange);
  EXPECT_EQ(Boxes[0].Flags & MB_ICONMASK, MB_ICONINFORMATION);
  EXPECT_EQ(MessageBoxButtons(Boxes[0].Flags), std::vector<int>{IDCANCEL});
  // The stored ActiveLanguage 1 switched while the word table was still empty, so the texts
  // are those of the description; the refused switch changed nothing.
  EXPECT_EQ(Form->MultiLang1->ActiveLanguage(), 1);
  EXPECT_EQ(Form->Caption(), kChineseCaption);
  EXPECT_TRUE(Form->Changes.empty());
}

TEST_F(LoadingTest, ComponentsJoinTheListWhenCreatedAndLeaveItWhenFreed) {
  MakeForm();
  auto& list = MultiLangList();
  auto* second = new TMultiLang(Form);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[list.size() - 2], Form->MultiLang1);
  EXPECT_EQ(list.back(), second);
  TObject::Free(second);
  EXPECT_EQ(std::count(list.begin(), list.end(), second), 0);
  TObject::Free(Form);
  Form = nullptr;
  EXPECT_TRUE(list.empty());
}

using TextRuleTest = MultiLangTest;

TEST_F(TextRuleTest, EmptyTextTakesTheDefaultLanguageOnlyWhenEnabled) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  SetWords({"%Form%", "English", "Chinese"});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Caption(), "Chinese");

  SetWords({"%Form%", "English", ""});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Caption(), "");
  // Changing DefaultEnabled repeats the switch at once.
  ml->SetDefaultEnabled(true);
  EXPECT_EQ(Form->Caption(), "English");
  ml->SetDefaultEnabled(false);
  EXPECT_EQ(Form->Caption(), "");
}

TEST_F(TextRuleTest, DefaultLanguageOutsideTheLanguagesIsRefused) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->SetDefaultLanguage(2);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, kOutOfRange);
  EXPECT_EQ(MessageBoxButtons(Boxes[0].Flags), std::vector<int>{IDCANCEL});
  EXPECT_EQ(ml->DefaultLanguage(), 0);

  // A default that a later decrease left behind is not read from the next group.
  ml->SetLanguages(3);
  SetWords({"%Form%", "e", "", "c", "btnExit", "Exit", "x", "y"});
  ml->SetDefaultEnabled(true);
  ml->SetDefaultLanguage(2);
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Caption(), "c");
  Answers = {IDYES};
  ml->SetLanguages(2);
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Caption(), "");
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "x");
}

using WalkTest = MultiLangTest;

TEST_F(WalkTest, UnknownStrayAndTextlessGroupsArePassedOver) {
  MakeForm();
  SetWords({"Nobody",  "x",       "y",       // no such component
            "\"",      "s",       "s",       // continuation without a component
            "\".Hint", "h",       "h",       // hint without a component
            "Timer1",  "t",       "t",       // a component without texts
            "btnExit", "Exit",    "EXIT",    //
            "Label1",  "Status:", "STATUS",  //
            "%Form%",  "Window",  "WINDOW",  //
            "Label1",  "cut"});              // cut short: no text for language 1
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "EXIT");
  EXPECT_EQ(Form->Get<TLabel>("Label1")->Caption(), "STATUS");
  EXPECT_EQ(Form->Caption(), "WINDOW");
}

TEST_F(WalkTest, ErrorOfOneComponentIsSwallowedAndTheWalkGoesOn) {
  MakeForm();
  auto* refuser = new TRefusingLabel(Form);
  refuser->SetName("Refuser");
  SetWords({"Refuser", "a", "b",  //
            "\"", "c", "d",       // its further group, passed over by the walk
            "btnExit", "Exit", "EXIT"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "EXIT");
  EXPECT_EQ(Form->Changes.back(), 1);
}

TEST_F(WalkTest, MalformedTablesNeverReadBeyondTheirEnd) {
  MakeForm();
  const std::vector<std::vector<const char*>> tables = {
      {},
      {"%Form%"},
      {"%Form%", "only English"},
      {"\"", "\"", "\"", "\"", "\"", "\""},
      {"", "", "", "", ""},
      {"ListBox1"},
      {"ListBox1", "a", "b", "\""},
      {"StatusBar1", "s", "S", "\"", "p"},
      {"ComboBox1", "\".Hint", "\".Hint", "\".Hint", "\""},
  };
  for (const auto& table : tables) {
    TStringList words;
    for (const char* line : table) words.Add(line);
    Form->MultiLang1->SetWords(&words);
    Form->MultiLang1->SetActiveLanguage(1);
    Form->MultiLang1->SetActiveLanguage(0);
  }
  EXPECT_EQ(Form->Caption(), "only English");
  EXPECT_EQ(Form->Get<TListBox>("ListBox1")->Items()->Get(0), "a");
  EXPECT_EQ(Form->Get<TListBox>("ListBox1")->Items()->Get(1), "2");
  EXPECT_EQ(Form->Get<TStatusBar>("StatusBar1")->SimpleText(), "s");
  // The last group has an English text only.
  EXPECT_EQ(Form->Get<TStatusBar>("StatusBar1")->Panels()->Items(0)->Text(), "p");
  EXPECT_EQ(Form->Get<TStatusBar>("StatusBar1")->Panels()->Items(1)->Text(), "panel 1");
}

TEST_F(WalkTest, RandomTablesKeepEveryListItsLengthAndSelection) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  auto* list = Form->Get<TListBox>("ListBox1");
  auto* combo = Form->Get<TComboBox>("ComboBox1");
  auto* bar = Form->Get<TStatusBar>("StatusBar1");
  const char* const vocabulary[] = {"\"",        "\".Hint",    "%Form%", "",        "ListBox1",
                                    "ComboBox1", "StatusBar1", "Edit1",  "Button2", "text"};
  unsigned seed = 12345;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int round = 0; round < 300; ++round) {
    TStringList words;
    for (unsigned n = next(40); n > 0; --n) words.Add(vocabulary[next(std::size(vocabulary))]);
    ml->SetWords(&words);
    ml->SetLanguages(static_cast<std::uint8_t>(1 + next(3)));
    ml->SetActiveLanguage(static_cast<std::uint8_t>(next(ml->Languages())));
    ASSERT_EQ(list->Items()->Count(), 5) << round;
    ASSERT_EQ(combo->Items()->Count(), 4) << round;
    ASSERT_EQ(combo->ItemIndex(), 2) << round;
    ASSERT_EQ(bar->Panels()->Count(), 3) << round;
  }
}

using EventTest = MultiLangTest;

TEST_F(EventTest, BeforeLanguageChangeCanRefuseTheSwitch) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  std::vector<int> asked;
  ml->BeforeLanguageChange = [&](TObject* sender, std::uint8_t language, bool& allowIt) {
    EXPECT_EQ(sender, ml);
    EXPECT_TRUE(allowIt);
    asked.push_back(language);
    allowIt = false;
  };
  ml->SetActiveLanguage(1);
  EXPECT_EQ(asked, std::vector<int>{1});
  EXPECT_EQ(ml->ActiveLanguage(), 0);
  EXPECT_EQ(Form->Caption(), "Test Window");
  EXPECT_EQ(Form->Changes, std::vector<int>{0});  // from loading only
}

TEST_F(EventTest, SwitchingToTheActiveLanguageRunsEveryStep) {
  MakeForm();
  Form->SetCaption("changed by the program");
  Form->MultiLang1->BeforeLanguageChange = [](TObject*, std::uint8_t, bool&) {};
  Form->MultiLang1->SetActiveLanguage(0);
  EXPECT_EQ(Form->Caption(), "Test Window");
  EXPECT_EQ(Form->Changes, (std::vector<int>{0, 0}));
  EXPECT_EQ(Form->CaptionsSeen.back(), "Test Window");
}

using LanguagesTest = MultiLangTest;

TEST_F(LanguagesTest, RaisingAddsPlaceholdersAndLoweringAsksFirst) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  SetWords({"btnExit", "Exit", kChineseExit.c_str(), "Label1", "Status:", "S"});
  ml->SetLanguages(3);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(ml->Words()->Lines(), (std::vector<std::string>{"btnExit", "Exit", kChineseExit, "?",
                                                            "Label1", "Status:", "S", "?"}));

  Answers = {IDNO};
  ml->SetLanguages(2);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text,
            "You are decreasing the number of languages.\rEntries for the removed language will "
            "be lost.\r\rContinue?");
  EXPECT_EQ(Boxes[0].Flags & MB_TYPEMASK, MB_YESNO);
  EXPECT_EQ(ml->Languages(), 3);
  EXPECT_EQ(ml->Words()->Count(), 8);

  Answers = {IDYES};
  ml->SetLanguages(2);
  EXPECT_EQ(ml->Languages(), 2);
  EXPECT_EQ(ml->Words()->Lines(),
            (std::vector<std::string>{"btnExit", "Exit", kChineseExit, "Label1", "Status:", "S"}));
}

TEST_F(LanguagesTest, DroppingTheActiveLanguageAsksAndSwitchesToTheFirst) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->SetLanguages(3);
  SetWords({"btnExit", "Exit", "E1", "E2"});
  ml->SetActiveLanguage(2);
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "E2");

  Answers = {IDYES};
  ml->SetLanguages(1);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text,
            "You are decreasing the number of languages.\rEntries for the removed language will "
            "be lost.\rThe currently displayed language will be deleted, too.\r\rDo you really "
            "want to continue?");
  EXPECT_EQ(ml->ActiveLanguage(), 0);
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "Exit");
  EXPECT_EQ(ml->Words()->Lines(), (std::vector<std::string>{"btnExit", "Exit"}));

  ml->SetLanguages(0);
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text, "You have to provide at least 1 language.");
  EXPECT_EQ(ml->Languages(), 1);
}

TEST_F(LanguagesTest, WhileLoadingTheTableIsRestructuredWithoutQuestions) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  SetWords({"btnExit", "Exit", "EXIT", "Label1", "Status:"});  // the last group cut short
  ml->SetLoading(true);
  ml->SetLanguages(1);
  ml->SetLoading(false);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(ml->Words()->Lines(),
            (std::vector<std::string>{"btnExit", "Exit", "Label1", "Status:"}));
}

using GlobalLanguageTest = MultiLangTest;

TEST_F(GlobalLanguageTest, ComponentsWithoutThatLanguageKeepTheirOwn) {
  MakeForm();
  TForm other(nullptr);
  other.SetCaption("none yet");
  auto* three = new TMultiLang(&other);
  three->SetLanguages(3);
  TStringList words;
  for (const char* line : {"%Form%", "zero", "one", "two"}) words.Add(line);
  three->SetWords(&words);

  SetGlobalLanguage(2);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(GlobalLanguage, 2);
  EXPECT_EQ(Form->MultiLang1->ActiveLanguage(), 0);
  EXPECT_EQ(Form->Changes, std::vector<int>{0});
  EXPECT_EQ(three->ActiveLanguage(), 2);
  EXPECT_EQ(other.Caption(), "two");

  SetGlobalLanguage(1);
  EXPECT_EQ(Form->Caption(), kChineseCaption);
  EXPECT_EQ(other.Caption(), "one");
}

}  // namespace
