// CCode, syntax-tree release, the code table and the argument slots (Files/Code/Code_Code.h).
#include "Files/Code/Code_Code.h"

#include <cctype>
#include <cstring>
#include <climits>
#include <vector>

#include "Files/Code/Code_Error.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/VM_Format.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

namespace {

// ---- The code table and the list of table-built units ----
struct CodeTableEntry {
    char* name = nullptr;
    char* source = nullptr;
    VMBuffer* code = nullptr;
    VMBuffer* debug = nullptr;
};

std::vector<CodeTableEntry> g_table;
bool g_tablePresent = false;
CCode* g_listHead = nullptr;
int32_t g_listCount = 0;

// ---- Argument slots: window k of 16 values at g_args + 16 * k; window g_window is current.
// Windows above the current one hold only real 0. g_used[k] bounds the slots of window k that
// may hold something else (16 once anybody outside the machine had the window).
ScriptValue* g_args = nullptr;
int32_t g_argWindows = 0;
int32_t g_window = 0;
uint8_t* g_used = nullptr;
ScriptValue g_slot16 = {VALUE_REAL, nullptr, 0.0};
int32_t g_argCount = 0;

void EnsureWindows(int32_t n)
{
    if (n <= g_argWindows) return;
    int32_t count = g_argWindows ? g_argWindows : 4;
    while (count < n) count *= 2;
    g_args = static_cast<ScriptValue*>(MEM_REALLOC(g_args, sizeof(ScriptValue) * 16 * size_t(count)));
    g_used = static_cast<uint8_t*>(MEM_REALLOC(g_used, size_t(count)));
    g_argWindows = count; // the reallocation cleared the new windows: every value real 0
    g_CodeArgs = g_args + 16 * size_t(g_window);
}

CodeCompilerHooks g_hooks = {nullptr, nullptr, nullptr};

char g_emptyText[1] = {0};

// A kind no node has: the first node of a children array already gathered is given it, so an
// array reached again (shared by two nodes, or a cycle) is gathered once without a set of
// every array met. The arrays are freed afterwards, so the mark is never seen again.
constexpr int32_t kGatheredArray = INT32_MIN + 17;

// Frees every node's text and gathers every children array once (an array shared by two
// nodes once), in the order met. The walk keeps its own stack: a chain of operators makes a
// tree as deep as the chain is long.
void FreeTextsGatherArrays(CodeNode* root, std::vector<CodeNode*>& order)
{
    std::vector<CodeNode*> pending{root};
    while (!pending.empty()) {
        CodeNode* node = pending.back();
        pending.pop_back();
        Value_FreeString(&node->value);
        CodeNode* children = node->children;
        if (!children || node->childCount <= 0 || children[0].kind == kGatheredArray) continue;
        order.push_back(children);
        for (int32_t i = node->childCount - 1; i >= 0; --i) pending.push_back(&children[i]);
        children[0].kind = kGatheredArray;
    }
}

} // namespace

// ---- Trees ----

void Code_Tree_Free(CodeNode* node, bool freeNode)
{
    if (!node) return;
    std::vector<CodeNode*> order;
    FreeTextsGatherArrays(node, order);
    for (CodeNode* a : order) MEM_FREE(a);
    node->children = nullptr;
    node->childCount = 0;
    if (freeNode) MEM_FREE(node);
}

void Code_Tree_Reset(CodeNode* node, int32_t position)
{
    CodeNode copy = *node;
    copy.value = Value_Real(0.0); // the node's own text stays with the node
    Code_Tree_Free(&copy, false);
    node->kind = -1;
    node->childCount = 0;
    node->children = nullptr;
    node->position = position;
}

// ---- CCode ----

CCode::CCode(const char* text, bool expression)
    : m_pNext(nullptr), m_kind(expression ? CODE_EXPRESSION : CODE_PROGRAM), m_compiled(0),
      m_pText(text ? text : g_emptyText), m_tree{}, m_constant(Value_Real(0.0)), m_pCode(nullptr),
      m_pDebugInfo(nullptr), m_pSourceCopy(nullptr), m_pName(nullptr), m_index(-1),
      m_ownedByCaller(1), m_ownsCode(1)
{
}

CCode::CCode(int32_t index, bool expression)
    : m_pNext(nullptr), m_kind(expression ? CODE_EXPRESSION : CODE_PROGRAM), m_compiled(1),
      m_pText(g_emptyText), m_tree{}, m_constant(Value_Real(0.0)), m_pCode(nullptr),
      m_pDebugInfo(nullptr), m_pSourceCopy(nullptr), m_pName(nullptr), m_index(index),
      m_ownedByCaller(0), m_ownsCode(0)
{
    if (index >= 0 && size_t(index) < g_table.size()) {
        const CodeTableEntry& e = g_table[size_t(index)];
        m_pCode = e.code;
        m_pDebugInfo = e.debug;
        m_pName = e.name;
        m_pText = e.source ? e.source : g_emptyText;
    }
    if (index >= 0) {
        m_pNext = g_listHead;
        g_listHead = this;
        ++g_listCount;
    }
}

