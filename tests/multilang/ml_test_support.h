// The test window read from its stored description (data/test_form.txt, compiled in as the
// resource MLTESTFORM), and a fixture that answers the component's message boxes through the
// headless widget set and keeps every test within a time limit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/class_record.h"
#include "forms/form.h"
#include "forms/headless_widget_set.h"
#include "forms/message_box.h"
#include "multilang/multi_lang.h"
#include "support/loop_support.h"

class TMLTestForm : public TForm {
 public:
  static const TClassRecord& StaticClass() {
    static const TClassRecord record =
        TClassRecord::Define<TMLTestForm, TForm>("TMLTestForm", [](TClassBuilder<TMLTestForm>& c) {
          c.Field("MultiLang1", &TMLTestForm::MultiLang1);
          c.Handler("MultiLang1AfterLanguageChanged", &TMLTestForm::MultiLang1AfterLanguageChanged);
        });
    return record;
  }
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMLTestForm(TComponent* owner) : TForm(owner) { LoadDescriptionResource("MLTESTFORM"); }

  void MultiLang1AfterLanguageChanged(TObject*, std::uint8_t language) {
    Changes.push_back(language);
    CaptionsSeen.push_back(Caption());
  }

  template <class T>
  T* Get(const std::string& name) const {
    auto* component = As<T>(FindComponent(name));
    EXPECT_NE(component, nullptr) << name;
    return component;
  }

  TMultiLang* MultiLang1 = nullptr;
  std::vector<int> Changes;               // AfterLanguageChanged, in order
  std::vector<std::string> CaptionsSeen;  // the caption at each of them
};

class MultiLangTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalLanguage = 0;
    StringLibraryName.clear();
    Application->SetWidgetSet(
        std::make_unique<THeadlessWidgetSet>([this](const TMessageBoxRequest& request) {
          Boxes.push_back(request);
          if (!Answers.empty()) {
            int answer = Answers.front();
            Answers.erase(Answers.begin());
            return answer;
          }
          return MessageBoxDefaultButton(request.Flags);
        }));
  }
  void TearDown() override {
    TObject::Free(Form);
    GlobalLanguage = 0;
    StringLibraryName.clear();
  }

  TMLTestForm* MakeForm() {
    Form = new TMLTestForm(nullptr);
    return Form;
  }
  // The word table of the test window's component, with its two languages.
  void SetWords(std::initializer_list<const char*> lines) {
    TStringList list;
    for (const char* line : lines) list.Add(line);
    Form->MultiLang1->SetWords(&list);
  }

  testsupport::Watchdog Watchdog{60};
  TMLTestForm* Form = nullptr;
  std::vector<TMessageBoxRequest> Boxes;
  std::vector<int> Answers;  // given to the boxes in turn; then the default button
};
