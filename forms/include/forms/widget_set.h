// Widget sets: controls hold their state themselves; a widget set only mirrors it on screen
// and reports what the user did. The interface's defaults do nothing harmful, so a widget set
// implements only what it shows.
//
// What the user does reaches the model as a posted notice (PostControlNotice), handled by the
// message loop like every other message: widget callbacks never call into the model directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/messages.h"
#include "platform/wintypes.h"

class TControl;
class TCustomForm;
class TOpenDialog;

enum class TWidgetChange {
  wcText,    // caption or text
  wcBounds,  // position or size
  wcFont,
  wcColor,
  wcVisible,
  wcEnabled,
  wcItems,  // lines, items, panels, sections
  wcItemIndex,
  wcChecked,
  wcReadOnly,
  wcPicture,
  wcOptions,  // word wrap, scroll bars, border style, alignment ...
  wcParent,   // the control was put into (or taken out of) a parent
  wcHint,
};

// What the user did to a control; handled by TControl::HandleNotice.
enum TControlNotice {
  cnClick,       // a button was pressed
  cnCloseQuery,  // the window's close box
  cnTextEdited,  // the text was edited: read it back with ReadText
  cnToggled,     // a check box changed: read it back with ReadChecked
  cnSelected,    // the selected item changed: read it back with ReadItemIndex
  cnRelease,     // free the control (TCustomForm::Release)
};

struct TMessageBoxRequest {
  std::string Text;  // bytes of the system code page; "\r" and "\r\n" break lines
  std::string Caption;
  UINT Flags = 0;     // MB_* (message_box.h)
  WORD Language = 0;  // of the buttons' texts (LANGID_* of message_box.h; 0: the system's)
  TCustomForm* Owner = nullptr;
};

// An open message box. The widget set sets Result (an ID* value) when the user answers and
// closes its window when the object goes.
class TModalBox {
 public:
  virtual ~TModalBox() = default;
  int Result = 0;
};

// What a widget shows, for tests and diagnostics.
struct TWidgetProbe {
  bool Mapped = false;  // on screen
  int ScreenLeft = 0;   // outer position on the screen
  int ScreenTop = 0;
  int Width = 0;
  int Height = 0;
  std::string Text;          // UTF-8, as shown
  std::string FontFamily;    // of the first character as drawn
  int UnknownGlyphs = -1;    // characters without a glyph in the fonts used (-1: unknown)
  bool Focused = false;      // has the focus of its window
  bool TextClipped = false;  // the text is wider or higher than the room it is given
  int ItemHeight = 0;        // of a list's first row, in pixels (0: no rows or not a list)
};

class TWidgetSet {
 public:
  virtual ~TWidgetSet() = default;
  virtual std::string Name() const = 0;

  // A form is shown: make the widgets of the form and of every control under it.
  virtual void ShowForm(TCustomForm* form);
  virtual void HideForm(TCustomForm* form);
  // A property that the screen shows has changed (not sent while the control is loading).
  virtual void ControlChanged(TControl* control, TWidgetChange change);
  // The control goes: forget its widget (and, for a form, every widget under it).
  virtual void ReleaseControl(TControl* control);
  // Values the user changed, read back after a notice; false when the widget has none.
  // Text comes back in the code page of the control's font.
  virtual bool ReadText(TControl* control, std::string& text);
  virtual bool ReadChecked(TControl* control, bool& checked);
  virtual bool ReadItemIndex(TControl* control, int& index);
  // Opens a message box; its Result is set when the user answers (at once is allowed). The
  // default answers with the box's default button at once.
  virtual std::unique_ptr<TModalBox> OpenMessageBox(const TMessageBoxRequest& request);
  // A file dialog; false (cancelled) by default.
  virtual bool ExecuteFileDialog(TOpenDialog* dialog, bool save);
  virtual bool Probe(TControl* control, TWidgetProbe& probe);
  // A message on its way to a window, before it is translated and dispatched: true when the
  // widget set has handled it (a dialog's keyboard: Tab, Enter, Space ...).
  virtual bool TranslateDialogMessage(MSG& msg);
};

// The application's widget set (the headless one until another is chosen).
TWidgetSet& WidgetSet();

// Posts a notice for `control` to the message loop of this thread. A notice for a control that
// is gone by the time it is handled is dropped. Callable from widget callbacks.
void PostControlNotice(TControl* control, TControlNotice notice);
// Posts an empty message, so that a loop waiting in GetMessage looks at its condition again.
void WakeMessageLoop();
