// The SAX reader outside Windows: expat, with namespace processing and prefixes reported, text
// converted from UTF-8 to UTF-16 for the handlers. Any document type declaration is refused, so
// no entity can be declared and expanded.
#include <expat.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "soap/sax.h"

namespace {

// Separates namespace URI, local name and prefix in the names expat reports. 0x01 cannot occur
// in an XML 1.0 document, and expat rejects a namespace URI that contains the separator.
constexpr char kNsSeparator = '\x01';
// Response bodies are capped at 64 MiB before they get here; anything larger is refused whole.
constexpr size_t kMaxDocument = size_t{64} << 20;
// expat takes int lengths: the document is fed in pieces.
constexpr size_t kFeedBlock = size_t{1} << 20;

// Appends the UTF-16 form of UTF-8 text that expat has already validated.
void AppendUtf16(std::u16string* out, const char* s, size_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  const unsigned char* end = p + length;
  while (p < end) {
    unsigned c = *p;
    uint32_t cp;
    size_t n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if (c < 0xE0) {
      cp = c & 0x1F;
      n = 2;
    } else if (c < 0xF0) {
      cp = c & 0x0F;
      n = 3;
    } else {
      cp = c & 0x07;
      n = 4;
    }
    if (static_cast<size_t>(end - p) < n) break;  // cannot happen with validated input
    for (size_t i = 1; i < n; ++i) cp = (cp << 6) | (p[i] & 0x3F);
    p += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
  }
}

// A name as expat reports it: "local", "uri SEP local" or "uri SEP local SEP prefix".
struct SplitName {
  const char* uri = "";
  size_t uriLength = 0;
  const char* local = nullptr;
  size_t localLength = 0;
  const char* prefix = nullptr;
  size_t prefixLength = 0;
};

SplitName Split(const char* name) {
  SplitName split;
  const char* first = std::strchr(name, kNsSeparator);
  if (!first) {
    split.local = name;
    split.localLength = std::strlen(name);
    return split;
  }
  split.uri = name;
  split.uriLength = static_cast<size_t>(first - name);
  split.local = first + 1;
  const char* second = std::strchr(split.local, kNsSeparator);
  if (!second) {
    split.localLength = std::strlen(split.local);
    return split;
  }
  split.localLength = static_cast<size_t>(second - split.local);
  split.prefix = second + 1;
  split.prefixLength = std::strlen(split.prefix);
  return split;
}

class CExpatAttributes final : public ISaxAttributes {
 public:
  explicit CExpatAttributes(const std::vector<SaxAttribute>& items) : m_items(items) {}
  int Count() const override { return static_cast<int>(m_items.size()); }
  SaxAttribute Get(int index) const override {
    if (index < 0 || static_cast<size_t>(index) >= m_items.size()) return SaxAttribute{};
    return m_items[static_cast<size_t>(index)];
  }

 private:
  const std::vector<SaxAttribute>& m_items;
};

class CExpatSaxReader final : public CSaxReader {
 public:
  HResult SetContentHandler(ISaxHandler* handler) override {
    m_handler = handler;
    return kS_OK;
  }
  ISaxHandler* ContentHandler() const override { return m_handler; }
  HResult Parse(const char* data, size_t length) override;

 private:
  // Offsets of one name's parts inside m_names; views are made once all parts are appended.
  struct NameSpan {
    size_t uri, uriLength, local, localLength, qName, qNameLength;
  };
  struct AttributeSpan {
    NameSpan name;
    size_t value, valueLength;
  };

  NameSpan AppendName(const char* name);
  std::u16string_view View(size_t offset, size_t length) const {
    return std::u16string_view(m_names.data() + offset, length);
  }
  // Every event ends here: the first failure stops the parser, and later events (expat may
  // still deliver a few) are dropped.
  void Fail(HResult hr);
  bool Stopped() const { return Failed(m_failure); }

