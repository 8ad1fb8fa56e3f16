// A fresh folder for one test under the test temp folder, deleted with everything in it when
// the object goes; small helpers to write and read whole files and to change process state
// (current folder, environment) for the life of an object.
#pragma once

#include <set>
#include <string>

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, absolute, without a trailing '/'.
    const std::string& Path() const { return m_path; }
    // Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// Writes text as the whole file, making its folders first.
void Scratch_WriteFile(const std::string& path, const std::string& text);
// The whole file; "" when it does not open.
std::string Scratch_ReadFile(const std::string& path);
// True when something (a link too) has that name.
bool Scratch_Exists(const std::string& path);
// The names in a folder (none when it does not open).
std::set<std::string> Scratch_List(const std::string& folder);

// Changes the current folder for the life of the object.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::string& folder);
    ~ScopedCurrentFolder();

private:
    std::string m_saved;
};

// Sets (or, with null, unsets) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    std::string m_name, m_saved;
    bool m_had;
};
