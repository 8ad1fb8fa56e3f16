// The script table: loading, lookups and freeing. Compiling and running scripts is in
// Script_Run.cpp.
#include "Files/Script/Script_Main.h"

#include <cstring>
#include <vector>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_World.h"
#include "Files/Support/FileImage.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {
std::vector<CScript*> g_scripts;
// The names of the scripts, kept in step with every addition.
NameIndex g_byName;
char g_empty[1] = {0};
} // namespace

CScript::~CScript()
{
    // The stream type belongs to the memory-stream module; no loader here sets one.
    m_pStream = nullptr;
    delete m_pCode;
    m_pCode = nullptr;
    MEM_FREE(m_pText);
    MEM_FREE(m_pName);
}

const char* CScript::GetText() const { return m_pText ? m_pText : g_empty; }

namespace {

// The script language's view of the scripts (Files/Code/Code_World.h).
const CodeScriptAccess kCodeAccess = {
    Script_Find,
    Script_GetName,
    [](int32_t index, bool* exists) -> CCode* {
        CScript* s = Script_Data(index);
        *exists = s != nullptr;
        return s ? s->GetCode() : nullptr;
    },
    [](int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* result, const ScriptValue* args) {
        const ScriptArguments list{argc, args};
        return Script_Execute(index, self, other, argc, result, &list);
    },
};

} // namespace

void Script_Init()
{
    Script_Free();
    Code_SetScriptAccess(&kCodeAccess);
}

bool Script_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    Script_Free();
    Code_SetScriptAccess(&kCodeAccess);
    FileCursor c(image, begin, end);
    uint32_t count = c.U32();
    if (!c.ok() || !c.FitsCount(count, 4)) return false;
    std::vector<uint32_t> offsets(count);
    for (uint32_t i = 0; i < count; ++i) offsets[i] = c.U32();
    if (!c.ok()) return false;
    bool byteCode = Code_Table_Present();
    g_scripts.assign(count, nullptr);
    g_byName.Reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (offsets[i] == 0) continue;
        FileCursor e(image);
        if (!e.Seek(offsets[i])) return false;
        const char* name = e.StringRef();
        uint32_t second = e.U32();
        if (!e.ok()) return false;
        auto* s = new CScript();
        s->m_pName = MEM_STRDUP(name ? name : "");
        if (byteCode) {
            s->m_codeIndex = int32_t(second);
        } else {
            bool ok = true;
            const char* text = second ? image.String(second, ok) : nullptr;
            if (!ok) {
                delete s;
                return false;
            }
            s->m_pText = MEM_STRDUP(text ? text : "");
        }
        g_scripts[i] = s;
        g_byName.Add(s->m_pName, int32_t(i));
    }
    return true;
}

int32_t Script_Add(const char* name, const char* text, int32_t codeIndex)
{
    auto* s = new CScript();
    s->m_pName = MEM_STRDUP(name ? name : "");
    if (text) {
        s->m_pText = MEM_STRDUP(text);
    } else {
        s->m_codeIndex = codeIndex;
    }
    g_scripts.push_back(s);
    g_byName.Add(s->m_pName, int32_t(g_scripts.size()) - 1);
    Code_SetScriptAccess(&kCodeAccess);
    return int32_t(g_scripts.size()) - 1;
}

void Script_Free()
{
    for (CScript* s : g_scripts) delete s;
    g_scripts.clear();
    g_byName.Clear();
}

bool Script_Exists(int32_t index)
{
    return index >= 0 && size_t(index) < g_scripts.size() && g_scripts[size_t(index)];
}

const char* Script_GetName(int32_t index)
{
    return Script_Exists(index) ? g_scripts[size_t(index)]->m_pName : "<undefined>";
}

int32_t Script_Find(const char* name)
{
    return g_byName.Find(name);
}

CScript* Script_Data(int32_t index) { return Script_Exists(index) ? g_scripts[size_t(index)] : nullptr; }

int32_t Script_Count() { return int32_t(g_scripts.size()); }
