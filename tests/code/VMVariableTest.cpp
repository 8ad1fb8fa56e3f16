// Variable access in every scope, arrays and their messages, built-in rows, and with-loops.
#include "Files/Object/Instance_Pending.h"
#include "code/CodeTestSupport.h"

#include <vector>

namespace {

std::vector<int32_t> g_visits;
std::vector<int32_t> g_others;

void Record(ScriptValue*, CInstance* self, CInstance* other, int32_t, ScriptValue*)
{
    g_visits.push_back(self ? self->i_id : -1);
    g_others.push_back(other ? other->i_id : -1);
}

void WithDepth(ScriptValue* r, CInstance*, CInstance*, int32_t, ScriptValue*)
{
    r->real = VM_WithDepth();
}

bool GetX(CInstance* self, int32_t, ScriptValue* out)
{
    out->real = self->i_x;
    return true;
}
bool SetX(CInstance* self, int32_t, ScriptValue* v)
{
    self->i_x = float(v->real);
    return true;
}
bool GetId(CInstance* self, int32_t, ScriptValue* out)
{
    out->real = self->i_id;
    return true;
}

class VMVariableTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        g_visits.clear();
        g_others.clear();
        Function_Add("record", Record, 0);
        Function_Add("with_depth", WithDepth, 0);
        RegisterBuiltinVariable("x", GetX, SetX, true);
        RegisterBuiltinVariable("id", GetId, nullptr, false);
        obj0 = Object_Add();
        obj1 = Object_Add();
        Run_SetActiveList(&room);
    }
    void TearDown() override
    {
        Run_SetActiveList(nullptr);
        while (room.head) {
            CInstance* i = room.head;
            InstanceList_Unlink(&room, i);
            InstanceHash_Remove(i);
            delete i;
        }
        ScriptTest::TearDown();
    }

    double Real(const RunResult& r)
    {
        EXPECT_FALSE(r.failed) << r.error;
        return r.value.real;
    }

    InstanceList room;
    int32_t obj0 = 0, obj1 = 0;
};

} // namespace

TEST_F(VMVariableTest, SelfOtherGlobalLocalAndNoone)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    CInstance* b = MakeInstance(100002, obj1, &room);
    EXPECT_EQ(Real(RunAsm("push.e 5\npop.v.i self.hp\npush.v self.hp\n", a, b)), 5);
    EXPECT_EQ(Real(RunAsm("push.e 6\npop.v.i other.hp\npush.v other.hp\n", a, b)), 6);
    EXPECT_EQ(Real(RunAsm("push.v hp\n", a, b)), 5);
    EXPECT_EQ(Real(RunAsm("push.v hp\n", b, a)), 6);
    EXPECT_EQ(Real(RunAsm("push.e 7\npop.v.i global.g\npush.v global.g\n", a, b)), 7);
    EXPECT_EQ(Real(RunAsm("push.e 8\npop.v.i local.t\npush.v local.t\n", a, b)), 8);
    // Locals do not outlive the run.
    RunResult r = RunAsm("push.v local.t\n", a, b);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.error, "Push :: Execution Error - Variable Get -7.t(100002, 0)");
    // noone: reads 0 without an error, writes nothing.
    EXPECT_EQ(Real(RunAsm("push.v noone.whatever\n", a, b)), 0);
    EXPECT_EQ(Real(RunAsm("push.e 9\npop.v.i noone.hp\npush.v self.hp\n", a, b)), 5);
}

TEST_F(VMVariableTest, PlainNamesFollowGlobalvar)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    RunAsm("push.e 1\npop.v.i score\n", a);
    EXPECT_EQ(Real(RunAsm("push.v self.score\n", a)), 1);
    Variable_Global_Declare(Code_Variable_Find("score"));
    RunAsm("push.e 2\npop.v.i score\n", a);
    EXPECT_EQ(Real(RunAsm("push.v self.score\n", a)), 1);
    EXPECT_EQ(Real(RunAsm("push.v global.score\n", a)), 2);
    EXPECT_EQ(Real(RunAsm("push.v score\n", a)), 2);
}

