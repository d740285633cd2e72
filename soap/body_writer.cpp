#include "soap/body_writer.h"

namespace {

constexpr std::string_view kSoapEncodingNamespace = "http://schemas.xmlsoap.org/soap/encoding/";

// The element name an entry is written under, without any prefix.
bool EntryLocalName(const ParameterDescriptor& entry, std::string_view* name) {
  if (entry.flags & kSoapRetVal) {
    *name = "return";
    return true;
  }
  return TableText(entry.name, entry.nameLength, name) && !name->empty();
}

bool OperationName(const OperationDescriptor& operation, std::string_view* name) {
  return TableText(operation.requestName, operation.requestNameLength, name) && !name->empty();
}

}  // namespace

void CXmlOut::Raw(std::string_view text) {
  if (Ok() && !text.empty()) m_hr = m_out->Write(text.data(), text.size());
}

void CXmlOut::Attribute(std::string_view name, std::string_view value) {
  Raw(" ");
  Raw(name);
  Raw("=\"");
  size_t start = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char* entity = nullptr;
    switch (value[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      default: continue;
    }
    Raw(value.substr(start, i - start));
    Raw(entity);
    start = i + 1;
  }
  Raw(value.substr(start));
  Raw("\"");
}

bool TableText(const char* text, int32_t length, std::string_view* out) {
  if (length < 0 || (!text && length != 0)) return false;
  *out = text ? std::string_view(text, static_cast<size_t>(length)) : std::string_view();
  return true;
}

void CBodyWriter::StartBody(CXmlOut* out) const { out->Raw("<soap:Body>"); }

void CBodyWriter::StartEntry(const OperationDescriptor& operation, const ParameterDescriptor& entry,
                             CXmlOut* out) const {
  std::string_view name, ns;
  if (!EntryLocalName(entry, &name) || !TableText(entry.ns, entry.nsLength, &ns)) return out->Fail(kE_FAIL);
  out->Raw("<");
  if (!ns.empty()) out->Raw("snp:");
  out->Raw(name);
  if (!ns.empty()) out->Attribute("xmlns:snp", ns);
  if (entry.flags & kSoapMustUnderstand) out->Attribute("soap:mustUnderstand", "1");
}

void CBodyWriter::EndEntry(const ParameterDescriptor& entry, CXmlOut* out) const {
  std::string_view name, ns;
  if (!EntryLocalName(entry, &name) || !TableText(entry.ns, entry.nsLength, &ns)) return out->Fail(kE_FAIL);
  // An entry opened as "snp:" + name must close under the same qualified name.
  out->Raw("</");
  if (!ns.empty()) out->Raw("snp:");
  out->Raw(name);
  out->Raw(">");
}

const CBodyWriter* CBodyWriter::ForCallStyle(uint32_t callStyle) {
  static const CRpcEncodedWriter rpcEncoded;
  static const CWrappedWriter wrapped;
  static const CBareWriter bare;
  if (IsRpcEncoded(callStyle)) return &rpcEncoded;
  if (callStyle & kSoapWrapped) return &wrapped;
  if (callStyle & kSoapDocument) return &bare;
  return nullptr;
}

void CDocLiteralWriter::StartWrapper(const OperationDescriptor& operation, CXmlOut* out) const {
  std::string_view name, ns;
  if (!OperationName(operation, &name) || !TableText(operation.ns, operation.nsLength, &ns)) {
    return out->Fail(kE_FAIL);
  }
  out->Raw("<");
  out->Raw(name);
  out->Attribute("xmlns", ns);
  out->Raw(">");
}

void CDocLiteralWriter::EndWrapper(const OperationDescriptor& operation, CXmlOut* out) const {
  std::string_view name;
  if (!OperationName(operation, &name)) return out->Fail(kE_FAIL);
  out->Raw("</");
  out->Raw(name);
  out->Raw(">");
}

void CBareWriter::StartEntry(const OperationDescriptor& operation, const ParameterDescriptor& entry,
                             CXmlOut* out) const {
  CDocLiteralWriter::StartEntry(operation, entry, out);
  std::string_view ns;
  if (!TableText(operation.ns, operation.nsLength, &ns)) return out->Fail(kE_FAIL);
  out->Attribute("xmlns", ns);
}

void CRpcEncodedWriter::StartBody(CXmlOut* out) const {
  out->Raw("<soap:Body");
  out->Attribute("soap:encodingStyle", kSoapEncodingNamespace);
  out->Raw(">");
}

void CRpcEncodedWriter::StartWrapper(const OperationDescriptor& operation, CXmlOut* out) const {
  std::string_view name, ns;
  if (!OperationName(operation, &name) || !TableText(operation.ns, operation.nsLength, &ns)) {
    return out->Fail(kE_FAIL);
  }
  out->Raw("<snp:");
  out->Raw(name);
  out->Attribute("xmlns:snp", ns);
  out->Raw(">");
}

void CRpcEncodedWriter::EndWrapper(const OperationDescriptor& operation, CXmlOut* out) const {
  std::string_view name;
  if (!OperationName(operation, &name)) return out->Fail(kE_FAIL);
  out->Raw("</snp:");
  out->Raw(name);
  out->Raw(">");
}
