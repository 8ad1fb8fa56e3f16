// The platform part of external calls: shared libraries through dlopen/dlsym/dlclose and
// calls with any mix of double and pointer arguments through libffi. Backs Files/DLL/DLL.h.
#include <dlfcn.h>
#include <ffi.h>

#include "Files/DLL/DLL.h"

void* DLLM_Open(const char* path)
{
    if (!path || !*path) return nullptr;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* DLLM_Symbol(void* library, const char* name)
{
    if (!library || !name) return nullptr;
    dlerror();
    return dlsym(library, name);
}

void DLLM_Close(void* library)
{
    if (library) dlclose(library);
}

bool DLLM_Call(void* function, int32_t argc, const int32_t* kinds, const double* reals, const char* const* texts,
               bool resultIsString, double* outReal, const char** outText)
{
    if (!function || argc < 0 || argc > DLL_MAX_ARGUMENTS) return false;
    ffi_type* types[DLL_MAX_ARGUMENTS];
    void* values[DLL_MAX_ARGUMENTS];
    for (int32_t i = 0; i < argc; i++) {
        if (kinds[i] == DLL_KIND_STRING) {
            types[i] = &ffi_type_pointer;
            values[i] = const_cast<const char**>(&texts[i]);
        } else {
            types[i] = &ffi_type_double;
            values[i] = const_cast<double*>(&reals[i]);
        }
    }
    ffi_cif cif;
    ffi_type* resultType = resultIsString ? &ffi_type_pointer : &ffi_type_double;
    if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, unsigned(argc), resultType, types) != FFI_OK) return false;
    if (resultIsString) {
        void* text = nullptr;
        ffi_call(&cif, FFI_FN(function), &text, values);
        *outText = static_cast<const char*>(text);
    } else {
        double real = 0.0;
        ffi_call(&cif, FFI_FN(function), &real, values);
        *outReal = real;
    }
    return true;
}
