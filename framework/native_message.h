#pragma once

// The system's window messages the shell acts on, read where <windows.h> can be
// included: its COLORREF and GetSysColor would clash with the framework's own.
#if defined(_WIN32)

// The layout of the system's RECT.
struct SizingRect {
    long left;
    long top;
    long right;
    long bottom;
};

// The edge being dragged and the window's rectangle when message is a WM_SIZING; null
// for any other message.
SizingRect* SizingMessage(void* message, unsigned* edge);

#endif
