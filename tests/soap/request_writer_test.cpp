#include "soap/request_writer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "soap/descriptors.h"
#include "soap/soap_values.h"
#include "soap/value_encoding.h"

namespace {

#define TEST_NS "http://tempuri.org/"

// A string value over the caller's text (embedded NULs included), and the absent string.
SoapString Str(const std::u16string& text) { return SoapString{text.data(), static_cast<uint32_t>(text.size())}; }
constexpr SoapString kAbsent{nullptr, 0};

constexpr uint32_t kStyle = kSoapDocument | kSoapLiteral | kSoapWrapped;  // 0xA800

#define ENTRY(Record, name, type, flags, field)                                                                 \
  ParameterDescriptor {                                                                                        \
    SoapNameHash(name), name, u"" name, static_cast<int32_t>(sizeof(name) - 1), type, (flags), \
        static_cast<uint32_t>(offsetof(Record, field)), nullptr, nullptr, -1, 0, nullptr, nullptr, 0       \
  }
#define END_ENTRIES \
  ParameterDescriptor { 0, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, -1, 0, nullptr, nullptr, 0 }

#define TABLE(kind, request, response, entries, Record, style)                                               \
  OperationDescriptor {                                                                                      \
    SoapNameHash(response), request, u"" response, static_cast<int32_t>(sizeof(request) - 1),                \
        static_cast<int32_t>(sizeof(response) - 1), kind, entries, static_cast<uint32_t>(sizeof(Record)), 1, \
        -1, style, SoapNameHash(TEST_NS), TEST_NS, u"" TEST_NS, static_cast<int32_t>(sizeof(TEST_NS) - 1)   \
  }

const char kEnvelopeStart[] =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";

// ---- An operation with one entry of every kind the program sends.

struct ProbeRecord {
  SoapString text;
  SoapString nilText;
  SoapString empty;
  uint8_t flag;
  int32_t number;
  SoapBlob bytes;
  SoapBlob nilBytes;
  uint8_t result;
  SoapString skipped;
  SoapString unmarked;
};

constexpr uint32_t kInNullable = kSoapIn | kSoapNullable | kStyle;
const ParameterDescriptor kProbeEntries[] = {
    ENTRY(ProbeRecord, "text", kXsdString, kInNullable, text),
    ENTRY(ProbeRecord, "nilText", kXsdString, kInNullable, nilText),
    ENTRY(ProbeRecord, "empty", kXsdString, kInNullable, empty),
    ENTRY(ProbeRecord, "flag", kXsdBoolean, kSoapIn | kStyle, flag),
    ENTRY(ProbeRecord, "number", kXsdInt, kSoapIn | kStyle, number),
    ENTRY(ProbeRecord, "bytes", kXsdBase64Binary, kInNullable, bytes),
    ENTRY(ProbeRecord, "nilBytes", kXsdBase64Binary, kInNullable, nilBytes),
    ENTRY(ProbeRecord, "ProbeResult", kXsdBoolean, kSoapOut | kStyle, result),
    ENTRY(ProbeRecord, "skipped", kXsdString, kSoapIn | kSoapNoMarshal | kStyle, skipped),
    ENTRY(ProbeRecord, "unmarked", kXsdString, kStyle, unmarked),
    END_ENTRIES,
};
const OperationDescriptor kProbe = TABLE(kSoapOperation, "Probe", "ProbeResponse", kProbeEntries, ProbeRecord, kStyle);
const ParameterDescriptor kNoEntries[] = {END_ENTRIES};
const OperationDescriptor kProbeHeaders =
    TABLE(kSoapHeaderSet, "Probe", "ProbeResponse", kNoEntries, ProbeRecord, kStyle);

struct ProbeValues {
  std::u16string text = u"a<b&c>d \"q\" \u4E2D";
  std::u16string empty;
  std::u16string skipped = u"never";
  std::u16string unmarked = u"u";
  std::string bytes = "abc";
  ProbeRecord Record() const {
    ProbeRecord r{};
    r.text = Str(text);
    r.nilText = kAbsent;
    r.empty = Str(empty);
    r.flag = 1;
    r.number = -42;
    r.bytes = SoapBlob{static_cast<uint32_t>(bytes.size()), reinterpret_cast<const uint8_t*>(bytes.data())};
    r.nilBytes = SoapBlob{5, nullptr};
    r.result = 1;
    r.skipped = Str(skipped);
    r.unmarked = Str(unmarked);
    return r;
  }
};

const std::string kProbeEnvelope = std::string(kEnvelopeStart) +
                                   "<soap:Body><Probe xmlns=\"http://tempuri.org/\">"
                                   "<text>a&lt;b&amp;c&gt;d \"q\" &#x4E2D;</text>"
                                   "<nilText xsi:nil=\"1\"/>"
                                   "<empty></empty>"
                                   "<flag>true</flag>"
                                   "<number>-42</number>"
                                   "<bytes>YWJj</bytes>"
                                   "<nilBytes xsi:nil=\"1\"/>"
                                   "<unmarked>u</unmarked>"
                                   "</Probe></soap:Body></soap:Envelope>";

// Fails the call with index `failAt`; counts calls made after that.
class CFailingStream : public IWriteStream {
 public:
  CFailingStream(size_t failAt, HResult code) : m_failAt(failAt), m_code(code) {}
  HResult Write(const char* data, size_t length) override {
    const size_t index = calls++;
    if (index > m_failAt) ++callsAfterFailure;
    if (index >= m_failAt) return m_code;
    bytes.append(data, length);
    return kS_OK;
  }
  size_t calls = 0;
  size_t callsAfterFailure = 0;
  std::string bytes;

