// Operation tables for the response parser tests: LoginUser, CreateUser and UploadFile as the
// services define them, plus a few test-only operations with string, binary, several, nested,
// bare and referenced results.
#pragma once

#include <cstddef>
#include <cstdint>

#include "soap/descriptors.h"
#include "soap/soap_handler.h"
#include "soap/soap_values.h"

namespace soaptest {

constexpr uint32_t kWrappedStyle = kSoapDocument | kSoapLiteral | kSoapWrapped;
constexpr uint32_t kBareStyle = kSoapDocument | kSoapLiteral | kSoapBare;
constexpr uint32_t kEncodedStyle = kSoapRpc | kSoapEncoded;
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
  SoapString username;
  SoapString password;
  uint8_t LoginUserResult;
};
struct CreateUserRecord {
  SoapString username;
  SoapString password;
  SoapString emailAddress;
  int32_t CreateUserResult;
};
struct UploadFileRecord {
  SoapBlob TempBytes;
  SoapString strTempFileName;
  SoapString FileName;
  uint8_t isCompleted;
  SoapString userName;
  uint8_t UploadFileResult;
};
struct GetNoteRecord {
  SoapString NoteResult;  // nullable
};
struct GetBytesRecord {
  SoapBlob BytesResult;
};
struct StatsRecord {
  int32_t Count;
  double Ratio;
  SoapString Label;  // nullable
};
struct PointRecord {
  int32_t X;
  int32_t Y;
};
struct GetPointRecord {
  PointRecord Point;
};
struct BareLoginRecord {
  uint8_t LoginUserResult;
};
struct GetCountRecord {
  int32_t CountResult;
};

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
inline const ParameterDescriptor kUploadFileEntries[] = {
    SOAPTEST_ENTRY("TempBytes", kXsdBase64Binary, kInput, UploadFileRecord, TempBytes),
    SOAPTEST_ENTRY("strTempFileName", kXsdString, kInput, UploadFileRecord, strTempFileName),
    SOAPTEST_ENTRY("FileName", kXsdString, kInput, UploadFileRecord, FileName),
    SOAPTEST_ENTRY("isCompleted", kXsdBoolean, kSoapIn | kWrappedStyle, UploadFileRecord, isCompleted),
    SOAPTEST_ENTRY("userName", kXsdString, kInput, UploadFileRecord, userName),
    SOAPTEST_ENTRY("UploadFileResult", kXsdBoolean, kResult, UploadFileRecord, UploadFileResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kGetNoteEntries[] = {
    SOAPTEST_ENTRY("NoteResult", kXsdString, kResult | kSoapNullable, GetNoteRecord, NoteResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kGetBytesEntries[] = {
    SOAPTEST_ENTRY("BytesResult", kXsdBase64Binary, kResult, GetBytesRecord, BytesResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kStatsEntries[] = {
    SOAPTEST_ENTRY("Count", kXsdInt, kResult, StatsRecord, Count),
    SOAPTEST_ENTRY("Ratio", kXsdDouble, kResult, StatsRecord, Ratio),
    SOAPTEST_ENTRY("Label", kXsdString, kResult | kSoapNullable, StatsRecord, Label),
    SOAPTEST_END,
};
inline const ParameterDescriptor kPointEntries[] = {
    SOAPTEST_ENTRY("X", kXsdInt, kResult, PointRecord, X),
    SOAPTEST_ENTRY("Y", kXsdInt, kResult, PointRecord, Y),
    SOAPTEST_END,
};
inline const OperationDescriptor kPointTable =
    SOAPTEST_OPERATION("Point", "Point", 1, kPointEntries, PointRecord, 2, kWrappedStyle);
inline const ParameterDescriptor kGetPointEntries[] = {
    ParameterDescriptor{SoapNameHash("Point"), "Point", u"Point", 5, kXsdNested, kResult,
                        static_cast<uint32_t>(offsetof(GetPointRecord, Point)), nullptr, &kPointTable, -1, 0, nullptr,
                        nullptr, 0},
    SOAPTEST_END,
};
inline const ParameterDescriptor kBareLoginEntries[] = {
    SOAPTEST_ENTRY("LoginUserResult", kXsdBoolean, kSoapOut | kBareStyle, BareLoginRecord, LoginUserResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kGetCountEntries[] = {
    SOAPTEST_ENTRY("CountResult", kXsdInt, kSoapOut | kEncodedStyle, GetCountRecord, CountResult),
    SOAPTEST_END,
};
inline const ParameterDescriptor kNoEntries[] = {SOAPTEST_END};

enum TestOperation {
  kOpCreateUser,
  kOpLoginUser,
  kOpUploadFile,
  kOpGetNote,
  kOpGetBytes,
  kOpStats,
  kOpGetPoint,
  kOpBareLogin,
  kOpGetCount,
  kOpCount,
};

inline const OperationDescriptor kOperations[kOpCount] = {
    SOAPTEST_OPERATION("CreateUser", "CreateUserResponse", kSoapOperation, kCreateUserEntries, CreateUserRecord, 1,
                       kWrappedStyle),
    SOAPTEST_OPERATION("LoginUser", "LoginUserResponse", kSoapOperation, kLoginUserEntries, LoginUserRecord, 1,
                       kWrappedStyle),
    SOAPTEST_OPERATION("UploadFile", "UploadFileResponse", kSoapOperation, kUploadFileEntries, UploadFileRecord, 1,
                       kWrappedStyle),
    SOAPTEST_OPERATION("GetNote", "GetNoteResponse", kSoapOperation, kGetNoteEntries, GetNoteRecord, 1,
                       kWrappedStyle),
    SOAPTEST_OPERATION("GetBytes", "GetBytesResponse", kSoapOperation, kGetBytesEntries, GetBytesRecord, 1,
                       kWrappedStyle),
    SOAPTEST_OPERATION("Stats", "StatsResponse", kSoapOperation, kStatsEntries, StatsRecord, 3, kWrappedStyle),
    SOAPTEST_OPERATION("GetPoint", "GetPointResponse", kSoapOperation, kGetPointEntries, GetPointRecord, 1,
                       kWrappedStyle),
    SOAPTEST_OPERATION("LoginUser", "LoginUserResponse", kSoapOperation, kBareLoginEntries, BareLoginRecord, 1,
                       kBareStyle),
    SOAPTEST_OPERATION("GetCount", "GetCountResponse", kSoapOperation, kGetCountEntries, GetCountRecord, 1,
                       kEncodedStyle),
};

// Header sets with no entries, as every operation of the services has.
inline const OperationDescriptor kHeaderSets[kOpCount] = {
    SOAPTEST_OPERATION("CreateUser", "CreateUserResponse", kSoapHeaderSet, kNoEntries, CreateUserRecord, 0,
                       kWrappedStyle),
    SOAPTEST_OPERATION("LoginUser", "LoginUserResponse", kSoapHeaderSet, kNoEntries, LoginUserRecord, 0,
                       kWrappedStyle),
    SOAPTEST_OPERATION("UploadFile", "UploadFileResponse", kSoapHeaderSet, kNoEntries, UploadFileRecord, 0,
                       kWrappedStyle),
    SOAPTEST_OPERATION("GetNote", "GetNoteResponse", kSoapHeaderSet, kNoEntries, GetNoteRecord, 0, kWrappedStyle),
    SOAPTEST_OPERATION("GetBytes", "GetBytesResponse", kSoapHeaderSet, kNoEntries, GetBytesRecord, 0,
                       kWrappedStyle),
    SOAPTEST_OPERATION("Stats", "StatsResponse", kSoapHeaderSet, kNoEntries, StatsRecord, 0, kWrappedStyle),
    SOAPTEST_OPERATION("GetPoint", "GetPointResponse", kSoapHeaderSet, kNoEntries, GetPointRecord, 0,
                       kWrappedStyle),
    SOAPTEST_OPERATION("LoginUser", "LoginUserResponse", kSoapHeaderSet, kNoEntries, BareLoginRecord, 0,
                       kBareStyle),
    SOAPTEST_OPERATION("GetCount", "GetCountResponse", kSoapHeaderSet, kNoEntries, GetCountRecord, 0,
                       kEncodedStyle),
};

class CTestSoapHandler : public CSoapHandler {
 public:
  const OperationDescriptor* OperationTable(int index) const override {
    return index >= 0 && index < kOpCount ? &kOperations[index] : nullptr;
  }
  const OperationDescriptor* HeaderTable(int index) const override {
    return index >= 0 && index < kOpCount ? &kHeaderSets[index] : nullptr;
  }
};

}  // namespace soaptest
