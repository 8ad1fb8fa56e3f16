// Fills the world's hooks (Files/World/World_Hooks.h) with the modules beside it: sprites and
// their collision masks, backgrounds, surfaces and primitives (graphic resources), the particle
// systems (drawn by depth, updated once a step, emptied and reset with rooms and games), the input
// layer (keys, buttons, the keyboard and mouse variables, joystick events), the physics layer
// (worlds and bodies), gives the event built-ins the world's dispatch and the compiler the
// names of sprites, backgrounds and fonts. Run at start-up by Run_Global_Init; tests replace
// the hooks afterwards.
//
// Needs: the sprite, background, surface, drawing and particle modules, the input layer, the
// physics layer, the event built-ins. No Linux/ file.
#include "Files/Background/Background_Main.h"
#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Debug/Debug_Main.h"
#include "Files/Debug/Debug_Overlay.h"
#include "Files/Extension/Extension.h"
#include "Files/Font/Font_Main.h"
#include "Files/Function/Function_Gamepad.h"
#include "Files/Function/Function_Interaction.h"
#include "Files/Function/Function_Misc.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Joystick.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Motion/Motion.h"
#include "Files/Networking/Network.h"
#include "Files/Networking/Network_Builtins.h"
#include "Files/Networking/OnlineServices.h"
#include "Files/Networking/Steam.h"
#include "Files/Object/Event.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Physics/Physics.h"
#include "Files/Run/Run_Main.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Sound/Sound_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/World/World_Hooks.h"

namespace {

bool SpriteInfo(int32_t index, WorldSpriteInfo* info)
{
    if (!Sprite_Exists(index)) return false;
    const CSprite* s = Sprite_Data(index);
    if (!s) return false;
    *info = WorldSpriteInfo{s->width,    s->height,   s->xOrigin,    s->yOrigin, s->bboxLeft,
                            s->bboxTop,  s->bboxRight, s->bboxBottom, s->frameCount, uint8_t(s->precise ? 1 : 0)};
    return true;
}

SpriteBox Box(const WorldMaskPlacement* p) { return SpriteBox{p->bboxLeft, p->bboxTop, p->bboxRight, p->bboxBottom}; }

bool MaskPoint(const WorldMaskPlacement* p, int32_t x, int32_t y)
{
    const CSprite* s = Sprite_Data(p->sprite);
    return s && s->CheckPointCollision(p->frame, Box(p), p->x, p->y, p->xscale, p->yscale, p->angle, x, y);
}

bool MaskRectangle(const WorldMaskPlacement* p, int32_t l, int32_t t, int32_t r, int32_t b)
{
    const CSprite* s = Sprite_Data(p->sprite);
    return s && s->CheckMaskCollision(p->frame, Box(p), p->x, p->y, p->xscale, p->yscale, p->angle, SpriteBox{l, t, r, b});
}

bool MaskEllipse(const WorldMaskPlacement* p, int32_t l, int32_t t, int32_t r, int32_t b)
{
    const CSprite* s = Sprite_Data(p->sprite);
    return s && s->CheckEllipseCollision(p->frame, Box(p), p->x, p->y, p->xscale, p->yscale, p->angle, SpriteBox{l, t, r, b});
}

bool MaskLine(const WorldMaskPlacement* p, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const CSprite* s = Sprite_Data(p->sprite);
    return s && s->CheckLineCollision(p->frame, Box(p), p->x, p->y, p->xscale, p->yscale, p->angle, x1, y1, x2, y2);
}

bool MaskSprite(const WorldMaskPlacement* a, const WorldMaskPlacement* b)
{
    const CSprite* sa = Sprite_Data(a->sprite);
    const CSprite* sb = Sprite_Data(b->sprite);
    return sa && sb &&
           sa->CheckSpriteCollision(a->frame, Box(a), a->x, a->y, a->xscale, a->yscale, a->angle, sb, b->frame, Box(b), b->x,
                                    b->y, b->xscale, b->yscale, b->angle);
}

void SpriteDraw(int32_t sprite, int32_t frame, float x, float y, float xs, float ys, float angle, uint32_t blend, float alpha)
{
    if (const CSprite* s = Sprite_Data(sprite)) s->Draw(frame, x, y, xs, ys, angle, blend, alpha);
}

void SpriteDrawSimple(int32_t sprite, int32_t frame, float x, float y)
{
    if (const CSprite* s = Sprite_Data(sprite)) s->DrawSimple(frame, x, y);
}

bool BackgroundSize(int32_t index, int32_t* w, int32_t* h)
{
    if (!Background_Exists(index)) return false;
    const CBackground* b = Background_Data(index);
    *w = b->GetWidth();
    *h = b->GetHeight();
    return true;
}

void BackgroundDrawTiled(int32_t index, float x, float y, float xs, float ys, bool ht, bool vt, float l, float t, float w,
                         float h, uint32_t blend, float alpha)
{
    if (const CBackground* b = Background_Data(index)) b->DrawTiled(x, y, xs, ys, ht, vt, l, t, w, h, blend, alpha);
}

void BackgroundDrawPart(int32_t index, float l, float t, float w, float h, float x, float y, float xs, float ys,
                        uint32_t blend, float alpha)
{
    if (const CBackground* b = Background_Data(index)) b->DrawPart(l, t, w, h, x, y, xs, ys, blend, alpha);
}

void* SurfaceTexture(int32_t id) { return GR_Texture_GetPage(GR_Surface_GetTexture(id)); }

void DrawLineStrip(const float* xy, int32_t n)
{
    GR_Draw_PrimitiveBegin(3, -1);
    for (int32_t k = 0; k < n; ++k) GR_Draw_Vertex(xy[2 * k], xy[2 * k + 1]);
    GR_Draw_PrimitiveEnd();
}

void FireJoystick(int32_t n) { Run_MouseEvent(n, false); }

// The virtual buttons that are shown, in the overlay's drawing state.
void DrawVirtualButtons()
{
    if (!IO_VirtualButton_AnyShown()) return;
    Overlay_Begin();
    IO_VirtualButton_DrawAll();
    Overlay_End();
}

// Key names of options.ini: the built-in constants ("VK_...", "MB_...").
bool KeyConstant(const char* name, int32_t* value)
{
    const ScriptValue* v = Code_Constant_Find(name);
    if (!v || v->kind != VALUE_REAL) return false;
    *value = Real_TruncToInt32(v->real);
    return true;
}

void CurrentEvent(int32_t* object, int32_t* type, int32_t* number)
{
    const EventState& st = Event_State();
    *object = st.object;
    *type = st.type;
    *number = st.number;
}

} // namespace

