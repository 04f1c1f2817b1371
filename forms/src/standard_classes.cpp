// The classes of this library that descriptions can name.
#include "forms/actions.h"
#include "forms/buttons.h"
#include "forms/class_registry.h"
#include "forms/com_controls.h"
#include "forms/dialogs.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "forms/std_controls.h"
#include "forms/timer.h"

void RegisterStandardClasses() {
  RegisterClasses({
      &TComponent::StaticClass(),     &TControl::StaticClass(),        &TWinControl::StaticClass(),
      &TForm::StaticClass(),          &TLabel::StaticClass(),          &TButton::StaticClass(),
      &TBitBtn::StaticClass(),        &TCheckBox::StaticClass(),       &TRadioButton::StaticClass(),
      &TEdit::StaticClass(),          &TMaskEdit::StaticClass(),       &TMemo::StaticClass(),
      &TListBox::StaticClass(),       &TComboBox::StaticClass(),       &TGroupBox::StaticClass(),
      &TImage::StaticClass(),         &TPanel::StaticClass(),          &TRadioGroup::StaticClass(),
      &TNotebook::StaticClass(),      &TTabbedNotebook::StaticClass(), &THeader::StaticClass(),
      &TTabSet::StaticClass(),        &TStatusBar::StaticClass(),      &TTabControl::StaticClass(),
      &THeaderControl::StaticClass(), &TTreeView::StaticClass(),       &TListView::StaticClass(),
      &TFileListBox::StaticClass(),   &TFilterComboBox::StaticClass(), &TMenuItem::StaticClass(),
      &TMainMenu::StaticClass(),      &TPopupMenu::StaticClass(),      &TAction::StaticClass(),
      &TActionList::StaticClass(),    &TOpenDialog::StaticClass(),     &TSaveDialog::StaticClass(),
      &TTimer::StaticClass(),
  });
}
