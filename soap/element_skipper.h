// Takes the reader over for one element and swallows it with everything inside; the parent gets
// the reader back after the element's end, without seeing that end itself.
#pragma once

#include <cstddef>

#include "soap/sax_handler_base.h"

class CElementSkipper : public CSaxHandlerBase {
 public:
  // Called from the parent's StartElement for the element to skip.
  HResult Begin(CSaxReader* reader, ISaxHandler* parent);
  void Reset();
  bool Active() const { return m_parent != nullptr; }

  HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                       const ISaxAttributes& attributes) override;
  HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) override;

 private:
  CSaxReader* m_reader = nullptr;
  ISaxHandler* m_parent = nullptr;
  size_t m_depth = 0;
};
