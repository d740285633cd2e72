// The root response handler: reads a response envelope into the current argument record, driven
// by the same operation tables the request writer uses.
#include "soap/soap_handler.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "soap/element_skipper.h"
#include "soap/request_writer.h"
#include "soap/soap_values.h"
#include "soap/text_collector.h"
#include "soap/value_encoding.h"

namespace {

constexpr char16_t kEnvelopeNs[] = u"http://schemas.xmlsoap.org/soap/envelope/";
constexpr char16_t kXsiNs[] = u"http://www.w3.org/2001/XMLSchema-instance";
constexpr HResult kE_NOTIMPL = static_cast<HResult>(0x80004001u);

// A scalar (boolean, number) has a few characters; white space around a number is allowed, so
// the text is bounded generously but bounded.
constexpr size_t kMaxScalarText = 64 * 1024;
constexpr size_t kMaxEntries = 4096;
constexpr size_t kMaxMultiRefs = 65536;

enum ParseState {
  kBeforeEnvelope = 0,
  kInEnvelope = 1,
  kInHeader = 2,
  kInBody = 3,
  kInResponse = 4,
  kAfterHeader = 7,
};

// Text types travel like strings; base64Binary is gathered the same way.
bool IsTextType(int32_t type) {
  return type == kXsdString || type == kXsdDuration || (type >= 8 && type <= 22) || (type >= 36 && type <= 43);
}

bool IsResultEntry(const ParameterDescriptor& entry) {
  return (entry.flags & kSoapOut) != 0 || (entry.flags & kSoapIn) == 0;
}

bool IsNested(const ParameterDescriptor& entry) { return entry.type == kXsdNested || entry.nested != nullptr; }

// Size of the field a value of this entry occupies in its record; 0 when the type is not read.
size_t FieldSize(const ParameterDescriptor& entry) {
  if (IsNested(entry)) return entry.nested ? entry.nested->recordSize : 0;
  if (IsTextType(entry.type)) return sizeof(SoapString);
  switch (entry.type) {
    case kXsdBoolean:
      return sizeof(uint8_t);
    case kXsdInt:
      return sizeof(int32_t);
    case kXsdFloat:
      return sizeof(float);
    case kXsdDouble:
      return sizeof(double);
    case kXsdBase64Binary:
      return sizeof(SoapBlob);
    default:
      return 0;
  }
}

uint32_t NameHash(std::u16string_view name) {
  uint32_t h = 0;
  for (char16_t c : name) h = h * 33u + c;
  return h;
}

bool NameIs(std::u16string_view name, std::u16string_view expected) {
  return name.size() == expected.size() && NameHash(name) == NameHash(expected) && name == expected;
}

// Index of the result entry (Out, or lacking In) with this local name; -1 when none.
int FindResultEntry(const OperationDescriptor& table, std::u16string_view localName) {
  if (!table.entries) return -1;
  const uint32_t hash = NameHash(localName);
  for (size_t i = 0; i < kMaxEntries && table.entries[i].nameHash != 0; ++i) {
    const ParameterDescriptor& entry = table.entries[i];
    if (!IsResultEntry(entry)) continue;
    if (entry.nameHash != hash || entry.nameLength < 0 || static_cast<size_t>(entry.nameLength) != localName.size()) {
      continue;
    }
    if (entry.wname && std::u16string_view(entry.wname, localName.size()) == localName) return static_cast<int>(i);
  }
  return -1;
}

// Number of entries, or -1 when the list is not ended or an entry does not fit its record.
int CountEntries(const OperationDescriptor& table) {
  if (!table.entries) return -1;
  size_t i = 0;
  for (; table.entries[i].nameHash != 0; ++i) {
    if (i >= kMaxEntries) return -1;
    const ParameterDescriptor& entry = table.entries[i];
    size_t size = FieldSize(entry);
    if (entry.offset > table.recordSize || size > table.recordSize - entry.offset) {
      if (IsResultEntry(entry)) return -1;
    }
  }
  return static_cast<int>(i);
}

}  // namespace

struct CSoapHandler::State {
  enum class Mode {
    kNone,
    kScalar,     // a non-string scalar: text accumulated, converted at the element's end
    kCollected,  // a string or binary value: the collector hands the whole text back
    kNil,        // xsi:nil true: the value stays absent
    kReference,  // href: the value comes with the element of that id
    kMultiRef,   // an element with an id, after the response element
    kDone,       // the gathered value is stored; its element's end follows
  };

