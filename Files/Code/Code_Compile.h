// The ZBL compiler's phases over one CCode: the lexer (text -> CodeTokens), name resolution
// (CodeTokens -> ResolvedTokens: calls, constants, resources, variables, literals), the
// parser (ResolvedTokens -> a tree of CodeNodes), and the checks with constant folding
// (locals, compact variables, folded operators, constant case labels). The byte-code
// generator is Code_Generate.h; the tree interpreter Code_TreeExec.h.
//
// Every phase reports its first error through Code_Error_Set with a byte position in the
// unit's text and stops; nothing is thrown. A quit request (Files/Base/QuitRequest.h) stops
// every phase and the generator on a long text with the error kCompileStopped (the callers
// report nothing while the request stands: the code that compiled stops).
//
// Start-up calls Code_Compiler_Init once: it installs the compiler, the generator and the
// tree interpreter into the code units' hooks (Code_SetCompilerHooks).
//
// Files: Code_Lex.cpp, Code_Resolve.cpp, Code_Parse.cpp, Code_Check.cpp (with the folding
// rules shared by the tree interpreter), Code_Compiler.cpp (the hooks and the driver).
#pragma once

#include <cstdint>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Code.h"

constexpr const char* kCompileStopped = "Compilation stopped by a quit request.";

// ---- Token kinds. ORDER: tree nodes carry these numbers as operators. ----
enum : int32_t {
    TOK_END = -2,     // end of text
    TOK_INVALID = -1, // no symbol of the language
    TOK_NAME = 0,     // identifier
    TOK_NUMBER = 1,
    TOK_STRING = 2,
    // Kinds given by name resolution.
    TOK_CONSTANT = 5,
    TOK_FUNCTION = 6,
    TOK_VARIABLE = 7,
    // Keywords.
    TOK_BEGIN = 11, // "{" and begin
    TOK_CLOSE = 12, // "}" and end
    TOK_IF = 13,
    TOK_THEN = 14,
    TOK_ELSE = 15,
    TOK_WHILE = 16,
    TOK_DO = 17,
    TOK_FOR = 18,
    TOK_UNTIL = 19,
    TOK_REPEAT = 20,
    TOK_EXIT = 21,
    TOK_BREAK = 22,
    TOK_CONTINUE = 23,
    TOK_WITH = 24,
    TOK_RETURN = 25,
    TOK_SWITCH = 26,
    TOK_CASE = 27,
    TOK_DEFAULT = 28,
    TOK_VAR = 29,
    TOK_GLOBALVAR = 30,
    // Assignments and punctuation.
    TOK_ASSIGN = 101, // "=" and ":=" (equality inside expressions)
    TOK_ADD_ASSIGN = 102,
    TOK_SUB_ASSIGN = 103,
    TOK_MUL_ASSIGN = 104,
    TOK_DIV_ASSIGN = 105,
    TOK_LPAREN = 106,
    TOK_RPAREN = 107,
    TOK_SEMICOLON = 108,
    TOK_COMMA = 109,
    TOK_LBRACKET = 110,
    TOK_RBRACKET = 111,
    TOK_DOT = 112,
    TOK_COLON = 113,
    TOK_OR_ASSIGN = 114,
    TOK_AND_ASSIGN = 115,
    TOK_XOR_ASSIGN = 116,
    // Operators.
    TOK_LAND = 201, // && and
    TOK_LOR = 202,  // || or
    TOK_NOT = 203,  // ! not
    TOK_LT = 204,
    TOK_LE = 205,
    TOK_EQ = 206,
    TOK_NE = 207, // != <>
    TOK_GE = 208,
    TOK_GT = 209,
    TOK_PLUS = 210,
    TOK_MINUS = 211,
    TOK_STAR = 212,
    TOK_SLASH = 213,
    TOK_DIV = 214,
    TOK_MOD = 215,  // mod %
    TOK_LXOR = 216, // ^^ xor
    TOK_BOR = 217,
    TOK_BAND = 218,
    TOK_BXOR = 219,
    TOK_BNOT = 220,
    TOK_SHL = 221,
    TOK_SHR = 222,
};

// ---- Node kinds of the syntax tree (CodeNode::kind). ORDER: the tree interpreter and the
// generator switch on these numbers. ----
enum : int32_t {
    NODE_EMPTY_PROGRAM = -2,
    NODE_EMPTY = -1, // a lone ";"
    NODE_CONSTANT = 5,
    NODE_CALL = 6,       // id = function id; children = arguments
    NODE_VARIABLE = 7,   // id = variable id; scope expression [, index [, index]]
    NODE_SIMPLE_VAR = 8, // constant scope in the scope field, no index
    NODE_IF = 13,
    NODE_WHILE = 16,
    NODE_DO = 17,
    NODE_FOR = 18,
    NODE_REPEAT = 20,
    NODE_EXIT = 21,
    NODE_BREAK = 22,
    NODE_CONTINUE = 23,
    NODE_WITH = 24,
    NODE_RETURN = 25,
    NODE_SWITCH = 26,
    NODE_CASE = 27,
    NODE_DEFAULT = 28,
    NODE_VAR = 29,
    NODE_GLOBALVAR = 30,
    NODE_CASE_CONSTANT = 31,
    NODE_ASSIGN = 101, // id = assignment token
    NODE_BLOCK = 1000,
    NODE_UNARY = 1010,  // id = operator token
    NODE_BINARY = 1011, // id = operator token
};

