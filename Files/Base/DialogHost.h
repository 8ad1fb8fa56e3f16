// The dialog host: shows the runner's modal dialogs. A dialog's logic (its controls' state
// and what each command does) is an IModalDialog; a host shows it and feeds it the player's
// commands until it ends. Two hosts: the in-window host (drawn in the game window, installed
// by the window layer) and the scripted host, the default, which takes its answers from the
// file named by the environment variable ZIMBREL_DIALOG_SCRIPT (tests, and runs without a
// display). The scripted host reads one line per dialog shown, in order:
//
//   <dialog name> <button> [<button> ...]      e.g.  error Copy Ignore
//
// Lines for another dialog name are skipped. Each button text is sent as that button's
// command; when the commands run out before the dialog ends, or without a file or a line,
// the host writes the dialog's text to stderr and gives the dialog's default answer.
#pragma once

#include <cstdint>

class IModalDialog {
public:
    virtual ~IModalDialog() = default;
    virtual const char* Name() const = 0;    // the scripted host's key ("error")
    virtual const char* Caption() const = 0;
    virtual void Init() = 0;                 // the dialog is about to be shown
    // A command (a control id); the dialog procedure's answer.
    virtual int32_t Command(int32_t id) = 0;
    // True once ended, with the dialog's result.
    virtual bool Ended(int32_t* result) const = 0;
    // The control id of a visible, enabled button with this text; -1 when none.
    virtual int32_t ButtonId(const char* text) const = 0;
    // The text a host without a display writes out.
    virtual const char* DisplayText() const = 0;
    // The answer of a host that cannot ask anybody.
    virtual int32_t DefaultResult() const = 0;
};

class IDialogHost {
public:
    virtual ~IDialogHost() = default;
    // Shows dialog modally until it ends; returns its result.
    virtual int32_t RunModal(IModalDialog& dialog) = 0;
    // Puts text on the clipboard (the dialogs' Copy buttons).
    virtual void SetClipboardText(const char* text) = 0;
};

// The host in use (null restores the scripted host).
void DialogHost_Set(IDialogHost* host);
IDialogHost* DialogHost_Get();
// The scripted host re-reads ZIMBREL_DIALOG_SCRIPT from its first line (tests).
void DialogHost_ResetScript();
// The last text the scripted host was asked to put on the clipboard.
const char* DialogHost_ScriptedClipboard();