  struct ValueContext {
    const OperationDescriptor* table;
    char* record;
    uint32_t recordSize;
    size_t depth;  // depth of the element that opened the context
    uint32_t read;
    uint32_t expected;
    std::vector<bool> seen;
    bool response;
  };

  // Where a value goes.
  struct Target {
    const ParameterDescriptor* entry;
    char* record;
    uint32_t recordSize;
  };

  struct MultiRef {
    bool hasValue = false;
    std::u16string text;
    std::vector<Target> waiting;
  };

  // A block of the memory manager and the field of the call record that points at it.
  struct Allocation {
    void* block;
    char* callRecord;
    char* field;
    bool blob;
  };

  // The call.
  const OperationDescriptor* operation = nullptr;
  const OperationDescriptor* headerSet = nullptr;
  char* record = nullptr;

  // The parse.
  CSaxReader* reader = nullptr;
  int state = kBeforeEnvelope;
  size_t depth = 0;
  bool noChild = false;
  bool textExpected = false;
  bool responseDone = false;
  std::vector<ValueContext> contexts;
  Mode mode = Mode::kNone;
  Target target{};
  std::u16string scalarText;
  std::u16string multiRefId;
  std::map<std::u16string, MultiRef> multiRefs;
  CTextCollector collector;
  CElementSkipper skipper;

  std::vector<Allocation> allocations;

  void ResetParse() {
    state = kBeforeEnvelope;
    depth = 0;
    noChild = false;
    textExpected = false;
    responseDone = false;
    contexts.clear();
    mode = Mode::kNone;
    target = Target{};
    scalarText.clear();
    multiRefId.clear();
    multiRefs.clear();
  }

  void* Allocate(size_t bytes, char* field, bool blob) {
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) return nullptr;
    try {
      allocations.push_back(Allocation{block, record, field, blob});
    } catch (...) {
      std::free(block);
      return nullptr;
    }
    return block;
  }

  void FreeAll() {
    for (const Allocation& a : allocations) {
      // Zero the field only while its record is the current one and still points at the block.
      if (a.callRecord && a.callRecord == record) {
        if (a.blob) {
          SoapBlob blob;
          std::memcpy(&blob, a.field, sizeof(blob));
          if (blob.data == a.block) std::memset(a.field, 0, sizeof(blob));
        } else {
          SoapString text;
          std::memcpy(&text, a.field, sizeof(text));
          if (text.data == a.block) std::memset(a.field, 0, sizeof(text));
        }
      }
      std::free(a.block);
    }
    allocations.clear();
  }

  HResult Store(const Target& to, std::u16string_view text);
  HResult AddReference(std::u16string_view id, const Target& to);
  HResult ResolveMultiRef(std::u16string_view text);
  HResult CloseContext();
  HResult ReadResult(ISaxHandler* self, std::u16string_view localName, const ISaxAttributes& attributes);
};

