#include "sample_form.h"

#include "forms/class_record.h"

const TClassRecord& TSampleForm::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TSampleForm, TForm>("TSampleForm", [](TClassBuilder<TSampleForm>& c) {
        c.Field("Label3", &TSampleForm::Label3);
        c.Field("Label1", &TSampleForm::Label1);
        c.Field("BitBtn1", &TSampleForm::BitBtn1);
        c.Field("Memo1", &TSampleForm::Memo1);
        c.Field("ListBox1", &TSampleForm::ListBox1);
        c.Field("CheckBox1", &TSampleForm::CheckBox1);
        c.Field("StatusBar1", &TSampleForm::StatusBar1);
        c.Field("Button1", &TSampleForm::Button1);
        c.Field("btnExit", &TSampleForm::btnExit);
        c.Field("Timer1", &TSampleForm::Timer1);
        c.Handler("FormCreate", &TSampleForm::FormCreate);
        c.Handler("FormDestroy", &TSampleForm::FormDestroy);
        c.Handler("Button1Click", &TSampleForm::Button1Click);
        c.Handler("BitBtn1Click", &TSampleForm::BitBtn1Click);
        c.Handler("btnExitClick", &TSampleForm::btnExitClick);
        c.Handler("Timer1Timer", &TSampleForm::Timer1Timer);
      });
  return record;
}

TSampleForm::TSampleForm(TComponent* owner) : TForm(owner) {
  LoadDescriptionResource("SAMPLEFORM");
}

TSampleForm::~TSampleForm() = default;

void TSampleForm::FormCreate(TObject*) {
  // Everything is read and loaded by now.
  Events.push_back(std::string("create ") +
                   (Button1 && !Button1->Loading() ? "loaded" : "loading"));
}

void TSampleForm::FormDestroy(TObject*) {
  if (DestroyLog) DestroyLog->push_back("destroy " + std::to_string(ComponentCount()));
}

void TSampleForm::Button1Click(TObject* Sender) {
  Events.push_back(std::string("click ") + static_cast<TComponent*>(Sender)->Name());
  if (OnButton1) OnButton1();
}

void TSampleForm::BitBtn1Click(TObject*) {
  Events.push_back("click BitBtn1");
}

void TSampleForm::btnExitClick(TObject*) {
  Events.push_back("exit");
  Close();
}

void TSampleForm::Timer1Timer(TObject*) {
  ++Ticks;
}
