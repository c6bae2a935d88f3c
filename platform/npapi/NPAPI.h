// Everything of the Netscape Plug-in API that this project declares.
#pragma once

#include "NPCocoaEvent.h"
#include "NPFunctions.h"
#include "NPRuntime.h"
#include "NPTypes.h"
