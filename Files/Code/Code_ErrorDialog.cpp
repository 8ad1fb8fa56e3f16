// The error dialog's logic (Files/Code/Code_ErrorDialog.h).
#include "Files/Code/Code_ErrorDialog.h"

#include <cstring>

ErrorRecord g_ErrorRecord = {nullptr, 0};

namespace {
void (*g_processMessages)() = nullptr;

// IDD_ERROR_CODE: 399 x 307 dialog units. Escape is not handled: only Abort and Ignore end it.
const DialogControl kErrorControls[] = {
    {ErrorDialog::ID_TEXT, DLGC_LOG, 7, 7, 385, 273, "", false},
    {ErrorDialog::ID_COPY, DLGC_BUTTON, 291, 286, 50, 14, "Copy", true},
    {ErrorDialog::ID_CLEAR, DLGC_BUTTON, 342, 286, 50, 14, "Clear", false},
    {ErrorDialog::ID_ABORT, DLGC_BUTTON, 7, 286, 50, 14, "Abort", true},
    {ErrorDialog::ID_IGNORE, DLGC_BUTTON, 65, 286, 50, 14, "Ignore", true},
};
const DialogTemplate kErrorTemplate = {399, 307, kErrorControls, 5};
} // namespace

const DialogTemplate& ErrorDialog::Template() const { return kErrorTemplate; }

const char* ErrorDialog::ControlText(int32_t id) const
{
    return id == ID_TEXT ? m_text.c_str() : IModalDialog::ControlText(id);
}

void ErrorDialog::Init()
{
    m_ignoreVisible = g_ErrorRecord.ignorable != 0;
    m_text = g_ErrorRecord.text ? g_ErrorRecord.text : "";
    Restart();
}

int32_t ErrorDialog::Command(int32_t id)
{
    switch (id) {
    case ID_COPY:
        if (!g_ErrorRecord.text) return 0;
        DialogHost_Get()->SetClipboardText(g_ErrorRecord.text);
        return 1;
    case ID_CLEAR:
        g_ErrorRecord.text = nullptr;
        m_text = " ";
        return 1;
    case ID_ABORT: End(1); return 1;
    case ID_IGNORE: End(0); return 1;
    default: return 0;
    }
}

int32_t ErrorDialog::ButtonId(const char* text) const
{
    if (!text) return -1;
    if (std::strcmp(text, "Copy") == 0) return ID_COPY;
    if (std::strcmp(text, "Clear") == 0) return ID_CLEAR;
    if (std::strcmp(text, "Abort") == 0) return ID_ABORT;
    if (std::strcmp(text, "Ignore") == 0 && m_ignoreVisible) return ID_IGNORE;
    return -1;
}

void Error_SetProcessMessagesHook(void (*hook)()) { g_processMessages = hook; }

int32_t Error_ShowDialog()
{
    // Let pending window messages through before the dialog takes over.
    if (g_processMessages) {
        g_processMessages();
        g_processMessages();
    }
    ErrorDialog dialog;
    return DialogHost_Get()->RunModal(dialog);
}
