// The file list box (the files of a folder) and the filter combo box.
#pragma once

#include <string>

#include "forms/std_controls.h"

class TFileListBox : public TCustomListBox {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  // Starts on the current folder.
  explicit TFileListBox(TComponent* owner);

  // A Windows-style or native path; the list is read again at once.
  const std::string& Directory() const { return FDirectory; }
  void SetDirectory(const std::string& directory);
  // File name patterns separated by ';' ("*.*", "*.exe;*.txt"); letter case is ignored.
  const std::string& Mask() const { return FMask; }
  void SetMask(const std::string& mask);
  // Reads the folder again: plain files matching the mask, sorted by name without regard to
  // letter case. A folder that cannot be read gives an empty list.
  void Update() override;
  // Full path of the selected file, empty when none is selected.
  std::string FileName() const;

  void Loaded() override;

 private:
  std::string FDirectory;
  std::string FMask = "*.*";
};

// A combo box of file types, from a filter "Text files (*.txt)|*.txt|All files|*.*".
class TFilterComboBox : public TCustomComboBox {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TFilterComboBox(TComponent* owner);

  const std::string& Filter() const { return FFilter; }
  // The items become the descriptions; the first one is selected.
  void SetFilter(const std::string& filter);
  // The patterns of the selected type ("*.*" when none).
  std::string Mask() const;

 private:
  std::string FFilter;
  std::vector<std::string> FMasks;
};

// Whether `name` matches a Windows-style pattern (* and ?, letter case ignored; "*.*"
// matches every name, also one without a dot).
bool MatchesMask(const std::string& name, const std::string& mask);
