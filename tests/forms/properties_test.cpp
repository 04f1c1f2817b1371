// Published properties by name through class chains; class records and the class registry.
#include <gtest/gtest.h>

#include "forms/actions.h"
#include "forms/buttons.h"
#include "forms/class_registry.h"
#include "forms/com_controls.h"
#include "forms/dialogs.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/properties.h"
#include "forms/std_controls.h"
#include "forms/timer.h"

namespace {

class PropertiesTest : public ::testing::Test {
 protected:
  void TearDown() override { TObject::Free(form); }
  TForm* form = new TForm(nullptr);
};

TEST_F(PropertiesTest, CaptionAndTextArePublishedOnlyWhereTheClassesHaveThem) {
  auto* label = new TLabel(form);
  auto* edit = new TEdit(form);
  auto* memo = new TMemo(form);
  auto* mask = new TMaskEdit(form);
  auto* timer = new TTimer(form);
  EXPECT_TRUE(IsPublishedProp(label, "Caption"));
  EXPECT_FALSE(IsPublishedProp(label, "Text"));
  EXPECT_TRUE(IsPublishedProp(edit, "Text"));
  EXPECT_FALSE(IsPublishedProp(edit, "Caption"));
  EXPECT_TRUE(IsPublishedProp(edit, "ReadOnly"));
  // A memo has lines, not a published text; a masked edit has a text.
  EXPECT_FALSE(IsPublishedProp(memo, "Text"));
  EXPECT_TRUE(IsPublishedProp(memo, "Lines"));
  EXPECT_TRUE(IsPublishedProp(memo, "ReadOnly"));
  EXPECT_TRUE(IsPublishedProp(mask, "Text"));
  // Non-visual components have no bounds and no hint.
  EXPECT_FALSE(IsPublishedProp(timer, "Left"));
  EXPECT_FALSE(IsPublishedProp(timer, "Hint"));
  EXPECT_TRUE(IsPublishedProp(timer, "Name"));
}

TEST_F(PropertiesTest, ReadAndWriteThroughTheClassChain) {
  auto* label = new TLabel(form);
  label->SetName("Label3");
  SetStrProp(label, "caption", "Status:");  // letter case of the name is ignored
  EXPECT_EQ(label->Caption(), "Status:");
  SetOrdProp(label, "Left", 72);  // declared by TControl
  SetOrdProp(label, "Width", 150);
  EXPECT_EQ(label->Left(), 72);
  EXPECT_EQ(GetOrdProp(label, "Width"), 150);
  EXPECT_EQ(GetStrProp(label, "Name"), "Label3");
  SetStrProp(label, "Hint", "a hint");
  EXPECT_EQ(label->Hint(), "a hint");
  SetEnumProp(label, "Alignment", "taCenter");
  EXPECT_EQ(label->Alignment(), taCenter);
  EXPECT_EQ(GetEnumProp(label, "Alignment"), "taCenter");
}

TEST_F(PropertiesTest, FontPartsAreReachedByName) {
  auto* label = new TLabel(form);
  TPersistent* font = GetObjectProp(form, "Font");
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(IsPublishedProp(font, "Name"));
  EXPECT_TRUE(IsPublishedProp(font, "CharSet"));
  SetStrProp(font, "Name", "MS Sans Serif");
  SetOrdProp(font, "CharSet", CHINESEBIG5_CHARSET);
  EXPECT_EQ(form->Font()->CharSet(), CHINESEBIG5_CHARSET);
  // Paths through object properties, and the label following its parent's font.
  label->SetParent(form);
  SetOrdProp(form, "Font.CharSet", 1);
  EXPECT_EQ(GetOrdProp(label, "Font.CharSet"), 1);
  EXPECT_EQ(GetStrProp(label, "Font.Name"), "MS Sans Serif");
  EXPECT_FALSE(IsPublishedProp(label, "Font.Nothing"));
  EXPECT_FALSE(IsPublishedProp(label, "Caption.Name"));
}

TEST_F(PropertiesTest, ValuesOfTheWrongKindOrRangeAreRefusedAndNothingChanges) {
  auto* label = new TLabel(form);
  label->SetCaption("kept");
  EXPECT_THROW(SetOrdProp(label, "Caption", 3), EPropertyError);
  EXPECT_THROW(SetStrProp(label, "Left", "12"), EPropertyError);
  EXPECT_THROW(SetOrdProp(form, "Font.CharSet", 256), EPropertyError);
  EXPECT_THROW(SetEnumProp(label, "Alignment", "taNowhere"), EPropertyError);
  EXPECT_THROW(GetPropValue(label, "Nothing"), EPropertyError);
  EXPECT_THROW(SetPropValue(label, "Nothing", TValue::Integer(1)), EPropertyError);
  EXPECT_EQ(label->Caption(), "kept");
  EXPECT_EQ(form->Font()->CharSet(), DEFAULT_CHARSET);
}

TEST_F(PropertiesTest, StringListsAreTheControlsOwnLists) {
  auto* list = new TListBox(form);
  list->Items()->Add("one");
  TStrings* items = GetStringsProp(list, "Items");
  ASSERT_EQ(items, list->Items());
  items->Put(0, "eins");  // changed in place, as translation does
  EXPECT_EQ(list->Items()->Get(0), "eins");
  TStringList replacement;
  replacement.Add("a");
  replacement.Add("b");
  SetPropValue(list, "Items", TValue::Strings(&replacement));
  EXPECT_EQ(list->Items()->Count(), 2);
  EXPECT_NE(list->Items(), static_cast<TStrings*>(&replacement));  // copied, not taken
}

TEST_F(PropertiesTest, ActionPropertyRefersToAnAction) {
  auto* button = new TButton(form);
  auto* action = new TAction(form);
  action->SetCaption("Run");
  action->SetHint("Runs it");
  EXPECT_TRUE(PropIsKind(button, "Action", TTypeKind::tkComponent));
  EXPECT_EQ(GetComponentProp(button, "Action"), nullptr);
  SetComponentProp(button, "Action", action);
  EXPECT_EQ(button->Action(), action);
  EXPECT_EQ(button->Caption(), "Run");
  action->SetCaption("Go");
  EXPECT_EQ(button->Caption(), "Go");
  // Not an action: refused.
  EXPECT_THROW(SetComponentProp(button, "Action", new TTimer(form)), EPropertyError);
  TObject::Free(action);
  EXPECT_EQ(button->Action(), nullptr);
}

TEST_F(PropertiesTest, EventsAreReadAndWrittenAsHandlers) {
  auto* button = new TButton(form);
  int clicks = 0;
  std::function<void(TObject*)> handler = [&](TObject*) { ++clicks; };
  SetPropValue(button, "OnClick", TValue::Event("CountClick", handler));
  button->Click();
  EXPECT_EQ(clicks, 1);
  TValue read = GetPropValue(button, "OnClick");
  EXPECT_EQ(read.AsString(), "CountClick");
  EXPECT_TRUE(read.EventFunction().has_value());
  // A handler of another type does not fit.
  std::function<void(TObject*, int)> wrong = [](TObject*, int) {};
  EXPECT_THROW(SetPropValue(button, "OnClick", TValue::Event("Wrong", wrong)), EPropertyError);
  SetPropValue(button, "OnClick", TValue::Event({}, {}));
  button->Click();
  EXPECT_EQ(clicks, 1);
}

TEST_F(PropertiesTest, SetsAndDefaults) {
  SetPropValue(form, "Font.Style", TValue::Set({"fsBold", "fsItalic"}));
  EXPECT_TRUE(form->Font()->Style().Contains(fsBold));
  EXPECT_TRUE(form->Font()->Style().Contains(fsItalic));
  EXPECT_EQ(GetPropValue(form, "Font.Style").AsSet(),
            (std::vector<std::string>{"fsBold", "fsItalic"}));
  EXPECT_THROW(SetPropValue(form, "Font.Style", TValue::Set({"fsBlinking"})), EPropertyError);
  auto* timer = new TTimer(form);
  EXPECT_FALSE(IsStoredProp(timer, "Interval"));  // at its default
  timer->SetInterval(2000);
  EXPECT_TRUE(IsStoredProp(timer, "Interval"));
  // A re-published property keeps the class's own default: memos are window-coloured.
  auto* memo = new TMemo(form);
  EXPECT_EQ(memo->Color(), clWindow);
  EXPECT_FALSE(IsStoredProp(memo, "Color"));
}

TEST(ClassRecords, InheritanceByRecordAndByName) {
  EXPECT_TRUE(TFileListBox::StaticClass().InheritsFrom(TCustomListBox::StaticClass()));
  EXPECT_FALSE(TFileListBox::StaticClass().InheritsFrom(TListBox::StaticClass()));
  EXPECT_TRUE(TSaveDialog::StaticClass().InheritsFrom("TOpenDialog"));
  EXPECT_TRUE(TTabbedNotebook::StaticClass().InheritsFrom("tnotebook"));
  EXPECT_FALSE(TLabel::StaticClass().InheritsFrom("TDBGrid"));  // a class this program lacks
  EXPECT_TRUE(TForm::StaticClass().InheritsFrom(TCustomForm::StaticClass()));
  TForm form(nullptr);
  EXPECT_EQ(As<TCustomForm>(&form), &form);
  EXPECT_EQ(As<TLabel>(&form), nullptr);
}

TEST(ClassRegistry, EveryRegisteredClassReportsItsOwnRecordAndCanBeCreated) {
  TComponent owner(nullptr);
  for (const TClassRecord* record : RegisteredClasses()) {
    if (!record->CanCreate()) continue;
    TComponent* c = record->Create(&owner);
    EXPECT_EQ(&c->ClassType(), record) << record->ClassName() << " does not override ClassType";
    // Every published property can be read on a new component.
    for (const TPropInfo* info : record->Properties()) EXPECT_NO_THROW(info->Get(*c)) << info->Name;
    TObject::Free(c);
  }
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(ClassRegistry, CreateByNameAndRefuseUnknownOrClashingNames) {
  TComponent owner(nullptr);
  TComponent* c = CreateComponent("tstatusbar", &owner);
  EXPECT_NE(As<TStatusBar>(c), nullptr);
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_THROW(CreateComponent("TNoSuchClass", &owner), EPropertyError);
  EXPECT_EQ(FindClass("TNoSuchClass"), nullptr);
  static const TClassRecord impostor("TLabel", &TComponent::StaticClass());
  EXPECT_THROW(RegisterClass(impostor), EPropertyError);
  RegisterClass(TLabel::StaticClass());  // the same class again is fine
}

}  // namespace
