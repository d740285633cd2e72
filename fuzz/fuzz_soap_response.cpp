// Fuzz target: the response handler over the native reader, with a LoginUser-like operation
// (boolean result), an UploadFile-like one (base64 and boolean inputs, boolean result) and one
// with string, binary and int results, so every value path is reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "soap/descriptors.h"
#include "soap/sax.h"
#include "soap/soap_handler.h"
#include "soap/soap_values.h"

namespace {

constexpr uint32_t kStyle = kSoapDocument | kSoapLiteral | kSoapWrapped;
constexpr uint32_t kInput = kSoapIn | kSoapNullable | kStyle;
constexpr uint32_t kResult = kSoapOut | kStyle;

#define FUZZ_NS "http://tempuri.org/"
#define FUZZ_ENTRY(name, type, flags, record, field)                                                              \
  ParameterDescriptor {                                                                                           \
    SoapNameHash(name), name, u##name, static_cast<int32_t>(sizeof(name) - 1), type, flags,                       \
        static_cast<uint32_t>(offsetof(record, field)), nullptr, nullptr, -1, 0, nullptr, nullptr, 0              \
  }
#define FUZZ_END \
  ParameterDescriptor { 0, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, -1, 0, nullptr, nullptr, 0 }
#define FUZZ_TABLE(request, response, kind, entries, record)                                                      \
  OperationDescriptor {                                                                                           \
    SoapNameHash(response), request, u##response, static_cast<int32_t>(sizeof(request) - 1),                     \
        static_cast<int32_t>(sizeof(response) - 1), kind, entries, static_cast<uint32_t>(sizeof(record)), 1, -1, \
        kStyle, SoapNameHash(FUZZ_NS), FUZZ_NS, u"" FUZZ_NS, static_cast<int32_t>(sizeof(FUZZ_NS) - 1)            \
  }

struct LoginRecord {
  SoapString username;
  SoapString password;
  uint8_t LoginUserResult;
};
struct UploadRecord {
  SoapBlob TempBytes;
  SoapString strTempFileName;
  SoapString FileName;
  uint8_t isCompleted;
  SoapString userName;
  uint8_t UploadFileResult;
};
struct MixedRecord {
  SoapString Text;
  SoapBlob Bytes;
  int32_t Number;
};

const ParameterDescriptor kLoginEntries[] = {
    FUZZ_ENTRY("username", kXsdString, kInput, LoginRecord, username),
    FUZZ_ENTRY("password", kXsdString, kInput, LoginRecord, password),
    FUZZ_ENTRY("LoginUserResult", kXsdBoolean, kResult, LoginRecord, LoginUserResult),
    FUZZ_END,
};
const ParameterDescriptor kUploadEntries[] = {
    FUZZ_ENTRY("TempBytes", kXsdBase64Binary, kInput, UploadRecord, TempBytes),
    FUZZ_ENTRY("strTempFileName", kXsdString, kInput, UploadRecord, strTempFileName),
    FUZZ_ENTRY("FileName", kXsdString, kInput, UploadRecord, FileName),
    FUZZ_ENTRY("isCompleted", kXsdBoolean, kSoapIn | kStyle, UploadRecord, isCompleted),
    FUZZ_ENTRY("userName", kXsdString, kInput, UploadRecord, userName),
    FUZZ_ENTRY("UploadFileResult", kXsdBoolean, kResult, UploadRecord, UploadFileResult),
    FUZZ_END,
};
const ParameterDescriptor kMixedEntries[] = {
    FUZZ_ENTRY("Text", kXsdString, kResult | kSoapNullable, MixedRecord, Text),
    FUZZ_ENTRY("Bytes", kXsdBase64Binary, kResult | kSoapNullable, MixedRecord, Bytes),
    FUZZ_ENTRY("Number", kXsdInt, kResult, MixedRecord, Number),
    FUZZ_END,
};
const ParameterDescriptor kNoEntries[] = {FUZZ_END};

const OperationDescriptor kOperations[] = {
    FUZZ_TABLE("LoginUser", "LoginUserResponse", kSoapOperation, kLoginEntries, LoginRecord),
    FUZZ_TABLE("UploadFile", "UploadFileResponse", kSoapOperation, kUploadEntries, UploadRecord),
    FUZZ_TABLE("Mixed", "MixedResponse", kSoapOperation, kMixedEntries, MixedRecord),
};
const OperationDescriptor kHeaderSets[] = {
    FUZZ_TABLE("LoginUser", "LoginUserResponse", kSoapHeaderSet, kNoEntries, LoginRecord),
    FUZZ_TABLE("UploadFile", "UploadFileResponse", kSoapHeaderSet, kNoEntries, UploadRecord),
    FUZZ_TABLE("Mixed", "MixedResponse", kSoapHeaderSet, kNoEntries, MixedRecord),
};

class CFuzzHandler : public CSoapHandler {
 public:
  const OperationDescriptor* OperationTable(int index) const override {
    return index >= 0 && index < 3 ? &kOperations[index] : nullptr;
  }
  const OperationDescriptor* HeaderTable(int index) const override {
    return index >= 0 && index < 3 ? &kHeaderSets[index] : nullptr;
  }
};

template <typename Record, typename Check>
void RunOne(CSaxReader* reader, CFuzzHandler* handler, int index, const char* data, size_t size, Check check) {
  Record record{};
  if (Failed(handler->BeginCall(index, &record))) std::abort();
  HResult hr = handler->ParseResponse(reader, data, size);
  if (Succeeded(hr)) check(record);
  handler->ReleaseResults();
  handler->EndCall();
}

bool IsZero(const SoapString& s) { return s.data == nullptr && s.length == 0; }
bool IsZero(const SoapBlob& b) { return b.data == nullptr && b.size == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<CSaxReader> reader;
  if (!reader && Failed(CSaxReader::Create(&reader))) std::abort();
  static CFuzzHandler handler;
  const char* text = reinterpret_cast<const char*>(data);

  RunOne<LoginRecord>(reader.get(), &handler, 0, text, size, [](const LoginRecord& r) {
    // A successful parse read exactly one boolean; inputs were cleared with the record.
    if (r.LoginUserResult > 1 || !IsZero(r.username) || !IsZero(r.password)) std::abort();
  });
  RunOne<UploadRecord>(reader.get(), &handler, 1, text, size, [](const UploadRecord& r) {
    if (r.UploadFileResult > 1 || !IsZero(r.TempBytes) || !IsZero(r.userName)) std::abort();
  });
  RunOne<MixedRecord>(reader.get(), &handler, 2, text, size, [](const MixedRecord& r) {
    // Present strings end with a NUL right after their length.
    if (r.Text.data && r.Text.data[r.Text.length] != 0) std::abort();
    if (!r.Bytes.data && r.Bytes.size != 0) std::abort();
  });
  return 0;
}
