// The folder listing of the file dialogs (Files/Debug/FileDialog.h). POSIX only.
#include "Files/Debug/FileDialog.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string>

bool FileDialogHost_List(const char* folder, std::vector<FileDialogEntry>* out)
{
    out->clear();
    DIR* d = opendir(folder);
    if (!d) return false;
    std::string base = folder;
    if (base.empty() || base.back() != '/') base += '/';
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue; // ".", ".." and hidden names
        struct stat st;
        if (stat((base + e->d_name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) out->push_back({e->d_name, true});
        else if (S_ISREG(st.st_mode)) out->push_back({e->d_name, false});
    }
    closedir(d);
    return true;
}
