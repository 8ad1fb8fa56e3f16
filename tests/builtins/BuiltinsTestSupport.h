// The built-in library tests: the "Math..", "DS.." and "Misc.." groups on the built-in test
// base (tests/support/BuiltinTest.h); the Python oracles are in tests/data/builtins/.
#pragma once

#include "support/BuiltinTest.h"

class BuiltinsTest : public BuiltinTest {
protected:
    void Register() override;
    void TearDown() override;
};
