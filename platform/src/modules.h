// Module bookkeeping shared by the library loader and the resource lookup.
#pragma once

#include "platform/wintypes.h"

namespace platform::detail {

// True for a handle that LoadLibraryA gave and FreeLibrary has not released yet.
bool IsLoadedModule(HMODULE module);

}  // namespace platform::detail
