// Operation tables for the SOAP tests and the fuzz target: LoginUser and CreateUser as the
// Passport service defines them, plus test-only operations with string, binary and several results.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "soap/descriptors.h"
#include "soap/soap_handler.h"
#include "soap/soap_values.h"
#include "soap/write_stream.h"

namespace soaptest {

constexpr uint32_t kWrappedStyle = kSoapDocument | kSoapLiteral | kSoapWrapped;
constexpr uint32_t kInput = kSoapIn | kSoapNullable | kWrappedStyle;
constexpr uint32_t kResult = kSoapOut | kWrappedStyle;

#define SOAPTEST_NS "http://tempuri.org/"
#define SOAPTEST_ENTRY(name, type, flags, record, field)                                                       \
  ParameterDescriptor {                                                                                        \
    SoapNameHash(name), name, u##name, static_cast<int32_t>(sizeof(name) - 1), type, flags,                    \
        static_cast<uint32_t>(offsetof(record, field)), nullptr, nullptr, -1, 0, nullptr, nullptr, 0           \
  }
#define SOAPTEST_END \
  ParameterDescriptor { 0, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, -1, 0, nullptr, nullptr, 0 }
#define SOAPTEST_OPERATION(request, response, kind, entries, record, expected, style)                         \
  OperationDescriptor {                                                                                        \
    SoapNameHash(response), request, u##response, static_cast<int32_t>(sizeof(request) - 1),                  \
        static_cast<int32_t>(sizeof(response) - 1), kind, entries, static_cast<uint32_t>(sizeof(record)),      \
        expected, -1, style, SoapNameHash(SOAPTEST_NS), SOAPTEST_NS, u"" SOAPTEST_NS,                         \
        static_cast<int32_t>(sizeof(SOAPTEST_NS) - 1)                                                         \
  }

struct LoginUserRecord {
  SoapString username, password;
  uint8_t LoginUserResult;
};
struct CreateUserRecord {
  SoapString username, password, emailAddress;
  int32_t CreateUserResult;
};
struct StatsRecord {
  int32_t Count;
  double Ratio;
  SoapString Label;  // nullable
};
struct GetNoteRecord { SoapString NoteResult; };  // nullable
struct GetBytesRecord { SoapBlob BytesResult; };

inline const ParameterDescriptor kLoginUserEntries[] = {
    SOAPTEST_ENTRY("username", kXsdString, kInput, LoginUserRecord, username),
    SOAPTEST_ENTRY("password", kXsdString, kInput, LoginUserRecord, password),
    SOAPTEST_ENTRY("LoginUserResult", kXsdBoolean, kResult, LoginUserRecord, LoginUserResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kCreateUserEntries[] = {
    SOAPTEST_ENTRY("username", kXsdString, kInput, CreateUserRecord, username),
    SOAPTEST_ENTRY("password", kXsdString, kInput, CreateUserRecord, password),
    SOAPTEST_ENTRY("emailAddress", kXsdString, kInput, CreateUserRecord, emailAddress),
    SOAPTEST_ENTRY("CreateUserResult", kXsdInt, kResult, CreateUserRecord, CreateUserResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kGetNoteEntries[] = {
    SOAPTEST_ENTRY("NoteResult", kXsdString, kResult | kSoapNullable, GetNoteRecord, NoteResult), SOAPTEST_END};
inline const ParameterDescriptor kGetBytesEntries[] = {
    SOAPTEST_ENTRY("BytesResult", kXsdBase64Binary, kResult, GetBytesRecord, BytesResult), SOAPTEST_END};
inline const ParameterDescriptor kStatsEntries[] = {
    SOAPTEST_ENTRY("Count", kXsdInt, kResult, StatsRecord, Count),
    SOAPTEST_ENTRY("Ratio", kXsdDouble, kResult, StatsRecord, Ratio),
    SOAPTEST_ENTRY("Label", kXsdString, kResult | kSoapNullable, StatsRecord, Label),
    SOAPTEST_END,
};
inline const ParameterDescriptor kNoEntries[] = {SOAPTEST_END};

enum TestOperation { kOpCreateUser, kOpLoginUser, kOpGetNote, kOpGetBytes, kOpStats, kOpCount };

// An operation "Name" whose response is "NameResponse".
#define SOAPTEST_OP(name, entries, record, expected, style) \
  SOAPTEST_OPERATION(name, name "Response", kSoapOperation, entries, record, expected, style)
inline const OperationDescriptor kOperations[kOpCount] = {
    SOAPTEST_OP("CreateUser", kCreateUserEntries, CreateUserRecord, 1, kWrappedStyle),
    SOAPTEST_OP("LoginUser", kLoginUserEntries, LoginUserRecord, 1, kWrappedStyle),
    SOAPTEST_OP("GetNote", kGetNoteEntries, GetNoteRecord, 1, kWrappedStyle),
    SOAPTEST_OP("GetBytes", kGetBytesEntries, GetBytesRecord, 1, kWrappedStyle),
    SOAPTEST_OP("Stats", kStatsEntries, StatsRecord, 3, kWrappedStyle),
};

// Header sets with no entries, as every operation of the services has.
inline const OperationDescriptor* HeaderSetOf(int index) {
  static const std::array<OperationDescriptor, kOpCount> sets = [] {
    std::array<OperationDescriptor, kOpCount> made{};
    for (int i = 0; i < kOpCount; ++i) {
      made[i] = kOperations[i];
      made[i].kind = kSoapHeaderSet;
      made[i].entries = kNoEntries;
      made[i].expectedResponseElements = 0;
    }
    return made;
  }();
  return &sets[index];
}

// Fails the write with index `failAt` and every one after it; counts calls made after that.
class CFailingStream : public IWriteStream {
 public:
  explicit CFailingStream(size_t failAt = SIZE_MAX, HResult code = kE_FAIL) : m_failAt(failAt), m_code(code) {}
  HResult Write(const char* data, size_t length) override {
    const size_t index = calls++;
    if (index > m_failAt) ++callsAfterFailure;
    if (index >= m_failAt) return m_code;
    bytes.append(data, length);
    return kS_OK;
  }
  size_t calls = 0, callsAfterFailure = 0;
  std::string bytes;

 private:
  size_t m_failAt;
  HResult m_code;
};

class CTestSoapHandler : public CSoapHandler {
 public:
  const OperationDescriptor* OperationTable(int index) const override {
    return index >= 0 && index < kOpCount ? &kOperations[index] : nullptr;
  }
  const OperationDescriptor* HeaderTable(int index) const override {
    return index >= 0 && index < kOpCount ? HeaderSetOf(index) : nullptr;
  }
};

}  // namespace soaptest
