#include "code/CompilerTestSupport.h"

#include <algorithm>
#include <cstdio>

#include "Files/Code/Code_Execute.h"

#include "Files/Object/Instance_Pending.h"
#include "Files/Support/CommandLine.h"

namespace {

const char* OpName(int32_t op)
{
    switch (op) {
    case TOK_LAND: return "&&";
    case TOK_LOR: return "||";
    case TOK_LXOR: return "^^";
    case TOK_NOT: return "!";
    case TOK_LT: return "<";
    case TOK_LE: return "<=";
    case TOK_EQ: return "==";
    case TOK_ASSIGN: return "=";
    case TOK_NE: return "!=";
    case TOK_GE: return ">=";
    case TOK_GT: return ">";
    case TOK_PLUS: return "+";
    case TOK_MINUS: return "-";
    case TOK_STAR: return "*";
    case TOK_SLASH: return "/";
    case TOK_DIV: return "div";
    case TOK_MOD: return "mod";
    case TOK_BOR: return "|";
    case TOK_BAND: return "&";
    case TOK_BXOR: return "^";
    case TOK_BNOT: return "~";
    case TOK_SHL: return "<<";
    case TOK_SHR: return ">>";
    case TOK_ADD_ASSIGN: return "+=";
    case TOK_SUB_ASSIGN: return "-=";
    case TOK_MUL_ASSIGN: return "*=";
    case TOK_DIV_ASSIGN: return "/=";
    case TOK_OR_ASSIGN: return "|=";
    case TOK_AND_ASSIGN: return "&=";
    case TOK_XOR_ASSIGN: return "^=";
    default: return "?";
    }
}

std::string Num(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

void Sexp(const CodeNode* n, std::string& out)
{
    auto kids = [&](int32_t from) {
        for (int32_t i = from; i < n->childCount; ++i) {
            out += ' ';
            Sexp(&n->children[i], out);
        }
        out += ')';
    };
    switch (n->kind) {
    case NODE_EMPTY_PROGRAM: out += "(program)"; return;
    case NODE_EMPTY: out += "(empty)"; return;
    case NODE_CONSTANT:
        if (n->value.kind == VALUE_STRING) {
            out += '"';
            out += n->value.text ? n->value.text : "";
            out += '"';
        } else {
            out += Num(n->value.real);
        }
        return;
    case NODE_CALL: out += "(call "; out += Function_GetName(n->id); kids(0); return;
    case NODE_VARIABLE: out += "(var "; out += Code_Variable_GetName(n->id); kids(0); return;
    case NODE_SIMPLE_VAR:
        out += "(var ";
        out += Code_Variable_GetName(n->id);
        out += " @" + std::to_string(n->scope) + ")";
        return;
    case NODE_UNARY:
    case NODE_BINARY:
    case NODE_ASSIGN:
        out += '(';
        out += (n->kind == NODE_ASSIGN && n->id == TOK_ASSIGN) ? ":=" : OpName(n->id);
        kids(0);
        return;
    case NODE_VAR:
    case NODE_GLOBALVAR:
        out += n->kind == NODE_VAR ? "(var-decl" : "(globalvar";
        for (int32_t i = 0; i < n->childCount; ++i) out += std::string(" ") + Code_Variable_GetName(n->children[i].id);
        out += ')';
        return;
    default: break;
    }
    const char* name = "?";
    switch (n->kind) {
    case NODE_IF: name = "if"; break;
    case NODE_WHILE: name = "while"; break;
    case NODE_DO: name = "do"; break;
    case NODE_FOR: name = "for"; break;
    case NODE_REPEAT: name = "repeat"; break;
    case NODE_EXIT: name = "exit"; break;
    case NODE_BREAK: name = "break"; break;
    case NODE_CONTINUE: name = "continue"; break;
    case NODE_WITH: name = "with"; break;
    case NODE_RETURN: name = "return"; break;
    case NODE_SWITCH: name = "switch"; break;
    case NODE_CASE: name = "case"; break;
    case NODE_CASE_CONSTANT: name = "case-const"; break;
    case NODE_DEFAULT: name = "default"; break;
    case NODE_BLOCK: name = "block"; break;
    default: break;
    }
    out += '(';
    out += name;
    kids(0);
}

bool GetX(CInstance* self, int32_t, ScriptValue* out)
{
    if (!self) return false;
    *out = Value_Real(self->i_x);
    return true;
}
bool SetX(CInstance* self, int32_t, ScriptValue* v)
{
    if (!self || v->kind != VALUE_REAL) return false;
    self->i_x = float(v->real);
    return true;
}
bool GetId(CInstance* self, int32_t, ScriptValue* out)
{
    if (!self) return false;
    *out = Value_Real(self->GetID());
    return true;
}

void Sum2(ScriptValue* r, CInstance*, CInstance*, int32_t, ScriptValue* a)
{
    *r = Value_Real(a[0].real + a[1].real);
}
void Count(ScriptValue* r, CInstance*, CInstance*, int32_t argc, ScriptValue*) { *r = Value_Real(argc); }
void Concat(ScriptValue* r, CInstance*, CInstance*, int32_t argc, ScriptValue* a)
{
    std::string s;
    for (int32_t i = 0; i < argc; ++i) s += ValueText(&a[i]) + (i + 1 < argc ? "," : "");
    Value_SetString(r, s.c_str());
}

} // namespace

std::string ValueText(const ScriptValue* v)
{
    if (v->kind == VALUE_STRING) return std::string("'") + (v->text ? v->text : "") + "'";
    return Num(v->real);
}

std::string TokensOf(const char* text)
{
    CCode code(text, false);
    CodeTokenList list;
    bool ok = Code_Tokenize(&code, &list);
    std::string out;
    for (int32_t i = 0; i < list.count; ++i) {
        const CodeToken& t = list.tokens[i];
        if (!out.empty()) out += ' ';
        if (t.kind == TOK_END) {
            out += "END";
        } else {
            out += std::to_string(t.kind);
            if (t.length >= 0) out += ":" + std::string(list.source + t.position, size_t(t.length));
        }
    }
    Code_TokenList_Free(&list);
    if (!ok) out += std::string(" ERROR: ") + Code_Error_GetText();
    return out;
}

std::string TreeText(const CodeNode* node)
{
    std::string out;
    Sexp(node, out);
    return out;
}

std::string TreeOf(const char* text, bool expression)
{
    CCode code(text, expression);
    if (!Code_BuildTree(&code)) return std::string("ERROR: ") + Code_Error_GetText();
    std::string s = TreeText(&code.m_tree);
    Code_Tree_Free(&code.m_tree, false);
    return s;
}

std::string DisasmText(const VMBuffer* code)
{
    CaptureConsole c;
    if (code) VM_DisassembleAll(&c, code);
    // Drop the offset and byte columns: keep from column 36.
    std::string out, line;
    for (char ch : c.text) {
        if (ch == '\n') {
            std::string body = line.size() > 36 ? line.substr(36) : line;
            while (!body.empty() && body.back() == ' ') body.pop_back();
            // Collapse the padding between the name and the operand.
            size_t sp = body.find(' ');
            if (sp != std::string::npos) {
                size_t e = body.find_first_not_of(' ', sp);
                body = body.substr(0, sp) + " " + body.substr(e);
            }
            out += body + "\n";
            line.clear();
        } else {
            line += ch;
        }
    }
    return out;
}

std::string DisasmOf(const char* text, bool expression)
{
    CCode code(text, expression);
    if (!code.Compile("test")) return std::string("ERROR: ") + Code_Error_GetText() + "\n";
    return DisasmText(code.m_pCode);
}

std::string CompileError(const char* text, bool expression)
{
    CCode code(text, expression);
    if (code.Compile("test")) return "";
    return Code_Error_GetText() ? Code_Error_GetText() : "";
}

void CompilerTest::SetUp()
{
    ScriptTest::SetUp();
    g_StartupOptions.byteCodeInterpreter = 1;
    Code_Compiler_Init();
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    RegisterBuiltinVariable("x", GetX, SetX, true);
    RegisterBuiltinVariable("id", GetId, nullptr, false);
    Variable_BuiltIn_RegisterArguments();
    Function_Add("sum2", Sum2, 2);
    Function_Add("count", Count, -1);
    Function_Add("concat", Concat, -1);
    m_active = InstanceList{};
    Run_SetActiveList(&m_active);
    m_self = NewInstance(0);
    m_other = NewInstance(0);
}

void CompilerTest::TearDown()
{
    Run_SetActiveList(nullptr);
    Code_Constant_Free();
    g_StartupOptions.byteCodeInterpreter = 1;
    ScriptTest::TearDown();
}

CInstance* CompilerTest::NewInstance(int32_t objectIndex)
{
    while (!Object_Lookup(objectIndex)) Object_Add();
    auto* i = new CInstance(0, 0, ++m_nextId, objectIndex, true);
    InstanceHash_Add(i);
    InstanceList_Append(&m_active, i);
    return i;
}

int32_t CompilerTest::RunTree(const char* text, ScriptValue* result)
{
    g_StartupOptions.byteCodeInterpreter = 0;
    CCode code(text, false);
    ScriptValue r = Value_Real(0.0);
    int32_t status = EXEC_ERROR;
    if (code.Compile("test")) status = Code_TreeExecute(&code, m_self, m_other, &r);
    if (result) {
        Value_Copy(result, &r);
    }
    Value_FreeString(&r);
    g_StartupOptions.byteCodeInterpreter = 1;
    return status;
}

std::string CompilerTest::EvalTree(const char* text)
{
    g_StartupOptions.byteCodeInterpreter = 0;
    CCode code(text, true);
    std::string out;
    if (!code.Compile("test")) {
        out = std::string("ERROR: ") + Code_Error_GetText();
    } else if (code.m_kind == CODE_CONSTANT) {
        out = ValueText(&code.m_constant);
    } else {
        ScriptValue r = Value_Real(0.0);
        if (Code_TreeExecute(&code, m_self, m_other, &r) == EXEC_ERROR) {
            out = std::string("ERROR: ") + Code_Error_GetText();
        } else {
            out = ValueText(&r);
        }
        Value_FreeString(&r);
    }
    g_StartupOptions.byteCodeInterpreter = 1;
    return out;
}

std::string CompilerTest::SelfVar(const char* name)
{
    int32_t id = Code_Variable_FindUser(name);
    ScriptValue v = Value_Real(0.0);
    if (id < 0 || !m_self->GetVariables()->Find(id)) return "<unset>";
    m_self->GetVariables()->Get(id, 0, &v);
    std::string s = ValueText(&v);
    Value_FreeString(&v);
    return s;
}

std::string CompilerTest::GlobalVar(const char* name)
{
    int32_t id = Code_Variable_FindUser(name);
    ScriptValue v = Value_Real(0.0);
    if (id < 0 || !Variable_Global_List()->Find(id)) return "<unset>";
    Variable_Global_Get(id, 0, &v);
    std::string s = ValueText(&v);
    Value_FreeString(&v);
    return s;
}

std::string DumpList(CVariableList* list)
{
    std::vector<std::string> items;
    for (int32_t i = 0; i < Code_Variable_Count(); ++i) {
        int32_t id = VARIABLE_USER_BASE + i;
        CVariable* v = list->Find(id);
        if (!v) continue;
        std::string s = std::string(Code_Variable_GetUserName(id)) + "=" + ValueText(&v->value);
        for (int32_t r = 0; r < v->rowCount; ++r) {
            for (int32_t c = 0; c < v->rows[r].length; ++c) {
                if (r == 0 && c == 0) continue;
                s += "," + ValueText(&v->rows[r].elements[c]);
            }
        }
        items.push_back(s);
    }
    std::sort(items.begin(), items.end());
    std::string out;
    for (auto& s : items) out += s + " ";
    return out;
}

std::string DifferentialFixture::Run(Executor e, const char* text, const char* scripts, std::string* error)
{
    if (error) error->clear();
    g_StartupOptions.byteCodeInterpreter = e == Executor::VM ? 1 : 0;
    m_self->GetVariables()->Clear();
    m_other->GetVariables()->Clear();
    m_self->i_x = 0;
    Variable_Global_Init();
    Script_Free();
    std::string out;
    // scripts: "name:body|name:body"
    if (scripts) {
        std::string all = scripts;
        size_t start = 0;
        while (start < all.size()) {
            size_t bar = all.find('|', start);
            std::string one = all.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            size_t colon = one.find(':');
            Script_Add(one.substr(0, colon).c_str(), one.substr(colon + 1).c_str(), -1);
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        if (!Script_Prepare()) out = "SCRIPTS FAILED ";
    }
    CCode code(text, false);
    bool failed = false;
    if (!code.Compile("test")) {
        out += std::string("COMPILE: ") + Code_Error_GetText();
    } else {
        ScriptValue r = Value_Real(0.0);
        if (e == Executor::VM) {
            VM_SetQuiet(true);
            VM_ClearExecutionFailed();
            Code_ExecuteInternal(m_self, m_other, &code, &r);
            failed = VM_ExecutionFailed();
            if (error && failed) *error = VM_LastQuietError();
            VM_ClearExecutionFailed();
            VM_SetQuiet(false);
        } else {
            failed = !Code_ExecuteInternal(m_self, m_other, &code, &r);
            if (error && failed) *error = Code_Error_GetText();
            Code_Error_ClearRecorded();
        }
        Value_FreeString(&r);
    }
    if (failed) out += "ERR ";
    out += "self: " + DumpList(m_self->GetVariables()) + "other: " + DumpList(m_other->GetVariables()) +
           "global: " + DumpList(Variable_Global_List()) + "x=" + std::to_string(m_self->i_x);
    g_StartupOptions.byteCodeInterpreter = 1;
    return out;
}
