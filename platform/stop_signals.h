#pragma once

// A request to stop from outside (SIGINT, SIGTERM, SIGHUP, SIGQUIT; Ctrl+C on Windows), turned into something a
// program checks at its own pace, so that it ends its current tick and lets go of every key.

namespace kestrane {

// From now on a stop request only sets a flag and makes StopSignalDescriptor readable. With
// `interrupt_blocking_calls` a blocking read is cut short too (a replay reading a pipe).
void CatchStopSignals(bool interrupt_blocking_calls);
// The signal that asked to stop, 0 while none has come.
int StopSignal();
// A descriptor that turns readable at a stop request, for event loops; -1 where there is none.
int StopSignalDescriptor();

}  // namespace kestrane
