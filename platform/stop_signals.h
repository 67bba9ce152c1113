#pragma once

// A request to stop from outside (SIGINT, SIGTERM, SIGHUP, SIGQUIT; Ctrl+C on Windows), or to
// suspend (SIGTSTP), turned into something a program checks at its own pace, so that it ends its
// current tick and lets go of every key.

namespace kestrane {

// From now on a stop request only sets a flag and makes StopSignalDescriptor readable. With
// `interrupt_blocking_calls` a blocking read is cut short too (a replay reading a pipe).
void CatchStopSignals(bool interrupt_blocking_calls);
// The signal that asked to stop, 0 while none has come.
int StopSignal();
// A descriptor that turns readable at a stop (or caught suspend) request, for event loops; -1
// where there is none.
int StopSignalDescriptor();
// Before a read of standard input that may block: waits until a pipe on it has data or has
// ended, or a stop request comes (false). Where the request cuts a blocking read short itself
// (POSIX), or where a pipe cannot be peeked, it only tells whether one has come. Windows: standard
// input must be unbuffered (setvbuf _IONBF), or data already buffered would go unseen.
bool WaitForStandardInput();

// Suspending (SIGTSTP, a terminal's Ctrl+Z), so that the program first lets go of what it holds.
// From now on SIGTSTP only counts a request and makes StopSignalDescriptor readable (a reader
// there checks StopSignal and TakeSuspendRequest). Windows has no such signal: a no-op.
void CatchSuspendSignals();
// True once per SIGTSTP received since CatchSuspendSignals. Windows: always false.
bool TakeSuspendRequest();
// Stops the whole process as SIGTSTP's default would (by raising SIGSTOP) and returns once
// SIGCONT continues it. Windows: returns at once.
void SuspendNow();

}  // namespace kestrane
