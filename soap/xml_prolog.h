// A check of a document's prolog made before the document reaches a reader that cannot be
// trusted to refuse document type declarations by itself.
#pragma once

#include <cstddef>

// True when the document (UTF-8, or UTF-16 with or without byte-order mark) starts, after
// optional white space, XML declaration, processing instructions and comments, with its root
// element. False for a document type declaration (or any other "<!" markup) in the prolog, for
// anything that is not markup before the root, and for an unterminated prolog.
bool IsPlainXmlProlog(const char* data, size_t length);
