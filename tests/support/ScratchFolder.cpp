// Scratch folders, whole-file helpers and scoped process state for the tests.
#include "support/ScratchFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder()
{
    std::string base = ::testing::TempDir();
    if (base.empty() || base.back() != '/') base += '/';
    std::string pattern = base + "zbtest_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!mkdtemp(buffer.data())) std::abort();
    m_path = fs::canonical(buffer.data()).string();
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    // Give back rights a test may have taken away so that everything can go.
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_symlink(ec) && it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void Scratch_WriteFile(const std::string& path, const std::string& text)
{
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string Scratch_ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Scratch_Exists(const std::string& path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

std::set<std::string> Scratch_List(const std::string& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename().string());
    return names;
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder)
    : m_saved(fs::current_path().string())
{
    fs::current_path(folder);
}

ScopedCurrentFolder::~ScopedCurrentFolder() { fs::current_path(m_saved); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name)
{
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old) m_saved = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_had) setenv(m_name.c_str(), m_saved.c_str(), 1);
    else unsetenv(m_name.c_str());
}