 private:
  size_t m_failAt;
  HResult m_code;
};

std::string Generate(const OperationDescriptor& op, const OperationDescriptor* headers, const void* record,
                     HResult expected = kS_OK) {
  CStringWriteStream out;
  EXPECT_EQ(GenerateRequest(op, headers, record, &out), expected);
  return out.Data();
}

TEST(RequestWriter, WrappedDocLiteralEnvelopeBytes) {
  ProbeValues values;
  const ProbeRecord record = values.Record();
  EXPECT_EQ(Generate(kProbe, &kProbeHeaders, &record), kProbeEnvelope);
  // No header set at all writes the same.
  EXPECT_EQ(Generate(kProbe, nullptr, &record), kProbeEnvelope);
}

TEST(RequestWriter, OutOnlyAndNoMarshalEntriesNeverWritten) {
  ProbeValues values;
  const ProbeRecord record = values.Record();
  const std::string out = Generate(kProbe, nullptr, &record);
  EXPECT_EQ(out.find("ProbeResult"), std::string::npos);
  EXPECT_EQ(out.find("skipped"), std::string::npos);
  EXPECT_EQ(out.find("never"), std::string::npos);
}

// ---- The program's own operation shapes.

struct UploadRecord {
  SoapBlob TempBytes;
  SoapString strTempFileName;
  SoapString FileName;
  uint8_t isCompleted;
  SoapString userName;
  uint8_t UploadFileResult;
};
const ParameterDescriptor kUploadEntries[] = {
    ENTRY(UploadRecord, "TempBytes", kXsdBase64Binary, kInNullable, TempBytes),
    ENTRY(UploadRecord, "strTempFileName", kXsdString, kInNullable, strTempFileName),
    ENTRY(UploadRecord, "FileName", kXsdString, kInNullable, FileName),
    ENTRY(UploadRecord, "isCompleted", kXsdBoolean, kSoapIn | kStyle, isCompleted),
    ENTRY(UploadRecord, "userName", kXsdString, kInNullable, userName),
    ENTRY(UploadRecord, "UploadFileResult", kXsdBoolean, kSoapOut | kStyle, UploadFileResult),
    END_ENTRIES,
};
const OperationDescriptor kUploadFile =
    TABLE(kSoapOperation, "UploadFile", "UploadFileResponse", kUploadEntries, UploadRecord, kStyle);

TEST(RequestWriter, UploadPieceKeepsBase64LineBreaks) {
  std::string piece(58, '\0');
  for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i);
  const std::u16string temp = u"20240101_1.jpg", file = u"photo.jpg", user = u"\u5F20\u4E09";
  UploadRecord r{};
  r.TempBytes = SoapBlob{58, reinterpret_cast<const uint8_t*>(piece.data())};
  r.strTempFileName = Str(temp);
  r.FileName = Str(file);
  r.isCompleted = 0;
  r.userName = Str(user);
  EXPECT_EQ(Generate(kUploadFile, nullptr, &r),
            std::string(kEnvelopeStart) +
                "<soap:Body><UploadFile xmlns=\"http://tempuri.org/\"><TempBytes>"
                "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\nOQ=="
                "</TempBytes><strTempFileName>20240101_1.jpg</strTempFileName><FileName>photo.jpg</FileName>"
                "<isCompleted>false</isCompleted><userName>&#x5F20;&#x4E09;</userName>"
                "</UploadFile></soap:Body></soap:Envelope>");
}

