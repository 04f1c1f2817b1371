// Stored window descriptions: reading (references, handlers, loading order), errors with their
// places, writing, and every description in the source tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "forms/actions.h"
#include "forms/class_record.h"
#include "forms/class_registry.h"
#include "forms/description_reader.h"
#include "forms/description_writer.h"
#include "forms/ext_controls.h"
#include "forms/properties.h"
#include "sample_form.h"

namespace {

std::vector<std::string> gLog;

// A component with a reference to another and an event, that records its loading.
class TLinkProbe : public TComponent {
 public:
  static const TClassRecord& StaticClass() {
    static const TClassRecord record = TClassRecord::Define<TLinkProbe, TComponent>(
        "TLinkProbe", [](TClassBuilder<TLinkProbe>& c) {
          c.Component("Partner", &TLinkProbe::Partner, &TLinkProbe::SetPartner);
          c.Int("Count", &TLinkProbe::Count, &TLinkProbe::SetCount).Default(0);
          c.Event("OnPing", &TLinkProbe::OnPing);
        });
    return record;
  }
  const TClassRecord& ClassType() const override { return StaticClass(); }
  explicit TLinkProbe(TComponent* owner) : TComponent(owner) {}

  TLinkProbe* Partner() const { return FPartner; }
  void SetPartner(TLinkProbe* partner) {
    gLog.push_back("partner " + Name() + (Loading() ? " while loading" : ""));
    FPartner = partner;
  }
  unsigned char Count() const { return FCount; }
  void SetCount(unsigned char count) {
    gLog.push_back("count " + Name() + (Loading() ? " while loading" : ""));
    FCount = count;
  }
  void Loaded() override {
    gLog.push_back("loaded " + Name() + " partner=" + (FPartner ? FPartner->Name() : "nil"));
    TComponent::Loaded();
  }
  TNotifyEvent OnPing;

 private:
  TLinkProbe* FPartner = nullptr;
  unsigned char FCount = 0;
};

class TProbeRoot : public TForm {
 public:
  static const TClassRecord& StaticClass() {
    static const TClassRecord record =
        TClassRecord::Define<TProbeRoot, TForm>("TProbeRoot", [](TClassBuilder<TProbeRoot>& c) {
          c.Field("First", &TProbeRoot::First);
          c.Handler("Ping", &TProbeRoot::Ping);
          c.Handler("Created", &TProbeRoot::Created);
          c.Handler("Closing", &TProbeRoot::Closing);
        });
    return record;
  }
  const TClassRecord& ClassType() const override { return StaticClass(); }
  explicit TProbeRoot(TComponent* owner) : TForm(owner) {}

  TLinkProbe* First = nullptr;
  void Ping(TObject* sender) { gLog.push_back("ping " + static_cast<TComponent*>(sender)->Name()); }
  void Created(TObject*) { gLog.push_back("create"); }
  void Closing(TObject*, TCloseAction& action) { action = caFree; }
};

class DescriptionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterClass(TLinkProbe::StaticClass());
    RegisterClass(TSampleForm::StaticClass());
  }
  void SetUp() override { gLog.clear(); }
  void TearDown() override { TObject::Free(root); }

  // The place and reason of the error the text gives.
  std::string ErrorOf(const std::string& text) {
    try {
      root->LoadDescription(text, "probe.form");
    } catch (const EDescriptionError& e) {
      return std::to_string(e.Line()) + ":" + std::to_string(e.Column()) + " " + e.Reason();
    }
    return "no error";
  }

  TProbeRoot* root = new TProbeRoot(nullptr);
};

TEST_F(DescriptionTest, ReadsReferencesHandlersFieldsAndLoadsInOrder) {
  root->LoadDescription(R"(
    object Probe: TProbeRoot
      Caption = 'x'
      OnCreate = Created
      object First: TLinkProbe
        Partner = second      // further down, other letter case
        Count = 3
        OnPing = Ping
      end
      object Second: TLinkProbe
        Partner = First
      end
    end)",
                        "probe.form");
  std::vector<std::string> expected = {
      "count First while loading",   "partner First while loading", "partner Second while loading",
      "loaded First partner=Second", "loaded Second partner=First", "create"};
  EXPECT_EQ(gLog, expected);
  EXPECT_EQ(root->Name(), "Probe");
  ASSERT_NE(root->First, nullptr);  // the field of the same name
  EXPECT_EQ(root->First->Count(), 3);
  EXPECT_FALSE(root->First->Loading());
  EXPECT_FALSE(root->Loading());
  root->First->OnPing(root->First);
  EXPECT_EQ(gLog.back(), "ping First");
  EXPECT_EQ(root->First->OnPing.HandlerName(), "Ping");
}

