// The request writer's envelope for every entry form the program sends (document/literal, wrapped),
// and its refusals. The program's own calls are checked byte for byte on the wire in tests/services.
#include "soap/request_writer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "soap/value_encoding.h"
#include "tests/soap/soap_test_tables.h"

using namespace soaptest;

namespace {

SoapString Str(const std::u16string& text) { return SoapString{text.data(), static_cast<uint32_t>(text.size())}; }
constexpr SoapString kAbsent{nullptr, 0};

const char kEnvelopeStart[] =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";

// An operation with one entry of every kind the program sends.
struct ProbeRecord {
  SoapString text, nilText, empty;
  uint8_t flag;
  int32_t number;
  SoapBlob bytes, nilBytes;
  uint8_t result;
  SoapString skipped, unmarked;
};
const ParameterDescriptor kProbeEntries[] = {
    SOAPTEST_ENTRY("text", kXsdString, kInput, ProbeRecord, text),
    SOAPTEST_ENTRY("nilText", kXsdString, kInput, ProbeRecord, nilText),
    SOAPTEST_ENTRY("empty", kXsdString, kInput, ProbeRecord, empty),
    SOAPTEST_ENTRY("flag", kXsdBoolean, kSoapIn | kWrappedStyle, ProbeRecord, flag),
    SOAPTEST_ENTRY("number", kXsdInt, kSoapIn | kWrappedStyle, ProbeRecord, number),
    SOAPTEST_ENTRY("bytes", kXsdBase64Binary, kInput, ProbeRecord, bytes),
    SOAPTEST_ENTRY("nilBytes", kXsdBase64Binary, kInput, ProbeRecord, nilBytes),
    SOAPTEST_ENTRY("ProbeResult", kXsdBoolean, kResult, ProbeRecord, result),
    SOAPTEST_ENTRY("skipped", kXsdString, kSoapIn | kSoapNoMarshal | kWrappedStyle, ProbeRecord, skipped),
    SOAPTEST_ENTRY("unmarked", kXsdString, kWrappedStyle, ProbeRecord, unmarked),
    SOAPTEST_END,
};
const OperationDescriptor kProbe =
    SOAPTEST_OPERATION("Probe", "ProbeResponse", kSoapOperation, kProbeEntries, ProbeRecord, 1, kWrappedStyle);
const OperationDescriptor kProbeHeaders =
    SOAPTEST_OPERATION("Probe", "ProbeResponse", kSoapHeaderSet, kNoEntries, ProbeRecord, 0, kWrappedStyle);

const std::u16string kText = u"a<b&c>d \"q\" \u4E2D", kEmpty, kSkipped = u"never", kUnmarked = u"u";
const std::string kBytes = "abc";
const ProbeRecord kProbeRecord = {Str(kText), kAbsent, Str(kEmpty), 1, -42,
                                  SoapBlob{3, reinterpret_cast<const uint8_t*>(kBytes.data())}, SoapBlob{5, nullptr}, 1,
                                  Str(kSkipped), Str(kUnmarked)};
// Results and entries marked not to be sent never appear.
const std::string kProbeEnvelope =
    std::string(kEnvelopeStart) +
    "<soap:Body><Probe xmlns=\"http://tempuri.org/\"><text>a&lt;b&amp;c&gt;d \"q\" &#x4E2D;</text>"
    "<nilText xsi:nil=\"1\"/><empty></empty><flag>true</flag><number>-42</number><bytes>YWJj</bytes>"
    "<nilBytes xsi:nil=\"1\"/><unmarked>u</unmarked></Probe></soap:Body></soap:Envelope>";

std::string Generate(const OperationDescriptor& op, const OperationDescriptor* headers, const void* record) {
  CStringWriteStream out;
  EXPECT_EQ(GenerateRequest(op, headers, record, &out), kS_OK);
  return out.Data();
}

TEST(RequestWriter, EnvelopeBytes) {
  // The header set of an operation without header entries writes no header block.
  EXPECT_EQ(Generate(kProbe, &kProbeHeaders, &kProbeRecord), kProbeEnvelope);
  EXPECT_EQ(Generate(kProbe, nullptr, &kProbeRecord), kProbeEnvelope);
}

TEST(RequestWriter, FailingStreamStopsGenerationWithItsCode) {
  const HResult code = static_cast<HResult>(0x8007000Eu);
  size_t failAt = 0;
  for (HResult hr = code; hr != kS_OK && failAt < 200; ++failAt) {
    CFailingStream out(failAt, code);
    hr = GenerateRequest(kProbe, nullptr, &kProbeRecord, &out);
    ASSERT_EQ(hr, out.calls == failAt + 1 ? code : kS_OK) << failAt;
    EXPECT_EQ(out.callsAfterFailure, 0u) << failAt;
    EXPECT_EQ(kProbeEnvelope.compare(0, out.bytes.size(), out.bytes), 0) << failAt;
    EXPECT_TRUE(hr == code || out.bytes == kProbeEnvelope) << failAt;
  }
  EXPECT_TRUE(failAt > 10 && failAt < 200) << failAt;
}

struct ArrayRecord {
  const void* items;
  int64_t wide;
};

HResult GenerateWith(const ParameterDescriptor& entry, const ArrayRecord& r, std::string* out = nullptr) {
  const ParameterDescriptor entries[] = {entry, SOAPTEST_END};
  const OperationDescriptor op =
      SOAPTEST_OPERATION("A", "AResponse", kSoapOperation, entries, ArrayRecord, 1, kWrappedStyle);
  CFailingStream s(SIZE_MAX);
  const HResult hr = GenerateRequest(op, nullptr, &r, &s);
  if (out) *out = s.bytes;
  return hr;
}

TEST(RequestWriter, UnsupportedEntriesAndBrokenTablesAreRefused) {
  ArrayRecord r{};
  std::string out;
  // A null array is nil; arrays with items, nested records and types without a record form fail.
  const ParameterDescriptor dynArray = SOAPTEST_ENTRY("items", kXsdString, kSoapIn | kSoapDynArray, ArrayRecord, items);
  EXPECT_EQ(GenerateWith(dynArray, r, &out), kS_OK);
  EXPECT_NE(out.find("<A xmlns=\"http://tempuri.org/\"><items xsi:nil=\"1\"/></A>"), std::string::npos);
  const int dummy = 0;
  r.items = &dummy;
  const ParameterDescriptor refused[] = {
      dynArray,
      SOAPTEST_ENTRY("items", kXsdString, kSoapIn | kSoapFixedArray, ArrayRecord, items),
      SOAPTEST_ENTRY("items", kXsdNested, kSoapIn, ArrayRecord, items),
      SOAPTEST_ENTRY("wide", 26, kSoapIn, ArrayRecord, wide),  // long: no record form
      // A value outside the record, a broken name.
      ParameterDescriptor{SoapNameHash("far"), "far", u"far", 3, kXsdInt, kSoapIn, sizeof(ArrayRecord) - 3, nullptr,
                          nullptr, -1, 0, nullptr, nullptr, 0},
      ParameterDescriptor{1, nullptr, nullptr, 4, kXsdInt, kSoapIn, 0, nullptr, nullptr, -1, 0, nullptr, nullptr, 0},
  };
  for (const ParameterDescriptor& entry : refused) EXPECT_EQ(GenerateWith(entry, r), kE_FAIL) << entry.nameLength;
  // RPC literal has no wrapper form: refused before anything is written.
  const OperationDescriptor rpcLiteral = SOAPTEST_OPERATION("Probe", "ProbeResponse", kSoapOperation, kProbeEntries,
                                                            ProbeRecord, 1, kSoapRpc | kSoapLiteral);
  CFailingStream none(SIZE_MAX);
  EXPECT_EQ(GenerateRequest(rpcLiteral, nullptr, &kProbeRecord, &none), kE_FAIL);
  EXPECT_EQ(none.calls, 0u);
  // Null arguments and the wrong table kinds.
  CStringWriteStream stream;
  EXPECT_EQ(GenerateRequest(kProbe, nullptr, &kProbeRecord, nullptr), kE_POINTER);
  EXPECT_EQ(GenerateRequest(kProbe, nullptr, nullptr, &stream), kE_POINTER);
  EXPECT_EQ(GenerateRequest(kProbeHeaders, nullptr, &kProbeRecord, &stream), kE_FAIL);
  EXPECT_EQ(GenerateRequest(kProbe, &kProbe, &kProbeRecord, &stream), kE_FAIL);
  EXPECT_EQ(stream.Data(), "");
}

}  // namespace
