// The SAX reader on Windows: the MSXML 6.0 SAX reader through COM. One adapter object carries the
// COM content-handler interface and forwards every event to the reader's current handler, so
// handlers can pass the reader to a helper and take it back in the middle of a parse.
#include <new>
#include <vector>

#include "soap/body_read_stream_win.h"
#include "soap/msxml_sax_win.h"
#include "soap/sax.h"
#include "soap/xml_prolog.h"

namespace {

// Response bodies are capped at 64 MiB before they get here; anything larger is refused whole.
constexpr size_t kMaxDocument = size_t{64} << 20;

std::u16string_view View(const wchar_t* text, int length) {
  if (!text || length <= 0) return std::u16string_view();
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
}

bool IsNamespaceDeclaration(const wchar_t* qName, int length) {
  static const wchar_t kXmlns[] = L"xmlns";
  if (!qName || length < 5) return false;
  for (int i = 0; i < 5; ++i) {
    if (qName[i] != kXmlns[i]) return false;
  }
  return length == 5 || qName[5] == L':';
}

// The attributes of one element as MSXML reports them, less namespace declarations: those reach
// the handlers as prefix mappings only, as with every other reader.
class CComSaxAttributes final : public ISaxAttributes {
 public:
  explicit CComSaxAttributes(ISAXAttributes* attributes) : m_attributes(attributes) {
    int count = 0;
    if (!m_attributes || FAILED(m_attributes->getLength(&count)) || count < 0) return;
    m_count = count;
    for (int i = 0; i < count; ++i) {
      const wchar_t* qName = nullptr;
      int length = 0;
      if (SUCCEEDED(m_attributes->getQName(i, &qName, &length)) && IsNamespaceDeclaration(qName, length)) {
        m_skipped.push_back(i);
      }
    }
  }

  int Count() const override { return m_count - static_cast<int>(m_skipped.size()); }

  SaxAttribute Get(int visible) const override {
    SaxAttribute attribute;
    if (!m_attributes || visible < 0 || visible >= Count()) return attribute;
    // Map the visible index to MSXML's, stepping over the declarations before it.
    int index = visible;
    for (int skipped : m_skipped) {
      if (skipped <= index) ++index;
    }
    const wchar_t* uri = nullptr;
    const wchar_t* local = nullptr;
    const wchar_t* qName = nullptr;
    const wchar_t* value = nullptr;
    int uriLength = 0, localLength = 0, qNameLength = 0, valueLength = 0;
    if (FAILED(m_attributes->getName(index, &uri, &uriLength, &local, &localLength, &qName, &qNameLength)) ||
        FAILED(m_attributes->getValue(index, &value, &valueLength))) {
      return attribute;
    }
    attribute.uri = View(uri, uriLength);
    attribute.localName = View(local, localLength);
    attribute.qName = View(qName, qNameLength);
    attribute.value = View(value, valueLength);
    return attribute;
  }