CCode::~CCode()
{
    VM_UnitDestroyed(); // the machine drops what it remembers of units (script calls)
    if (!m_ownedByCaller && m_index >= 0) {
        for (CCode** p = &g_listHead; *p; p = &(*p)->m_pNext) {
            if (*p == this) {
                *p = m_pNext;
                --g_listCount;
                break;
            }
        }
    }
    if (m_compiled) Code_Tree_Free(&m_tree, false);
    Value_FreeString(&m_tree.value);
    Value_FreeString(&m_constant);
    if (m_ownsCode) {
        delete m_pCode;
        delete m_pDebugInfo;
    }
    MEM_FREE(m_pSourceCopy);
    if (m_ownedByCaller) MEM_FREE(m_pName);
}

bool CCode::Compile(const char* name)
{
    // 1. The name, white space turned into "_".
    const char* n = name ? name : "";
    size_t len = std::strlen(n);
    if (m_ownedByCaller) {
        if (!MemoryManager::Reuse(m_pName, uint32_t(len + 1))) {
            MEM_FREE(m_pName);
            m_pName = static_cast<char*>(MEM_ALLOC(len + 1));
        }
        for (size_t i = 0; i <= len; ++i) {
            char c = n[i];
            m_pName[i] = (c && std::isspace(static_cast<unsigned char>(c))) ? '_' : c;
        }
    }
    // 2. Compiling twice is an error, never a rebuild.
    if (m_compiled) {
        Code_Error_Set(this, 0, "Internal Error: Recompiling compiled code.");
        return false;
    }
    // 3. The compiler's phases.
    if (!g_hooks.buildTree) {
        Code_Error_Set(this, 0, "Internal Error: No compiler.");
        return false;
    }
    if (!g_hooks.buildTree(this)) return false;
    // 4. An expression that is one constant is a constant unit.
    if (m_kind == CODE_EXPRESSION && m_tree.kind == 5) {
        m_kind = CODE_CONSTANT;
        Value_Copy(&m_constant, &m_tree.value);
    }
    // 5.
    m_compiled = 1;
    // 6. Byte code, only for the machine.
    if (Code_UseVM() && m_kind != CODE_CONSTANT && g_hooks.generate) {
        MEM_FREE(m_pSourceCopy);
        m_pSourceCopy = MEM_STRDUP(m_pText);
        VMBuffer* code = nullptr;
        VMBuffer* debug = nullptr;
        bool ok = g_hooks.generate(this, &code, &debug);
        delete m_pCode;
        delete m_pDebugInfo;
        m_pCode = code;
        m_pDebugInfo = debug;
        if (m_pCode && m_pCode->m_size == 0) {
            delete m_pCode;
            m_pCode = nullptr;
        }
        if (!ok) return false;
        // The machine runs the byte code: the tree is no longer needed (it is several times
        // the size of the text). A root of kind 0 with byte code sends the tree interpreter
        // to the machine too, as for units of the game's code table.
        if (m_pCode) {
            Code_Tree_Free(&m_tree, false);
            Value_FreeString(&m_tree.value);
            m_tree.kind = 0;
            m_tree.value = Value_Real(0.0);
        }
    }
    return true;
}

CCode* Code_List_Head() { return g_listHead; }
int32_t Code_List_Count() { return g_listCount; }

// ---- Code table ----

void Code_Table_Init(int32_t count)
{
    Code_Table_Free();
    g_table.resize(size_t(count > 0 ? count : 0));
    g_tablePresent = true;
}

void Code_Table_SetEntry(int32_t index, const char* name, const uint8_t* code, int32_t length,
                         const uint8_t* debugPairs, int32_t debugCount, const char* source)
{
    if (index < 0 || size_t(index) >= g_table.size()) return;
    CodeTableEntry& e = g_table[size_t(index)];
    MEM_FREE(e.name);
    MEM_FREE(e.source);
    delete e.code;
    delete e.debug;
    e.name = name ? MEM_STRDUP(name) : nullptr;
    e.source = source ? MEM_STRDUP(source) : nullptr;
    e.code = new VMBuffer(code, length > 0 && code ? length : 0);
    e.debug = debugPairs && debugCount > 0 ? new VMBuffer(debugPairs, debugCount * 8) : nullptr;
    VM_RegisterUnit(e.code); // table units take their code addresses in table order
}

int32_t Code_Table_Count() { return int32_t(g_table.size()); }
bool Code_Table_Present() { return g_tablePresent; }

VMBuffer* Code_Table_Code(int32_t index)
{
    return index >= 0 && size_t(index) < g_table.size() ? g_table[size_t(index)].code : nullptr;
}

bool Code_Table_Verify(std::string* error)
{
    for (CodeTableEntry& e : g_table) {
        std::string why;
        if (e.code && e.code->m_size > 0 && !VM_Prepare(e.code, &why)) {
            if (e.code->m_prepareState == 0) return true; // a quit: the rest are verified when they run
            if (error) *error = std::string(e.name ? e.name : "") + ": " + why;
            return false;
        }
    }
    return true;
}

