#include "forms/dialogs.h"

#include "forms/class_record.h"
#include "forms/widget_set.h"

const TClassRecord& TOpenDialog::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TOpenDialog, TComponent>(
      "TOpenDialog", [](TClassBuilder<TOpenDialog>& c) {
        c.Str("DefaultExt", &TOpenDialog::DefaultExt, &TOpenDialog::SetDefaultExt);
        c.Str("FileName", &TOpenDialog::FileName, &TOpenDialog::SetFileName);
        c.Str("Filter", &TOpenDialog::Filter, &TOpenDialog::SetFilter);
        c.Int("FilterIndex", &TOpenDialog::FilterIndex, &TOpenDialog::SetFilterIndex).Default(1);
        c.Str("InitialDir", &TOpenDialog::InitialDir, &TOpenDialog::SetInitialDir);
        c.Str("Title", &TOpenDialog::Title, &TOpenDialog::SetTitle);
      });
  return record;
}

bool TOpenDialog::Execute() {
  return WidgetSet().ExecuteFileDialog(this, false);
}

const TClassRecord& TSaveDialog::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TSaveDialog, TOpenDialog>(
      "TSaveDialog", [](TClassBuilder<TSaveDialog>&) {});
  return record;
}

bool TSaveDialog::Execute() {
  return WidgetSet().ExecuteFileDialog(this, true);
}
