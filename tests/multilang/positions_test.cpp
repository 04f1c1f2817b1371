// Bounds and fonts switched with the language: Positions, SwitchPositions and CharSets.
#include "forms/std_controls.h"
#include "ml_test_support.h"

namespace {

const char* const kDropPositions =
    "You are going to drop the positions.\rCurrently different values are stored for each "
    "language,\rDo you want to drop these values?";
const char* const kDropFormPosition =
    "You are going to drop the positions for the form.\rCurrently different values are stored "
    "for each language.\rDo you want to drop these values?";

void SetLines(TStrings* target, std::initializer_list<const char*> lines) {
  TStringList list;
  for (const char* line : lines) list.Add(line);
  target->Assign(&list);
}

struct TRect {
  int Left, Top, Width, Height;
  bool operator==(const TRect&) const = default;
};
TRect BoundsOf(const TControl* c) {
  return {c->Left(), c->Top(), c->Width(), c->Height()};
}

using PositionsTest = MultiLangTest;

TEST_F(PositionsTest, BoundsOfEachLanguageComeBackWithIt) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  auto* exit = Form->Get<TButton>("btnExit");
  ml->SetSwitchPositions(spFormAndControls);
  EXPECT_TRUE(Boxes.empty());
  const TRect formAt0 = BoundsOf(Form);
  const TRect exitAt0 = BoundsOf(exit);

  ml->SetActiveLanguage(1);
  // Every control with bounds got a line, the bounds of the language left for each language.
  EXPECT_GE(ml->Positions()->IndexOf("btnexit,436.320.90.25,436.320.90.25"), 0);
  EXPECT_GE(ml->Positions()->IndexOf("label1,16.260.51.12,16.260.51.12"), 0);
  EXPECT_EQ(ml->Positions()->Get(0).rfind("%Form%,200.120.", 0), 0u);
  EXPECT_EQ(ml->Positions()->Count(), Form->ComponentCount() - 4 + 1)
      << "one line per control and one for the window";  // not the actions, timer, itself

  exit->SetBounds(10, 20, 30, 40);
  Form->SetLeft(50);
  ml->SetActiveLanguage(0);
  EXPECT_EQ(BoundsOf(exit), exitAt0);
  EXPECT_EQ(BoundsOf(Form), formAt0);
  EXPECT_GE(ml->Positions()->IndexOf("btnexit,436.320.90.25,10.20.30.40"), 0);

  ml->SetActiveLanguage(1);
  EXPECT_EQ(BoundsOf(exit), (TRect{10, 20, 30, 40}));
  EXPECT_EQ(Form->Left(), 50);
}

TEST_F(PositionsTest, ControlsOnlyLeavesTheWindowWhereItIs) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->SetSwitchPositions(spControlsOnly);
  SetLines(ml->Positions(), {"%Form%,1.2.300.200,3.4.300.200", "btnexit,436.320.90.25,5.6.7.8"});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Left(), 200);
  EXPECT_EQ(BoundsOf(Form->Get<TButton>("btnExit")), (TRect{5, 6, 7, 8}));
  EXPECT_EQ(ml->Positions()->Get(0), "%Form%,1.2.300.200,3.4.300.200");
}

TEST_F(PositionsTest, NothingIsReadOrWrittenWithoutSwitchPositions) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  SetLines(ml->Positions(), {"btnexit,1.1.1.1,2.2.2.2"});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(BoundsOf(Form->Get<TButton>("btnExit")), (TRect{436, 320, 90, 25}));
  EXPECT_EQ(ml->Positions()->Lines(), std::vector<std::string>{"btnexit,1.1.1.1,2.2.2.2"});
}