TEST(RequestWriter, EmptyPieceIsEmptyElementNullPieceIsNil) {
  const uint8_t none = 0;
  UploadRecord r{};
  r.TempBytes = SoapBlob{0, &none};
  r.isCompleted = 1;
  std::string out = Generate(kUploadFile, nullptr, &r);
  EXPECT_NE(out.find("<TempBytes></TempBytes><strTempFileName xsi:nil=\"1\"/>"), std::string::npos);
  EXPECT_NE(out.find("<isCompleted>true</isCompleted><userName xsi:nil=\"1\"/></UploadFile>"), std::string::npos);
  r.TempBytes = SoapBlob{10, nullptr};
  out = Generate(kUploadFile, nullptr, &r);
  EXPECT_NE(out.find("<UploadFile xmlns=\"http://tempuri.org/\"><TempBytes xsi:nil=\"1\"/>"), std::string::npos);
}

struct LoginRecord {
  SoapString username;
  SoapString password;
  uint8_t LoginUserResult;
};
const ParameterDescriptor kLoginEntries[] = {
    ENTRY(LoginRecord, "username", kXsdString, kInNullable, username),
    ENTRY(LoginRecord, "password", kXsdString, kInNullable, password),
    ENTRY(LoginRecord, "LoginUserResult", kXsdBoolean, kSoapOut | kStyle, LoginUserResult),
    END_ENTRIES,
};
const OperationDescriptor kLoginUser =
    TABLE(kSoapOperation, "LoginUser", "LoginUserResponse", kLoginEntries, LoginRecord, kStyle);
const OperationDescriptor kLoginHeaders =
    TABLE(kSoapHeaderSet, "LoginUser", "LoginUserResponse", kNoEntries, LoginRecord, kStyle);

TEST(RequestWriter, LoginWithChineseNameAndNullPassword) {
  const std::u16string user = u"\u4E2D\u6587\U0001F600";
  LoginRecord r{};
  r.username = Str(user);
  r.password = kAbsent;
  EXPECT_EQ(Generate(kLoginUser, &kLoginHeaders, &r),
            std::string(kEnvelopeStart) +
                "<soap:Body><LoginUser xmlns=\"http://tempuri.org/\"><username>&#x4E2D;&#x6587;&#x01F600;</username>"
                "<password xsi:nil=\"1\"/></LoginUser></soap:Body></soap:Envelope>");
}

// ---- Header blocks

struct HeaderRecord {
  SoapString session;
  SoapString trace;
  SoapString value;
};
const ParameterDescriptor kHeaderEntries[] = {
    ENTRY(HeaderRecord, "Session", kXsdString, kSoapIn | kSoapMustUnderstand, session),
    ENTRY(HeaderRecord, "Trace", kXsdString, kSoapOut, trace),
    END_ENTRIES,
};
const ParameterDescriptor kOutOnlyHeaderEntries[] = {
    ENTRY(HeaderRecord, "Trace", kXsdString, kSoapOut, trace),
    END_ENTRIES,
};
const ParameterDescriptor kValueEntries[] = {
    ENTRY(HeaderRecord, "value", kXsdString, kSoapIn, value),
    END_ENTRIES,
};
const OperationDescriptor kHeaderOp = TABLE(kSoapOperation, "Op", "OpResponse", kValueEntries, HeaderRecord, kStyle);
const OperationDescriptor kHeaderSet = TABLE(kSoapHeaderSet, "Op", "OpResponse", kHeaderEntries, HeaderRecord, kStyle);
const OperationDescriptor kOutOnlyHeaderSet =
    TABLE(kSoapHeaderSet, "Op", "OpResponse", kOutOnlyHeaderEntries, HeaderRecord, kStyle);

