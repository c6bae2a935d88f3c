#pragma once

// The events an event source sends a sink itself: one when the sink is
// attached, one when it is detached.

#include "PluginEvent.h"

namespace FB {

class AttachedEvent : public PluginEvent {};

class DetachedEvent : public PluginEvent {};

} // namespace FB
