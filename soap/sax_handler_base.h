// Base of every response handler: each event does nothing and succeeds, so a handler overrides
// only the events it needs. Unlike a pure COM design the handlers are plain C++ objects; on
// Windows one adapter object carries the COM content-handler interface for all of them.
#pragma once

#include "soap/sax.h"

class CSaxHandlerBase : public ISaxHandler {
 public:
  CSaxHandlerBase() = default;
  virtual ~CSaxHandlerBase() = default;
  CSaxHandlerBase(const CSaxHandlerBase&) = delete;
  CSaxHandlerBase& operator=(const CSaxHandlerBase&) = delete;
};