  // Runs one event against the handler; a failure or an exception stops the parse.
  template <typename Event>
  static void Deliver(void* self, Event event);
  static void XMLCALL OnStartElement(void* self, const XML_Char* name, const XML_Char** attributes);
  static void XMLCALL OnEndElement(void* self, const XML_Char* name);
  static void XMLCALL OnCharacters(void* self, const XML_Char* text, int length);
  static void XMLCALL OnStartNamespace(void* self, const XML_Char* prefix, const XML_Char* uri);
  static void XMLCALL OnEndNamespace(void* self, const XML_Char* prefix);
  static void XMLCALL OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);
  static void XMLCALL OnEntityDecl(void* self, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                   const XML_Char*, const XML_Char*, const XML_Char*);

  ISaxHandler* m_handler = nullptr;
  XML_Parser m_parser = nullptr;
  HResult m_failure = kS_OK;
  std::u16string m_names;  // the current event's names and values, UTF-16
  std::u16string m_text;
  std::vector<AttributeSpan> m_attributeSpans;
  std::vector<SaxAttribute> m_attributes;
};

void CExpatSaxReader::Fail(HResult hr) {
  if (Stopped()) return;
  m_failure = Failed(hr) ? hr : kE_FAIL;
  XML_StopParser(m_parser, XML_FALSE);
}

CExpatSaxReader::NameSpan CExpatSaxReader::AppendName(const char* name) {
  SplitName split = Split(name);
  NameSpan span{};
  span.uri = m_names.size();
  AppendUtf16(&m_names, split.uri, split.uriLength);
  span.uriLength = m_names.size() - span.uri;
  span.qName = m_names.size();
  if (split.prefix && split.prefixLength > 0) {
    AppendUtf16(&m_names, split.prefix, split.prefixLength);
    m_names.push_back(u':');
  }
  span.local = m_names.size();
  AppendUtf16(&m_names, split.local, split.localLength);
  span.localLength = m_names.size() - span.local;
  span.qNameLength = m_names.size() - span.qName;
  return span;
}

template <typename Event>
void CExpatSaxReader::Deliver(void* self, Event event) {
  auto* reader = static_cast<CExpatSaxReader*>(self);
  if (reader->Stopped()) return;
  if (!reader->m_handler) return reader->Fail(kE_POINTER);
  HResult hr;
  try {
    hr = event(*reader);
  } catch (const std::bad_alloc&) {
    hr = kE_OUTOFMEMORY;
  } catch (...) {
    hr = kE_FAIL;
  }
  if (Failed(hr)) reader->Fail(hr);
}

void XMLCALL CExpatSaxReader::OnStartElement(void* self, const XML_Char* name, const XML_Char** attributes) {
  Deliver(self, [&](CExpatSaxReader& r) {
    r.m_names.clear();
    r.m_attributeSpans.clear();
    NameSpan element = r.AppendName(name);
    for (const XML_Char** a = attributes; a[0]; a += 2) {
      AttributeSpan span{};
      span.name = r.AppendName(a[0]);
      span.value = r.m_names.size();
      AppendUtf16(&r.m_names, a[1], std::strlen(a[1]));
      span.valueLength = r.m_names.size() - span.value;
      r.m_attributeSpans.push_back(span);
    }
    r.m_attributes.clear();
    for (const AttributeSpan& span : r.m_attributeSpans) {
      r.m_attributes.push_back(SaxAttribute{r.View(span.name.uri, span.name.uriLength),
                                            r.View(span.name.local, span.name.localLength),
                                            r.View(span.name.qName, span.name.qNameLength),
                                            r.View(span.value, span.valueLength)});
    }
    CExpatAttributes list(r.m_attributes);
    return r.m_handler->StartElement(r.View(element.uri, element.uriLength),
                                     r.View(element.local, element.localLength),
                                     r.View(element.qName, element.qNameLength), list);
  });
}

void XMLCALL CExpatSaxReader::OnEndElement(void* self, const XML_Char* name) {
  Deliver(self, [&](CExpatSaxReader& r) {
    r.m_names.clear();
    NameSpan element = r.AppendName(name);
    return r.m_handler->EndElement(r.View(element.uri, element.uriLength), r.View(element.local, element.localLength),
                                   r.View(element.qName, element.qNameLength));
  });
}

