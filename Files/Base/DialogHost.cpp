// The dialog-host switch and the scripted host (Files/Base/DialogHost.h).
#include "Files/Base/DialogHost.h"

#include "Files/Base/Console.h"
#include "Files/Base/Utf8.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

const char* IModalDialog::ControlText(int32_t id) const
{
    const DialogControl* c = DialogTemplate_Find(Template(), id);
    return c && c->text ? c->text : "";
}

void IDialogHost::ShowModeless(IModalDialog* dialog)
{
    dialog->Init();
    dialog->Closed(dialog->DefaultResult());
}

const DialogControl* DialogTemplate_Find(const DialogTemplate& t, int32_t id)
{
    for (int32_t i = 0; i < t.count; ++i)
        if (t.controls[i].id == id) return &t.controls[i];
    return nullptr;
}

namespace {

class ScriptedHost : public IDialogHost {
public:
    int32_t RunModal(IModalDialog& dialog) override
    {
        dialog.Init();
        int32_t result;
        if (RunScript(dialog, &result)) return result;
        std::string text = std::string(dialog.Caption()) + "\n" + dialog.DisplayText() + "\n";
        text.resize(String_LineFeeds(text.data())); // a terminal shows every line
        Console_WriteStderr(text.c_str());
        return dialog.DefaultResult();
    }

    // Answered at once: the answer still reaches the game only at its next step.
    void ShowModeless(IModalDialog* dialog) override { dialog->Closed(RunModal(*dialog)); }

    void SetClipboardText(const char* text) override { m_clipboard = text ? text : ""; }

    void Reset()
    {
        m_loaded = false;
        m_lines.clear();
        m_next = 0;
    }

    const char* Clipboard() const { return m_clipboard.c_str(); }

    bool RunScript(IModalDialog& dialog, int32_t* result)
    {
        std::vector<std::string> words;
        if (!NextLine(dialog.Name(), words)) return false;
        const DialogTemplate& t = dialog.Template();
        int32_t field = 0; // the next edit field to type into, in template order
        for (const std::string& w : words) {
            if (w[0] == '=') {
                while (field < t.count && t.controls[field].kind != DLGC_EDIT && t.controls[field].kind != DLGC_PASSWORD)
                    ++field;
                if (field < t.count) dialog.SetControlText(t.controls[field++].id, Unescape(w.substr(1)).c_str());
                continue;
            }
            int32_t id = dialog.ButtonId(w.c_str());
            if (id >= 0) dialog.Command(id);
            if (dialog.Ended(result)) return true;
        }
        return false;
    }

private:
    static std::string Unescape(const std::string& s)
    {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 's') {
                out += ' ';
                ++i;
            } else {
                out += s[i];
            }
        }
        return out;
    }

    bool NextLine(const char* name, std::vector<std::string>& words)
    {
        if (!m_loaded) {
            m_loaded = true;
            const char* path = std::getenv("ZIMBREL_DIALOG_SCRIPT");
            if (path && *path) {
                std::ifstream in(path);
                std::string line;
                while (std::getline(in, line)) m_lines.push_back(line);
            }
        }
        while (m_next < m_lines.size()) {
            std::istringstream in(m_lines[m_next++]);
            std::string first;
            if (!(in >> first) || first != name) continue;
            std::string w;
            while (in >> w) words.push_back(w);
            return true;
        }
        return false;
    }

    bool m_loaded = false;
    std::vector<std::string> m_lines;
    size_t m_next = 0;
    std::string m_clipboard;
};

ScriptedHost g_scripted;
IDialogHost* g_host = &g_scripted;

} // namespace

void DialogHost_Set(IDialogHost* host) { g_host = host ? host : &g_scripted; }
IDialogHost* DialogHost_Get() { return g_host; }
void DialogHost_ResetScript() { g_scripted.Reset(); }
const char* DialogHost_ScriptedClipboard() { return g_scripted.Clipboard(); }
