#include "soap/fault_parser.h"

#include <memory>
#include <new>

#include "soap/descriptors.h"

namespace {

constexpr char16_t kEnvelopeNs[] = u"http://schemas.xmlsoap.org/soap/envelope/";

enum FaultLevel : uint32_t {
  kLevelEnvelope = 1,
  kLevelBody = 2,
  kLevelHeader = 2,
  kLevelFault = 4,
  kLevelCode = 8,
  kLevelString = 16,
  kLevelActor = 32,
  kLevelDetail = 64,
  kLevelSkipping = 256,
};
constexpr uint32_t kFieldLevels = kLevelCode | kLevelString | kLevelActor | kLevelDetail;

uint32_t NameHash(std::u16string_view name) {
  uint32_t h = 0;
  for (char16_t c : name) h = h * 33u + c;
  return h;
}

struct LevelName {
  uint32_t hash;
  std::u16string_view name;
  uint32_t level;
};

const LevelName kLevels[] = {
    {SoapNameHash("Envelope"), u"Envelope", kLevelEnvelope},
    {SoapNameHash("Body"), u"Body", kLevelBody},
    {SoapNameHash("Header"), u"Header", kLevelHeader},
    {SoapNameHash("Fault"), u"Fault", kLevelFault},
    {SoapNameHash("faultcode"), u"faultcode", kLevelCode},
    {SoapNameHash("faultstring"), u"faultstring", kLevelString},
    {SoapNameHash("faultactor"), u"faultactor", kLevelActor},
    {SoapNameHash("detail"), u"detail", kLevelDetail},
};

struct CodeName {
  std::u16string_view name;
  int32_t code;
};

const CodeName kCodes[] = {
    {u"VersionMismatch", kFaultVersionMismatch},
    {u"MustUnderstand", kFaultMustUnderstand},
    {u"Client", kFaultClient},
    {u"Server", kFaultServer},
};

uint32_t LevelOf(std::u16string_view localName) {
  const uint32_t hash = NameHash(localName);
  for (const LevelName& entry : kLevels) {
    if (entry.hash == hash && entry.name == localName) return entry.level;
  }
  return 0;
}

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

HResult CFaultParser::Parse(CSaxReader* reader, const char* data, size_t length, SoapFaultInfo* fault) {
  if (!fault) return kE_POINTER;
  fault->Clear();
  std::unique_ptr<CSaxReader> own;
  if (!reader) {
    HResult hr = CSaxReader::Create(&own);
    if (Failed(hr)) return hr;
    reader = own.get();
  }
  m_reader = reader;
  m_fault = fault;
  HResult hr = reader->SetContentHandler(this);
  if (Succeeded(hr)) hr = reader->Parse(data, length);
  reader->SetContentHandler(nullptr);
  m_collector.Reset();
  m_skipper.Reset();
  m_reader = nullptr;
  m_fault = nullptr;
  return hr;
}

HResult CFaultParser::StartDocument() {
  m_envelopePrefix.clear();
  m_prefixKnown = false;
  m_level = 0;
  m_read = 0;
  m_gathering = 0;
  return kS_OK;
}

HResult CFaultParser::StartPrefixMapping(std::u16string_view prefix, std::u16string_view uri) {
  if (uri == kEnvelopeNs) {
    m_envelopePrefix.assign(prefix.data(), prefix.size());
    m_prefixKnown = true;
  }
  return kS_OK;
}

HResult CFaultParser::StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                                   const ISaxAttributes& attributes) {
  if (!m_reader || !m_fault) return kE_FAIL;
  const uint32_t level = LevelOf(localName);
  if (level == 0) {
    // Anything else is tolerated only once the fault has shown fields of its own.
    if ((m_read & kFieldLevels) == 0) return kE_FAIL;
    return m_skipper.Begin(m_reader, this);
  }
  if ((level & kFieldLevels) != 0) {
    m_gathering = level;
    return m_collector.Begin(m_reader, this);
  }
  // Envelope, Body, Header and Fault: in the envelope namespace, each one deeper than the last.
  if (uri != kEnvelopeNs || level <= m_level) return kE_FAIL;
  m_level = level;
  return kS_OK;
}

HResult CFaultParser::EndElement(std::u16string_view, std::u16string_view, std::u16string_view) {
  m_gathering = 0;  // the gathered field, if any, has ended
  return kS_OK;
}

HResult CFaultParser::Characters(std::u16string_view text) {
  if (!m_fault) return kE_FAIL;
  const uint32_t field = m_gathering;
  m_gathering = 0;
  std::u16string* target = nullptr;
  switch (field) {
    case kLevelCode:
      if ((m_read & kLevelCode) != 0) return kS_OK;  // only the first code counts
      return ReadFaultCode(text);
    case kLevelString:
      target = &m_fault->faultString;
      break;
    case kLevelActor:
      target = &m_fault->faultActor;
      break;
    case kLevelDetail:
      target = &m_fault->detail;
      break;
    default:
      return kS_OK;  // text between the envelope's elements
  }
  if ((m_read & field) != 0) return kE_FAIL;
  m_read |= field;
  target->assign(text.data(), text.size());
  return kS_OK;
}

HResult CFaultParser::ReadFaultCode(std::u16string_view text) {
  size_t start = 0;
  while (start < text.size() && IsXmlSpace(text[start])) ++start;
  text.remove_prefix(start);
  const size_t colon = text.find(u':');
  if (colon == std::u16string_view::npos) return kE_FAIL;
  if (!m_prefixKnown || text.substr(0, colon) != m_envelopePrefix) return kE_FAIL;
  const std::u16string_view name = text.substr(colon + 1);
  m_fault->code = kFaultNone;
  for (const CodeName& code : kCodes) {
    if (code.name == name) m_fault->code = code.code;
  }
  if ((m_read & kLevelString) == 0) m_fault->codeText.assign(name.data(), name.size());
  m_read |= kLevelCode;
  return kS_OK;
}

HResult ParseFault(CSaxReader* reader, const char* data, size_t length, SoapFaultInfo* fault) {
  try {
    CFaultParser parser;
    return parser.Parse(reader, data, length, fault);
  } catch (const std::bad_alloc&) {
    return kE_OUTOFMEMORY;
  }
}
