#if defined(_WIN32)
#include "framework/native_message.h"

#include <windows.h>

static_assert(sizeof(SizingRect) == sizeof(RECT) && alignof(SizingRect) == alignof(RECT));

SizingRect* SizingMessage(void* message, unsigned* edge)
{
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SIZING)
        return nullptr;
    *edge = static_cast<unsigned>(msg->wParam);
    return reinterpret_cast<SizingRect*>(msg->lParam);
}

#endif
