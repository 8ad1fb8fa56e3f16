// The byte-code generator's statements and jumps (Files/Code/Code_Generate.h).
//
// Loop values that live on the operand stack while a body runs (the repeat counter, the
// with record, the switch value) must be gone when a jump leaves them: break jumps to the
// construct's own end, which drops them; continue drops the values of every switch between
// it and its loop before it jumps.
#include <memory>
#include <vector>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Generate.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/VM_WriteBuffer.h"
#include "Files/Code/Variable_BuiltIn.h"

namespace {
constexpr int32_t kMaxBranchWords = (1 << 23) - 1;
}

void CodeGenerator::Branch(uint32_t opcode, Label* label)
{
    int32_t at = m_code->GetOffset();
    if (label->placed) {
        int32_t distance = (label->offset - at) / 4;
        if (distance < -kMaxBranchWords || distance > kMaxBranchWords) {
            Code_Error_Set(m_unit, 0, "Code too large.");
        }
        Word((opcode << 24) | (uint32_t(distance) & 0xFFFFFF));
        return;
    }
    Word(opcode << 24);
    label->fixups.push_back(at);
}

void CodeGenerator::Place(Label* label)
{
    label->offset = m_code->GetOffset();
    label->placed = true;
    for (int32_t at : label->fixups) {
        int32_t distance = (label->offset - at) / 4;
        if (distance > kMaxBranchWords) Code_Error_Set(m_unit, 0, "Code too large.");
        uint32_t word = m_code->WordAt(at);
        m_code->PatchWord(at, (word & 0xFF000000u) | (uint32_t(distance) & 0xFFFFFF));
    }
    label->fixups.clear();
}

CodeGenerator::LoopScope CodeGenerator::EnterLoop(Label* continueLabel, Label* breakLabel)
{
    LoopScope saved{m_continue, m_break, m_loopSwitchBase};
    continueLabel->next = m_continue;
    breakLabel->next = m_break;
    m_continue = continueLabel;
    m_break = breakLabel;
    m_loopSwitchBase = m_switchTypes.size();
    return saved;
}

void CodeGenerator::LeaveLoop(const LoopScope& scope)
{
    m_continue = scope.oldContinue;
    m_break = scope.oldBreak;
    m_loopSwitchBase = scope.oldSwitchBase;
}

bool CodeGenerator::CompileProgram(CCode* unit, CodeNode* root)
{
    m_unit = unit;
    if (root->kind != NODE_BLOCK) return true;
    for (int32_t i = 0; i < root->childCount; ++i) {
        if (!Statement(&root->children[i])) return false;
    }
    return !Failed();
}

bool CodeGenerator::Condition(const CodeNode* node)
{
    if (!Expression(node)) return false;
    int32_t t = PopType();
    if (t != VMT_BOOL) Convert(t, VMT_BOOL);
    return true;
}

bool CodeGenerator::Continue()
{
    if (!m_continue) return true;
    for (size_t j = m_switchTypes.size(); j > m_loopSwitchBase; --j) Op(VMOP_POPZ, m_switchTypes[j - 1]);
    Branch(VMOP_B, m_continue);
    return true;
}

bool CodeGenerator::Statement(const CodeNode* node)
{
    if (Failed()) return false;
    if (m_poll.Stop()) {
        Fail(node, kCompileStopped);
        return false;
    }
    if (m_writeDebug) m_debug->Emit(2, uint32_t(m_code->GetOffset()), uint32_t(node->position));
    switch (node->kind) {
    case NODE_BLOCK:
        for (int32_t i = 0; i < node->childCount; ++i) {
            if (!Statement(&node->children[i])) return false;
        }
        return true;
    case NODE_CALL:
        if (!Call(node)) return false;
        Op(VMOP_POPZ, VMT_VAR);
        PopType();
        return true;
    case NODE_ASSIGN: return Assignment(node);
    case NODE_EXIT: Op(VMOP_EXIT, VMT_INT); return true;
    case NODE_RETURN:
        if (node->childCount < 1 || !Expression(&node->children[0])) return false;
        ToVariable();
        PopType();
        Op(VMOP_RET, VMT_VAR);
        return true;
    case NODE_BREAK:
        if (m_break) {
            ++m_break->breakCount;
            Branch(VMOP_B, m_break);
        }
        return true;
    case NODE_CONTINUE: return Continue();
    case NODE_GLOBALVAR:
        // Takes effect when the code is compiled.
        for (int32_t i = 0; i < node->childCount; ++i) Variable_Global_Declare(node->children[i].id);
        return true;
    case NODE_VAR:
    case NODE_EMPTY:
    case NODE_EMPTY_PROGRAM:
    case NODE_CASE:
    case NODE_CASE_CONSTANT:
    case NODE_DEFAULT: return true;
    case NODE_IF: return If(node);
    case NODE_WHILE: return While(node);
    case NODE_DO: return Do(node);
    case NODE_FOR: return For(node);
    case NODE_REPEAT: return Repeat(node);
    case NODE_WITH: return With(node);
    case NODE_SWITCH: return Switch(node);
    default: Fail(node, "Statement expected."); return false;
    }
}

bool CodeGenerator::If(const CodeNode* node)
{
    if (node->childCount < 2) return true;
    Label end("End"), otherwise("Else");
    if (!Condition(&node->children[0])) return false;
    Branch(VMOP_BF, &otherwise);
    if (!Statement(&node->children[1])) return false;
    if (node->childCount > 2) {
        Branch(VMOP_B, &end);
        Place(&otherwise);
        if (!Statement(&node->children[2])) return false;
    } else {
        Place(&otherwise);
    }
    Place(&end);
    return true;
}

