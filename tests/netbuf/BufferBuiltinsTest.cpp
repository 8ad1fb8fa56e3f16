// The buffer built-ins: argument checks and their reports, index reuse, results and presets,
// and a script-level round trip of every operation.
#include "Files/Buffer/IBuffer.h"
#include "Files/Support/LoadSave.h"
#include "netbuf/NetbufSupport.h"
#include "support/ScratchFolder.h"

class BufferBuiltins : public NetbufTest {};

TEST_F(BufferBuiltins, CreateChecksSizeAlignmentAndKinds)
{
    EXPECT_EQ(Call("buffer_create", {0, 1, 1}).Real(), -1);
    EXPECT_TRUE(Logged("buffer_create: Illegal size"));
    EXPECT_EQ(Call("buffer_create", {kBufferMaxSize + 1.0, 1, 1}).Real(), -1);
    EXPECT_EQ(Call("buffer_create", {4, 1, 1025}).Real(), -1);
    EXPECT_TRUE(Logged("buffer_create: Illegal alignment size"));
    EXPECT_EQ(Call("buffer_create", {4, 1, 0}).Real(), -1);
    EXPECT_EQ(Call("buffer_create", {"4", 1, 1}).Real(), -1);
    EXPECT_TRUE(Logged("buffer_create: Illegal argument type"));
    EXPECT_EQ(Call("buffer_create", {4, 1}).Real(), -1);
    EXPECT_TRUE(Logged("buffer_create: Illegal argument count"));
    EXPECT_EQ(Errors(), 6);
    ClearLog();
    // Reals are truncated; the first buffer is 0, and a freed slot is taken again.
    EXPECT_EQ(Call("buffer_create", {4.9, 0, 1.9}).Real(), 0);
    EXPECT_EQ(Call("buffer_get_size", {0}).Real(), 4);
    EXPECT_EQ(Call("buffer_create", {4, 7, 1}).Real(), 1); // any type: fixed
    EXPECT_EQ(Call("buffer_delete", {0}).Real(), 0);
    EXPECT_EQ(Call("buffer_create", {8, 1, 1}).Real(), 0);
    // Deleting twice, or what never was, is silent.
    Call("buffer_delete", {1});
    Call("buffer_delete", {1});
    Call("buffer_delete", {-1});
    EXPECT_EQ(Errors(), 0);
}

TEST_F(BufferBuiltins, EveryBufferFunctionReportsABadIndex)
{
    struct Case {
        const char* name;
        std::initializer_list<Val> args;
        double preset;
    };
    const Case cases[] = {
        {"buffer_write", {5, 1, 1}, -1},    {"buffer_read", {5, 1}, 0},         {"buffer_peek", {5, 0, 1}, 0},
        {"buffer_poke", {5, 0, 1, 1}, 0},   {"buffer_seek", {5, 0, 0}, -1},     {"buffer_save", {5, "x"}, 0},
        {"buffer_save_ext", {5, "x", 0, 1}, 0}, {"buffer_load_ext", {5, "x", 0}, 0}, {"buffer_fill", {5, 0, 1, 1, 1}, 0},
        {"buffer_get_size", {5}, -1},       {"buffer_tell", {5}, -1},           {"buffer_resize", {5, 4}, 0},
        {"buffer_base64_encode", {5, 0, 1}, -1}, {"buffer_base64_decode_ext", {5, "TWFu", 0}, 0},
    };
    for (const Case& c : cases) {
        ClearLog();
        Val r = Call(c.name, c.args);
        EXPECT_EQ(r.Real(), c.preset) << c.name;
        EXPECT_TRUE(Logged("Illegal Buffer Index")) << c.name;
        EXPECT_EQ(Errors(), 1) << c.name;
    }
    ClearLog();
    Val md5 = Call("buffer_md5", {5, 0, 1});
    EXPECT_TRUE(md5.IsString());
    EXPECT_FALSE(md5.HasText()); // a string without text
    EXPECT_TRUE(Logged("Illegal Buffer Index"));
}

