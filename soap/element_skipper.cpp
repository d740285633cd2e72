#include "soap/element_skipper.h"

HResult CElementSkipper::Begin(CSaxReader* reader, ISaxHandler* parent) {
  if (!reader || !parent) return kE_POINTER;
  m_reader = reader;
  m_parent = parent;
  m_depth = 0;
  return reader->SetContentHandler(this);
}

void CElementSkipper::Reset() {
  m_reader = nullptr;
  m_parent = nullptr;
  m_depth = 0;
}

HResult CElementSkipper::StartElement(std::u16string_view, std::u16string_view, std::u16string_view,
                                      const ISaxAttributes&) {
  ++m_depth;
  return kS_OK;
}

HResult CElementSkipper::EndElement(std::u16string_view, std::u16string_view, std::u16string_view) {
  if (m_depth > 0) {
    --m_depth;
    return kS_OK;
  }
  ISaxHandler* parent = m_parent;
  CSaxReader* reader = m_reader;
  if (!parent || !reader) return kE_FAIL;
  m_parent = nullptr;
  m_reader = nullptr;
  return reader->SetContentHandler(parent);
}