TEST_F(VMVariableTest, ObjectAndInstanceScopes)
{
    CInstance* a = MakeInstance(100001, obj0, &room, 10);
    CInstance* b = MakeInstance(100002, obj0, &room, 5);
    CInstance* c = MakeInstance(100003, obj1, &room, 1);
    // Writing through an object writes every instance of it; reading takes the first.
    RunAsm(("push.e 3\npop.v.i " + std::to_string(obj0) + ".hp\n").c_str(), c);
    EXPECT_EQ(Real(RunAsm("push.v self.hp\n", a)), 3);
    EXPECT_EQ(Real(RunAsm("push.v self.hp\n", b)), 3);
    RunAsm("push.e 4\npop.v.i self.hp\n", b);
    EXPECT_EQ(Real(RunAsm(("push.v " + std::to_string(obj0) + ".hp\n").c_str(), c)), 3); // a joined first
    // An instance id, in the word (bit 30) and from the stack.
    EXPECT_EQ(Real(RunAsm("push.v 100002.hp\n", c)), 4);
    EXPECT_EQ(Real(RunAsm("push.i 100002\npush.v stack.hp\n", c)), 4);
    // An offset from the stack (bit 30 with the scope popped): 100000 is added in the machine's
    // 32-bit arithmetic, so an offset near the integer limit names no instance, read or written.
    EXPECT_EQ(Real(RunAsm("push.i 2\npush.v stack+100000.hp\n", c)), 4);
    EXPECT_EQ(RunAsm("push.i 2147483646\npush.v stack+100000.hp\n", c).error,
              "Push :: Execution Error - Variable Get -2147383650.hp(100000, 0)");
    EXPECT_EQ(RunAsm("push.e 5\npush.i 2147483647\npop.v.i stack+100000.hp\n", c).error,
              "Pop :: Execution Error - Variable set problem hp");
    RunAsm("push.e 6\npush.i 2\npop.v.i stack+100000.hp\n", c);
    EXPECT_EQ(Real(RunAsm("push.v 100002.hp\n", c)), 6);
    // all: the first of the room's active list (ascending depth).
    RunAsm("push.e 9\npop.v.i self.hp\n", c);
    EXPECT_EQ(Real(RunAsm("push.v all.hp\n", a)), 9);
    RunAsm("push.e 1\npop.v.i all.flag\n", a);
    for (CInstance* i : {a, b, c}) EXPECT_EQ(Real(RunAsm("push.v self.flag\n", i)), 1);
    // An object index that names no object reads nothing.
    RunResult r = RunAsm("push.v 77.hp\n", a);
    EXPECT_EQ(r.error, "Push :: Execution Error - Variable Get 77.hp(100000, 0)");
}

TEST_F(VMVariableTest, DeactivatedMarkedAndChangingInstances)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    CInstance* b = MakeInstance(100002, obj1, &room);
    RunAsm("push.e 5\npop.v.i self.hp\n", a);
    a->SetDeactivated(true);
    std::string objScope = std::to_string(obj0);
    // Through its object: not found; through its id: read all the same.
    EXPECT_TRUE(RunAsm(("push.v " + objScope + ".hp\n").c_str(), b).failed);
    EXPECT_EQ(Real(RunAsm("push.v 100001.hp\n", b)), 5);
    RunResult w = RunAsm(("push.e 6\npop.v.i " + objScope + ".hp\npush.e 1\n").c_str(), b);
    EXPECT_FALSE(w.failed);
    a->SetDeactivated(false);
    EXPECT_EQ(Real(RunAsm("push.v self.hp\n", a)), 5);
    // A marked instance is gone for ids: reads fail, writes do nothing.
    a->SetMarked(true);
    EXPECT_TRUE(RunAsm("push.v 100001.hp\n", b).failed);
    EXPECT_FALSE(RunAsm("push.e 7\npop.v.i 100001.hp\npush.e 0\n", b).failed);
    a->SetMarked(false);
    EXPECT_EQ(Real(RunAsm("push.v self.hp\n", a)), 5);
    // An instance whose change to obj1 is pending is found under obj1.
    a->i_objindex = obj1;
    Run_QueueObjectChange(a);
    CInstance* other = MakeInstance(100003, obj0, &room);
    (void)other;
    RunAsm(("push.e 8\npop.v.i " + std::to_string(obj1) + ".mark\n").c_str(), b);
    EXPECT_EQ(Real(RunAsm("push.v self.mark\n", a)), 8);
    EXPECT_EQ(Real(RunAsm("push.v self.mark\n", b)), 8);
}