TEST_F(DescriptionTest, ErrorsNameTheirPlace) {
  struct TCase {
    const char* Text;
    const char* Expected;
  } cases[] = {
      {"object P: TProbeRoot\n  object A: TNoSuchClass\n  end\nend",
       "2:3 Class TNoSuchClass not found"},
      {"object P: TProbeRoot\n  object A: TLinkProbe\n    Colour = 3\n  end\nend",
       "3:5 Unknown property Colour in class TLinkProbe"},
      {"object P: TProbeRoot\n  object A: TLinkProbe\n    Count = 300\n  end\nend",
       "3:13 Invalid property value: Count must be between 0 and 255, not 300 (A.Count)"},
      {"object P: TProbeRoot\n  Caption = 12\nend",
       "2:13 Property Caption needs a string, not a number"},
      {"object P: TProbeRoot\n  BorderStyle = bsRound\nend",
       "2:17 bsRound is not a value of TBorderStyle (property BorderStyle)"},
      {"object P: TProbeRoot\n  Visible = Yes\nend",
       "2:13 Property Visible needs True or False, not Yes"},
      {"object P: TProbeRoot\n  Font.Nme = 'x'\nend",
       "2:3 Unknown property Nme in class TFont (Font.Nme)"},
      {"object P: TProbeRoot\n  Font = 'x'\nend",
       "2:10 Property Font is an object: set its parts (Font.Name = ...)"},
      {"object P: TProbeRoot\n  object A: TLinkProbe\n    Partner = Ghost\n  end\nend",
       "3:15 Component Ghost not found (property Partner)"},
      {"object P: TProbeRoot\n  object A: TLinkProbe\n    Partner = P\n  end\nend",
       "3:15 Invalid property value: Partner needs a TLinkProbe, not a TProbeRoot (Partner)"},
      {"object P: TProbeRoot\n  OnCreate = Missing\nend",
       "2:14 Handler Missing not found in class TProbeRoot"},
      {"object P: TProbeRoot\n  OnCreate = Closing\nend",
       "2:14 Handler Closing does not fit event OnCreate"},
      {"object P: TProbeRoot\n  Caption = 'abc\nend",
       "2:13 String not closed before the end of the line"},
      {"object P: TProbeRoot\n  Caption = '\xB3\x5C'\nend",
       "2:14 Byte 0xB3 in a string: write it as \\xB3"},
      {"object P: TProbeRoot\n  Caption = 'a\\qb'\nend", "2:15 Unknown escape \\q"},
      {"object P: TProbeRoot\n  Caption 'x'\nend",
       "2:11 Expected '=' after the property name, found a string"},
      {"object P: TProbeRoot\n  object A: TLinkProbe\n  end\n", "4:1 Missing 'end' of object P"},
      {"object P: TLinkProbe\nend", "1:1 The description is for class TLinkProbe, not TProbeRoot"},
      {"object P: TProbeRoot\n  object A: TLinkProbe\n  end\n  object a: TLinkProbe\n  end\nend",
       "4:3 A component named a already exists (a)"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(ErrorOf(c.Text), c.Expected) << c.Text;
    // A failed read takes back what it made.
    EXPECT_EQ(root->ComponentCount(), 0) << c.Text;
    EXPECT_FALSE(root->Loading()) << c.Text;
  }
  EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "create"), 0);  // no creation handler ran
}

TEST_F(DescriptionTest, MessageCarriesSourceLineAndColumn) {
  try {
    ReadDescription(root, "object P: TProbeRoot\n  Nothing = 1\nend", "window.form");
    FAIL() << "no error";
  } catch (const EDescriptionError& e) {
    EXPECT_STREQ(e.what(), "window.form(2:3): Unknown property Nothing in class TProbeRoot");
    EXPECT_EQ(e.Source(), "window.form");
  }
}

TEST(DescriptionStrings, EveryByteSurvivesTheWriterAndTheParser) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string text = "object P: TForm\n  Caption = " + QuoteDescriptionString(all) + "\nend\n";
  for (char c : text) EXPECT_LT(static_cast<unsigned char>(c), 0x7F);  // the text is ASCII
  TDescObject desc = ParseDescription(text, "bytes");
  ASSERT_EQ(desc.Properties.size(), 1u);
  EXPECT_EQ(desc.Properties[0].Value.Text, all);
  // Joined strings and lists.
  desc = ParseDescription("object P: TForm\n  Caption = 'a' +\n 'b'\n  Lines = ('x', 'y' 'z')\nend",
                          "j");
  EXPECT_EQ(desc.Properties[0].Value.Text, "ab");
  EXPECT_EQ(desc.Properties[1].Value.Items, (std::vector<std::string>{"x", "y", "z"}));
}

