// The open and save file dialogs (Files/Debug/FileDialog.h).
#include "Files/Debug/FileDialog.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Support/File.h"

namespace {

// 314 x 200 dialog units: the folder's entries above, the name and the buttons below. The OK
// button reads "Open" or "Save" (ControlText).
const DialogControl kControls[] = {
    {FileDialog::ID_LIST, DLGC_FILES, 7, 7, 300, 152, "", false},
    {FileDialog::ID_NAME_LABEL, DLGC_TEXT, 7, 167, 50, 9, "File name:", false},
    {FileDialog::ID_NAME, DLGC_EDIT, 58, 165, 249, 13, "", false},
    {1, DLGC_BUTTON, 203, 182, 50, 14, "OK", true},
    {2, DLGC_BUTTON, 257, 182, 50, 14, "Cancel", false},
};
const DialogTemplate kTemplate = {314, 200, kControls, 5};

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(uint8_t(x)) < std::tolower(uint8_t(y));
    });
}

// The folder with one trailing '/'.
std::string AsFolder(std::string f)
{
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    if (f.empty() || f.back() != '/') f += '/';
    return f;
}

} // namespace

FileDialog::FileDialog(bool save, const char* filter, const char* defaultName, const char* folder, const char* title)
    : m_save(save), m_title(title && *title ? title : save ? "Save As" : "Open"), m_name(defaultName ? defaultName : ""),
      m_filters(ParseFilter(filter))
{
    std::string start = folder && *folder ? File_FullPath(folder) : File_CurrentFolder();
    if (!File_DirectoryExists(start.c_str())) start = File_CurrentFolder();
    m_folder = AsFolder(start);
    Refresh();
}

const DialogTemplate& FileDialog::Template() const { return kTemplate; }

void FileDialog::Init()
{
    Restart();
    if (m_save) {
        // The extension given to a name typed without one (the current filter's first pattern).
        const std::string& p = m_filters[size_t(m_filter)].second;
        size_t dot = p.find('.');
        std::string ext = dot == std::string::npos ? std::string() : p.substr(dot + 1, p.find(';') - dot - 1);
        if (ext == "*") ext.clear();
        Console_Output("pDefExt = %s\n", ext.c_str());
    }
}

std::vector<std::pair<std::string, std::string>> FileDialog::ParseFilter(const char* filter)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = filter ? filter : ""; *p; ++p) {
        if (*p == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += *p;
        }
    }
    parts.push_back(part);
    for (size_t i = 0; i + 1 < parts.size(); i += 2) out.emplace_back(parts[i], parts[i + 1].empty() ? "*.*" : parts[i + 1]);
    if (parts.size() % 2 == 1 && !parts.back().empty()) out.emplace_back(parts.back(), "*.*");
    if (out.empty()) out.emplace_back("All Files (*.*)", "*.*");
    return out;
}

bool FileDialog::Matches(const std::string& patterns, const char* name)
{
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(';', start);
        if (end == std::string::npos) end = patterns.size();
        std::string p = patterns.substr(start, end - start);
        while (!p.empty() && p.front() == ' ') p.erase(p.begin());
        while (!p.empty() && p.back() == ' ') p.pop_back();
        if (!p.empty() && File_WildcardMatch(p.c_str(), name)) return true;
        start = end + 1;
    }
    return false;
}

void FileDialog::Refresh()
{
    m_entries.clear();
    std::vector<FileDialogEntry> all;
    FileDialogHost_List(m_folder.c_str(), &all);
    const std::string& patterns = m_filters[size_t(m_filter)].second;
    for (const FileDialogEntry& e : all)
        if (e.folder || Matches(patterns, e.name.c_str())) m_entries.push_back({e.name, e.folder});
    std::sort(m_entries.begin(), m_entries.end(), [](const Item& a, const Item& b) {
        if (a.folder != b.folder) return a.folder;
        return LessIgnoringCase(a.name, b.name);
    });
}

DialogFileEntry FileDialog::Entry(int32_t i) const
{
    if (i < 0 || i >= EntryCount()) return {"", false};
    return {m_entries[size_t(i)].name.c_str(), m_entries[size_t(i)].folder};
}

const char* FileDialog::FilterName(int32_t i) const
{
    return i >= 0 && i < FilterCount() ? m_filters[size_t(i)].first.c_str() : "";
}

void FileDialog::SetFilter(int32_t i)
{
    if (i < 0 || i >= FilterCount() || i == m_filter) return;
    m_filter = i;
    Refresh();
}

std::string FileDialog::Resolve(const std::string& name) const
{
    if (!name.empty() && name[0] == '/') return File_FullPath(name.c_str());
    return File_FullPath((m_folder + name).c_str());
}

bool FileDialog::Enter(const std::string& folder)
{
    std::string full = Resolve(folder);
    if (!File_DirectoryExists(full.c_str())) return false;
    m_folder = AsFolder(full);
    Refresh();
    return true;
}

void FileDialog::Choose(int32_t i)
{
    if (i < 0 || i >= EntryCount()) return;
    const Item item = m_entries[size_t(i)];
    if (item.folder) Enter(item.name);
    else m_name = item.name;
}

void FileDialog::Up()
{
    if (m_folder.size() > 1) Enter("..");
}

const char* FileDialog::ControlText(int32_t id) const
{
    if (id == ID_NAME) return m_name.c_str();
    if (id == ID_LIST) return m_folder.c_str();
    if (id == 1) return m_save ? "Save" : "Open";
    return IModalDialog::ControlText(id);
}

void FileDialog::SetControlText(int32_t id, const char* text)
{
    if (id == ID_NAME) m_name = text ? text : "";
}

int32_t FileDialog::Command(int32_t id)
{
    if (id == 2) {
        End(0);
        return 1;
    }
    if (id != 1 || m_name.empty()) return 0;
    const std::string full = Resolve(m_name);
    if (File_DirectoryExists(full.c_str())) {
        Enter(m_name);
        m_name.clear();
        return 1;
    }
    if (!m_save && !File_Exists(full.c_str())) return 0; // the file must exist
    if (m_save) {
        std::string dir = full.substr(0, full.find_last_of('/') + 1);
        if (!File_DirectoryExists(dir.c_str())) return 0;
    }
    m_path = full;
    End(1);
    return 1;
}

int32_t FileDialog::ButtonId(const char* text) const
{
    if (!text) return -1;
    if (std::strcmp(text, "OK") == 0 || std::strcmp(text, m_save ? "Save" : "Open") == 0) return 1;
    if (std::strcmp(text, "Cancel") == 0) return 2;
    return -1;
}

bool FileDialog_Run(bool save, const char* filter, const char* defaultName, const char* folder, const char* title,
                    std::string* path)
{
    GR_D3D_LeaveFullscreen();
    FileDialog d(save, filter, defaultName, folder, title);
    const bool ok = DialogHost_Get()->RunModal(d) == 1 && !d.Path().empty();
    *path = ok ? d.Path() : std::string();
    return ok;
}