void World_InstallServiceHooks(WorldHooks& h)
{
    h.servicesStep = OnlineServices_Step;
    h.servicesPoll = [] {
        Network_PollAll();
        Steam_RunCallbacks();
    };
    h.servicesAsync = [] {
        IAP_ProcessEvents();
        OnlineServices_RunQueuedCallbacks();
    };
    h.extensionsStart = Extension_RunInitFunctions;
    h.extensionsEnd = Extension_RunFinalFunctions;
}

void World_InstallDefaultHooks()
{
    WorldHooks& h = World_Hooks();
    h = WorldHooks();
    h.spriteInfo = SpriteInfo;
    h.spriteDraw = SpriteDraw;
    h.spriteDrawSimple = SpriteDrawSimple;
    h.spriteName = Sprite_GetName;
    h.motionGridsFree = Motion_Grid_FreeAll;
    h.audioUpdate = Audio_Update;
    h.maskPoint = MaskPoint;
    h.maskRectangle = MaskRectangle;
    h.maskEllipse = MaskEllipse;
    h.maskLine = MaskLine;
    h.maskSprite = MaskSprite;
    h.backgroundSize = BackgroundSize;
    h.backgroundDrawTiled = BackgroundDrawTiled;
    h.backgroundDrawPart = BackgroundDrawPart;
    h.surfaceExists = GR_Surface_Exists;
    h.surfaceTexture = SurfaceTexture;
    h.drawLineStrip = DrawLineStrip;
    h.particleMaxDepth = ParticleSystem_MaxDepth;
    h.particleNextDepthBelow = ParticleSystem_NextDepthBelow;
    h.particleDrawAtDepth = ParticleSystem_DrawAtDepth;
    h.particleUpdateAll = ParticleSystem_UpdateAll;
    h.effectClear = Effect_Clear;
    h.particleResetAll = Particle_ResetAll;
    h.inputUpdate = IO_Update;
    h.inputClear = IO_Clear;
    h.keyDown = IO_KeyDown;
    h.keyPressed = IO_KeyPressed;
    h.keyReleased = IO_KeyReleased;
    h.mouseDown = [](int32_t b) { return IO_MouseButtonDown(b, 0); };
    h.mousePressed = [](int32_t b) { return IO_MouseButtonPressed(b, 0); };
    h.mouseReleased = [](int32_t b) { return IO_MouseButtonReleased(b, 0); };
    h.wheelUp = [] { return IO_MouseWheelUp(0); };
    h.wheelDown = [] { return IO_MouseWheelDown(0); };
    h.joystickFireEvents = [] { Joystick_PollEvents(FireJoystick); };
    h.getCurrentKey = IO_GetCurrentKey;
    h.getLastKey = IO_GetLastKey;
    h.setCurrentKey = IO_SetCurrentKey;
    h.setLastKey = IO_SetLastKey;
    h.getLastChar = [] { return uint32_t(IO_GetLastChar()); };
    h.setLastChar = [](uint32_t c) { IO_SetLastChar(uint16_t(c)); };
    h.getKeyboardString = IO_GetKeyboardString;
    h.setKeyboardString = IO_SetKeyboardString;
    h.getMouseButton = [] { return IO_GetMouseButton(0); };
    h.getMouseLastButton = [] { return IO_GetMouseLastButton(0); };
    h.setMouseButton = [](int32_t b) { IO_SetMouseButton(b, 0); };
    h.setMouseLastButton = [](int32_t b) { IO_SetMouseLastButton(b, 0); };
    h.virtualButtonsClear = IO_VirtualButton_ClearAll;
    h.virtualButtonsDraw = DrawVirtualButtons;
    IO_SetKeyNameLookup(KeyConstant);
    Debug_InstallHooks(h);
    World_InstallServiceHooks(h);
    Physics_InstallHooks(h);
    static const EventDispatchHooks events = {PerformEvent, CurrentEvent};
    Function_Misc_SetEventHooks(&events);
    // Sprite, background and font names, for the compiler's constants (source-mode games).
    Code_Constant_SetResourceFinder(RESOURCE_SPRITE, Sprite_Find);
    Code_Constant_SetResourceFinder(RESOURCE_BACKGROUND, Background_Find);
    Code_Constant_SetResourceFinder(RESOURCE_FONT, Font_Find);
    Code_Constant_SetResourceFinder(RESOURCE_SOUND, Sound_Find);
    Code_Constant_SetResourceFinder(RESOURCE_AUDIO, Audio_Find);
}

