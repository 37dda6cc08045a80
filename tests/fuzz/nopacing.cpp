// The fuzz build of the panel link has no toolkit.  The link's only wait, the pacing of the
// length query, is never reached from the receive path, so here it waits for nothing.

#include "panel/pacing.h"

void Sleep(int) {}
void SetSleepHook(SleepHook) {}
