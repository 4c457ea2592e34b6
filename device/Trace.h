#pragma once
// Wire trace for technicians diagnosing a frame and for conformance checks.
// With TOVRIN_TRACE=<file> in the environment every report written, every
// report read and every feature report fetched is appended to the file as
//   <milliseconds since start, 3 decimals> <out|in|feature> <lower-case hex>
// When the variable is not set the cost is one relaxed atomic load.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tovrin::device {

enum class TraceDirection { Out, In, Feature };

bool traceEnabled();
void traceReport(TraceDirection direction, const uint8_t* bytes, size_t size);

// Tests: trace into another file (empty: off), overriding the environment.
void setTraceFile(const std::string& path);

} // namespace tovrin::device