bool CodeGenerator::While(const CodeNode* node)
{
    if (node->childCount < 2) return true;
    Label end("End"), repeat("Repeat");
    Place(&repeat);
    if (!Condition(&node->children[0])) return false;
    Branch(VMOP_BF, &end);
    LoopScope scope = EnterLoop(&repeat, &end);
    bool ok = Statement(&node->children[1]);
    LeaveLoop(scope);
    if (!ok) return false;
    Branch(VMOP_B, &repeat);
    Place(&end);
    return true;
}

bool CodeGenerator::Do(const CodeNode* node)
{
    if (node->childCount < 2) return true;
    // A continue goes to the test, as in the tree interpreter.
    Label end("End"), repeat("Repeat"), test("Continue");
    Place(&repeat);
    LoopScope scope = EnterLoop(&test, &end);
    bool ok = Statement(&node->children[0]);
    LeaveLoop(scope);
    if (!ok) return false;
    Place(&test);
    if (!Condition(&node->children[1])) return false;
    Branch(VMOP_BF, &repeat);
    Place(&end);
    return true;
}

bool CodeGenerator::For(const CodeNode* node)
{
    if (node->childCount < 4) return true;
    if (!Statement(&node->children[0])) return false;
    Label end("End"), repeat("Repeat"), start("Start");
    Place(&start);
    if (!Condition(&node->children[1])) return false;
    Branch(VMOP_BF, &end);
    LoopScope scope = EnterLoop(&repeat, &end);
    bool ok = Statement(&node->children[3]);
    LeaveLoop(scope);
    if (!ok) return false;
    Place(&repeat);
    if (!Statement(&node->children[2])) return false;
    Branch(VMOP_B, &start);
    Place(&end);
    return true;
}

bool CodeGenerator::Repeat(const CodeNode* node)
{
    if (node->childCount < 2) return true;
    if (!Expression(&node->children[0])) return false;
    int32_t t = PopType();
    if (t != VMT_INT) Convert(t, VMT_INT);
    Op(VMOP_DUP, VMT_INT);
    PushInt(0);
    Op(VMOP_SLE, VMT_INT, VMT_INT);
    // The counter stays on the stack for the whole loop; a continue counts down.
    Label end("End"), repeat("Repeat"), countDown("Continue");
    Branch(VMOP_BT, &end);
    Place(&repeat);
    LoopScope scope = EnterLoop(&countDown, &end);
    bool ok = Statement(&node->children[1]);
    LeaveLoop(scope);
    if (!ok) return false;
    Place(&countDown);
    PushInt(1);
    Op(VMOP_SUB, VMT_INT, VMT_INT);
    Op(VMOP_DUP, VMT_INT);
    Convert(VMT_INT, VMT_BOOL);
    Branch(VMOP_BT, &repeat);
    Place(&end);
    Op(VMOP_POPZ, VMT_INT);
    return true;
}

bool CodeGenerator::With(const CodeNode* node)
{
    if (node->childCount < 2) return true;
    if (!Expression(&node->children[0])) return false;
    int32_t t = PopType();
    if (t != VMT_INT) Convert(t, VMT_INT);
    Label end("End"), popEnv("PopEnv"), start("Start");
    Branch(VMOP_PUSHENV, &popEnv);
    Place(&start);
    LoopScope scope = EnterLoop(&popEnv, &end);
    bool ok = Statement(&node->children[1]);
    LeaveLoop(scope);
    if (!ok) return false;
    Place(&popEnv);
    Branch(VMOP_POPENV, &start);
    if (end.breakCount == 0) {
        Place(&end);
        return true;
    }
    Label cleanUp("CleanUpEnd");
    Branch(VMOP_B, &cleanUp);
    Place(&end);
    Word(VM_Word(VMOP_POPENV, 0, 15, 0)); // leave the with at once
    Place(&cleanUp);
    return true;
}

bool CodeGenerator::Switch(const CodeNode* node)
{
    if (node->childCount < 1) return true;
    if (!Expression(&node->children[0])) return false;
    int32_t s = PopType();
    Label end("End");
    Label* oldBreak = m_break;
    end.next = oldBreak;
    m_break = &end;
    m_switchTypes.push_back(s);
    std::vector<std::unique_ptr<Label>> labels;
    bool ok = true;
    // First pass: the tests, in the order of the text.
    for (int32_t i = 1; i < node->childCount && ok; ++i) {
        const CodeNode* c = &node->children[i];
        if (c->kind == NODE_CASE || c->kind == NODE_CASE_CONSTANT) {
            Op(VMOP_DUP, s);
            ok = c->childCount > 0 && Expression(&c->children[0]);
            if (!ok) break;
            int32_t t = PopType();
            Op(VMOP_SEQ, t, s);
            labels.push_back(std::make_unique<Label>("Switch Clause"));
            Branch(VMOP_BT, labels.back().get());
        } else if (c->kind == NODE_DEFAULT) {
            labels.push_back(std::make_unique<Label>("Switch Default"));
            Branch(VMOP_B, labels.back().get());
        }
    }
    if (ok) {
        Branch(VMOP_B, &end);
        // Second pass: the clauses.
        size_t counted = 0, placed = 0;
        for (int32_t i = 1; i < node->childCount && ok; ++i) {
            const CodeNode* c = &node->children[i];
            if (c->kind == NODE_CASE || c->kind == NODE_CASE_CONSTANT || c->kind == NODE_DEFAULT) {
                ++counted;
                continue;
            }
            for (; placed < counted; ++placed) Place(labels[placed].get());
            ok = Statement(c);
        }
        for (; placed < labels.size(); ++placed) Place(labels[placed].get());
        Place(&end);
        Op(VMOP_POPZ, s);
    }
    m_switchTypes.pop_back();
    m_break = oldBreak;
    return ok && !Failed();
}