void Code_Table_Free()
{
    for (CodeTableEntry& e : g_table) {
        MEM_FREE(e.name);
        MEM_FREE(e.source);
        delete e.code;
        delete e.debug;
    }
    g_table.clear();
    g_tablePresent = false;
}

// ---- Arguments ----

ScriptValue* g_CodeArgs = nullptr;

ScriptValue* Code_Arguments()
{
    EnsureWindows(g_window + 1);
    g_used[g_window] = 16;
    return g_CodeArgs;
}

void Code_SetArgument(int32_t index, int32_t kind, double real, const char* text)
{
    ScriptValue* slot;
    if (index >= 0 && index < 16) {
        slot = &Code_Arguments()[index];
    } else if (index == 16) {
        slot = &g_slot16;
    } else {
        return;
    }
    char* old = slot->kind == VALUE_STRING ? slot->text : nullptr;
    char* copy = nullptr;
    if (text) {
        size_t n = std::strlen(text) + 1;
        if (MemoryManager::Reuse(old, uint32_t(n))) {
            std::memcpy(old, text, n);
            copy = old;
            old = nullptr;
        } else {
            copy = MEM_STRDUP(text);
        }
    }
    MEM_FREE(old);
    slot->kind = kind;
    slot->real = real;
    slot->text = copy;
}

void Code_GetArgument(int32_t index, int32_t* kind, double* real, char** text)
{
    const ScriptValue* slot;
    if (index >= 0 && index < 16) {
        slot = &Code_Arguments()[index];
    } else if (index == 16) {
        slot = &g_slot16;
    } else {
        return;
    }
    *kind = slot->kind;
    *real = slot->real;
    const char* src = slot->kind == VALUE_STRING ? slot->text : nullptr;
    if (!src) {
        MEM_FREE(*text);
        *text = nullptr;
        return;
    }
    size_t n = std::strlen(src) + 1;
    if (!MemoryManager::Reuse(*text, uint32_t(n))) {
        MEM_FREE(*text);
        *text = static_cast<char*>(MEM_ALLOC(n));
    }
    std::memcpy(*text, src, n);
}

int32_t Code_GetArgumentCount() { return g_argCount; }
void Code_SetArgumentCount(int32_t count) { g_argCount = count; }

void Code_SaveArguments(ScriptValue save[16])
{
    ScriptValue* a = Code_Arguments();
    for (int32_t i = 0; i < 16; ++i) {
        save[i] = Value_Real(0.0);
        Value_Copy(&save[i], &a[i]);
    }
}

void Code_RestoreArguments(ScriptValue save[16])
{
    ScriptValue* a = Code_Arguments();
    for (int32_t i = 0; i < 16; ++i) Value_Move(&a[i], &save[i]);
}

void Code_FillArguments(int32_t n, const ScriptValue* args)
{
    ScriptValue* a = Code_Arguments();
    for (int32_t i = 0; i < 16; ++i) {
        if (i < n) {
            Value_Copy(&a[i], &args[i]);
        } else {
            Value_SetReal(&a[i], 0.0);
        }
    }
}

// The machine's side of the slots: a script call gets a fresh window (all real 0); its
// return frees that window's texts and makes the caller's current again.
ScriptValue* Code_Arguments_PushWindow(int32_t used)
{
    EnsureWindows(g_window + 2);
    ++g_window;
    g_used[g_window] = uint8_t(used < 16 ? used : 16);
    g_CodeArgs = g_args + 16 * size_t(g_window);
    return g_CodeArgs;
}

void Code_Arguments_PopWindow()
{
    if (!g_args) return;
    ScriptValue* a = g_args + 16 * size_t(g_window);
    for (int32_t i = 0, n = g_used[g_window]; i < n; ++i) {
        if (a[i].kind == VALUE_STRING && a[i].text) MEM_FREE(a[i].text);
        a[i] = Value_Real(0.0);
    }
    g_used[g_window] = 0;
    if (g_window > 0) --g_window;
    g_CodeArgs = g_args + 16 * size_t(g_window);
}

int32_t Code_Arguments_Window() { return g_window; }

void Code_FreeArguments()
{
    for (int32_t i = 0; i < 16 * g_argWindows; ++i) Value_FreeString(&g_args[i]);
    MEM_FREE(g_args);
    MEM_FREE(g_used);
    g_args = nullptr;
    g_used = nullptr;
    g_CodeArgs = nullptr;
    g_argWindows = 0;
    g_window = 0;
    Value_FreeString(&g_slot16);
    g_slot16 = Value_Real(0.0);
}

// ---- Hooks ----

void Code_SetCompilerHooks(const CodeCompilerHooks* hooks)
{
    g_hooks = hooks ? *hooks : CodeCompilerHooks{nullptr, nullptr, nullptr};
}

const CodeCompilerHooks* Code_GetCompilerHooks() { return &g_hooks; }

bool Code_UseVM() { return g_StartupOptions.byteCodeInterpreter != 0; }
