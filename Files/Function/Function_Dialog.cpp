// Splash, show, dialog, high-score, message and file-dialog rows of the "Interaction.." group
// (Files/Function/Function_Dialog.h).
//
// [SECTION] Arguments
// [SECTION] Splash and show
// [SECTION] Messages and questions
// [SECTION] High scores
// [SECTION] Accepted, not carried out
// [SECTION] Input dialogs
// [SECTION] File dialogs
// [SECTION] Registration
#include "Files/Function/Function_Dialog.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Base/Utf8.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Debug/FileDialog.h"
#include "Files/Debug/InputQuery.h"
#include "Files/Debug/Score.h"
#include "Files/Debug/Splash.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/Support/LoadSave.h"
#include "Files/World/World_State.h"

namespace {
// "%.2f" at any magnitude (1e300 has 301 digits before the point).
std::string TwoDecimals(double x)
{
    const int32_t n = Real_FixedLength(x, 2);
    std::string s(size_t(n) + 1, '\0');
    Real_FormatFixed(s.data(), s.size(), x, 2);
    s.resize(size_t(n));
    return s;
}
} // namespace

std::string Dialog_FormatNumber(double x)
{
    if (x == std::floor(x) && x >= -2147483648.0 && x <= 2147483647.0) return std::to_string(int32_t(x));
    return TwoDecimals(x);
}

