// Interrupts (SIGINT, SIGTERM, SIGHUP) as a flag that long work checks: the
// handler only notes the signal, and the work stops at its next check, going
// out by its ordinary failure path so that every temporary file it made is
// removed on the way.
#pragma once

namespace qm {

// Installs the handlers (once per process; later calls do nothing).
void InstallInterruptHandlers();
// Gives the signals back their default action (ending the process), for the
// last steps of a command: a signal that comes after its final check still
// ends it with the signal's status. A signal noted before stays noted.
void EndInterruptHandling();
// True once one of the signals has arrived.
bool Interrupted();
// The first signal that arrived, 0 when none did.
int InterruptSignal();

}  // namespace qm
