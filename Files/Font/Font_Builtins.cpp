// Built-in script functions of fonts (see Font_Main.h for the registrar). Argument
// conversions: Files/Code/Code_Builtin.h.
#include "Files/Code/Code_Builtin.h"
#include "Files/Font/Font_Main.h"

using namespace zbargs;

ZB_BUILTIN(F_FontExists) { SetReal(result, Font_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_FontGetName) { Value_SetString(result, Font_GetName(NumRound(args, 0))); }
ZB_BUILTIN(F_FontGetFontName)
{
    const CFontZB* f = Font_Data(NumRound(args, 0));
    Value_SetString(result, f && f->GetName() ? f->GetName() : "");
}
#define FONT_READER(fn, expr)                                                                                          \
    ZB_BUILTIN(fn)                                                                                                     \
    {                                                                                                                  \
        if (const CFontZB* f = Font_Data(NumRound(args, 0))) SetReal(result, (expr));                                  \
    }
FONT_READER(F_FontGetSize, f->GetSize())
FONT_READER(F_FontGetBold, f->GetBold() ? 1 : 0)
FONT_READER(F_FontGetItalic, f->GetItalic() ? 1 : 0)
FONT_READER(F_FontGetFirst, f->GetFirst())
FONT_READER(F_FontGetLast, f->GetLast())

ZB_BUILTIN(F_FontAdd)
{
    ArgAsText name(args, 0);
    SetReal(result, Font_Add(name.text, NumRound(args, 1), NumFromHalf(args, 2), NumFromHalf(args, 3),
                             NumRound(args, 4), NumRound(args, 5)));
}
ZB_BUILTIN(F_FontAddSprite)
{
    SetReal(result, Font_AddSprite(NumRound(args, 0), NumRound(args, 1), NumFromHalf(args, 2), NumRound(args, 3)));
}
ZB_BUILTIN(F_FontAddSpriteExt)
{
    ArgAsText text(args, 1);
    SetReal(result, Font_AddSpriteExt(NumRound(args, 0), text.text, NumFromHalf(args, 2), NumRound(args, 3)));
}
ZB_BUILTIN(F_FontReplace)
{
    ArgAsText name(args, 1);
    SetReal(result, Font_Replace(NumRound(args, 0), name.text, NumRound(args, 2), NumFromHalf(args, 3),
                                 NumFromHalf(args, 4), NumRound(args, 5), NumRound(args, 6))
                        ? 1
                        : 0);
}
ZB_BUILTIN(F_FontReplaceSprite)
{
    SetReal(result, Font_ReplaceSprite(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumFromHalf(args, 3),
                                       NumRound(args, 4))
                        ? 1
                        : 0);
}
ZB_BUILTIN(F_FontReplaceSpriteExt)
{
    ArgAsText text(args, 2);
    SetReal(result, Font_ReplaceSpriteExt(NumRound(args, 0), NumRound(args, 1), text.text, NumFromHalf(args, 3),
                                          NumRound(args, 4))
                        ? 1
                        : 0);
}
ZB_BUILTIN(F_FontDelete) { SetReal(result, Font_Delete(NumRound(args, 0)) ? 1 : 0); }

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
