// The event interface every response handler implements, and the reader that drives it.
// Windows: the MSXML SAX reader through COM; elsewhere expat. Both refuse DTDs.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "soap/result_code.h"

struct SaxAttribute {
  std::u16string_view uri;
  std::u16string_view localName;
  std::u16string_view qName;
  std::u16string_view value;
};

class ISaxAttributes {
 public:
  virtual int Count() const = 0;
  virtual SaxAttribute Get(int index) const = 0;
  // Value of the attribute with this namespace URI and local name; false when absent.
  bool Find(std::u16string_view uri, std::u16string_view localName, std::u16string_view* value) const;

 protected:
  ~ISaxAttributes() = default;
};

// Events arrive in document order. A failing result stops the parse.
class ISaxHandler {
 public:
  virtual HResult StartDocument() { return kS_OK; }
  virtual HResult EndDocument() { return kS_OK; }
  virtual HResult StartPrefixMapping(std::u16string_view prefix, std::u16string_view uri) { return kS_OK; }
  virtual HResult EndPrefixMapping(std::u16string_view prefix) { return kS_OK; }
  virtual HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                               const ISaxAttributes& attributes) {
    return kS_OK;
  }
  virtual HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) {
    return kS_OK;
  }
  // Text may arrive in several pieces for one run of character data.
  virtual HResult Characters(std::u16string_view text) { return kS_OK; }

 protected:
  ~ISaxHandler() = default;
};

class CSaxReader {
 public:
  virtual ~CSaxReader() = default;
  // Creates the platform's reader (COM must be initialised on Windows). Failure: the creation's code.
  static HResult Create(std::unique_ptr<CSaxReader>* reader);
  // Sets the handler that receives the next events; may be called from inside an event,
  // which is how a handler hands the reader to a helper and takes it back.
  virtual HResult SetContentHandler(ISaxHandler* handler) = 0;
  virtual ISaxHandler* ContentHandler() const = 0;
  // Parses one whole document held in memory.
  virtual HResult Parse(const char* data, size_t length) = 0;
};