HResult CSoapHandler::State::Store(const Target& to, std::u16string_view text) {
  const ParameterDescriptor& entry = *to.entry;
  const size_t size = FieldSize(entry);
  if (size == 0) return kE_NOTIMPL;
  if (entry.offset > to.recordSize || size > to.recordSize - entry.offset) return kE_FAIL;
  char* field = to.record + entry.offset;

  if (IsTextType(entry.type)) {
    if (text.size() >= UINT32_MAX) return kE_OUTOFMEMORY;
    auto* data = static_cast<char16_t*>(Allocate((text.size() + 1) * sizeof(char16_t), field, false));
    if (!data) return kE_OUTOFMEMORY;
    std::copy(text.begin(), text.end(), data);
    data[text.size()] = 0;
    SoapString value{data, static_cast<uint32_t>(text.size())};
    std::memcpy(field, &value, sizeof(value));
    return kS_OK;
  }
  switch (entry.type) {
    case kXsdBase64Binary: {
      size_t bytes = Base64DecodedSize(text);
      if (bytes > UINT32_MAX) return kE_OUTOFMEMORY;
      auto* data = static_cast<uint8_t*>(Allocate(bytes, field, true));
      if (!data) return kE_OUTOFMEMORY;
      DecodeBase64(text, data);
      SoapBlob value{static_cast<uint32_t>(bytes), data};
      std::memcpy(field, &value, sizeof(value));
      return kS_OK;
    }
    case kXsdBoolean: {
      bool value = false;
      if (!ReadBoolean(text, &value)) return kE_FAIL;
      uint8_t byte = value ? 1 : 0;
      std::memcpy(field, &byte, sizeof(byte));
      return kS_OK;
    }
    case kXsdInt: {
      int32_t value = 0;
      if (!ReadInt(text, &value)) return kE_FAIL;
      std::memcpy(field, &value, sizeof(value));
      return kS_OK;
    }
    case kXsdFloat: {
      float value = 0;
      if (!ReadFloat(text, &value)) return kE_FAIL;
      std::memcpy(field, &value, sizeof(value));
      return kS_OK;
    }
    case kXsdDouble: {
      double value = 0;
      if (!ReadDouble(text, &value)) return kE_FAIL;
      std::memcpy(field, &value, sizeof(value));
      return kS_OK;
    }
    default:
      return kE_NOTIMPL;
  }
}

HResult CSoapHandler::State::AddReference(std::u16string_view id, const Target& to) {
  auto found = multiRefs.find(std::u16string(id));
  if (found == multiRefs.end()) {
    if (multiRefs.size() >= kMaxMultiRefs) return kE_OUTOFMEMORY;
    found = multiRefs.emplace(std::u16string(id), MultiRef{}).first;
  }
  if (found->second.hasValue) return Store(to, found->second.text);
  found->second.waiting.push_back(to);
  return kS_OK;
}

HResult CSoapHandler::State::ResolveMultiRef(std::u16string_view text) {
  auto found = multiRefs.find(multiRefId);
  if (found == multiRefs.end()) {
    if (multiRefs.size() >= kMaxMultiRefs) return kE_OUTOFMEMORY;
    found = multiRefs.emplace(multiRefId, MultiRef{}).first;
  }
  MultiRef& ref = found->second;
  if (ref.hasValue) return kE_FAIL;  // one value per id
  ref.hasValue = true;
  ref.text.assign(text.data(), text.size());
  for (const Target& to : ref.waiting) {
    HResult hr = Store(to, ref.text);
    if (Failed(hr)) return hr;
  }
  ref.waiting.clear();
  return kS_OK;
}

HResult CSoapHandler::State::CloseContext() {
  ValueContext& context = contexts.back();
  if (context.read < context.expected) {
    for (size_t i = 0; i < context.seen.size(); ++i) {
      const ParameterDescriptor& entry = context.table->entries[i];
      if (!IsResultEntry(entry) || context.seen[i]) continue;
      if ((entry.flags & (kSoapNullable | kSoapNoMarshal)) != 0 || IsNested(entry)) continue;
      return kE_FAIL;  // a result is missing
    }
  }
  if (context.response) responseDone = true;
  contexts.pop_back();
  return kS_OK;
}

