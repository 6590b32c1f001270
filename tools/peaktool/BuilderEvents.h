#pragma once

namespace kx {

class TKXPeakBuilder;

// Prints every builder event as one line on stdout: the event name and its
// arguments separated by tabs, in firing order. Handlers already assigned
// are called after the line is printed.
void PrintBuilderEvents(TKXPeakBuilder& builder);

} // namespace kx