 private:
  ISAXAttributes* m_attributes;
  int m_count = 0;
  std::vector<int> m_skipped;
};

class CContentAdapter final : public ISAXContentHandler {
 public:
  void SetTarget(ISaxHandler* target) { m_target = target; }
  ISaxHandler* Target() const { return m_target; }
  void ResetFailure() { m_failure = S_OK; }
  HResult Failure() const { return m_failure; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidSaxContentHandler)) {
      *object = static_cast<ISAXContentHandler*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  HRESULT STDMETHODCALLTYPE putDocumentLocator(ISAXLocator*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE startDocument() override {
    return Forward([&](ISaxHandler* h) { return h->StartDocument(); });
  }
  HRESULT STDMETHODCALLTYPE endDocument() override {
    return Forward([&](ISaxHandler* h) { return h->EndDocument(); });
  }
  HRESULT STDMETHODCALLTYPE startPrefixMapping(const wchar_t* prefix, int prefixLength, const wchar_t* uri,
                                               int uriLength) override {
    return Forward(
        [&](ISaxHandler* h) { return h->StartPrefixMapping(View(prefix, prefixLength), View(uri, uriLength)); });
  }
  HRESULT STDMETHODCALLTYPE endPrefixMapping(const wchar_t* prefix, int prefixLength) override {
    return Forward([&](ISaxHandler* h) { return h->EndPrefixMapping(View(prefix, prefixLength)); });
  }
  HRESULT STDMETHODCALLTYPE startElement(const wchar_t* uri, int uriLength, const wchar_t* local, int localLength,
                                         const wchar_t* qName, int qNameLength,
                                         ISAXAttributes* attributes) override {
    return Forward([&](ISaxHandler* h) {
      CComSaxAttributes list(attributes);
      return h->StartElement(View(uri, uriLength), View(local, localLength), View(qName, qNameLength), list);
    });
  }
  HRESULT STDMETHODCALLTYPE endElement(const wchar_t* uri, int uriLength, const wchar_t* local, int localLength,
                                       const wchar_t* qName, int qNameLength) override {
    return Forward([&](ISaxHandler* h) {
      return h->EndElement(View(uri, uriLength), View(local, localLength), View(qName, qNameLength));
    });
  }
  HRESULT STDMETHODCALLTYPE characters(const wchar_t* text, int length) override {
    if (!text || length <= 0) return Failed(m_failure) ? m_failure : S_OK;
    return Forward([&](ISaxHandler* h) { return h->Characters(View(text, length)); });
  }
  HRESULT STDMETHODCALLTYPE ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE processingInstruction(const wchar_t*, int, const wchar_t*, int) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE skippedEntity(const wchar_t*, int) override { return S_OK; }

 private:
  ~CContentAdapter() = default;

  // The first failure is kept and repeated for any later event, so the parse ends with it.
  template <typename Event>
  HRESULT Forward(Event event) {
    if (Failed(m_failure)) return m_failure;
    if (!m_target) {
      m_failure = E_POINTER;
      return m_failure;
    }
    HResult hr;
    try {
      hr = event(m_target);
    } catch (const std::bad_alloc&) {
      hr = kE_OUTOFMEMORY;
    } catch (...) {
      hr = kE_FAIL;
    }
    if (Failed(hr)) m_failure = hr;
    return hr;
  }

  LONG m_refs = 1;
  ISaxHandler* m_target = nullptr;
  HResult m_failure = S_OK;
};

class CMsxmlSaxReader final : public CSaxReader {
 public:
  CMsxmlSaxReader(ISAXXMLReader* reader, CContentAdapter* adapter) : m_reader(reader), m_adapter(adapter) {}
  ~CMsxmlSaxReader() override {
    m_reader->putContentHandler(nullptr);
    m_reader->Release();
    m_adapter->Release();
  }

  HResult SetContentHandler(ISaxHandler* handler) override {
    m_adapter->SetTarget(handler);
    return kS_OK;
  }
  ISaxHandler* ContentHandler() const override { return m_adapter->Target(); }

  HResult Parse(const char* data, size_t length) override {
    if (!m_adapter->Target()) return kE_POINTER;
    if (!data && length > 0) return kE_POINTER;
    if (length > kMaxDocument) return kE_INVALIDARG;
    // MSXML under Wine honours "prohibit-dtd" only for entity declarations: any document type
    // declaration is refused here before the reader sees the document.
    if (!IsPlainXmlProlog(data, length)) return kE_FAIL;
    CBodyReadStream* stream = new (std::nothrow) CBodyReadStream(data ? data : "", length);
    if (!stream) return kE_OUTOFMEMORY;
    m_adapter->ResetFailure();
    VARIANT input;
    VariantInit(&input);
    input.vt = VT_UNKNOWN;
    input.punkVal = static_cast<IUnknown*>(stream);
    HRESULT hr = m_reader->parse(input);
    stream->Release();
    // MSXML reports a handler's failure as that code or as E_FAIL; the handler's own code is
    // the more telling one.
    HResult failure = m_adapter->Failure();
    m_adapter->ResetFailure();
    if (Failed(failure)) return failure;
    if (FAILED(hr)) return static_cast<HResult>(hr);
    return kS_OK;
  }

 private:
  ISAXXMLReader* m_reader;
  CContentAdapter* m_adapter;
};

}  // namespace

HResult CSaxReader::Create(std::unique_ptr<CSaxReader>* reader) {
  if (!reader) return kE_POINTER;
  reader->reset();
  ISAXXMLReader* com = nullptr;
  HRESULT hr =
      CoCreateInstance(kClsidSaxXmlReader60, nullptr, CLSCTX_INPROC_SERVER, kIidSaxXmlReader, reinterpret_cast<void**>(&com));
  if (FAILED(hr)) return static_cast<HResult>(hr);
  if (!com) return kE_FAIL;
  // Responses never need a DTD, and refusing it rules out entity expansion attacks.
  wchar_t prohibitDtd[] = L"prohibit-dtd";
  hr = com->putFeature(prohibitDtd, VARIANT_TRUE);
  if (FAILED(hr)) {
    com->Release();
    return static_cast<HResult>(hr);
  }
  // Namespace declarations as prefix mappings only (the adapter filters them out as well, for
  // readers that ignore this feature).
  wchar_t namespacePrefixes[] = L"http://xml.org/sax/features/namespace-prefixes";
  com->putFeature(namespacePrefixes, VARIANT_FALSE);
  CContentAdapter* adapter = new (std::nothrow) CContentAdapter();
  if (!adapter) {
    com->Release();
    return kE_OUTOFMEMORY;
  }
  hr = com->putContentHandler(adapter);
  if (FAILED(hr)) {
    com->Release();
    adapter->Release();
    return static_cast<HResult>(hr);
  }
  reader->reset(new (std::nothrow) CMsxmlSaxReader(com, adapter));
  if (!*reader) {
    com->putContentHandler(nullptr);
    com->Release();
    adapter->Release();
    return kE_OUTOFMEMORY;
  }
  return kS_OK;
}
