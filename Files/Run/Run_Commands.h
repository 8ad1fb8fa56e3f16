// Run-time commands on instances and rooms: create, destroy and change instances, move them,
// ask where they are and whom they meet, and request room switches, the end or the restart of
// the game. The game built-ins and actions call these with their arguments converted.
//
// Target selectors: -3 all instances of the current room; 100000 and up one instance id;
// otherwise an object index (its instances and its descendants'). Candidates marked for
// deletion or deactivated are skipped; the queries return the first match in that order.
//
// Needs: the current room, instances, objects and events, the error reporter. No Linux/ file.
#pragma once

#include <cstdint>

class CInstance;

CInstance* Command_CreateInstance(int32_t object, float x, float y);
void Command_DestroyInstance(CInstance* instance);
void Command_ChangeInstance(CInstance* instance, int32_t object, bool performEvents);
void Command_SetSprite(CInstance* instance, int32_t sprite);
void Command_PositionDestroy(float x, float y);
void Command_PositionChange(float x, float y, int32_t object, bool performEvents);

void Command_GotoRoom(int32_t room);
void Command_RestartRoom();
void Command_GotoPreviousRoom();
void Command_GotoNextRoom();
void Command_EndGame();
void Command_RestartGame();
// The window's client area as drawn so far, written as a PNG file (mapped into the save area).
// An empty or null name reports "Trying to save screen to empty image file name." (not fatal).
bool Command_SaveScreen(const char* fileName);

CInstance* Command_CollisionPoint(CInstance* self, float x, float y, int32_t target, bool precise, bool notMe);
CInstance* Command_CollisionRectangle(CInstance* self, float x1, float y1, float x2, float y2, int32_t target,
                                      bool precise, bool notMe);
CInstance* Command_CollisionEllipse(CInstance* self, float x1, float y1, float x2, float y2, int32_t target,
                                    bool precise, bool notMe);
CInstance* Command_CollisionLine(CInstance* self, float x1, float y1, float x2, float y2, int32_t target, bool precise,
                                 bool notMe);
CInstance* Command_InstancePosition(float x, float y, int32_t target);
CInstance* Command_InstancePlace(CInstance* self, float x, float y, int32_t target);
bool Command_PositionMeeting(float x, float y, int32_t target);
bool Command_PlaceMeeting(CInstance* self, int32_t target, float x, float y);
bool Command_PlaceEmpty(CInstance* self, float x, float y);
bool Command_PlaceFree(CInstance* self, float x, float y);
bool Command_PlaceFreeOrEmpty(CInstance* self, float x, float y, bool all);

int32_t Command_InstanceNumber(int32_t target);
CInstance* Command_InstanceNearest(float x, float y, int32_t target);
CInstance* Command_InstanceFurthest(float x, float y, int32_t target);

void Command_MoveSnap(CInstance* self, float hsnap, float vsnap);
void Command_MoveWrap(CInstance* self, bool horizontal, bool vertical);
void Command_MoveTowardsPoint(CInstance* self, float x, float y, float speed);
void Command_MoveContact(CInstance* self, float direction, float max, bool all);
void Command_MoveOutside(CInstance* self, float direction, float max, bool all);
void Command_MoveBounce(CInstance* self, bool precise, bool all);
