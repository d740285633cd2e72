// A JPEG decoder for the pictures cameras and phones write: sequential Huffman coding (SOF0,
// SOF1), 8-bit samples, one component (grey) or three interleaved (YCbCr, or RGB as Adobe
// marks it), any whole-number sampling factors, restart intervals. It decodes at 1/1, 1/2, 1/4
// or 1/8 of the picture's size by a reduced inverse DCT over the lowest coefficients (at 1/8
// only the DC coefficient of each block), and hands the rows to a sink as they are made, so
// memory stays at one row of blocks. Other kinds (progressive, arithmetic, 12-bit, CMYK) answer
// kUnsupported for the platform's decoder to take over.
#pragma once

#include "photo/byte_source.h"
#include "photo/image.h"

namespace photo {

// The side of a picture decoded at 1/denominator, rounded up.
inline int ScaledSide(int side, int denominator) { return (side + denominator - 1) / denominator; }

// Decodes the JPEG that starts at the source's position 0 at 1/denominator (1, 2, 4 or 8).
// Before anything is allocated for pixels, a picture whose data cannot hold its declared
// number of blocks (every block takes at least two bits) is refused as damaged. Looks at `stop`
// (may be null) after every row of blocks.
PhotoStatus DecodeJpeg(ByteSource& source, int denominator, RowSink& sink, const StopFlag* stop);

}  // namespace photo
