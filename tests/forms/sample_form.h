// The sample window of the tests, with its handlers recording what happened.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forms/buttons.h"
#include "forms/com_controls.h"
#include "forms/form.h"
#include "forms/std_controls.h"
#include "forms/timer.h"

class TSampleForm : public TForm {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // Reads its description from the program's resource SAMPLEFORM.
  explicit TSampleForm(TComponent* owner);
  ~TSampleForm() override;

  TLabel* Label3 = nullptr;
  TLabel* Label1 = nullptr;
  TBitBtn* BitBtn1 = nullptr;
  TMemo* Memo1 = nullptr;
  TListBox* ListBox1 = nullptr;
  TCheckBox* CheckBox1 = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* btnExit = nullptr;
  TTimer* Timer1 = nullptr;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void Button1Click(TObject* Sender);
  void BitBtn1Click(TObject* Sender);
  void btnExitClick(TObject* Sender);
  void Timer1Timer(TObject* Sender);

  // What the handlers saw, in order ("create", "click Button1" ...).
  std::vector<std::string> Events;
  int Ticks = 0;
  // Run by Button1Click after it has recorded the click.
  std::function<void()> OnButton1;
  // Where FormDestroy records that it ran (the form is gone afterwards).
  std::vector<std::string>* DestroyLog = nullptr;
};
