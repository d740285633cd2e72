// Building blocks of the two services' operation tables: every element in the one service
// namespace, document/literal/wrapped.
#pragma once

#include <cstddef>

#include "fotrel_config.h"
#include "soap/descriptors.h"

namespace service_tables {

constexpr uint32_t kStyle = kSoapDocument | kSoapLiteral | kSoapWrapped;  // 0xA800
constexpr uint32_t kInput = kSoapIn | kSoapNullable | kStyle;             // 0xAC01
constexpr uint32_t kResult = kSoapOut | kStyle;                           // 0xA802
constexpr const char* kNs = FOTREL_SERVICE_NAMESPACE;
constexpr const char16_t* kWideNs = FOTREL_SERVICE_NAMESPACE_W;

constexpr int32_t Length(const char* s) { return *s ? 1 + Length(s + 1) : 0; }
constexpr int32_t kNsLength = Length(FOTREL_SERVICE_NAMESPACE);
constexpr uint32_t kNsHash = SoapNameHash(FOTREL_SERVICE_NAMESPACE);

constexpr ParameterDescriptor Entry(const char* name, const char16_t* wname, int32_t type, uint32_t flags,
                                    size_t offset) {
  return ParameterDescriptor{SoapNameHash(name), name,    wname, Length(name), type,    flags, static_cast<uint32_t>(offset),
                             nullptr,            nullptr, -1,    0,            nullptr, nullptr, 0};
}

constexpr ParameterDescriptor kEnd{0, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, -1, 0, nullptr, nullptr, 0};

constexpr OperationDescriptor Table(int32_t kind, const char* request, const char16_t* response, const char* responseNarrow,
                                    const ParameterDescriptor* entries, size_t recordSize,
                                    uint32_t expectedResponseElements) {
  return OperationDescriptor{SoapNameHash(responseNarrow),
                             request,
                             response,
                             Length(request),
                             Length(responseNarrow),
                             kind,
                             entries,
                             static_cast<uint32_t>(recordSize),
                             expectedResponseElements,
                             -1,
                             kStyle,
                             kNsHash,
                             kNs,
                             kWideNs,
                             kNsLength};
}

// An operation's table and its header set (same names, no entries: no SOAP header is written).
constexpr OperationDescriptor Operation(const char* request, const char16_t* response, const char* responseNarrow,
                                        const ParameterDescriptor* entries, size_t recordSize) {
  return Table(kSoapOperation, request, response, responseNarrow, entries, recordSize, 1);
}
constexpr ParameterDescriptor kNoEntries[] = {kEnd};
constexpr OperationDescriptor HeaderSet(const char* request, const char16_t* response, const char* responseNarrow) {
  return Table(kSoapHeaderSet, request, response, responseNarrow, kNoEntries, 0, 0);
}

// "SOAPAction: \"" + namespace + operation + "\"\r\n"
#define FOTREL_SOAP_ACTION(op) u"SOAPAction: \"" FOTREL_SERVICE_NAMESPACE_W op u"\"\r\n"

}  // namespace service_tables