TEST(DescriptionSample, TheSampleWindowIsReadFromItsResource) {
  RegisterClass(TSampleForm::StaticClass());
  std::vector<std::string> destroyLog;
  auto* form = new TSampleForm(nullptr);
  form->DestroyLog = &destroyLog;
  EXPECT_EQ(form->Events, (std::vector<std::string>{"create loaded"}));
  ASSERT_NE(form->Label3, nullptr);
  // 軟件 (下載 / 安裝) 系統 as Big5 bytes, with its own Big5 font.
  EXPECT_EQ(form->Label3->Caption(), "\xB3n\xA5\xF3 (\xA4U\xB8\xFC / \xA6w\xB8\xCB) \xA8t\xB2\xCE");
  EXPECT_EQ(form->Label3->Font()->CharSet(), CHINESEBIG5_CHARSET);
  EXPECT_EQ(form->Label3->Font()->Height(), -15);
  EXPECT_EQ(form->Label3->Font()->Color(), clBlue);
  EXPECT_FALSE(form->Label3->ParentFont());
  // Trail bytes 0x5C came through the escapes.
  EXPECT_EQ(form->Label1->Caption(),
            "\xA4u\xA7@\xAA\xAC\xBA"
            "A: \xB3\\\xA5\\\xBB\\");
  EXPECT_EQ(form->ClientWidth(), 420);
  EXPECT_EQ(form->ClientHeight(), 260);
  EXPECT_EQ(form->BorderStyle(), bsDialog);
  EXPECT_EQ(form->Memo1->Lines()->Count(), 2);
  EXPECT_TRUE(form->CheckBox1->Checked());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 50u);
  EXPECT_EQ(form->BitBtn1->Glyph()->Width(), 37);
  EXPECT_EQ(form->BitBtn1->Glyph()->ResourceName(), "SAMPLEGLYPH");
  // Controls sit in the form; the button's handler was bound by name.
  EXPECT_EQ(form->Button1->Parent(), form);
  EXPECT_EQ(form->Button1->TabOrder(), 0);
  form->Button1->Click();
  EXPECT_EQ(form->Events.back(), "click Button1");
  TObject::Free(form);
  EXPECT_EQ(destroyLog,
            (std::vector<std::string>{"destroy 10"}));  // OnDestroy before the controls go
}

TEST(DescriptionWriter, WrittenTextReadsBackToTheSameWindow) {
  auto* form = new TForm(nullptr);
  form->SetName("Written");
  form->SetCaption("Caption \xA4U\xB8\xFC");
  form->SetBorderStyle(bsDialog);
  form->SetClientWidth(300);
  auto* label = new TLabel(form);
  label->SetName("Label1");
  label->SetParent(form);
  label->SetBounds(5, 6, 70, 13);
  label->Font()->SetCharSet(CHINESEBIG5_CHARSET);
  auto* panel = new TPanel(form);
  panel->SetName("Panel1");
  panel->SetParent(form);
  auto* inner = new TCheckBox(form);
  inner->SetName("Inner");
  inner->SetParent(panel);
  inner->SetChecked(true);
  auto* bar = new TStatusBar(form);
  bar->SetName("Bar");
  bar->SetParent(form);
  bar->Panels()->Add()->SetText("one");
  bar->Panels()->Add()->SetWidth(80);
  auto* memo = new TMemo(form);
  memo->SetName("Memo1");
  memo->SetParent(form);
  memo->Lines()->SetText("l1\r\nl2 'quoted'\r\n");
  auto* button = new TButton(form);
  button->SetName("Go");
  button->SetParent(panel);
  auto* action = new TAction(form);
  action->SetName("RunAction");
  action->SetCaption("Run");
  button->SetAction(action);

  std::string text = WriteDescription(form);
  TComponent* back = CreateFromDescription(text, "written", nullptr);
  EXPECT_EQ(WriteDescription(back), text);
  auto* backForm = As<TForm>(back);
  ASSERT_NE(backForm, nullptr);
  auto* backInner = As<TCheckBox>(back->FindComponent("Inner"));
  ASSERT_NE(backInner, nullptr);
  EXPECT_EQ(backInner->Parent(), back->FindComponent("Panel1"));  // nested in its parent
  EXPECT_TRUE(backInner->Checked());
  EXPECT_EQ(As<TStatusBar>(back->FindComponent("Bar"))->Panels()->Items(1)->Width(), 80);
  EXPECT_EQ(As<TButton>(back->FindComponent("Go"))->Action(),
            As<TBasicAction>(back->FindComponent("RunAction")));
  EXPECT_EQ(As<TLabel>(back->FindComponent("Label1"))->Font()->CharSet(), CHINESEBIG5_CHARSET);
  EXPECT_EQ(backForm->Caption(), form->Caption());
  EXPECT_EQ(backForm->ClientWidth(), 300);
  TObject::Free(back);
  TObject::Free(form);
}