HResult CSoapHandler::State::ReadResult(ISaxHandler* self, std::u16string_view localName,
                                        const ISaxAttributes& attributes) {
  if (contexts.empty()) {
    // After the response element only values referred to by href may follow.
    std::u16string_view id;
    if (!attributes.Find(u"", u"id", &id)) return kE_FAIL;
    multiRefId.assign(id.data(), id.size());
    mode = Mode::kMultiRef;
    return collector.Begin(reader, self);
  }
  ValueContext& context = contexts.back();
  int index = FindResultEntry(*context.table, localName);
  if (index < 0) return kE_FAIL;  // not a result of this operation
  if (context.seen[static_cast<size_t>(index)]) return kE_FAIL;
  context.seen[static_cast<size_t>(index)] = true;
  ++context.read;
  const ParameterDescriptor& entry = context.table->entries[index];
  const Target to{&entry, context.record, context.recordSize};

  std::u16string_view text;
  if (attributes.Find(kXsiNs, u"nil", &text)) {
    bool nil = false;
    if (!ReadBoolean(text, &nil)) return kE_FAIL;
    if (nil) {
      if ((entry.flags & kSoapNullable) == 0) return kE_FAIL;
      mode = Mode::kNil;
      target = to;
      noChild = true;
      return kS_OK;
    }
  }
  if ((entry.flags & (kSoapDynArray | kSoapFixedArray)) != 0) return kE_NOTIMPL;
  if (attributes.Find(u"", u"href", &text)) {
    if (text.empty() || text[0] != u'#' || IsNested(entry)) return kE_FAIL;
    mode = Mode::kReference;
    target = to;
    noChild = true;
    return AddReference(text.substr(1), to);
  }
  if (IsNested(entry)) {
    const OperationDescriptor* nested = entry.nested;
    int count = nested ? CountEntries(*nested) : -1;
    if (count < 0) return kE_FAIL;
    if (entry.offset > context.recordSize || nested->recordSize > context.recordSize - entry.offset) return kE_FAIL;
    uint32_t expected = 0;
    for (int i = 0; i < count; ++i) {
      if (IsResultEntry(nested->entries[i])) ++expected;
    }
    char* record = context.record + entry.offset;  // `context` is not used after the push
    contexts.push_back(ValueContext{nested, record, nested->recordSize, depth, 0, expected,
                                    std::vector<bool>(static_cast<size_t>(count)), false});
    return kS_OK;
  }
  if (FieldSize(entry) == 0) return kE_NOTIMPL;
  target = to;
  if (IsTextType(entry.type) || entry.type == kXsdBase64Binary) {
    mode = Mode::kCollected;
    return collector.Begin(reader, self);
  }
  mode = Mode::kScalar;
  noChild = true;
  textExpected = true;
  scalarText.clear();
  return kS_OK;
}

CSoapHandler::CSoapHandler() : m_state(new State()) {}

CSoapHandler::~CSoapHandler() {
  m_state->record = nullptr;  // the caller's record may be gone: only free
  m_state->FreeAll();
}

HResult CSoapHandler::BeginCall(int index, void* record) {
  State& s = *m_state;
  if (!record) return kE_POINTER;
  const OperationDescriptor* operation = OperationTable(index);
  if (!operation || CountEntries(*operation) < 0) return kE_FAIL;
  const OperationDescriptor* headerSet = HeaderTable(index);
  if (headerSet && CountEntries(*headerSet) < 0) return kE_FAIL;
  s.operation = operation;
  s.headerSet = headerSet;
  s.record = static_cast<char*>(record);
  s.ResetParse();
  return kS_OK;
}

HResult CSoapHandler::GenerateRequest(IWriteStream* out) {
  State& s = *m_state;
  if (!out) return kE_POINTER;
  if (!s.operation || !s.record) return kE_FAIL;
  return ::GenerateRequest(*s.operation, s.headerSet, s.record, out);
}

HResult CSoapHandler::ParseResponse(CSaxReader* reader, const char* data, size_t length) {
  State& s = *m_state;
  if (!reader) return kE_POINTER;
  if (!s.operation || !s.record) return kE_FAIL;
  s.FreeAll();
  s.ResetParse();
  s.reader = reader;
  HResult hr = reader->SetContentHandler(this);
  if (Succeeded(hr)) hr = reader->Parse(data, length);
  // A parse that stopped inside a gathered or skipped element leaves the helper installed.
  if (reader->ContentHandler() != this) reader->SetContentHandler(this);
  s.collector.Reset();
  s.skipper.Reset();
  if (Succeeded(hr)) {
    for (const auto& ref : s.multiRefs) {
      if (!ref.second.hasValue) hr = kE_FAIL;  // a reference to a value never given
    }
    // An envelope without the response element holds no results at all.
    if (!s.responseDone && s.operation->expectedResponseElements > 0) hr = kE_FAIL;
  }
  s.reader = nullptr;
  s.ResetParse();
  return hr;
}

void CSoapHandler::ReleaseResults() { m_state->FreeAll(); }

void CSoapHandler::EndCall() {
  State& s = *m_state;
  s.ResetParse();
  s.operation = nullptr;
  s.headerSet = nullptr;
  s.record = nullptr;
}

HResult CSoapHandler::StartDocument() {
  CSaxReader* reader = m_state->reader;
  m_state->ResetParse();
  m_state->reader = reader;
  return kS_OK;
}