TEST_F(VMVariableTest, BuiltinRowsGoThroughGettersAndSetters)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    EXPECT_EQ(Real(RunAsm("push.e 12\npop.v.i self.x\npush.v self.x\n", a)), 12);
    EXPECT_EQ(a->i_x, 12.0f);
    EXPECT_EQ(Real(RunAsm("push.v id\n", a)), 100001);
    RunResult r = RunAsm("push.e 1\npop.v.i self.id\npush.e 0\n", a);
    EXPECT_EQ(r.error, "Pop :: Execution Error - Variable set problem id");
    // A built-in id beyond the rows in use fails.
    r = RunAsm("push.v self.@77\n", a);
    EXPECT_EQ(r.error, "Push :: Execution Error - Variable Get -1.<unknown built-in variable>(77, 0)");
}

TEST_F(VMVariableTest, ArraysAndTheirMessages)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    // a[2] = 5; a[1, 3] = 7 (1 * 32000 + 3); the reads, with the index computed as written.
    const char* write = R"(
        push.e 5
        push.e -1
        push.e 2
        pop.v.i stack.a[]
        push.e 7
        push.e -1
        push.e 1
        push.i 32000
        mul.i.i
        push.e 3
        add.i.i
        pop.v.i stack.a[]
        push.e -1
        push.e 2
        push.v stack.a[]
        push.e -1
        push.i 32003
        push.v stack.a[]
        add.v.v
    )";
    EXPECT_EQ(Real(RunAsm(write, a)), 12);
    // The value-on-top form of pop.
    EXPECT_EQ(Real(RunAsm("push.e -1\npush.e 4\npush.e 9\npop.i.i stack.b[]\npush.e -1\npush.e 4\npush.v stack.b[]\n", a)), 9);
    // Reading past the row, a missing row, and a negative write.
    RunResult r = RunAsm("push.e -1\npush.e 5\npush.v stack.a[]\n", a);
    EXPECT_EQ(r.error, "Push :: Execution Error - Variable Index [0,5] out of range [2,3] - -1.a(100000,5)");
    r = RunAsm("push.e -1\npush.i 96000\npush.v stack.a[]\n", a);
    EXPECT_EQ(r.error, "Push :: Execution Error - Variable Index [3,0] out of range [2,-1] - -1.a(100000,96000)");
    r = RunAsm("push.e 1\npush.e -1\npush.e -1\npop.v.i stack.a[]\npush.e 0\n", a);
    EXPECT_EQ(r.error, "Pop :: Execution Error - Variable index out of range a");
    // The same through locals and globals.
    EXPECT_EQ(Real(RunAsm("push.e 3\npush.e -7\npush.e 4\npop.v.i stack.l[]\npush.e -7\npush.e 4\npush.v stack.l[]\n", a)), 3);
    EXPECT_EQ(Real(RunAsm("push.e 3\npush.e -5\npush.e 4\npop.v.i stack.gg[]\npush.e 4\npush.v global.gg[]\n", a)), 3);
}

TEST_F(VMVariableTest, ArrayIndexCheck)
{
    EXPECT_FALSE(RunAsm("push.i 31999\nbreak 65535\npopz.i\n").failed);
    EXPECT_EQ(RunAsm("push.i 32000\nbreak 65535\npopz.i\n").error, "Array index must be < 32000");
    EXPECT_EQ(RunAsm("push.i -1\nbreak 65535\npopz.i\n").error, "Array index must be +'ve");
}

TEST_F(VMVariableTest, UnsetVariablesReadAsZeroOnlyWithTheOption)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    RunResult r = RunAsm("push.v self.never\n", a);
    EXPECT_EQ(r.error, "Push :: Execution Error - Variable Get -1.never(100000, 0)");
    Variable_SetUnsetReadsZero(true);
    EXPECT_EQ(Real(RunAsm("push.v self.never\n", a)), 0);
    EXPECT_EQ(Real(RunAsm("push.v local.never\n", a)), 0);
    EXPECT_EQ(Real(RunAsm("push.v global.never\n", a)), 0);
}