void XMLCALL CExpatSaxReader::OnCharacters(void* self, const XML_Char* text, int length) {
  if (length <= 0) return;
  Deliver(self, [&](CExpatSaxReader& r) {
    r.m_text.clear();
    AppendUtf16(&r.m_text, text, static_cast<size_t>(length));
    return r.m_handler->Characters(r.m_text);
  });
}

void XMLCALL CExpatSaxReader::OnStartNamespace(void* self, const XML_Char* prefix, const XML_Char* uri) {
  Deliver(self, [&](CExpatSaxReader& r) {
    // The default namespace comes as a null prefix, xmlns="" as a null URI: both read as empty.
    r.m_names.clear();
    if (prefix) AppendUtf16(&r.m_names, prefix, std::strlen(prefix));
    const size_t prefixLength = r.m_names.size();
    if (uri) AppendUtf16(&r.m_names, uri, std::strlen(uri));
    return r.m_handler->StartPrefixMapping(r.View(0, prefixLength),
                                           r.View(prefixLength, r.m_names.size() - prefixLength));
  });
}

void XMLCALL CExpatSaxReader::OnEndNamespace(void* self, const XML_Char* prefix) {
  Deliver(self, [&](CExpatSaxReader& r) {
    r.m_names.clear();
    if (prefix) AppendUtf16(&r.m_names, prefix, std::strlen(prefix));
    return r.m_handler->EndPrefixMapping(r.m_names);
  });
}

void XMLCALL CExpatSaxReader::OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  static_cast<CExpatSaxReader*>(self)->Fail(kE_FAIL);
}

void XMLCALL CExpatSaxReader::OnEntityDecl(void* self, const XML_Char*, int, const XML_Char*, int,
                                           const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
  static_cast<CExpatSaxReader*>(self)->Fail(kE_FAIL);
}

HResult CExpatSaxReader::Parse(const char* data, size_t length) {
  if (!m_handler) return kE_POINTER;
  if (!data && length > 0) return kE_POINTER;
  if (length > kMaxDocument) return kE_INVALIDARG;

  m_parser = XML_ParserCreateNS(nullptr, kNsSeparator);
  if (!m_parser) return kE_OUTOFMEMORY;
  m_failure = kS_OK;
  XML_SetUserData(m_parser, this);
  XML_SetReturnNSTriplet(m_parser, XML_TRUE);
  XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
  XML_SetElementHandler(m_parser, OnStartElement, OnEndElement);
  XML_SetCharacterDataHandler(m_parser, OnCharacters);
  XML_SetNamespaceDeclHandler(m_parser, OnStartNamespace, OnEndNamespace);
  XML_SetStartDoctypeDeclHandler(m_parser, OnDoctype);
  XML_SetEntityDeclHandler(m_parser, OnEntityDecl);

  HResult hr = kS_OK;
  try {
    hr = m_handler->StartDocument();
  } catch (...) {
    hr = kE_FAIL;
  }
  size_t offset = 0;
  while (Succeeded(hr)) {
    size_t piece = length - offset < kFeedBlock ? length - offset : kFeedBlock;
    bool last = offset + piece == length;
    XML_Status status =
        XML_Parse(m_parser, data ? data + offset : "", static_cast<int>(piece), last ? XML_TRUE : XML_FALSE);
    if (Stopped()) {
      hr = m_failure;
    } else if (status != XML_STATUS_OK) {
      hr = kE_FAIL;  // not well-formed
    }
    offset += piece;
    if (last) break;
  }
  if (Succeeded(hr) && m_handler) {
    try {
      hr = m_handler->EndDocument();
    } catch (...) {
      hr = kE_FAIL;
    }
  }
  XML_ParserFree(m_parser);
  m_parser = nullptr;
  m_names.clear();
  m_text.clear();
  m_attributes.clear();
  m_attributeSpans.clear();
  return hr;
}

}  // namespace

HResult CSaxReader::Create(std::unique_ptr<CSaxReader>* reader) {
  if (!reader) return kE_POINTER;
  reader->reset(new (std::nothrow) CExpatSaxReader());
  return *reader ? kS_OK : kE_OUTOFMEMORY;
}
