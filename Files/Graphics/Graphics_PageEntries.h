// Texture-page entries of the loaded game file as native records. Sprites, backgrounds and
// fonts of the game file draw through TexturePageEntry records; the file holds them as 22-byte
// "TPAG" records, whose page field the texture chunk rewrites from a page index to a texture
// id. No pointer into the file image is kept: each entry a resource names is copied once into
// a record owned here (shared by every resource naming the same offset), and the page fields
// are read again once the texture chunk has been loaded.
//
// Records live until GR_FilePageEntries_Clear (the start of every game-file load, and
// shutdown); their addresses never change before then.
// Needs: the game-file reader (Files/Support/FileImage.h). No Linux/ file.
#pragma once

#include <cstdint>

#include "Files/Graphics/Graphics_Texture.h"

class FileImage;

enum : uint32_t { GR_PAGE_ENTRY_SIZE = 22 };

// The record for the entry at file offset `offset`; null when the 22 bytes do not lie in the
// image. The same offset always gives the same record.
TexturePageEntry* GR_FilePageEntry(const FileImage& image, uint32_t offset);
// Reads the page field of every record again (after the texture chunk rewrote them).
void GR_FilePageEntries_Refresh(const FileImage& image);
// True when the entry is one of the game file's records (not owned by a resource).
bool GR_FilePageEntries_Owns(const TexturePageEntry* entry);
// Frees every record.
void GR_FilePageEntries_Clear();
int32_t GR_FilePageEntries_Count();