TEST_F(VMVariableTest, WithVisitsInstancesInOrder)
{
    CInstance* runner = MakeInstance(100009, obj1, &room, 100);
    auto with = [&](int32_t scope) {
        g_visits.clear();
        g_others.clear();
        std::string src = "push.i " + std::to_string(scope) + R"(
            pushenv end
        body:
            call.i record 0
            popz.v
        end:
            popenv body
            call.i with_depth 0
        )";
        RunResult r = RunAsm(src.c_str(), runner, nullptr);
        EXPECT_FALSE(r.failed) << r.error;
        EXPECT_EQ(r.value.real, 0); // the record is gone
        return g_visits;
    };
    EXPECT_EQ(with(obj0), std::vector<int32_t>{});
    MakeInstance(100001, obj0, &room, 1);
    EXPECT_EQ(with(obj0), (std::vector<int32_t>{100001}));
    MakeInstance(100002, obj0, &room, 2);
    EXPECT_EQ(with(obj0), (std::vector<int32_t>{100001, 100002}));
    MakeInstance(100003, obj0, &room, 3);
    EXPECT_EQ(with(obj0), (std::vector<int32_t>{100003, 100002, 100001}));
    // Inside the body, other is the instance that runs the with.
    EXPECT_EQ(g_others, (std::vector<int32_t>{100009, 100009, 100009}));
    // all: the active list; self and other; an instance id; noone.
    EXPECT_EQ(with(SCOPE_ALL), (std::vector<int32_t>{100009, 100003, 100002, 100001}));
    EXPECT_EQ(with(SCOPE_SELF), (std::vector<int32_t>{100009}));
    EXPECT_EQ(with(100002), (std::vector<int32_t>{100002}));
    EXPECT_EQ(with(SCOPE_NOONE), (std::vector<int32_t>{}));
    EXPECT_EQ(with(100077), (std::vector<int32_t>{}));
    EXPECT_EQ(with(55), (std::vector<int32_t>{}));
    Instance_Find(100002)->SetDeactivated(true);
    EXPECT_EQ(with(100002), (std::vector<int32_t>{}));
    Instance_Find(100002)->SetDeactivated(false);
}

TEST_F(VMVariableTest, WithOverOtherSwapsSelfAndOther)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    CInstance* b = MakeInstance(100002, obj1, &room);
    RunResult r = RunAsm(R"(
        push.i -2
        pushenv end
    body:
        call.i record 0
        popz.v
    end:
        popenv body
        call.i record 0
    )", a, b);
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(g_visits, (std::vector<int32_t>{100002, 100001}));
    EXPECT_EQ(g_others, (std::vector<int32_t>{100001, 100002}));
}

TEST_F(VMVariableTest, NestedWithAndBreak)
{
    CInstance* runner = MakeInstance(100009, obj1, &room, 100);
    for (int i = 1; i <= 5; ++i) MakeInstance(100000 + i, obj0, &room, float(i));
    // with (obj0) { with (obj1) record(); if (id == 100003) break; }
    std::string src = "push.i " + std::to_string(obj0) + R"(
        pushenv outerEnd
    outer:
        push.i )" + std::to_string(obj1) + R"(
        pushenv innerEnd
    inner:
        call.i record 0
        popz.v
    innerEnd:
        popenv inner
        push.v self.id
        push.i 100003
        seq.i.v
        bt leave
    outerEnd:
        popenv outer
        b done
    leave:
        popenv leave
    done:
        call.i record 0
        popz.v
        call.i with_depth 0
    )";
    RunResult r = RunAsm(src.c_str(), runner);
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.value.real, 0);
    // Five instances in reverse order; the break after 100003 skips 100002 and 100001; the
    // inner with ran as each of them over the one obj1 instance.
    EXPECT_EQ(g_visits, (std::vector<int32_t>{100009, 100009, 100009, 100009}));
    EXPECT_EQ(g_others, (std::vector<int32_t>{100005, 100004, 100003, -1}));
}

TEST_F(VMVariableTest, WithRefusesLocalAndGlobalAndUnwindsOnExit)
{
    CInstance* a = MakeInstance(100001, obj0, &room);
    EXPECT_EQ(RunAsm("push.i -7\npushenv e\ne:\npopenv e\n", a).error, "Cannot use local in with statement");
    EXPECT_EQ(RunAsm("push.i -5\npushenv e\ne:\npopenv e\n", a).error, "Cannot use global in with statement");
    MakeInstance(100002, obj0, &room);
    MakeInstance(100003, obj0, &room);
    // exit inside a with over three instances: the record goes with the run.
    std::string src = "push.i " + std::to_string(obj0) + "\npushenv e\nb:\nexit.i\ne:\npopenv b\n";
    EXPECT_FALSE(RunAsm(src.c_str(), a).failed);
    EXPECT_EQ(VM_WithDepth(), 0);
}
