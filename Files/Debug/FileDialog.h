// The open and save file dialogs: a folder's entries filtered by the game's filter text, a
// name field, and OK/Cancel. The filter text alternates names and patterns separated by '|'
// ("Text files|*.txt;*.ini|All files|*.*"); a pattern list separates patterns with ';' and
// matches as the file built-ins' wildcards do (ignoring case; "*.*" matches every name).
//
// OK with a name: a folder's name enters that folder; otherwise the name (relative to the
// folder shown, or absolute) is the answer, which the open dialog takes only for a file that
// exists. The answer is a full path of any length.
//
// Main thread only. Needs the dialog host and the file layer's path helpers; the folder
// listing is Files/Debug/Linux/FileDialogM.cpp (POSIX).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Files/Base/DialogHost.h"

class FileDialog : public DialogBase, public IDialogBrowser {
public:
    enum : int32_t { ID_LIST = 1120, ID_NAME_LABEL = 1090, ID_NAME = 1152 };

    FileDialog(bool save, const char* filter, const char* defaultName, const char* folder, const char* title);

    // IModalDialog
    const char* Name() const override { return m_save ? "save" : "open"; }
    const char* Caption() const override { return m_title.c_str(); }
    const DialogTemplate& Template() const override;
    void Init() override;
    int32_t Command(int32_t id) override;
    int32_t ButtonId(const char* text) const override;
    const char* DisplayText() const override { return m_folder.c_str(); }
    int32_t DefaultResult() const override { return 0; } // nobody chose a file
    const char* ControlText(int32_t id) const override;
    void SetControlText(int32_t id, const char* text) override;
    int32_t CancelId() const override { return 2; }
    int32_t ClosedResult() const override { return 0; }
    IDialogBrowser* Browser() override { return this; }

    // IDialogBrowser
    const char* Folder() const override { return m_folder.c_str(); }
    int32_t EntryCount() const override { return int32_t(m_entries.size()); }
    DialogFileEntry Entry(int32_t i) const override;
    int32_t FilterCount() const override { return int32_t(m_filters.size()); }
    const char* FilterName(int32_t i) const override;
    int32_t Filter() const override { return m_filter; }
    void SetFilter(int32_t i) override;
    void Choose(int32_t i) override;
    void Up() override;

    // The chosen full path after OK.
    const std::string& Path() const { return m_path; }
    // Enters a folder (absolute, or relative to the one shown); false when it is not one.
    bool Enter(const std::string& folder);

    // The filter text as (name, patterns) pairs; a text without a '|' is one name matching
    // every file, an empty text gives "All Files (*.*)".
    static std::vector<std::pair<std::string, std::string>> ParseFilter(const char* filter);
    // Whether a file name matches one of the ';'-separated patterns.
    static bool Matches(const std::string& patterns, const char* name);

private:
    void Refresh();
    std::string Resolve(const std::string& name) const;

    bool m_save;
    std::string m_title, m_folder, m_name, m_path;
    std::vector<std::pair<std::string, std::string>> m_filters;
    int32_t m_filter = 0;
    struct Item {
        std::string name;
        bool folder;
    };
    std::vector<Item> m_entries;
};

// Runs the dialog modally: true with the full path after OK; false after Cancel.
bool FileDialog_Run(bool save, const char* filter, const char* defaultName, const char* folder, const char* title,
                    std::string* path);

// ---- Host (Linux/FileDialogM.cpp) ------------------------------------------------------------
struct FileDialogEntry {
    std::string name;
    bool folder;
};
// The entries of a folder (no "." or ".."; hidden names, starting with '.', left out); false
// when it cannot be read.
bool FileDialogHost_List(const char* folder, std::vector<FileDialogEntry>* out);
