// The core-library tests (files, INI files and the key store, dates, program and clipboard
// built-ins): the "File..", "Misc.." and tablet groups on the built-in test base
// (tests/support/BuiltinTest.h), with a program folder and a save area in a scratch folder
// (the current folder is the program folder, as at a real start). The file built-ins'
// messages land in the log as their own lines; the Python oracles are in tests/data/corelib/.
#pragma once

#include <memory>
#include <string>

#include "support/BuiltinTest.h"
#include "support/ScratchFolder.h"

class CorelibTest : public BuiltinTest {
protected:
    void SetUp() override;
    void TearDown() override;
    void Register() override;

    // The number of run-time errors reported (the reporter's "ERROR in" lines).
    int Errors() const;

    // The two folders (absolute, no trailing '/').
    std::string Program() const { return m_root.Path() + "/program"; }
    std::string Save() const { return m_root.Path() + "/save"; }
    std::string InProgram(const std::string& name) const { return Program() + "/" + name; }
    std::string InSave(const std::string& name) const { return Save() + "/" + name; }
    // Something outside both folders.
    std::string Outside() const { return m_root.Path() + "/outside"; }

    ScratchFolder m_root;

private:
    std::unique_ptr<ScopedCurrentFolder> m_cwd;
};
