#pragma once

// The message pump of long work (a dump, the pages of a job): the window stays alive
// and a quit request, however it comes, ends the work at once.

// Lets the window handle waiting events; false once the application was asked to quit,
// then the caller stops its work at once.
bool PumpWaitingMessages();
bool QuitRequested();
// Asks the application to quit, as closing its window does: every event loop running
// ends, and work running inside a pump ends at its next check.
void RequestQuit();
// Forgets a quit request (tests that simulate one).
void ClearQuitRequest();