TEST(RequestWriter, HeaderSetWithInEntriesWritesSoapHeader) {
  const std::u16string session = u"s&1", value = u"v";
  HeaderRecord r{};
  r.session = Str(session);
  r.value = Str(value);
  EXPECT_EQ(Generate(kHeaderOp, &kHeaderSet, &r),
            std::string(kEnvelopeStart) +
                "<soap:Header xmlns=\"http://tempuri.org/\"><Session soap:mustUnderstand=\"1\">s&amp;1</Session>"
                "</soap:Header><soap:Body><Op xmlns=\"http://tempuri.org/\"><value>v</value></Op>"
                "</soap:Body></soap:Envelope>");
  // A header set whose entries are all results writes no header block.
  EXPECT_EQ(Generate(kHeaderOp, &kOutOnlyHeaderSet, &r),
            std::string(kEnvelopeStart) +
                "<soap:Body><Op xmlns=\"http://tempuri.org/\"><value>v</value></Op></soap:Body></soap:Envelope>");
  // An absent header value is a nil element, with its mustUnderstand attribute first.
  r.session = kAbsent;
  EXPECT_NE(Generate(kHeaderOp, &kHeaderSet, &r).find("<soap:Header xmlns=\"http://tempuri.org/\">"
                                                    "<Session soap:mustUnderstand=\"1\" xsi:nil=\"1\"/></soap:Header>"),
            std::string::npos);
}

// ---- Other call styles and entry forms

const OperationDescriptor kBareOp =
    TABLE(kSoapOperation, "Op", "OpResponse", kValueEntries, HeaderRecord, kSoapDocument | kSoapLiteral | kSoapBare);
const OperationDescriptor kRpcOp =
    TABLE(kSoapOperation, "Op", "OpResponse", kValueEntries, HeaderRecord, kSoapRpc | kSoapEncoded);
const OperationDescriptor kRpcHeaderSet =
    TABLE(kSoapHeaderSet, "Op", "OpResponse", kHeaderEntries, HeaderRecord, kSoapRpc | kSoapEncoded);
const OperationDescriptor kRpcLiteralOp =
    TABLE(kSoapOperation, "Op", "OpResponse", kValueEntries, HeaderRecord, kSoapRpc | kSoapLiteral);

TEST(RequestWriter, BareStyleHasNoWrapperAndNamespacedEntries) {
  const std::u16string value = u"v";
  HeaderRecord r{};
  r.value = Str(value);
  EXPECT_EQ(Generate(kBareOp, nullptr, &r),
            std::string(kEnvelopeStart) +
                "<soap:Body><value xmlns=\"http://tempuri.org/\">v</value></soap:Body></soap:Envelope>");
}

TEST(RequestWriter, RpcEncodedBodyAndWrapper) {
  const std::u16string session = u"s", value = u"v";
  HeaderRecord r{};
  r.session = Str(session);
  r.value = Str(value);
  EXPECT_EQ(Generate(kRpcOp, &kRpcHeaderSet, &r),
            std::string(kEnvelopeStart) +
                "<soap:Header><Session soap:mustUnderstand=\"1\">s</Session></soap:Header>"
                "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
                "<snp:Op xmlns:snp=\"http://tempuri.org/\"><value>v</value></snp:Op></soap:Body></soap:Envelope>");
}

TEST(RequestWriter, RpcLiteralWithoutWrapperIsRefused) {
  HeaderRecord r{};
  CFailingStream out(SIZE_MAX, kE_FAIL);
  EXPECT_EQ(GenerateRequest(kRpcLiteralOp, nullptr, &r, &out), kE_FAIL);
  EXPECT_EQ(out.calls, 0u);
}

