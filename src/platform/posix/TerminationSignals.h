#pragma once

namespace qmpvx::posix {

// SIGTERM, SIGINT and SIGHUP no longer end the program at once: they are
// recorded (see terminationRequested) for the program to end itself at the
// next safe point, after its cleanups. A signal that the program was started
// with ignored stays ignored (a shell's background job, nohup). A second
// signal while the first is pending ends the program at once.
void installTerminationHandlers();

// Readable once a termination signal has arrived: lets an event loop that
// is idle notice it.
int terminationWakeupDescriptor();

// Runs the cleanups, then ends the program the way the pending signal asks
// (its default action, so the parent sees the signal). Returns only when no
// termination is pending.
void endAsSignalAsks() noexcept;

} // namespace qmpvx::posix
