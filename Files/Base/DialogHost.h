// The dialog host: shows the runner's dialogs. A dialog's logic (its template of controls, the
// state of those controls and what each command does) is an IModalDialog; a host shows it and
// feeds it the player's commands until it ends. A dialog is shown modally (the call returns
// with its answer, the game does not step meanwhile) or modeless (beside the running game: the
// host calls Closed with the answer when the player ends it).
//
// Two hosts. The on-screen host draws the dialogs inside the game window (Dear ImGui over the
// last game frame, Files/Debug/Linux/), installed at start-up when a real display is up. The
// scripted host, the default, takes its answers from the file named by the environment
// variable ZIMBREL_DIALOG_SCRIPT (tests, and runs without a display). It reads one line per
// dialog shown, in order:
//
//   <dialog name> <word> [<word> ...]      e.g.  error Copy Ignore      input =42 OK
//
// Lines for another dialog name are skipped. A word that starts with '=' types the rest of
// the word into the dialog's next edit field (in template order; "\s" stands for a space);
// any other word is a button's text, sent as that button's command. When the words run out
// before the dialog ends, or without a file or a line, the host writes the dialog's caption
// and text to stderr and gives the dialog's default answer.
//
// Templates keep the sizes and control ids of the dialog resources: positions and sizes in
// dialog units (a host scales them to its font), ids as the dialog procedures know them.
//
// Needs nothing. The on-screen host is Files/Debug/Linux/Dialog_HostM.cpp.
#pragma once

#include <cstdint>

// ---- Templates ------------------------------------------------------------------------------
enum DialogControlKind : uint8_t {
    DLGC_BUTTON,       // push button; isDefault marks the default-button style
    DLGC_EDIT,         // one-line edit field, scrolling
    DLGC_PASSWORD,     // one-line edit field, masked
    DLGC_TEXT,         // static text, left-aligned, wrapped
    DLGC_TEXT_CENTRED, // static text, centred, wrapped
    DLGC_LOG,          // multi-line read-only text with scroll bars (can be selected)
    DLGC_FILES,        // a file browser (IModalDialog::Browser)
};

struct DialogControl {
    int32_t id;
    DialogControlKind kind;
    int16_t x, y, w, h; // dialog units
    const char* text;   // the resource's text (a dialog may replace it: ControlText)
    bool isDefault;     // default-button style
};

struct DialogTemplate {
    int16_t width, height; // dialog units
    const DialogControl* controls;
    int32_t count;
};

// A folder listing a file dialog shows (DLGC_FILES); the host lists the folder and hands the
// player's choices back.
struct DialogFileEntry {
    const char* name;
    bool folder;
};
class IDialogBrowser {
public:
    virtual ~IDialogBrowser() = default;
    virtual const char* Folder() const = 0;          // absolute, '/'-separated
    virtual int32_t EntryCount() const = 0;           // what the folder shows (filtered)
    virtual DialogFileEntry Entry(int32_t i) const = 0;
    virtual int32_t FilterCount() const = 0;
    virtual const char* FilterName(int32_t i) const = 0;
    virtual int32_t Filter() const = 0;
    virtual void SetFilter(int32_t i) = 0;
    // A click on an entry: a folder is entered, a file's name goes into the name field.
    virtual void Choose(int32_t i) = 0;
    virtual void Up() = 0; // to the parent folder
};

class IModalDialog {
public:
    virtual ~IModalDialog() = default;
    virtual const char* Name() const = 0;    // the scripted host's key ("error")
    virtual const char* Caption() const = 0;
    virtual const DialogTemplate& Template() const = 0;
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

    // The text a control shows now (static texts replaced at run time, an edit field's
    // contents, a button's caption); the template's text by default.
    virtual const char* ControlText(int32_t id) const;
    // The player changed an edit field.
    virtual void SetControlText(int32_t id, const char* text)
    {
        (void)id;
        (void)text;
    }
    virtual bool ControlVisible(int32_t id) const
    {
        (void)id;
        return true;
    }
    // The command of the Escape key, -1 when the dialog has none.
    virtual int32_t CancelId() const { return -1; }
    // The answer when the game window is closed under the dialog.
    virtual int32_t ClosedResult() const { return DefaultResult(); }
    // The file browser of a DLGC_FILES control; null when none.
    virtual IDialogBrowser* Browser() { return nullptr; }
    // A modeless dialog has ended with this answer (called once by the host).
    virtual void Closed(int32_t result) { (void)result; }
};

// The end state that most dialogs keep: once ended, a result.
class DialogBase : public IModalDialog {
public:
    bool Ended(int32_t* result) const override
    {
        if (m_ended) *result = m_result;
        return m_ended;
    }

protected:
    void End(int32_t result)
    {
        m_ended = true;
        m_result = result;
    }
    void Restart() { m_ended = false; }

private:
    bool m_ended = false;
    int32_t m_result = 0;
};

class IDialogHost {
public:
    virtual ~IDialogHost() = default;
    // Shows dialog modally until it ends; returns its result.
    virtual int32_t RunModal(IModalDialog& dialog) = 0;
    // Puts text on the clipboard (the dialogs' Copy buttons).
    virtual void SetClipboardText(const char* text) = 0;
    // Shows dialog beside the running game (at most one at a time); the host calls
    // dialog->Closed once the player ends it, which may be at once. By default the dialog is
    // answered at once with its default answer.
    virtual void ShowModeless(IModalDialog* dialog);
    // Takes the modeless dialog away without an answer (its owner is going away).
    virtual void CloseModeless(IModalDialog* dialog) { (void)dialog; }
    // True for a host that shows dialogs to a player.
    virtual bool OnScreen() const { return false; }
};

// The host in use (null restores the scripted host).
void DialogHost_Set(IDialogHost* host);
IDialogHost* DialogHost_Get();
// The scripted host re-reads ZIMBREL_DIALOG_SCRIPT from its first line (tests).
void DialogHost_ResetScript();
// The last text the scripted host was asked to put on the clipboard.
const char* DialogHost_ScriptedClipboard();
// The template control of that id, or null.
const DialogControl* DialogTemplate_Find(const DialogTemplate& t, int32_t id);
