// The error dialog ("Code Error..."): the player reads a run-time error's text, copies it,
// clears it, aborts the game or, when the error allows it, ignores it. This is the dialog's
// logic; the dialog host (Files/Base/DialogHost.h) shows it.
#pragma once

#include <cstdint>
#include <string>

#include "Files/Base/DialogHost.h"

// The error record the reporter fills before showing the dialog. The text belongs to the
// reporter; Clear only drops the pointer.
struct ErrorRecord {
    const char* text; // UTF-8, or null
    uint8_t ignorable;
};
extern ErrorRecord g_ErrorRecord;

class ErrorDialog : public DialogBase {
public:
    // Control ids. ORDER: the dialog's controls keep these numbers.
    enum : int32_t { ID_TEXT = 1001, ID_COPY = 1063, ID_CLEAR = 1064, ID_ABORT = 3, ID_IGNORE = 4 };

    const char* Name() const override { return "error"; }
    const char* Caption() const override { return "Code Error..."; }
    const DialogTemplate& Template() const override;
    void Init() override;
    int32_t Command(int32_t id) override;
    int32_t ButtonId(const char* text) const override;
    const char* DisplayText() const override { return m_text.c_str(); }
    int32_t DefaultResult() const override { return 1; }
    const char* ControlText(int32_t id) const override;
    bool ControlVisible(int32_t id) const override { return id != ID_IGNORE || m_ignoreVisible; }

    bool IgnoreVisible() const { return m_ignoreVisible; }

private:
    std::string m_text; // what the text control shows
    bool m_ignoreVisible = false;
};

// Shows the error dialog for the record: 1 for Abort, 0 for Ignore.
int32_t Error_ShowDialog();
// Drains the window messages before the dialog (the window layer installs it).
void Error_SetProcessMessagesHook(void (*hook)());
