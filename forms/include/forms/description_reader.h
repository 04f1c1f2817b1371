// Reading stored window descriptions (format: description_parser.h).
//
// The reader creates the nested components through the class registry, owned by the root,
// each placed in its enclosing object (SetParentComponent), and fills the root's registered
// fields of the same names. It sets every stored property through its setter while the
// components are loading, then resolves component references and handler names (methods the
// root's class registered), then sends the loading-finished notification (Loaded) to each
// component in creation order, the root first. A form's creation handler runs after that
// (TCustomForm::LoadDescription).
//
// Any fault raises EDescriptionError with the place in the text; the components made by the
// failed read are destroyed again and the root is no longer loading.
#pragma once

#include <string>
#include <string_view>

#include "forms/description_parser.h"

class TComponent;

// The description's class must be the root's class or one of its ancestors.
void ReadDescription(TComponent* root, std::string_view text, const std::string& source);
// The text of RCDATA resource `name` of the program; raises EDescriptionError when missing.
std::string LoadDescriptionResource(const std::string& name);
void ReadDescriptionResource(TComponent* root, const std::string& name);
// Reads a description as far as it can be read without its window: every class, property,
// value, reference, handler (name and type) and field is checked and every nested component
// is made and set, on a stand-in root; then it is all freed again. Raises EDescriptionError
// like ReadDescription. The root's class and the classes it names must be registered.
void CheckDescription(std::string_view text, const std::string& source);
// Creates the root itself from the description's class name (through the registry); for
// classes that do not read a description of their own when they are made.
TComponent* CreateFromDescription(std::string_view text, const std::string& source,
                                  TComponent* owner);