HResult CSoapHandler::StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                                   const ISaxAttributes& attributes) {
  State& s = *m_state;
  if (!s.operation || !s.record || !s.reader) return kE_FAIL;
  // A scalar value holds no elements; a non-string scalar must have its text first.
  if (s.noChild || s.textExpected) return kE_FAIL;
  ++s.depth;

  switch (s.state) {
    case kBeforeEnvelope:
    case kInEnvelope:
    case kAfterHeader:
      if (uri != kEnvelopeNs) return kE_FAIL;
      if (NameIs(localName, u"Envelope")) {
        if (s.state != kBeforeEnvelope) return kE_FAIL;
        s.state = kInEnvelope;
      } else if (NameIs(localName, u"Header")) {
        if (s.state != kInEnvelope) return kE_FAIL;
        s.state = kInHeader;
      } else if (NameIs(localName, u"Body")) {
        if (s.state == kBeforeEnvelope) return kE_FAIL;
        s.state = kInBody;
      }
      return kS_OK;

    case kInHeader: {
      // Header values have no place in an argument record: an entry of the header set is passed
      // over like an unknown one, which fails only when it must be understood.
      int index = s.headerSet ? FindResultEntry(*s.headerSet, localName) : -1;
      if (index < 0) {
        std::u16string_view mustUnderstand;
        if (attributes.Find(kEnvelopeNs, u"mustUnderstand", &mustUnderstand) && mustUnderstand != u"0" &&
            mustUnderstand != u"false") {
          return kE_FAIL;
        }
      }
      --s.depth;  // the skipper swallows the element's end
      return s.skipper.Begin(s.reader, this);
    }

    case kInBody: {
      // The response element, whatever its name and namespace.
      const OperationDescriptor& operation = *s.operation;
      int count = CountEntries(operation);
      if (count < 0) return kE_FAIL;
      std::memset(s.record, 0, operation.recordSize);
      s.contexts.push_back(State::ValueContext{&operation, s.record, operation.recordSize, s.depth, 0,
                                               operation.expectedResponseElements,
                                               std::vector<bool>(static_cast<size_t>(count)), true});
      s.state = kInResponse;
      if ((operation.callStyle & kSoapBare) == 0) return kS_OK;
      // Bare: the element is also the first result.
      return s.ReadResult(this, localName, attributes);
    }

    case kInResponse:
      return s.ReadResult(this, localName, attributes);

    default:
      return kE_FAIL;
  }
}

HResult CSoapHandler::EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) {
  State& s = *m_state;
  // An empty non-string value (such as an empty boolean) has no value at all.
  if (s.textExpected) return kE_FAIL;
  if (s.depth == 0) return kE_FAIL;
  --s.depth;

  if (s.mode != State::Mode::kNone) {
    // The end of the value element itself: scalars were gathered in pieces and are read now.
    HResult hr = s.mode == State::Mode::kScalar ? s.Store(s.target, s.scalarText) : kS_OK;
    s.mode = State::Mode::kNone;
    s.target = State::Target{};
    s.noChild = false;
    s.scalarText.clear();
    if (Failed(hr)) return hr;
  }

  if (s.state == kInHeader) {
    if (uri != kEnvelopeNs || !NameIs(localName, u"Header")) return kE_FAIL;
    s.state = kAfterHeader;
    return kS_OK;
  }
  if (!s.contexts.empty() && s.depth < s.contexts.back().depth) return s.CloseContext();
  return kS_OK;
}

HResult CSoapHandler::Characters(std::u16string_view text) {
  State& s = *m_state;
  s.textExpected = false;
  switch (s.mode) {
    case State::Mode::kScalar:
      // Readers split text (at buffer ends, at character references): gather it whole.
      if (text.size() > kMaxScalarText - s.scalarText.size()) return kE_FAIL;
      s.scalarText.append(text.data(), text.size());
      return kS_OK;
    case State::Mode::kCollected: {
      HResult hr = s.Store(s.target, text);
      s.mode = State::Mode::kDone;
      return hr;
    }
    case State::Mode::kMultiRef: {
      HResult hr = s.ResolveMultiRef(text);
      s.mode = State::Mode::kDone;
      return hr;
    }
    default:
      return kS_OK;  // white space between elements, text of the envelope
  }
}
