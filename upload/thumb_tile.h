// The photo list's tiles: 80 x 55 pixels, 24-bit, made on any thread. A photo's tile is white
// with the photo upright in it, its shape kept: a photo higher in proportion than the tile fills
// its height and is centred across, any other fills its width and is centred down.
#pragma once

#include <windows.h>

#include <string>

#include "photo/image.h"

constexpr int kTileWidth = 80;
constexpr int kTileHeight = 55;

// White with a 1-pixel frame of RGB(132,29,22) and the NO PHOTO bitmap (resource 10005) centred.
HBITMAP MakePlaceholderTile();

// The tile of a photo file; null when the file cannot be read as a picture or `stop` was
// raised meanwhile. A picture below 2 pixels across or down gives a white tile.
HBITMAP MakePhotoTile(const std::wstring& path, const photo::StopFlag* stop);
