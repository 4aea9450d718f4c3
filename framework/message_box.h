#pragma once

#include "framework/hook_guard.h"

#include <functional>
#include <string>

// Button sets and icons of the classic message box.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10,
    MB_ICONSTOP = MB_ICONHAND,
    MB_ICONERROR = MB_ICONHAND,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = MB_ICONASTERISK,
    MB_ICONMASK = 0xF0,
    MB_DEFBUTTON2 = 0x100,
};
enum { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// A modal box captioned "Vantrel" over the active modal dialog, else the main window,
// with Japanese buttons and the exclamation icon unless flags name another. Returns the
// button pressed (IDOK ...).
int AfxMessageBox(const std::string& text, unsigned flags = MB_OK);

// Tests answer message boxes without a human: while a hook is set it receives the
// text and the flags (with the icon already added) and its result is returned;
// no box is shown. An empty function removes the hook. Returns the hook before it.
using MessageBoxHook = std::function<int(const std::string& text, unsigned flags)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
using MessageBoxHookGuard = CHookGuard<MessageBoxHook, &SetMessageBoxHook>;
