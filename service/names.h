// Rules for the texts that clients send: lengths in UTF-16 code units, names that become
// folder or file names inside the data folder, piece names, and booleans.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fotrel::service {

// Longest file or folder name the service accepts, in UTF-8 bytes.
constexpr size_t kMaxNameBytes = 255;

// UTF-16 code units of a UTF-8 text (characters beyond the basic plane count twice).
size_t Utf16Length(std::string_view utf8);
bool IsValidUtf8(std::string_view text);

enum class NameProblem { kNone, kEmpty, kTooLong, kSeparator, kDotDot, kControl, kBadText };
// Whether `name` can be used as one component of a path inside the data folder.
NameProblem CheckName(std::string_view name);
// "is empty", "is longer than 255 bytes", ...; follows the parameter's name in a message.
const char* Describe(NameProblem problem);

// The piece number of a piece name "N.jpg" with N from 0 to 20 written without leading zeros;
// -1 for any other text.
int PieceIndex(std::string_view pieceName);
constexpr int kMaxPieceIndex = 20;

// The k-th alternative of a name that is taken: "200815349.jpg" gives "200815349-1.jpg" for
// k = 1. The stem is shortened (on a character boundary) so that the result stays within 255
// bytes.
std::string AlternativeName(std::string_view name, unsigned k);

// xsd:boolean: "true", "false", "1", "0", with surrounding XML white space.
bool ParseBoolean(std::string_view text, bool* value);

// A text safe for a one-line log: control characters (C0, DEL, C1) and bytes that are not
// UTF-8 become \xHH escapes; at most `maxBytes` of input are shown.
std::string LogSafe(std::string_view text, size_t maxBytes = 200);

}  // namespace fotrel::service