TEST_F(PositionsTest, MalformedBoundsEndTheSwitchForTheWindowAndPassOverAControl) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->SetSwitchPositions(spFormAndControls);
  auto* exit = Form->Get<TButton>("btnExit");
  const std::string chineseLabel =
      "\xA4u\xA7@\xAA\xAC\xBA"
      "A:";
  // Fields that move nothing: never stored (empty), or a number missing for a property the
  // control has.
  for (const char* field : {"", "1..3.4"}) {
    SetLines(ml->Positions(), {"%Form%", ("btnexit,436.320.90.25," + std::string(field)).c_str()});
    ml->SetActiveLanguage(1);
    EXPECT_EQ(BoundsOf(exit), (TRect{436, 320, 90, 25})) << field;
    EXPECT_EQ(Form->Get<TLabel>("Label1")->Caption(), chineseLabel) << field;
    ml->SetActiveLanguage(0);
  }
  // A control's bad field is passed over by the walk: its bounds stay, the texts are applied.
  for (const char* field : {"1.2.3", "a.b.c.d", "99999999999.1.1.1", "1.2.3.4x"}) {
    SetLines(ml->Positions(), {"%Form%", ("btnexit,436.320.90.25," + std::string(field)).c_str()});
    Form->Changes.clear();
    ml->SetActiveLanguage(1);
    EXPECT_EQ(BoundsOf(exit), (TRect{436, 320, 90, 25})) << field;
    EXPECT_EQ(Form->Get<TLabel>("Label1")->Caption(), chineseLabel) << field;
    EXPECT_EQ(Form->Changes, std::vector<int>{1}) << field;
    ml->SetActiveLanguage(0);
  }
  // The window's bad field ends the switch after the language changed: too few numbers is a
  // failed assertion, a bad number a conversion error; no text follows and no event either.
  const TRect formAt0 = BoundsOf(Form);
  SetLines(ml->Positions(), {"%Form%,1.2.300.200,1.2.300"});
  Form->Changes.clear();
  EXPECT_THROW(ml->SetActiveLanguage(1), EAssertionFailed);
  EXPECT_EQ(ml->ActiveLanguage(), 1);
  EXPECT_EQ(BoundsOf(Form), formAt0);
  EXPECT_NE(Form->Get<TLabel>("Label1")->Caption(), chineseLabel);
  EXPECT_TRUE(Form->Changes.empty());
  ml->SetActiveLanguage(0);
  SetLines(ml->Positions(), {"%Form%,1.2.300.200,1.2.x.200"});
  EXPECT_THROW(ml->SetActiveLanguage(1), platform::EConvertError);

  // More than four numbers: the first four count.
  ml->SetActiveLanguage(0);
  SetLines(ml->Positions(), {"btnexit,436.320.90.25, 1.2.3.4.5 "});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(BoundsOf(exit), (TRect{1, 2, 3, 4}));
}

using SwitchPositionsTest = MultiLangTest;

TEST_F(SwitchPositionsTest, DroppingDifferentPositionsAsksForEachLine) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->SetSwitchPositions(spFormAndControls);
  SetLines(ml->Positions(),
           {"label1,1.2.3.4,9.9.9.9", "btnexit,1.1.1.1,1.1.1.1", "%Form%,1.2.3.4,1.2.3.5"});

  Answers = {IDYES, IDNO};
  ml->SetSwitchPositions(spNone);
  ASSERT_EQ(Boxes.size(), 3u);  // the two lines that differ, then the cancellation
  EXPECT_EQ(Boxes[0].Text, kDropPositions);
  EXPECT_EQ(Boxes[0].Flags & MB_TYPEMASK, MB_YESNO);
  EXPECT_EQ(Boxes[0].Flags & MB_ICONMASK, MB_ICONWARNING);
  EXPECT_EQ(Boxes[1].Text, kDropPositions);
  EXPECT_EQ(Boxes[2].Text, "Cancelled.");
  EXPECT_EQ(ml->SwitchPositions(), spFormAndControls);
  EXPECT_EQ(ml->Positions()->Count(), 3);

  Boxes.clear();
  Answers = {IDYES, IDYES};
  ml->SetSwitchPositions(spNone);
  EXPECT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(ml->SwitchPositions(), spNone);
  EXPECT_EQ(ml->Positions()->Count(), 0);
}

