// Fuzz target: the response handler over the native reader, with the LoginUser and CreateUser
// tables and test operations with string, binary, int and double results, so every value path
// is reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "soap/descriptors.h"
#include "soap/sax.h"
#include "soap/soap_handler.h"
#include "soap/soap_values.h"
#include "tests/soap/soap_test_tables.h"

namespace {

using namespace soaptest;

template <typename Record, typename Check>
void RunOne(CSaxReader* reader, CTestSoapHandler* handler, int index, const char* data, size_t size, Check check) {
  Record record{};
  if (Failed(handler->BeginCall(index, &record))) std::abort();
  HResult hr = handler->ParseResponse(reader, data, size);
  if (Succeeded(hr)) check(record);
  handler->ReleaseResults();
  handler->EndCall();
}

bool IsZero(const SoapString& s) { return s.data == nullptr && s.length == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<CSaxReader> reader;
  if (!reader && Failed(CSaxReader::Create(&reader))) std::abort();
  static CTestSoapHandler handler;
  const char* text = reinterpret_cast<const char*>(data);

  RunOne<LoginUserRecord>(reader.get(), &handler, kOpLoginUser, text, size, [](const LoginUserRecord& r) {
    // A successful parse read exactly one boolean; inputs were cleared with the record.
    if (r.LoginUserResult > 1 || !IsZero(r.username) || !IsZero(r.password)) std::abort();
  });
  RunOne<CreateUserRecord>(reader.get(), &handler, kOpCreateUser, text, size, [](const CreateUserRecord& r) {
    if (!IsZero(r.username) || !IsZero(r.emailAddress)) std::abort();
  });
  RunOne<StatsRecord>(reader.get(), &handler, kOpStats, text, size, [](const StatsRecord& r) {
    // Present strings end with a NUL right after their length.
    if (r.Label.data && r.Label.data[r.Label.length] != 0) std::abort();
  });
  RunOne<GetBytesRecord>(reader.get(), &handler, kOpGetBytes, text, size, [](const GetBytesRecord& r) {
    if (!r.BytesResult.data && r.BytesResult.size != 0) std::abort();
  });
  return 0;
}
