// Verification and preparation of byte code for the dispatch loop.
#include "Files/Code/VM.h"

#include "Files/Code/VM_Format.h"

void VM_ReleaseProgram(VMBuffer* code)
{
    (void)code;
}

double VM_CompareEpsilon = 0.00001;
