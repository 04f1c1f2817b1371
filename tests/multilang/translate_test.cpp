// How each kind of control takes its groups: the list and sequence rules, edits and actions,
// hints, kept selections and sort types, status bar panels.
#include "forms/actions.h"
#include "forms/com_controls.h"
#include "forms/ext_controls.h"
#include "forms/std_controls.h"
#include "ml_test_support.h"

namespace {

std::vector<std::string> ItemsOf(const TStrings* list) {
  return list->Lines();
}

using ListRuleTest = MultiLangTest;

TEST_F(ListRuleTest, FewerTextsThanItemsEmptyTheRest) {
  MakeForm();
  SetWords({"ListBox1", "one", "yi",  //
            "\"", "two", "er",        //
            "\"", "three", "san"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(ItemsOf(Form->Get<TListBox>("ListBox1")->Items()),
            (std::vector<std::string>{"yi", "er", "san", "", ""}));
}

TEST_F(ListRuleTest, SurplusGroupsArePassedOverAndTheNextControlIsTranslated) {
  MakeForm();
  SetWords({"ListBox2", "red", "hong",  //
            "\"", "green", "lv",        //
            "\"", "blue", "lan",        //
            "\"", "black", "hei",       //
            "btnExit", "Exit", "EXIT"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(ItemsOf(Form->Get<TListBox>("ListBox2")->Items()),
            (std::vector<std::string>{"hong", "lv"}));
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "EXIT");
}

TEST_F(ListRuleTest, ANextControlsGroupIsNeverTakenAsAnItem) {
  MakeForm();
  auto* group = new TRadioGroup(Form);
  group->SetName("RadioGroup1");
  TStringList items;
  items.Add("first");
  items.Add("second");
  group->SetItems(&items);
  SetWords({"RadioGroup1", "Choose", "XUAN",  // the caption only
            "btnExit", "Exit", "EXIT"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(group->Caption(), "XUAN");
  EXPECT_EQ(ItemsOf(group->Items()), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "EXIT");
}

TEST_F(ListRuleTest, SortedListsTakeTheirTextsByPlaceAndSortThemAgain) {
  MakeForm();
  auto* list = Form->Get<TListBox>("ListBox2");
  list->SetSorted(true);
  SetWords({"ListBox2", "a", "zebra", "\"", "b", "ant"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_TRUE(list->Sorted());
  EXPECT_EQ(ItemsOf(list->Items()), (std::vector<std::string>{"ant", "zebra"}));
}

using MayTranslateTest = MultiLangTest;

TEST_F(MayTranslateTest, EditTextsFollowTranslateEdits) {
  MakeForm();
  TMultiLang* ml = Form->MultiLang1;
  auto* edit = Form->Get<TEdit>("Edit1");
  SetWords({"Edit1", "edit", "EDIT", "\".Hint", "hint", "HINT"});
  ASSERT_EQ(ml->TranslateEdits(), teReadOnly);
  ml->SetActiveLanguage(1);
  EXPECT_EQ(edit->Text(), "typed by the user");
  EXPECT_EQ(edit->Hint(), "HINT");

  edit->SetReadOnly(true);
  ml->SetActiveLanguage(1);
  EXPECT_EQ(edit->Text(), "EDIT");

  edit->SetTextValue("again");
  ml->SetTranslateEdits(teNever);
  ml->SetActiveLanguage(1);
  EXPECT_EQ(edit->Text(), "again");

  edit->SetReadOnly(false);
  ml->SetTranslateEdits(teAlways);
  ml->SetActiveLanguage(1);
  EXPECT_EQ(edit->Text(), "EDIT");
}

TEST_F(MayTranslateTest, ControlsWithAnActionKeepItsCaptionButTakeTheirHint) {
  MakeForm();
  auto* button = Form->Get<TButton>("Button2");
  ASSERT_EQ(button->Caption(), "Run");
  SetWords({"Button2", "Go", "GO", "\".Hint", "starts", "STARTS", "btnExit", "Exit", "EXIT"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(button->Caption(), "Run");
  EXPECT_EQ(button->Hint(), "STARTS");
  EXPECT_EQ(Form->Get<TButton>("btnExit")->Caption(), "EXIT");
  // The action itself is translated by its own group.
  SetWords({"Action1", "Run", "RUN"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(button->Caption(), "RUN");
}

using HintTest = MultiLangTest;

TEST_F(HintTest, AnEmptyHintTextLeavesTheHintAndUsesTheGroup) {
  MakeForm();
  auto* exit = Form->Get<TButton>("btnExit");
  exit->SetHint("leave");
  SetWords({"btnExit", "Exit", "EXIT",  //
            "\".HINT", "Leave", "",     // letter case of the key does not matter
            "Label1", "Status:", "STATUS"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(exit->Caption(), "EXIT");
  EXPECT_EQ(exit->Hint(), "leave");
  EXPECT_EQ(Form->Get<TLabel>("Label1")->Caption(), "STATUS");
  Form->MultiLang1->SetActiveLanguage(0);
  EXPECT_EQ(exit->Hint(), "Leave");
}

using KeptStateTest = MultiLangTest;

TEST_F(KeptStateTest, ComboBoxKeepsItsSelectedIndex) {
  MakeForm();
  auto* combo = Form->Get<TComboBox>("ComboBox1");
  ASSERT_EQ(combo->ItemIndex(), 2);
  SetWords({"ComboBox1", "x0", "z0", "\"", "x1", "z1", "\"", "x2", "z2", "\"", "x3", "z3"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(ItemsOf(combo->Items()), (std::vector<std::string>{"z0", "z1", "z2", "z3"}));
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(combo->Text(), "z2");
}

TEST_F(KeptStateTest, SortedTreeViewGivesNodeKTheKthTextAndStaysSorted) {
  MakeForm();
  auto* tree = Form->Get<TTreeView>("TreeView1");
  ASSERT_EQ(tree->SortType(), stText);
  TTreeNode* pear = tree->Items()->Add(nullptr, "pear");
  TTreeNode* apple = tree->Items()->Add(nullptr, "apple");
  TTreeNode* seed = tree->Items()->AddChild(apple, "seed");
  ASSERT_EQ(apple->AbsoluteIndex(), 0);
  ASSERT_EQ(seed->AbsoluteIndex(), 1);
  ASSERT_EQ(pear->AbsoluteIndex(), 2);
  SetWords({"TreeView1", "apple", "zz-apple", "\"", "seed", "kern", "\"", "pear", "aa-pear"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(apple->Text(), "zz-apple");
  EXPECT_EQ(seed->Text(), "kern");
  EXPECT_EQ(pear->Text(), "aa-pear");
  EXPECT_EQ(tree->SortType(), stText);
  EXPECT_EQ(tree->Items()->Root(0), pear);  // sorted by the new texts
}

TEST_F(KeptStateTest, StatusBarTakesSimpleTextThenPanelsInOrder) {
  MakeForm();
  auto* bar = Form->Get<TStatusBar>("StatusBar1");
  SetWords({"StatusBar1", "ready", "READY", "\"", "p0", "P0", "\"", "p1", "P1"});
  Form->MultiLang1->SetActiveLanguage(1);
  EXPECT_EQ(bar->SimpleText(), "READY");
  EXPECT_EQ(bar->Panels()->Items(0)->Text(), "P0");
  EXPECT_EQ(bar->Panels()->Items(1)->Text(), "P1");
  EXPECT_EQ(bar->Panels()->Items(2)->Text(), "panel 2");
}

}  // namespace