// Limits that keep hostile text from exhausting the native stack or fixed tables.
constexpr int32_t CODE_MAX_NESTING = 256;     // parser recursion (statements, brackets, unary)
constexpr int32_t CODE_MAX_TREE_DEPTH = 2000; // depth of the finished tree
constexpr int32_t CODE_MAX_LOCALS = 10001;    // var declarations of one compile
constexpr int32_t CODE_MAX_ARGUMENTS = 16;

// ---- Phase 1: lexer ----
// Tokens carry no copies: a token's text (names, keywords, numbers, string bodies) is length
// bytes at position in the list's scanned copy of the text.
struct CodeToken {
    int32_t kind;     // TOK_*
    int32_t position; // byte offset (strings: just behind the opening quote)
    int32_t length;   // bytes of text at position; -1 for tokens without text
};

struct CodeTokenList {
    int32_t count = 0;
    int32_t capacity = 0;
    CodeToken* tokens = nullptr;
    char* source = nullptr; // the scanned copy: the text plus three blanks (owned)
};

// Scans code's text into tokens ending with one TOK_END; false after "Unexpected symbol.".
// A unit without text gives an empty list and true.
bool Code_Tokenize(CCode* code, CodeTokenList* list);
void Code_TokenList_Free(CodeTokenList* list);

// ---- Phase 2: name resolution ----
// Constant tokens carry the index of their value in the list's constants.
struct ResolvedToken {
    int32_t kind; // TOK_CONSTANT, TOK_FUNCTION, TOK_VARIABLE, -1 unknown function, or the
                  // token's own kind
    int32_t id;   // function or variable id; for TOK_CONSTANT the index in constants
    int32_t position;
};

struct ResolvedTokenList {
    int32_t count = 0;
    ResolvedToken* tokens = nullptr;
    int32_t constantCount = 0;
    int32_t constantCapacity = 0;
    ScriptValue* constants = nullptr; // texts owned
};

bool Code_Resolve(CCode* code, const CodeTokenList* tokens, ResolvedTokenList* out);
void Code_ResolvedList_Free(ResolvedTokenList* list);
// The value of a number token's text ("12", "1.25", "$1F"): length bytes at text (-1: up to
// the terminating zero).
double Code_NumberValue(const char* text, int32_t length = -1);

// ---- Phase 3: parser ----
// The constants' values move from the list into the tree.
bool Code_ParseProgram(CCode* code, ResolvedTokenList* tokens, CodeNode* root);
// An expression ends where its grammar ends; the tokens after it are not read (end, when
// given, receives the index of the first of them: the end token when there are none).
bool Code_ParseExpression(CCode* code, ResolvedTokenList* tokens, CodeNode* root, int32_t* end = nullptr);
// A cleared node (kind -1, real 0, no children) at position.
void Code_Node_Init(CodeNode* node, int32_t position);

// ---- Phase 4: checks and folding ----
bool Code_Check(CCode* code, CodeNode* root);
// The language's operators on values (shared with the tree interpreter). The unary rule
// reports at position (its operand's); the binary one at position (its right operand's); the
// result replaces value / left. False after a recorded error.
bool Code_FoldUnary(CCode* code, int32_t position, int32_t op, ScriptValue* value);
bool Code_FoldBinary(CCode* code, int32_t position, int32_t op, ScriptValue* left, const ScriptValue* right);

// ---- Driver ----
// Installs the compiler's hooks into the code units. Called once at start-up.
void Code_Compiler_Init();
// While this is set, a name without scope that is declared globalvar when a unit is compiled
// is written with the global scope (CodeGenerator::SetGlobalsByDeclaration). For the game
// packer: the runner that plays packed byte code never compiles the declarations.
void Code_SetGlobalsByDeclaration(bool on);
// Frees what the compiler keeps between compilations: nothing, every compilation frees its own
// lists and tree. Kept for the shutdown order.
void Code_Free();
// Phases 1 to 4 over code (the buildTree hook); false after a recorded error, the tree then
// empty.
bool Code_BuildTree(CCode* code);

// ---- Real-to-integer conversions with the x86 results (out of range and NaN give
// INT32_MIN). ----
