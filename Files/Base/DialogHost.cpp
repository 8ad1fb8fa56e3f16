// The dialog-host switch and the scripted host (Files/Base/DialogHost.h).
#include "Files/Base/DialogHost.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ScriptedHost : public IDialogHost {
public:
    int32_t RunModal(IModalDialog& dialog) override
    {
        dialog.Init();
        std::vector<std::string> buttons;
        if (NextLine(dialog.Name(), buttons)) {
            for (const std::string& b : buttons) {
                int32_t id = dialog.ButtonId(b.c_str());
                if (id >= 0) dialog.Command(id);
                int32_t result;
                if (dialog.Ended(&result)) return result;
            }
        }
        std::fprintf(stderr, "%s\n%s\n", dialog.Caption(), dialog.DisplayText());
        std::fflush(stderr);
        return dialog.DefaultResult();
    }

    void SetClipboardText(const char* text) override { m_clipboard = text ? text : ""; }

    void Reset()
    {
        m_loaded = false;
        m_lines.clear();
        m_next = 0;
    }

    const char* Clipboard() const { return m_clipboard.c_str(); }

private:
    bool NextLine(const char* name, std::vector<std::string>& buttons)
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
            std::istringstream words(m_lines[m_next++]);
            std::string first;
            if (!(words >> first) || first != name) continue;
            std::string b;
            while (words >> b) buttons.push_back(b);
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