struct MixedRecord {
  int32_t ret;
  SoapString uri;
  SoapString when;
  SoapString qualified;
  SoapBlob hex;
  double real;
};
const ParameterDescriptor kMixedEntries[] = {
    ENTRY(MixedRecord, "ret", kXsdInt, kSoapIn | kSoapRetVal, ret),
    ENTRY(MixedRecord, "uri", 8, kSoapIn, uri),
    ENTRY(MixedRecord, "when", 36, kSoapIn, when),
    ParameterDescriptor{SoapNameHash("qualified"), "qualified", u"qualified", 9, kXsdString, kSoapIn,
                        static_cast<uint32_t>(offsetof(MixedRecord, qualified)), nullptr, nullptr, -1,
                        SoapNameHash("urn:x\"y"), "urn:x\"y", u"urn:x\"y", 7},
    ENTRY(MixedRecord, "hex", kXsdHexBinary, kSoapIn, hex),
    ENTRY(MixedRecord, "real", kXsdDouble, kSoapIn, real),
    END_ENTRIES,
};
const OperationDescriptor kMixedOp = TABLE(kSoapOperation, "Mixed", "MixedResponse", kMixedEntries, MixedRecord, kStyle);

TEST(RequestWriter, ReturnValueOtherTextTypesEntryNamespaceHexAndDouble) {
  const std::u16string uri = u"http://a/?b&c", when = u"2024-01-01T00:00:00", q = u"<q>";
  const uint8_t hex[] = {0xDE, 0xAD};
  MixedRecord r{};
  r.ret = 5;
  r.uri = Str(uri);
  r.when = Str(when);
  r.qualified = Str(q);
  r.hex = SoapBlob{2, hex};
  r.real = -0.0;
  EXPECT_EQ(Generate(kMixedOp, nullptr, &r),
            std::string(kEnvelopeStart) +
                "<soap:Body><Mixed xmlns=\"http://tempuri.org/\"><return>5</return>"
                "<uri>http://a/?b&amp;c</uri><when>2024-01-01T00:00:00</when>"
                "<snp:qualified xmlns:snp=\"urn:x&quot;y\">&lt;q&gt;</snp:qualified>"
                "<hex>DEAD</hex><real>-0</real></Mixed></soap:Body></soap:Envelope>");
}

// ---- Unsupported table features and broken input fail cleanly.

struct ArrayRecord {
  const void* items;
  int64_t wide;
};
const ParameterDescriptor kDynArrayEntries[] = {
    ENTRY(ArrayRecord, "items", kXsdString, kSoapIn | kSoapDynArray, items),
    END_ENTRIES,
};
const ParameterDescriptor kFixedArrayEntries[] = {
    ENTRY(ArrayRecord, "items", kXsdString, kSoapIn | kSoapFixedArray, items),
    END_ENTRIES,
};
const ParameterDescriptor kNestedEntries[] = {
    ENTRY(ArrayRecord, "items", kXsdNested, kSoapIn, items),
    END_ENTRIES,
};
const ParameterDescriptor kLongEntries[] = {
    ENTRY(ArrayRecord, "wide", 26, kSoapIn, wide),  // long: no record form
    END_ENTRIES,
};
const ParameterDescriptor kOutsideEntries[] = {
    ParameterDescriptor{SoapNameHash("far"), "far", u"far", 3, kXsdInt, kSoapIn, sizeof(ArrayRecord) - 3, nullptr,
                        nullptr, -1, 0, nullptr, nullptr, 0},
    END_ENTRIES,
};
const ParameterDescriptor kBrokenNameEntries[] = {
    ParameterDescriptor{1, nullptr, nullptr, 4, kXsdInt, kSoapIn, 0, nullptr, nullptr, -1, 0, nullptr, nullptr, 0},
    END_ENTRIES,
};

HResult GenerateWith(const ParameterDescriptor* entries, const ArrayRecord& r, std::string* out = nullptr) {
  const OperationDescriptor op = TABLE(kSoapOperation, "A", "AResponse", entries, ArrayRecord, kStyle);
  CStringWriteStream s;
  const HResult hr = GenerateRequest(op, nullptr, &r, &s);
  if (out) *out = s.Data();
  return hr;
}