void InitZBLFunctions()
{
    // The groups register once per process (a second game file read in the same process, as
    // the tests and the fuzz target do, must not add every row again); the lines are logged
    // each time.
    static bool registered = false;
    const bool first = !registered;
    registered = true;
    Console_Output("HighScore..");
    if (first) InitFunctions_HighScore(); // the table is loaded once the save area is known
    Console_Output("Game..");
    if (first) InitFunctions_Game();
    Console_Output("Math..");
    if (first) InitFunctions_Math();
    Console_Output("Graphic..");
    if (first) InitFunctions_Graphic();
    Console_Output("Action..");
    if (first) InitFunctions_Action();
    Console_Output("File..");
    if (first) InitFunctions_File();
    Console_Output("Resource..");
    if (first) InitFunctions_Resource();
    Console_Output("Interaction..");
    if (first) InitFunctions_Interaction();
    Console_Output("3D..");
    if (first) InitFunctions_3D();
    Console_Output("Particle..");
    if (first) InitFunctions_Particle();
    Console_Output("Misc..");
    if (first) InitFunctions_Misc();
    Console_Output("DS..");
    if (first) InitFunctions_DS();
    Console_Output("Sound..");
    if (first) InitFunctions_Sound();
    Console_Output("DPlay..");
    if (first) InitFunctions_DPlay();
    Console_Output("Physics..");
    if (first) InitFunctions_Physics();
    Console_Output("Gamepad..");
    if (first) InitFunctions_Gamepad();
    Console_Output("Buffers..");
    if (first) InitFunctions_Buffers();
    Console_Output("Networking..");
    if (first) InitFunctions_Networking();
    if (first) InitFunctions_Steam();
    Console_Output("Kovrin..");
    if (first) InitFunctions_Kovrin();
    if (first) InitFunctions_Store();
    if (first) InitFunctions_Tile();
    Console_Output("Fini\n");
}

void Runner_InitConstants()
{
    Code_Constant_Init();
    OnlineServices_RegisterConstants();
}
