#include "corelib/CorelibTestSupport.h"

#include <filesystem>

#include "Files/Function/Function_File.h"
#include "Files/Function/Function_Program.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Support/LoadSave.h"

void CorelibTest::Register()
{
    Function_File_CloseAll();
    Program_SetPriorityHook(nullptr);
    InitFunctions_File();
    InitFunctions_Misc();
    InitFunctions_Tile();
}

void CorelibTest::SetUp()
{
    BuiltinTest::SetUp();
    std::filesystem::create_directories(Program());
    std::filesystem::create_directories(Save());
    LoadSave_ClearAllowedFiles();
    LoadSave_SetFolders(Program().c_str(), Save().c_str(), Program().c_str());
    m_cwd = std::make_unique<ScopedCurrentFolder>(Program());
}

void CorelibTest::TearDown()
{
    Function_File_CloseAll();
    Program_SetPriorityHook(nullptr);
    m_cwd.reset();
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
    LoadSave_ClearAllowedFiles();
    BuiltinTest::TearDown();
}

int CorelibTest::Errors() const
{
    const std::string log = Log();
    int n = 0;
    for (size_t at = log.find("ERROR in\n"); at != std::string::npos; at = log.find("ERROR in\n", at + 1)) ++n;
    return n;
}
