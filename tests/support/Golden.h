// Golden images: a picture compared with a PNG file under tests/data/, each channel within a
// tolerance so that a Mesa upgrade that rounds differently does not fail the suite while any
// larger difference does; ZB_UPDATE_GOLDEN=1 writes the picture over the golden file instead
// (look at it before committing). And the OpenGL device the golden scenes are drawn on (Mesa
// llvmpipe without a display, SDL_VIDEODRIVER=offscreen), read back whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// tests/data/<relative>.
std::string Golden_DataPath(const std::string& relative);

// Compares w x h pixels (0xAARRGGBB words, as the device reads them back) with the PNG
// tests/data/<golden>: red, green and blue, and alpha too with withAlpha (else the file gets
// alpha 255). "" when they match, else what differs (the picture is then written to the test
// temp folder, and the message says where).
std::string Golden_Compare(const std::vector<uint32_t>& pixels, int32_t w, int32_t h, const std::string& golden,
                           int tolerance = 2, bool withAlpha = false);
// The same for a PNG file (red, green and blue).
std::string Golden_CompareFile(const std::string& picture, const std::string& golden, int tolerance = 2);

// Starts the OpenGL device on a w x h window with the graphics layer's state reset; false
// when no OpenGL context can be made (a suite then skips). For SetUpTestSuite.
bool GoldenDevice_Open(int32_t w, int32_t h);
// Stops it, frees every texture and resets the graphics layer. For TearDownTestSuite.
void GoldenDevice_Close();
// The back buffer after the batch is flushed (w x h words; empty when it cannot be read).
std::vector<uint32_t> GoldenDevice_Read(int32_t w, int32_t h);
