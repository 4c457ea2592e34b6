#pragma once
// The one request the hidraw bridge adds to a faked hidraw node: "wait up to
// the argument's milliseconds for an input report". A faked node is a plain
// file behind umockdev's preload library, and poll() on a plain file is
// always ready; the poll wrapper (HidrawPoll.cpp) turns a poll for input on
// such a node into this request, which the bridge answers through umockdev's
// ioctl socket with 1 (a report is there), 0 (none within the wait) or -1 and
// ENODEV (the frame was pulled out).
//
// The argument is the wait itself, not a pointer: a negative wait is "until
// a report comes".

#include <sys/ioctl.h>

namespace tovrin::test {

// Type 'T' is not used by hidraw ('H'), so a real node refuses it (ENOTTY).
constexpr unsigned long kHidrawBridgeWait = _IO('T', 0x7B);

} // namespace tovrin::test