TEST(RequestWriter, NullArrayIsNilOtherArraysAndNestedRefused) {
  ArrayRecord r{};
  std::string out;
  EXPECT_EQ(GenerateWith(kDynArrayEntries, r, &out), kS_OK);
  EXPECT_NE(out.find("<A xmlns=\"http://tempuri.org/\"><items xsi:nil=\"1\"/></A>"), std::string::npos);
  const int dummy = 0;
  r.items = &dummy;
  EXPECT_EQ(GenerateWith(kDynArrayEntries, r), kE_FAIL);
  EXPECT_EQ(GenerateWith(kFixedArrayEntries, r), kE_FAIL);
  EXPECT_EQ(GenerateWith(kNestedEntries, r), kE_FAIL);
  EXPECT_EQ(GenerateWith(kLongEntries, r), kE_FAIL);
}

TEST(RequestWriter, ValueOutsideTheRecordOrBrokenNameRefused) {
  ArrayRecord r{};
  EXPECT_EQ(GenerateWith(kOutsideEntries, r), kE_FAIL);
  EXPECT_EQ(GenerateWith(kBrokenNameEntries, r), kE_FAIL);
}

TEST(RequestWriter, NullArgumentsAndWrongTableKinds) {
  ProbeValues values;
  const ProbeRecord record = values.Record();
  CStringWriteStream out;
  EXPECT_EQ(GenerateRequest(kProbe, nullptr, &record, nullptr), kE_POINTER);
  EXPECT_EQ(GenerateRequest(kProbe, nullptr, nullptr, &out), kE_POINTER);
  EXPECT_EQ(GenerateRequest(kProbeHeaders, nullptr, &record, &out), kE_FAIL);
  EXPECT_EQ(GenerateRequest(kProbe, &kProbe, &record, &out), kE_FAIL);
  EXPECT_EQ(out.Data(), "");
}

// ---- Failing writes

TEST(RequestWriter, FailingStreamStopsGenerationWithItsCode) {
  ProbeValues values;
  const ProbeRecord record = values.Record();
  const HResult code = static_cast<HResult>(0x8007000Eu);
  size_t failAt = 0;
  for (;; ++failAt) {
    CFailingStream out(failAt, code);
    const HResult hr = GenerateRequest(kProbe, nullptr, &record, &out);
    if (hr == kS_OK) {
      EXPECT_EQ(out.bytes, kProbeEnvelope);
      break;
    }
    ASSERT_EQ(hr, code) << failAt;
    EXPECT_EQ(out.calls, failAt + 1) << failAt;
    EXPECT_EQ(out.callsAfterFailure, 0u) << failAt;
    EXPECT_EQ(kProbeEnvelope.compare(0, out.bytes.size(), out.bytes), 0) << failAt;
    ASSERT_LT(failAt, 200u);
  }
  EXPECT_GT(failAt, 10u);
}

TEST(RequestWriter, FailureInsideALongValueStopsAtOnce) {
  std::string piece(100000, 'p');
  UploadRecord r{};
  r.TempBytes = SoapBlob{static_cast<uint32_t>(piece.size()), reinterpret_cast<const uint8_t*>(piece.data())};
  CFailingStream all(SIZE_MAX, kE_FAIL);
  ASSERT_EQ(GenerateRequest(kUploadFile, nullptr, &r, &all), kS_OK);
  ASSERT_LT(all.calls, 100u);
  for (size_t failAt = 0; failAt < all.calls; ++failAt) {
    CFailingStream out(failAt, kE_OUTOFMEMORY);
    ASSERT_EQ(GenerateRequest(kUploadFile, nullptr, &r, &out), kE_OUTOFMEMORY) << failAt;
    EXPECT_EQ(out.calls, failAt + 1) << failAt;
    EXPECT_EQ(out.callsAfterFailure, 0u) << failAt;
  }
}

TEST(SoapNameHash, KnownValues) {
  EXPECT_EQ(SoapNameHash("Body"), 0x0026168Eu);
  EXPECT_EQ(SoapNameHash("Envelope"), 0xDBE6009Eu);
  EXPECT_EQ(SoapNameHash("username"), 0x82658340u);
  EXPECT_EQ(SoapNameHash(u"username", 8), 0x82658340u);
}

}  // namespace
