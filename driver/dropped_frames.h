// PROPSETID_VIDCAP_DROPPEDFRAMES on the capture pin: the pictures of the
// stream, the drops among them and the average frame size, as capture
// applications ask for them. Get only.
#pragma once

#include "platform/kernel.h"

// The set's one item, KSPROPERTY_DROPPEDFRAMES_CURRENT; the pin's automation
// table lists the set. The count is a constant so that the table stays a
// constant aggregate.
constexpr ULONG DroppedFramesItemCount = 1;
extern const KSPROPERTY_ITEM DroppedFramesItems[DroppedFramesItemCount];
