// A socket whose peer is a script: linked into fuzz targets in place of the real socket.
#pragma once

#include <cstddef>
#include <cstdint>

// The bytes the peer sends, and the sizes of the successive receives (0: an empty receive).
void ScriptSocket(const uint8_t* data, size_t size, const uint8_t* receiveSizes, size_t receiveSizeCount);
