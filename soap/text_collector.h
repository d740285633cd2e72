// Takes the reader over for one element and gathers its whole content as text: nested markup is
// rebuilt as start and end tags, text is kept as it arrived. When the element ends, the parent
// gets the text in one Characters event followed by the element's EndElement.
#pragma once

#include <cstddef>
#include <string>

#include "soap/sax_handler_base.h"

class CTextCollector : public CSaxHandlerBase {
 public:
  // The body itself is capped at 64 MiB; rebuilt markup can be longer than its source, so the
  // text gets a cap of its own (in UTF-16 code units).
  static constexpr size_t kDefaultLimit = size_t{64} << 20;

  void SetLimit(size_t codeUnits) { m_limit = codeUnits; }

  // Called from the parent's StartElement for the element to gather: from now on `reader`
  // delivers the element's content here.
  HResult Begin(CSaxReader* reader, ISaxHandler* parent);
  // Drops what was gathered (after a parse that stopped inside the element).
  void Reset();
  bool Active() const { return m_parent != nullptr; }

  HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                       const ISaxAttributes& attributes) override;
  HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) override;
  HResult Characters(std::u16string_view text) override;

 private:
  HResult Append(std::u16string_view text);

  CSaxReader* m_reader = nullptr;
  ISaxHandler* m_parent = nullptr;
  size_t m_depth = 0;
  size_t m_limit = kDefaultLimit;
  std::u16string m_text;
};
