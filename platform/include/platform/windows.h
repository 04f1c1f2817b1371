// Everything of the stand-in platform with Win32 names.
#pragma once

#include "platform/codepages.h"
#include "platform/eventloop.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/sysutils.h"
#include "platform/time.h"
#include "platform/wintypes.h"