TEST_F(BufferBuiltins, ArgumentKindsAreChecked)
{
    const int32_t b = int32_t(Call("buffer_create", {16, 0, 1}).Real());
    EXPECT_EQ(Call("buffer_poke", {b, 0, 11, "text"}).Real(), 0);
    EXPECT_TRUE(Logged("Illegal argument type"));
    ClearLog();
    Call("buffer_save", {b, 3});
    EXPECT_TRUE(Logged("Illegal argument type"));
    ClearLog();
    Call("buffer_read", {"0", 1});
    EXPECT_TRUE(Logged("Illegal argument type"));
    ClearLog();
    Call("buffer_read", {b});
    EXPECT_TRUE(Logged("Illegal argument count"));
    ClearLog();
    // buffer_write takes any value: a string of type 11 writes the text.
    EXPECT_EQ(Call("buffer_write", {b, 11, "hi"}).Real(), 0);
    EXPECT_EQ(Call("buffer_tell", {b}).Real(), 3);
    EXPECT_EQ(Call("buffer_peek", {b, 1, 1}).Real(), 'i');
    EXPECT_EQ(Errors(), 0);
}

TEST_F(BufferBuiltins, ScriptLevelRoundTrip)
{
    const int32_t b = int32_t(Call("buffer_create", {1, 1, 4}).Real());
    EXPECT_EQ(Call("buffer_write", {b, 1, 200}).Real(), 0);
    EXPECT_EQ(Call("buffer_write", {b, 6, -5}).Real(), 0);
    EXPECT_EQ(Call("buffer_write", {b, 9, 0.25}).Real(), 0);
    EXPECT_EQ(Call("buffer_write", {b, 11, "end"}).Real(), 0);
    EXPECT_EQ(Call("buffer_write", {b, 7, 1}).Real(), -1);
    EXPECT_EQ(Call("buffer_tell", {b}).Real(), 20);
    EXPECT_EQ(Call("buffer_seek", {b, 0, 0}).Real(), 0);
    EXPECT_EQ(Call("buffer_read", {b, 1}).Real(), 200);
    EXPECT_EQ(Call("buffer_read", {b, 6}).Real(), -5);
    EXPECT_EQ(Call("buffer_read", {b, 9}).Real(), 0.25);
    EXPECT_EQ(Call("buffer_read", {b, 11}).Text(), "end");
    EXPECT_EQ(Call("buffer_sizeof", {11}).Real(), 0);
    EXPECT_EQ(Call("buffer_sizeof", {7}).Real(), 2);
    EXPECT_EQ(Call("buffer_sizeof", {9}).Real(), 8);

    // Past the end of a standard buffer: -3; of a fast one: 0.
    const int32_t f = int32_t(Call("buffer_create", {1, 0, 1}).Real());
    Call("buffer_seek", {f, 2, 0});
    Call("buffer_read", {f, 1});
    EXPECT_EQ(Call("buffer_read", {f, 1}).Real(), -3);
    const int32_t fast = int32_t(Call("buffer_create", {1, 3, 1}).Real());
    EXPECT_EQ(Call("buffer_write", {fast, 2, 1}).Real(), -4);
    Call("buffer_write", {fast, 1, 9});
    EXPECT_EQ(Call("buffer_read", {fast, 1}).Real(), 0);

    // Fill, copy, resize, digests, base64.
    const int32_t c = int32_t(Call("buffer_create", {10, 0, 1}).Real());
    Call("buffer_fill", {c, 0, 5, 0x01020304, -1});
    EXPECT_EQ(Call("buffer_peek", {c, 4, 5}).Real(), 0x01020304);
    EXPECT_EQ(Call("buffer_peek", {c, 8, 1}).Real(), 0);
    const int32_t d = int32_t(Call("buffer_create", {2, 1, 1}).Real());
    Call("buffer_copy", {c, 0, 8, d, 0});
    EXPECT_EQ(Call("buffer_get_size", {d}).Real(), 8);
    EXPECT_EQ(Call("buffer_md5", {d, 0, 8}).Text(), Call("buffer_md5", {c, 0, 8}).Text());
    EXPECT_EQ(Call("buffer_sha1", {d, 0, -1}).Text().size(), 40u);
    Call("buffer_resize", {d, 3});
    EXPECT_EQ(Call("buffer_get_size", {d}).Real(), 3);
    EXPECT_EQ(Call("buffer_base64_encode", {d, 0, -1}).Text(), "BAMC");
    const int32_t e = int32_t(Call("buffer_base64_decode", {"BAMC"}).Real());
    EXPECT_GE(e, 0);
    EXPECT_EQ(Call("buffer_get_size", {e}).Real(), 7);
    EXPECT_EQ(Call("buffer_peek", {e, 0, 1}).Real(), 4);
    Call("buffer_base64_decode_ext", {c, "/w==", 9});
    EXPECT_EQ(Call("buffer_peek", {c, 9, 1}).Real(), 255);
    EXPECT_EQ(Errors(), 0);
}

