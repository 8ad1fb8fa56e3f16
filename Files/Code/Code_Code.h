// CCode: one compiled piece of ZBL (a program, an expression, or an expression that turned
// out to be a constant) with its byte code. Every script, event action, creation code, time
// line moment, trigger condition, executed string and debugger watch is one CCode. A unit is
// made from source text (compiled here through the compiler's phases) or from an entry of
// the game's code table (byte code that arrives ready).
//
// Also here: the syntax-tree node the compiler phases pass on and its release, the code
// table filled by the game-file loader, the program-wide argument slots behind argument0 to
// argument15, and the hooks through which the compiler and the tree interpreter plug in.
//
// Needs: the byte-code format (VMBuffer), values, the error reporter.
#pragma once

#include <cstdint>
#include <string>

#include "Files/Base/Value.h"

class CInstance;
class VMBuffer;

// Kinds of a unit. ORDER: callers test these numbers.
enum : int32_t { CODE_PROGRAM = 1, CODE_EXPRESSION = 2, CODE_CONSTANT = 3 };

// A node of the syntax tree. Children are one array of whole nodes, owned.
// ORDER: the four numbers first keep the node at 56 bytes.
struct CodeNode {
    int32_t kind;        // node kind (the compiler's table; 5 constant, 6 call, 7/8 variable, ...)
    int32_t id;          // operator token, function id or variable id, by kind
    int32_t scope;       // kind 8: the constant scope of the variable
    int32_t childCount;
    ScriptValue value;   // kind 5: the constant (its text owned)
    CodeNode* children;  // owned array of childCount nodes
    int32_t position;    // byte offset in the source text, for messages
};

// Releases every text and every children array of the tree exactly once (a shared array
// once), then the node itself when freeNode is set (a node from the memory manager).
void Code_Tree_Free(CodeNode* node, bool freeNode);
// Releases the node's children; kind -1, no children, the given position.
void Code_Tree_Reset(CodeNode* node, int32_t position);

class CCode {
public:
    // A unit over source text (not copied: the text must outlive the unit).
    CCode(const char* text, bool expression);
    // The unit of entry index of the game's code table (compiled from the start); an index
    // outside the table gives no code, no name and the empty text.
    CCode(int32_t index, bool expression);
    virtual ~CCode();
    CCode(const CCode&) = delete;
    CCode& operator=(const CCode&) = delete;

    // Runs the compiler's phases and, with the byte-code machine as executor, the generator.
    // The name is copied with white space turned into "_". False after a compile error
    // (reported through Code_Error_Set).
    bool Compile(const char* name);
    const char* GetText() const { return m_pText; }
    const char* GetName() const { return m_pName ? m_pName : ""; }

    CCode* m_pNext;          // the global list of table-built units
    int32_t m_kind;          // CODE_PROGRAM, CODE_EXPRESSION, CODE_CONSTANT
    uint8_t m_compiled;
    const char* m_pText;     // source text, not owned ("" when none)
    CodeNode m_tree;         // the root, by value
    ScriptValue m_constant;  // the value of a constant unit
    VMBuffer* m_pCode;       // byte code or null
    VMBuffer* m_pDebugInfo;  // (offset, source position) pairs or null
    char* m_pSourceCopy;     // private copy of the text for the debugger (owned)
    char* m_pName;           // owned for text-built units; the table's for table-built ones
    int32_t m_index;         // code-table index, -1 for text-built units
    uint8_t m_ownedByCaller; // 1 for text-built units
    uint8_t m_ownsCode;      // 1 when m_pCode and m_pDebugInfo belong to this unit
};

// The global list of table-built units (head, count).
CCode* Code_List_Head();
int32_t Code_List_Count();

// ---- The code table --------------------------------------------------------------------
// Filled by the loader of the game file once the byte code is bound: one entry per code
// body, each with its own copy of the bytes. Units built from an entry share its buffers.
void Code_Table_Init(int32_t count);
// Entry index: name, byte code, debug pairs (count pairs of two int32, may be null) and the
// source text from the debug companion (null: the empty text). All copied.
void Code_Table_SetEntry(int32_t index, const char* name, const uint8_t* code, int32_t length,
                         const uint8_t* debugPairs, int32_t debugCount, const char* source);
int32_t Code_Table_Count();
// True when the game carries byte code (a code table was set).
bool Code_Table_Present();
VMBuffer* Code_Table_Code(int32_t index);
// Verifies every entry's byte code (the loader, once names and strings are bound); false with
// "<name>: <reason>" for the first entry the machine refuses. A quit request stops it (true:
// the entries left are verified when they first run).
bool Code_Table_Verify(std::string* error);
void Code_Table_Free();

// ---- Argument slots --------------------------------------------------------------------
// The running script's arguments, argument0 to argument15, plus a 17th slot that no call
// fills. A script call made by the byte-code machine gives the callee slots of its own and
// brings the caller's back on return; every other caller saves and restores the 16 values.
ScriptValue* Code_Arguments(); // 16 slots
// The current window for reading only (the machine's fast path); null before first use.
extern ScriptValue* g_CodeArgs;
void Code_SetArgument(int32_t index, int32_t kind, double real, const char* text);
// Copies slot index out; text is a block of the caller's (reused when large enough, freed
// when the slot holds no text). Index 17 or more does nothing.
void Code_GetArgument(int32_t index, int32_t* kind, double* real, char** text);
// The number of arguments of the running script call (argument_count).
int32_t Code_GetArgumentCount();
void Code_SetArgumentCount(int32_t count);
// Saves the 16 slots into save (copies) / restores them from save (the copies move back).
void Code_SaveArguments(ScriptValue save[16]);
void Code_RestoreArguments(ScriptValue save[16]);
// Sets slots 0..n-1 to copies of args and n..15 to real 0 (n at most 16).
void Code_FillArguments(int32_t n, const ScriptValue* args);
void Code_FreeArguments();
// The machine's side: a script call gets a window of 16 slots of its own (all real 0), made
// current; its return frees that window's texts and makes the caller's current again.
// used: how many of the new window's slots the machine fills.
ScriptValue* Code_Arguments_PushWindow(int32_t used);
void Code_Arguments_PopWindow();
int32_t Code_Arguments_Window();

// ---- Compiler hooks ----------------------------------------------------------------------
// The compiler and the tree interpreter install these. Without them, compiling reports an
// internal error and the tree interpreter runs nothing.
struct CodeCompilerHooks {
    // Phases 1 to 4 (tokens, names, tree, checks and folding) over code->m_pText into
    // code->m_tree, as a program or one expression by code->m_kind; false after an error
    // reported through Code_Error_Set.
    bool (*buildTree)(CCode* code);
    // The byte-code generator over the checked tree: hands over the code and debug buffers
    // (either may be null); false after an error.
    bool (*generate)(CCode* code, VMBuffer** outCode, VMBuffer** outDebug);
    // The tree interpreter: runs the unit's tree for self and other; the status is -1 on
    // failure (recorded through Code_Error_Set).
    int32_t (*execute)(CCode* code, CInstance* self, CInstance* other, ScriptValue* result);
};
void Code_SetCompilerHooks(const CodeCompilerHooks* hooks);
const CodeCompilerHooks* Code_GetCompilerHooks();

// The chosen executor: the byte-code machine unless "-oldexec" was given.
bool Code_UseVM();