// Every description in the source tree parses; those whose classes are known here are read as
// far as they can be without their windows (the layers that own the others check them fully).
TEST(DescriptionTree, EveryDescriptionInTheTreeReadsCleanly) {
  RegisterClass(TSampleForm::StaticClass());
  const char* top = std::getenv("KVB_SOURCE_DIR");
  ASSERT_NE(top, nullptr) << "KVB_SOURCE_DIR is not set";
  int parsed = 0;
  int checked = 0;
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator();
       ++it) {
    std::string name = it->path().filename().string();
    if (it->is_directory() &&
        (name.rfind("build", 0) == 0 || name[0] == '.' || name == "artifacts")) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->path().extension() != ".form") continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string source = fs::relative(it->path(), top).string();
    TDescObject desc;
    ASSERT_NO_THROW(desc = ParseDescription(text.str(), source)) << source;
    ++parsed;
    std::function<bool(const TDescObject&)> known = [&](const TDescObject& o) {
      if (!FindClass(o.ClassName)) return false;
      for (auto& child : o.Children)
        if (!known(child)) return false;
      return true;
    };
    if (!known(desc)) {
      std::printf("syntax only (classes of other layers): %s\n", source.c_str());
      continue;
    }
    EXPECT_NO_THROW(CheckDescription(text.str(), source)) << source;
    ++checked;
  }
  EXPECT_GE(parsed, 1);
  EXPECT_GE(checked, 1);
}

TEST(DescriptionWriter, TheSampleWindowIsWrittenWithHandlersAndBig5EscapesAndChecksCleanly) {
  RegisterClass(TSampleForm::StaticClass());
  auto* form = new TSampleForm(nullptr);
  std::string text = WriteDescription(form);
  EXPECT_NE(text.find("object SampleForm: TSampleForm"), std::string::npos);
  EXPECT_NE(text.find("    OnClick = Button1Click"), std::string::npos) << text;
  EXPECT_NE(text.find("  OnCreate = FormCreate"), std::string::npos);
  EXPECT_NE(text.find("Caption = '\\xA4u\\xA7@\\xAA\\xAC\\xBAA: \\xB3\\\\\\xA5\\\\\\xBB\\\\'"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Glyph.Resource = 'SAMPLEGLYPH'"), std::string::npos);
  EXPECT_EQ(text.find("Width = 436"), std::string::npos);  // a form's outer size is not stored
  EXPECT_NO_THROW(CheckDescription(text, "written sample"));
  TObject::Free(form);
}

TEST(DescriptionCollections, ItemsAreReadIntoTheCollectionAndTheirErrorsPlaced) {
  TComponent* root = CreateFromDescription(R"(
    object F: TForm
      object Bar: TStatusBar
        Panels = <
          item
            Text = 'one'
            Width = 120
          end
          item
            Alignment = taCenter
          end>
      end
    end)",
                                           "panels", nullptr);
  auto* bar = As<TStatusBar>(root->FindComponent("Bar"));
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->Panels()->Count(), 2);
  EXPECT_EQ(bar->Panels()->Items(0)->Width(), 120);
  EXPECT_EQ(bar->Panels()->Items(1)->Alignment(), taCenter);
  TObject::Free(root);
  try {
    CreateFromDescription(
        "object F: TForm\n  object Bar: TStatusBar\n    Panels = <item Wide = 1 end>\n  end\nend",
        "panels", nullptr);
    FAIL() << "no error";
  } catch (const EDescriptionError& e) {
    EXPECT_EQ(e.Line(), 3);
    EXPECT_EQ(e.Column(), 20);
    EXPECT_EQ(e.Reason(), "Unknown property Wide in class TStatusPanel");
  }
}

}  // namespace