TEST_F(BufferBuiltins, CopyRefusesBadOrEqualBuffers)
{
    const int32_t a = int32_t(Call("buffer_create", {4, 0, 1}).Real());
    Call("buffer_copy", {a, 0, 4, a, 0});
    EXPECT_TRUE(Logged("Source and Destination buffers can't be the same"));
    ClearLog();
    Call("buffer_copy", {a, 0, 4, 9, 0});
    EXPECT_TRUE(Logged("Illegal Source Buffer Index"));
    ClearLog();
    Call("buffer_copy", {9, 0, 4, a, 0});
    EXPECT_TRUE(Logged("Illegal Source Buffer Index"));
    EXPECT_EQ(Errors(), 1);
}

TEST_F(BufferBuiltins, LoadAndSaveThroughTheSaveArea)
{
    ScratchFolder dir;
    ScopedCurrentFolder here(dir.Path());
    LoadSave_SetFolders((dir / "program").c_str(), (dir / "save").c_str(), dir.Path().c_str());
    const int32_t a = int32_t(Call("buffer_create", {6, 0, 1}).Real());
    Call("buffer_write", {a, 11, "hello"});
    Call("buffer_save", {a, "out.bin"});
    Call("buffer_save_ext", {a, "part.bin", 1, 3});
    EXPECT_EQ(Scratch_ReadFile(dir / "save/out.bin"), std::string("hello\0", 6));
    EXPECT_EQ(Scratch_ReadFile(dir / "save/part.bin"), "ell");
    const int32_t l = int32_t(Call("buffer_load", {"out.bin"}).Real());
    ASSERT_GE(l, 0);
    EXPECT_EQ(Call("buffer_read", {l, 11}).Text(), "hello");
    Call("buffer_load_ext", {a, "part.bin", 3});
    EXPECT_EQ(Call("buffer_peek", {a, 3, 1}).Real(), 'e');
    EXPECT_EQ(Errors(), 0);
    // A missing file or a web address: "Cannot load buffer file", -1, no slot taken.
    EXPECT_EQ(Call("buffer_load", {"missing.bin"}).Real(), -1);
    EXPECT_EQ(Call("buffer_load", {"https://example.com/data.bin"}).Real(), -1);
    EXPECT_EQ(Errors(), 2);
    EXPECT_TRUE(Logged("Cannot load buffer file"));
    EXPECT_EQ(Call("buffer_create", {1, 0, 1}).Real(), 2);
    // buffer_load_ext of a missing file is silent.
    ClearLog();
    Call("buffer_load_ext", {a, "missing.bin", 0});
    EXPECT_EQ(Errors(), 0);
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
}

TEST_F(BufferBuiltins, SurfaceFunctionsAreNotImplemented)
{
    EXPECT_EQ(Call("buffer_get_surface", {0, 0, 0, 0, 0}).Real(), -1);
    EXPECT_TRUE(Logged("Error in buffer_get_surface(): Not yet implemented."));
    EXPECT_EQ(Call("buffer_set_surface", {0, 0, 0, 0, 0}).Real(), -1);
    EXPECT_TRUE(Logged("Error in buffer_set_surface(): Not yet implemented."));
}
