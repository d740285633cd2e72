#include "soap/text_collector.h"

namespace {
// Large buffers are not kept between elements; small ones are, to spare allocations.
constexpr size_t kKeptCapacity = 64 * 1024;
}  // namespace

HResult CTextCollector::Begin(CSaxReader* reader, ISaxHandler* parent) {
  if (!reader || !parent) return kE_POINTER;
  m_reader = reader;
  m_parent = parent;
  m_depth = 0;
  m_text.clear();
  return reader->SetContentHandler(this);
}

void CTextCollector::Reset() {
  m_reader = nullptr;
  m_parent = nullptr;
  m_depth = 0;
  if (m_text.capacity() > kKeptCapacity) {
    std::u16string().swap(m_text);
  } else {
    m_text.clear();
  }
}

HResult CTextCollector::Append(std::u16string_view text) {
  if (text.size() > m_limit - m_text.size()) return kE_OUTOFMEMORY;
  m_text.append(text.data(), text.size());
  return kS_OK;
}

HResult CTextCollector::StartElement(std::u16string_view uri, std::u16string_view localName,
                                     std::u16string_view qName, const ISaxAttributes& attributes) {
  ++m_depth;
  HResult hr = Append(u"<");
  if (Succeeded(hr)) hr = Append(qName);
  const int count = attributes.Count();
  for (int i = 0; i < count && Succeeded(hr); ++i) {
    SaxAttribute attribute = attributes.Get(i);
    hr = Append(u" ");
    if (Succeeded(hr)) hr = Append(attribute.qName);
    if (Succeeded(hr)) hr = Append(u"=\"");
    if (Succeeded(hr)) hr = Append(attribute.value);
    if (Succeeded(hr)) hr = Append(u"\"");
  }
  if (Succeeded(hr)) hr = Append(u">");
  return hr;
}

HResult CTextCollector::EndElement(std::u16string_view uri, std::u16string_view localName,
                                   std::u16string_view qName) {
  if (m_depth > 0) {
    --m_depth;
    HResult hr = Append(u"</");
    if (Succeeded(hr)) hr = Append(qName);
    if (Succeeded(hr)) hr = Append(u">");
    return hr;
  }
  // The gathered element itself ends: hand the reader and the text back.
  ISaxHandler* parent = m_parent;
  CSaxReader* reader = m_reader;
  if (!parent || !reader) return kE_FAIL;
  m_parent = nullptr;
  m_reader = nullptr;
  HResult hr = reader->SetContentHandler(parent);
  if (Succeeded(hr)) hr = parent->Characters(m_text);
  if (Succeeded(hr)) hr = parent->EndElement(uri, localName, qName);
  if (m_text.capacity() > kKeptCapacity) {
    std::u16string().swap(m_text);
  } else {
    m_text.clear();
  }
  return hr;
}

HResult CTextCollector::Characters(std::u16string_view text) { return Append(text); }
