// File dialogs (title, filter, file name), run by the widget set.
#pragma once

#include <string>

#include "forms/component.h"

class TOpenDialog : public TComponent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TOpenDialog(TComponent* owner) : TComponent(owner) {}

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& title) { FTitle = title; }
  // "Description|patterns|Description|patterns".
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& filter) { FFilter = filter; }
  int FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int index) { FFilterIndex = index; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& name) { FFileName = name; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& dir) { FInitialDir = dir; }
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& ext) { FDefaultExt = ext; }

  // Asks the widget set; false when cancelled (or when it shows no dialogs).
  virtual bool Execute();

 private:
  std::string FTitle;
  std::string FFilter;
  int FFilterIndex = 1;
  std::string FFileName;
  std::string FInitialDir;
  std::string FDefaultExt;
};

class TSaveDialog : public TOpenDialog {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}

  bool Execute() override;
};