namespace {

using namespace zbargs;

// =============================================================================================
// [SECTION] Arguments
// =============================================================================================
// A flag of the splash settings: the rounded argument is above 0.
bool Flag(const ScriptValue* args, int32_t i) { return NumRound(args, i) > 0; }
bool IsString(const ScriptValue* args, int32_t i) { return args[i].kind == VALUE_STRING; }
// A string's text ("" without text); a number formatted as show_message shows it.
std::string Shown(const ScriptValue* args, int32_t i)
{
    if (IsString(args, i)) return args[i].text ? args[i].text : "";
    return Dialog_FormatNumber(args[i].real);
}
// A default answer: a string as it is, a number rounded ("%d") or with two decimals.
std::string DefaultText(const ScriptValue* args, int32_t i, bool rounded)
{
    if (IsString(args, i)) return args[i].text ? args[i].text : "";
    if (rounded) return std::to_string(Real_RoundToInt32(args[i].real));
    return TwoDecimals(args[i].real);
}

void Trace(const char* text) { Console_Debug()->Output("%s", text); }
void Clear() { IO_Clear(); }
const char* Caption() { return GR_Window_GetCaption(); }

// =============================================================================================
// [SECTION] Splash and show
// =============================================================================================
SplashSettings& S() { return Splash_Settings(); }

ZB_BUILTIN(F_SplashSetCaption)
{
    S().hasCaption = IsString(args, 0);
    S().caption = ArgText(args, 0);
}
ZB_BUILTIN(F_SplashSetFullscreen) { S().fullscreen = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetBorder) { S().border = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetSize)
{
    S().width = NumRound(args, 0);
    S().height = NumRound(args, 1);
}
ZB_BUILTIN(F_SplashSetAdapt) { S().adapt = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetTop) { S().top = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetColor) { S().colour = NumRound(args, 0); }
ZB_BUILTIN(F_SplashSetMain) { S().main = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetScale) { S().scale = Num(args, 0); }
ZB_BUILTIN(F_SplashSetCursor) { S().cursor = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetInterrupt) { S().interrupt = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetStopKey) { S().stopKey = Flag(args, 0); }
ZB_BUILTIN(F_SplashSetStopMouse) { S().stopMouse = Flag(args, 0); }

std::string FileArg(const ScriptValue* args) { return IsString(args, 0) && args[0].text ? args[0].text : ""; }

void ShowVideo(const ScriptValue* args, double loop)
{
    if (!Splash_ShowVideo(FileArg(args).c_str(), loop)) Code_Error_Show("Video file not found (or name too long).", false);
    Clear();
}
void ShowImage(const ScriptValue* args, double delay)
{
    if (!Splash_ShowImage(FileArg(args).c_str(), delay)) Code_Error_Show("Image file not found.", false);
    Clear();
}
void ShowText(const ScriptValue* args, double delay)
{
    if (!Splash_ShowText(FileArg(args).c_str(), delay)) Code_Error_Show("Text file not found.", false);
    Clear();
}
// The show functions set the full-screen flag from their argument and the main flag to its
// opposite.
void ShowFlags(const ScriptValue* args)
{
    S().fullscreen = Flag(args, 1);
    S().main = !S().fullscreen;
}

ZB_BUILTIN(F_SplashShowVideo) { ShowVideo(args, Num(args, 1)); }
ZB_BUILTIN(F_SplashShowImage) { ShowImage(args, Num(args, 1)); }
ZB_BUILTIN(F_SplashShowText) { ShowText(args, Num(args, 1)); }
ZB_BUILTIN(F_ShowImage)
{
    ShowFlags(args);
    ShowImage(args, Num(args, 2));
}
ZB_BUILTIN(F_ShowVideo)
{
    ShowFlags(args);
    ShowVideo(args, Num(args, 2));
}
ZB_BUILTIN(F_ShowText)
{
    ShowFlags(args);
    S().colour = NumRound(args, 2);
    ShowText(args, Num(args, 3));
}

// =============================================================================================
// [SECTION] Messages and questions
// =============================================================================================
// The text of show_message and show_message_async: a number formatted, a string as given
// (show_message alone turns its '#' into line breaks). An empty text is shown as one, under
// both executors (the tree interpreter holds it as a string without text).
std::string MessageText(const ScriptValue* args, bool hashBreaks)
{
    if (!IsString(args, 0)) return Dialog_FormatNumber(args[0].real);
    const char* given = ArgStringText(args, 0);
    if (!hashBreaks) return given;
    std::vector<char> copy(given, given + std::strlen(given) + 1);
    String_HashToNewline(copy.data());
    return copy.data();
}

ZB_BUILTIN(F_ShowMessage)
{
    SetReal(result, 1.0);
    const std::string text = MessageText(args, true);
    GR_D3D_LeaveFullscreen();
    ShowMessage(text.c_str());
    Clear();
}

ZB_BUILTIN(F_ShowMessageAsync)
{
    SetReal(result, Dialog_MessageAsync(Caption(), MessageText(args, false).c_str()));
    Clear();
}

ZB_BUILTIN(F_ShowQuestion)
{
    SetReal(result, Dialog_ShowQuestion(Caption(), Shown(args, 0).c_str()) ? 1.0 : 0.0);
    Clear();
}

ZB_BUILTIN(F_ShowQuestionAsync)
{
    SetReal(result, Dialog_QuestionAsync(Caption(), Shown(args, 0).c_str()));
    Clear();
}

ZB_BUILTIN(F_ShowError) { Code_Error_Show(Shown(args, 0).c_str(), Num(args, 1) >= 0.5); }

ZB_BUILTIN(F_ShowInfo)
{
    Trace("show_info(str) not supported\n");
    Clear();
}

ZB_BUILTIN(F_LoadInfo)
{
    Trace("load_info(str) not supported\n");
    SetReal(result, 0.0);
}

// =============================================================================================
// [SECTION] High scores
// =============================================================================================
ScoreDisplay& D() { return Score_Display(); }

ZB_BUILTIN(F_HighscoreShow) { Clear(); }
ZB_BUILTIN(F_HighscoreSetBackground) { D().background = NumRound(args, 0); }
ZB_BUILTIN(F_HighscoreSetBorder) { D().border = Num(args, 0) >= 0.5; }
ZB_BUILTIN(F_HighscoreSetFont)
{
    D().fontName = IsString(args, 0) && args[0].text ? args[0].text : "";
    D().fontSize = NumRound(args, 1);
    Trace("Function F_HighscoreSetFont has no implementation.\n\n");
}

void StoreText(const ScriptValue* args, int32_t i, bool* has, std::string* text)
{
    *has = IsString(args, i);
    *text = ArgText(args, i);
}

ZB_BUILTIN(F_HighscoreSetStrings)
{
    StoreText(args, 0, &D().hasCaption, &D().caption);
    StoreText(args, 1, &D().hasEmptyName, &D().emptyName);
    StoreText(args, 2, &D().hasHint, &D().hint);
}

ZB_BUILTIN(F_HighscoreSetColors)
{
    for (int32_t i = 0; i < 3; ++i) D().colours[i] = NumRound(args, i);
}

ZB_BUILTIN(F_HighscoreShowExt)
{
    D().background = NumRound(args, 1);
    D().border = Num(args, 2) >= 0.5;
    D().colours[1] = NumRound(args, 3);
    D().colours[2] = NumRound(args, 4);
    D().fontName = IsString(args, 5) && args[5].text ? args[5].text : "";
    D().fontSize = NumRound(args, 6);
    Clear();
}

ZB_BUILTIN(F_HighscoreClear) { Score_Clear(true); }

ZB_BUILTIN(A_HighscoreClear)
{
    Score_Clear(true);
    Clear();
}

ZB_BUILTIN(F_HighscoreAdd) { Score_Add(ArgStringText(args, 0), NumRound(args, 1)); }

ZB_BUILTIN(F_HighscoreAddCurrent)
{
    Score_Add("DEFAULT", Run_State().score);
    Clear();
}

ZB_BUILTIN(F_HighscoreValue)
{
    const char* name;
    int32_t score = 0;
    SetReal(result, Score_Get(NumRound(args, 0), &name, &score) ? score : 0);
}

ZB_BUILTIN(F_HighscoreName)
{
    const char* name = nullptr;
    int32_t score;
    if (Score_Get(NumRound(args, 0), &name, &score)) SetText(result, name);
    else SetNoText(result);
}

ZB_BUILTIN(F_DrawHighscore) { Score_Draw(Num(args, 0), Num(args, 1), Num(args, 2), Num(args, 3)); }

// =============================================================================================
// [SECTION] Accepted, not carried out
// =============================================================================================
ZB_BUILTIN(F_ShowMessageExt)
{
    Trace("show_message_ext(str,but1,but2,but3) not impleneted\n");
    SetReal(result, 1.0);
    Clear();
}

#define TRACE_ONLY(fn, text)                                                                       \
    ZB_BUILTIN(fn) { Trace(text); }
TRACE_ONLY(F_MessageBackground, "message_background(back) not impleneted\n")
TRACE_ONLY(F_MessageButton, "message_button(spr) not impleneted\n")
TRACE_ONLY(F_MessageAlpha, "message_alpha(alpha) not impleneted\n")
TRACE_ONLY(F_MessageTextFont, "message_text_font(name,size,color,style) not impleneted\n")
TRACE_ONLY(F_MessageButtonFont, "message_button_font(name,size,color,style) not impleneted\n")
TRACE_ONLY(F_MessageInputFont, "message_input_font(name,size,color,style) not impleneted\n")
TRACE_ONLY(F_MessageMouseColor, "message_mouse_color(col) not impleneted\n")
TRACE_ONLY(F_MessageInputColor, "message_input_color(col) not impleneted\n")
TRACE_ONLY(F_MessagePosition, "message_position(x,y) not impleneted\n")
TRACE_ONLY(F_MessageSize, "message_size(w,h)not impleneted\n")
TRACE_ONLY(F_MessageCaption, "message_caption(show,str) not impleneted\n")
#undef TRACE_ONLY

ZB_BUILTIN(F_ShowMenu)
{
    Trace("show_menu(str,default) not implemented.\n");
    SetReal(result, 0.0);
    Clear();
}

ZB_BUILTIN(F_ShowMenuPos)
{
    Trace("show_menu_pos(X,Y,str,default) not implemented.\n");
    SetReal(result, 0.0);
    Clear();
}

ZB_BUILTIN(F_GetColor)
{
    Trace("get_color(def) is not implemented\n");
    SetReal(result, 0.0);
    Clear();
}

ZB_BUILTIN(F_GetDirectory)
{
    Trace("get_directory(dname) not implemented.\n");
    SetNoText(result);
    Clear();
}

ZB_BUILTIN(F_GetDirectoryAlt)
{
    Trace("get_directory_alt(capt,root) not implemented.\n");
    SetNoText(result);
    Clear();
}

// =============================================================================================
// [SECTION] Input dialogs
// =============================================================================================
ZB_BUILTIN(F_GetInteger)
{
    std::string answer;
    Dialog_InputQuery(Caption(), Shown(args, 0).c_str(), DefaultText(args, 1, true).c_str(), &answer);
    SetReal(result, Real_ParseDecimal(answer.c_str()));
    Clear();
}

ZB_BUILTIN(F_GetIntegerAsync)
{
    SetReal(result, Dialog_InputQueryAsync(Caption(), Shown(args, 0).c_str(), DefaultText(args, 1, true).c_str()));
}

ZB_BUILTIN(F_GetString)
{
    std::string answer;
    Dialog_InputQuery(Caption(), Shown(args, 0).c_str(), DefaultText(args, 1, false).c_str(), &answer);
    SetText(result, answer.c_str());
    Clear();
}

ZB_BUILTIN(F_GetStringAsync)
{
    SetReal(result, Dialog_InputQueryAsync(Caption(), Shown(args, 0).c_str(), DefaultText(args, 1, true).c_str()));
}

ZB_BUILTIN(F_GetLoginAsync)
{
    if (argc != 2 || !IsString(args, 0) || !IsString(args, 1)) return;
    SetReal(result, Dialog_LoginAsync(args[0].text ? args[0].text : "", args[1].text ? args[1].text : ""));
}

// =============================================================================================
// [SECTION] File dialogs
// =============================================================================================
// (filter, default name[, initial folder, title]): the chosen path, which joins the reading
// (open) or writing (save) list of allowed files; a string without text when cancelled or when
// the arguments are not all texts.
void FileDialogCall(ScriptValue* result, int32_t argc, const ScriptValue* args, bool save)
{
    SetNoText(result);
    for (int32_t i = 0; i < argc; ++i) {
        if (!IsString(args, i)) {
            Clear();
            return;
        }
    }
    auto text = [&](int32_t i) { return i < argc && args[i].text ? args[i].text : ""; };
    std::string path;
    if (FileDialog_Run(save, text(0), text(1), argc == 4 ? text(2) : "", argc == 4 ? text(3) : "", &path)) {
        if (save) LoadSave_AllowWrite(path.c_str());
        else LoadSave_AllowRead(path.c_str());
        SetText(result, path.c_str());
    }
    Clear();
}

ZB_BUILTIN(F_GetOpenFilename) { FileDialogCall(result, 2, args, false); }
ZB_BUILTIN(F_GetSaveFilename) { FileDialogCall(result, 2, args, true); }
ZB_BUILTIN(F_GetOpenFilenameExt) { FileDialogCall(result, 4, args, false); }
ZB_BUILTIN(F_GetSaveFilenameExt) { FileDialogCall(result, 4, args, true); }

// =============================================================================================
// [SECTION] Registration
// =============================================================================================
// ORDER: the group's registration order (the keyboard, mouse and joystick rows follow).
const Row kRows[] = {
    {"splash_set_caption", F_SplashSetCaption, 1},
    {"splash_set_fullscreen", F_SplashSetFullscreen, 1},
    {"splash_set_border", F_SplashSetBorder, 1},
    {"splash_set_size", F_SplashSetSize, 2},
    {"splash_set_adapt", F_SplashSetAdapt, 1},
    {"splash_set_top", F_SplashSetTop, 1},
    {"splash_set_color", F_SplashSetColor, 1},
    {"splash_set_main", F_SplashSetMain, 1},
    {"splash_set_scale", F_SplashSetScale, 1},
    {"splash_set_cursor", F_SplashSetCursor, 1},
    {"splash_set_interrupt", F_SplashSetInterrupt, 1},
    {"splash_set_stop_key", F_SplashSetStopKey, 1},
    {"splash_set_stop_mouse", F_SplashSetStopMouse, 1},
    {"splash_show_video", F_SplashShowVideo, 2},
    {"splash_show_image", F_SplashShowImage, 2},
    {"splash_show_text", F_SplashShowText, 2},
    {"show_image", F_ShowImage, 3},
    {"show_video", F_ShowVideo, 3},
    {"show_text", F_ShowText, 4},
    {"show_message", F_ShowMessage, 1},
    {"show_question", F_ShowQuestion, 1},
    {"show_message_async", F_ShowMessageAsync, 1},
    {"show_question_async", F_ShowQuestionAsync, 1},
    {"show_error", F_ShowError, 2},
    {"show_info", F_ShowInfo, 0},
    {"load_info", F_LoadInfo, 1},
    {"highscore_show", F_HighscoreShow, 1},
    {"highscore_set_background", F_HighscoreSetBackground, 1},
    {"highscore_set_border", F_HighscoreSetBorder, 1},
    {"highscore_set_font", F_HighscoreSetFont, 3},
    {"highscore_set_strings", F_HighscoreSetStrings, 3},
    {"highscore_set_colors", F_HighscoreSetColors, 3},
    {"highscore_show_ext", F_HighscoreShowExt, 7},
    {"highscore_clear", F_HighscoreClear, 0},
    {"highscore_add", F_HighscoreAdd, 2},
    {"highscore_add_current", F_HighscoreAddCurrent, 0},
    {"highscore_value", F_HighscoreValue, 1},
    {"highscore_name", F_HighscoreName, 1},
    {"draw_highscore", F_DrawHighscore, 4},
    {"show_message_ext", F_ShowMessageExt, 4},
    {"message_background", F_MessageBackground, 1},
    {"message_button", F_MessageButton, 1},
    {"message_alpha", F_MessageAlpha, 1},
    {"message_text_font", F_MessageTextFont, 4},
    {"message_button_font", F_MessageButtonFont, 4},
    {"message_input_font", F_MessageInputFont, 4},
    {"message_mouse_color", F_MessageMouseColor, 1},
    {"message_input_color", F_MessageInputColor, 1},
    {"message_position", F_MessagePosition, 2},
    {"message_size", F_MessageSize, 2},
    {"message_caption", F_MessageCaption, 2},
    {"show_menu", F_ShowMenu, 2},
    {"show_menu_pos", F_ShowMenuPos, 4},
    {"get_integer", F_GetInteger, 2},
    {"get_integer_async", F_GetIntegerAsync, 2},
    {"get_string", F_GetString, 2},
    {"get_string_async", F_GetStringAsync, 2},
    {"get_login_async", F_GetLoginAsync, 2},
    {"get_color", F_GetColor, 1},
    {"get_open_filename", F_GetOpenFilename, 2},
    {"get_save_filename", F_GetSaveFilename, 2},
    {"get_open_filename_ext", F_GetOpenFilenameExt, 4},
    {"get_save_filename_ext", F_GetSaveFilenameExt, 4},
    {"get_directory", F_GetDirectory, 1},
    {"get_directory_alt", F_GetDirectoryAlt, 2},
};
static_assert(sizeof kRows / sizeof kRows[0] == 65, "the group's dialog rows");

} // namespace

void InitFunctions_InteractionDialogs() { Register(kRows); }

void InitFunctions_DialogActions() { Function_Add("action_highscore_clear", A_HighscoreClear, 0); }
