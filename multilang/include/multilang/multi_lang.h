// The multi-language component that windows carry: it knows how each kind of control keeps
// its texts, applies a control's groups of the word table during a language switch
// (TranslateComponent) and turns a control's current texts into such groups
// (CollectComponent), so that a word table can be built from a designed window.
//
// A window's description declares it like any component, with its tables as string lists:
//
//   object MultiLang1: TMultiLang
//     Languages = 2
//     ActiveLanguage = 1
//     Words = ('%Form%' 'Caption in English' 'Caption in Chinese'
//              'btnExit' 'Exit' '\xC2\xF7\xB6\x7D')
//     CharSets = ('MS Sans Serif,1' 'MS Sans Serif,136')
//   end
#pragma once

#include <string>

#include "multilang/base_multi_lang.h"
#include "multilang/editing_grid.h"

class TStrings;

class TMultiLang : public TBaseMultiLang {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMultiLang(TComponent* owner) : TBaseMultiLang(owner) {}

  void TranslateComponent(TComponent* component, int& index) override;
  // `grid` is required (EAssertionFailed without one).
  void CollectComponent(TComponent* component, int row, TEditingGrid* grid) override;

 private:
  class TReader;
};

// Makes TBaseMultiLang and TMultiLang known to the description reader. The unit does it at
// start-up; calling it again does no harm.
void RegisterMultiLangClasses();
