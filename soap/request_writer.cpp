#include "soap/request_writer.h"

#include <cstring>
#include <string_view>

#include "soap/body_writer.h"
#include "soap/soap_values.h"
#include "soap/value_encoding.h"

namespace {

constexpr std::string_view kEnvelopeStart =
    "<soap:Envelope"
    " xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
constexpr std::string_view kEnvelopeEnd = "</soap:Body></soap:Envelope>";
constexpr std::string_view kNilEnd = " xsi:nil=\"1\"/>";

// Types whose value is a counted UTF-16 string written as escaped text.
bool IsTextType(int32_t type) {
  return type == kXsdString || type == 5 || (type >= 8 && type <= 22) || (type >= 36 && type <= 43);
}

// The argument record with its size: every value is copied out through a bounds check, and
// by memcpy, since a record offset need not suit the value's alignment.
class CRecord {
 public:
  CRecord(const void* data, uint32_t size) : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}
  template <typename T>
  bool Load(uint32_t offset, T* value) const {
    if (offset > m_size || m_size - offset < sizeof(T)) return false;
    std::memcpy(value, m_data + offset, sizeof(T));
    return true;
  }

 private:
  const unsigned char* m_data;
  uint32_t m_size;
};

bool IsWritten(const ParameterDescriptor& entry) {
  const bool wanted = (entry.flags & kSoapIn) != 0 || (entry.flags & kSoapOut) == 0;
  return wanted && (entry.flags & kSoapNoMarshal) == 0;
}

// Writes the value of one entry after its start tag ("<name" and attributes): either the
// nil form or ">" + text + end tag. A value the writer cannot produce fails with kE_FAIL.
void WriteEntryValue(const CBodyWriter& writer, const ParameterDescriptor& entry, const CRecord& record,
                     CXmlOut* x) {
  if (entry.flags & kSoapFixedArray) return x->Fail(kE_FAIL);
  if (entry.flags & kSoapDynArray) {
    // Only the absent array has a wire form here.
    const void* items = nullptr;
    if (!record.Load(entry.offset, &items)) return x->Fail(kE_FAIL);
    if (items) return x->Fail(kE_FAIL);
    return x->Raw(kNilEnd);
  }
  if (entry.type == kXsdNested || entry.nested) return x->Fail(kE_FAIL);

  if (IsTextType(entry.type)) {
    SoapString s{};
    if (!record.Load(entry.offset, &s)) return x->Fail(kE_FAIL);
    if (!s.data) return x->Raw(kNilEnd);
    x->Raw(">");
    if (x->Ok()) x->Check(WriteEscapedString(std::u16string_view(s.data, s.length), x->Stream()));
    return writer.EndEntry(entry, x);
  }
  if (entry.type == kXsdBase64Binary || entry.type == kXsdHexBinary) {
    SoapBlob b{};
    if (!record.Load(entry.offset, &b)) return x->Fail(kE_FAIL);
    if (!b.data) return x->Raw(kNilEnd);
    x->Raw(">");
    if (x->Ok()) {
      x->Check(entry.type == kXsdBase64Binary ? WriteBase64(b.data, b.size, x->Stream())
                                              : WriteHexBinary(b.data, b.size, x->Stream()));
    }
    return writer.EndEntry(entry, x);
  }

  HResult hr = kE_FAIL;
  switch (entry.type) {
    case kXsdBoolean: {
      uint8_t v = 0;
      if (!record.Load(entry.offset, &v)) return x->Fail(kE_FAIL);
      x->Raw(">");
      if (x->Ok()) hr = WriteBoolean(v, x->Stream());
      break;
    }
    case kXsdInt: {
      int32_t v = 0;
      if (!record.Load(entry.offset, &v)) return x->Fail(kE_FAIL);
      x->Raw(">");
      if (x->Ok()) hr = WriteInt(v, x->Stream());
      break;
    }
    case kXsdFloat: {
      float v = 0;
      if (!record.Load(entry.offset, &v)) return x->Fail(kE_FAIL);
      x->Raw(">");
      if (x->Ok()) hr = WriteFloat(v, x->Stream());
      break;
    }
    case kXsdDouble: {
      double v = 0;
      if (!record.Load(entry.offset, &v)) return x->Fail(kE_FAIL);
      x->Raw(">");
      if (x->Ok()) hr = WriteDouble(v, x->Stream());
      break;
    }
    default:
      // decimal, the unbounded and the sized integer types other than int: no record form.
      return x->Fail(kE_FAIL);
  }
  if (x->Ok()) x->Check(hr);
  writer.EndEntry(entry, x);
}

void WriteEntries(const CBodyWriter& writer, const OperationDescriptor& table, const CRecord& record, CXmlOut* x) {
  if (!table.entries) return;
  for (const ParameterDescriptor* e = table.entries; e->nameHash != 0 && x->Ok(); ++e) {
    if (!IsWritten(*e)) continue;
    writer.StartEntry(table, *e, x);
    if (x->Ok()) WriteEntryValue(writer, *e, record, x);
  }
}

size_t CountInEntries(const OperationDescriptor& table) {
  size_t count = 0;
  if (!table.entries) return 0;
  for (const ParameterDescriptor* e = table.entries; e->nameHash != 0; ++e) {
    if (e->flags & kSoapIn) ++count;
  }
  return count;
}

}  // namespace

// Header entries take their values from the same argument record as the operation's entries.
HResult GenerateRequest(const OperationDescriptor& operation, const OperationDescriptor* headerSet,
                        const void* record, IWriteStream* out) {
  if (!out || !record) return kE_POINTER;
  if (operation.kind != kSoapOperation) return kE_FAIL;
  if (headerSet && headerSet->kind != kSoapHeaderSet) return kE_FAIL;
  const CBodyWriter* writer = CBodyWriter::ForCallStyle(operation.callStyle);
  if (!writer) return kE_FAIL;
  const CRecord values(record, operation.recordSize);
  const bool rpcEncoded = IsRpcEncoded(operation.callStyle);

  CXmlOut x(out);
  x.Raw(kEnvelopeStart);

  if (headerSet && CountInEntries(*headerSet) > 0) {
    x.Raw("<soap:Header");
    if (!rpcEncoded) {
      std::string_view ns;
      if (!TableText(headerSet->ns, headerSet->nsLength, &ns)) return kE_FAIL;
      x.Attribute("xmlns", ns);
    }
    x.Raw(">");
    WriteEntries(*writer, *headerSet, values, &x);
    x.Raw("</soap:Header>");
  }

  writer->StartBody(&x);
  const bool wrapped = (operation.callStyle & kSoapBare) == 0;
  if (wrapped) writer->StartWrapper(operation, &x);
  WriteEntries(*writer, operation, values, &x);
  if (wrapped) writer->EndWrapper(operation, &x);
  x.Raw(kEnvelopeEnd);
  return x.Status();
}
