// The world's hook table and the sprite and background facts read through it
// (Files/World/World_Hooks.h).
#include "Files/World/World_Hooks.h"

namespace {
WorldHooks g_hooks;
} // namespace

WorldHooks& World_Hooks() { return g_hooks; }

bool World_SpriteInfo(int32_t sprite, WorldSpriteInfo* info)
{
    return g_hooks.spriteInfo && g_hooks.spriteInfo(sprite, info);
}

bool World_SpriteExists(int32_t sprite)
{
    WorldSpriteInfo s{};
    return World_SpriteInfo(sprite, &s);
}

bool World_BackgroundSize(int32_t background, int32_t* width, int32_t* height)
{
    return g_hooks.backgroundSize && g_hooks.backgroundSize(background, width, height);
}
