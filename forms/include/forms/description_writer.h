// Writing a component and everything it owns as a stored window description.
#pragma once

#include <string>

class TComponent;

// Every stored property (not at its default) of the root and its components; controls are
// nested in their parents, other components in the root. Event handlers are written by the
// names they were bound with.
std::string WriteDescription(const TComponent* root);