TEST_F(SwitchPositionsTest, ControlsOnlyDropsTheWindowLine) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->SetSwitchPositions(spFormAndControls);
  SetLines(ml->Positions(), {"label1,1.2.3.4,9.9.9.9", "%Form%,1.2.3.4,5.6.7.8"});
  Answers = {IDNO};
  ml->SetSwitchPositions(spControlsOnly);
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, kDropFormPosition);
  EXPECT_EQ(Boxes[1].Text, "Cancelled.");
  EXPECT_EQ(ml->SwitchPositions(), spFormAndControls);
  EXPECT_EQ(ml->Positions()->Count(), 2);

  Answers = {IDYES};
  ml->SetSwitchPositions(spControlsOnly);
  EXPECT_EQ(ml->SwitchPositions(), spControlsOnly);
  EXPECT_EQ(ml->Positions()->Lines(), std::vector<std::string>{"label1,1.2.3.4,9.9.9.9"});

  // Equal bounds go without a question.
  Boxes.clear();
  ml->SetSwitchPositions(spFormAndControls);
  SetLines(ml->Positions(), {"%Form%,1.2.3.4,1.2.3.4"});
  ml->SetSwitchPositions(spControlsOnly);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(ml->Positions()->Count(), 0);
}

using CharSetTest = MultiLangTest;

TEST_F(CharSetTest, TheOwnersFontFollowsTheLanguageAndOwnFontsStay) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  SetLines(ml->CharSets(), {"MS Sans Serif,1", "PMingLiU,136"});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Font()->Name(), "PMingLiU");
  EXPECT_EQ(Form->Font()->CharSet(), CHINESEBIG5_CHARSET);
  auto* label = Form->Get<TLabel>("Label1");  // a font of its own
  EXPECT_EQ(label->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(label->Font()->CharSet(), CHINESEBIG5_CHARSET);
  EXPECT_EQ(label->Font()->Height(), -12);

  // The font in use is remembered for the language that is left.
  Form->Font()->SetName("MingLiU");
  ml->SetActiveLanguage(0);
  EXPECT_EQ(Form->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(Form->Font()->CharSet(), DEFAULT_CHARSET);
  EXPECT_EQ(ml->CharSets()->Lines(), (std::vector<std::string>{"MS Sans Serif,1", "MingLiU,136"}));
}

TEST_F(CharSetTest, MissingLinesAreFilledFromTheFontInUse) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  ml->CharSets()->Clear();
  ml->SetActiveLanguage(1);
  EXPECT_EQ(ml->CharSets()->Lines(),
            (std::vector<std::string>{"MS Sans Serif,1", "MS Sans Serif,1"}));
}

TEST_F(CharSetTest, AMalformedLineEndsTheSwitchWithAConversionError) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  for (const char* line :
       {"NoComma", "Arial,", "Arial,x", "Arial,256", "Arial,-1", "Arial,99999999999999999999"}) {
    SetLines(ml->CharSets(), {"MS Sans Serif,1", line});
    Form->Changes.clear();
    EXPECT_THROW(ml->SetActiveLanguage(1), platform::EConvertError) << line;
    // The language has changed; the font, the texts and the event have not.
    EXPECT_EQ(ml->ActiveLanguage(), 1) << line;
    EXPECT_EQ(Form->Font()->Name(), "MS Sans Serif") << line;
    EXPECT_NE(Form->Caption(), "\xB4\xFA\xB8\xD5\xB5\xF8\xB5\xA1") << line;
    EXPECT_TRUE(Form->Changes.empty()) << line;
    ml->CharSets()->Put(1, "MS Sans Serif,1");
    ml->SetActiveLanguage(0);
  }
  try {
    SetLines(ml->CharSets(), {"MS Sans Serif,1", "Arial,x"});
    ml->SetActiveLanguage(1);
    ADD_FAILURE() << "no conversion error";
  } catch (const platform::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
  ml->CharSets()->Put(1, "MS Sans Serif,1");
  ml->SetActiveLanguage(0);
  SetLines(ml->CharSets(), {"MS Sans Serif,1", "Arial, 238 "});
  ml->SetActiveLanguage(1);
  EXPECT_EQ(Form->Font()->Name(), "Arial");
  EXPECT_EQ(Form->Font()->CharSet(), EASTEUROPE_CHARSET);
}

}  // namespace
