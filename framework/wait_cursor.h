#pragma once

// The hourglass over lengthy work. Calls nest; an End without a Begin does nothing.
void BeginWaitCursor();
void EndWaitCursor();

class CWaitCursor {
public:
    CWaitCursor() { BeginWaitCursor(); }
    ~CWaitCursor() { EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
