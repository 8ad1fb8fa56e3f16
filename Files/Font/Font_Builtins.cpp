// Built-in script functions of fonts (see Font_Main.h for the registrar). Argument
// conversions: Graphics_Args.h.
#include "Files/Font/Font_Main.h"
#include "Files/Graphics/Graphics_Args.h"

using namespace zbargs;

ZB_BUILTIN(F_FontExists) { ZB_UNUSED; Real(result, Font_Exists(I(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_FontGetName) { ZB_UNUSED; Value_SetString(result, Font_GetName(I(args, 0))); }
ZB_BUILTIN(F_FontGetFontName)
{
    ZB_UNUSED;
    const CFontZB* f = Font_Data(I(args, 0));
    Value_SetString(result, f && f->GetName() ? f->GetName() : "");
}
#define FONT_READER(fn, expr)                                                                                         \
    ZB_BUILTIN(fn)                                                                                                    \
    {                                                                                                                 \
        ZB_UNUSED;                                                                                                    \
        if (const CFontZB* f = Font_Data(I(args, 0))) Real(result, (expr));                                           \
    }
FONT_READER(F_FontGetSize, f->GetSize())
FONT_READER(F_FontGetBold, f->GetBold() ? 1 : 0)
FONT_READER(F_FontGetItalic, f->GetItalic() ? 1 : 0)
FONT_READER(F_FontGetFirst, f->GetFirst())
FONT_READER(F_FontGetLast, f->GetLast())

ZB_BUILTIN(F_FontAdd)
{
    ZB_UNUSED;
    TextArg name(args, 0);
    Real(result, Font_Add(name.text, I(args, 1), B(args, 2), B(args, 3), I(args, 4), I(args, 5)));
}
ZB_BUILTIN(F_FontAddSprite)
{
    ZB_UNUSED;
    Real(result, Font_AddSprite(I(args, 0), I(args, 1), B(args, 2), I(args, 3)));
}
ZB_BUILTIN(F_FontAddSpriteExt)
{
    ZB_UNUSED;
    TextArg text(args, 1);
    Real(result, Font_AddSpriteExt(I(args, 0), text.text, B(args, 2), I(args, 3)));
}
ZB_BUILTIN(F_FontReplace)
{
    ZB_UNUSED;
    TextArg name(args, 1);
    Real(result, Font_Replace(I(args, 0), name.text, I(args, 2), B(args, 3), B(args, 4), I(args, 5), I(args, 6)) ? 1 : 0);
}
ZB_BUILTIN(F_FontReplaceSprite)
{
    ZB_UNUSED;
    Real(result, Font_ReplaceSprite(I(args, 0), I(args, 1), I(args, 2), B(args, 3), I(args, 4)) ? 1 : 0);
}
ZB_BUILTIN(F_FontReplaceSpriteExt)
{
    ZB_UNUSED;
    TextArg text(args, 2);
    Real(result, Font_ReplaceSpriteExt(I(args, 0), I(args, 1), text.text, B(args, 3), I(args, 4)) ? 1 : 0);
}
ZB_BUILTIN(F_FontDelete) { ZB_UNUSED; Real(result, Font_Delete(I(args, 0)) ? 1 : 0); }

// ORDER: registration order (rows are ids).
void Font_RegisterBuiltins()
{
    static const Row rows[] = {
        {"font_exists", F_FontExists, 1}, {"font_get_name", F_FontGetName, 1}, {"font_name", F_FontGetName, 1},
        {"font_get_fontname", F_FontGetFontName, 1}, {"font_get_size", F_FontGetSize, 1},
        {"font_get_bold", F_FontGetBold, 1}, {"font_get_italic", F_FontGetItalic, 1},
        {"font_get_first", F_FontGetFirst, 1}, {"font_get_last", F_FontGetLast, 1}, {"font_add", F_FontAdd, 6},
        {"font_add_sprite", F_FontAddSprite, 4}, {"font_add_sprite_ext", F_FontAddSpriteExt, 4},
        {"font_replace", F_FontReplace, 7}, {"font_replace_sprite", F_FontReplaceSprite, 5},
        {"font_replace_sprite_ext", F_FontReplaceSpriteExt, 5}, {"font_delete", F_FontDelete, 1},
    };
    Register(rows);
}
