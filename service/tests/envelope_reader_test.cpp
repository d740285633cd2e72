// The request reader on its own: tolerant of prefixes, white space, order and how the body is
// cut into pieces; strict about namespaces, names, types and anything a SOAP 1.1 request must
// not hold.
#include <gtest/gtest.h>

#include "service/envelope_reader.h"
#include "service_fixture.h"

using namespace fotrel::service;

namespace {

const ParamSpec kLoginParams[] = {{"username", ParamType::kString, true},
                                  {"password", ParamType::kString, true}};
const OperationSpec kLogin = {"LoginUser", "LoginUserResult", kLoginParams, 2};
const ParamSpec kUploadParams[] = {{"TempBytes", ParamType::kBase64, true},
                                   {"strTempFileName", ParamType::kString, true},
                                   {"FileName", ParamType::kString, true},
                                   {"isCompleted", ParamType::kBoolean, false},
                                   {"userName", ParamType::kString, true}};
const OperationSpec kUpload = {"UploadFile", "UploadFileResult", kUploadParams, 5};

class CollectingSink : public BinarySink {
 public:
  bool Write(const uint8_t* data, size_t length) override {
    if (fail) return false;
    bytes.append(reinterpret_cast<const char*>(data), length);
    return true;
  }
  std::string bytes;
  bool fail = false;
};

struct Read {
  bool ok;
  Fault fault;
  std::vector<ParamValue> values;
};

Read ReadAll(const OperationSpec& op, const std::string& xml, size_t step = 0,
             CollectingSink* sink = nullptr, uint64_t limit = 1 << 20,
             const std::string& encoding = "") {
  EnvelopeReader reader(kNs, op, encoding, sink, limit);
  if (step == 0) step = xml.size() + 1;
  for (size_t at = 0; at < xml.size(); at += step)
    reader.Feed(xml.data() + at, std::min(step, xml.size() - at));
  Read result{reader.Finish(), reader.Error(), {}};
  for (size_t i = 0; i < op.paramCount; ++i) result.values.push_back(reader.Value(i));
  return result;
}

std::string Login(std::string_view inner) {
  return Envelope("<LoginUser xmlns=\"http://tempuri.org/\">" + std::string(inner) +
                  "</LoginUser>");
}

std::string Upload(std::string_view bytes, std::string_view completed = "true") {
  return Envelope("<UploadFile xmlns=\"http://tempuri.org/\"><TempBytes>" + std::string(bytes) +
                  "</TempBytes><strTempFileName>0.jpg</strTempFileName><FileName>a.jpg"
                  "</FileName><isCompleted>" + std::string(completed) +
                  "</isCompleted><userName>u</userName></UploadFile>");
}

void ExpectFault(const Read& read, FaultCode code, const std::string& text) {
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.fault.code, code);
  EXPECT_EQ(read.fault.text, text);
}

}  // namespace

TEST(EnvelopeReader, ReadsTheClientsRequest) {
  Read read = ReadAll(kLogin, Envelope(LoginUserBody("abc", "x&<>\"'")));
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "abc");
  EXPECT_EQ(read.values[1].text, "x&<>\"'");
  EXPECT_FALSE(read.values[0].nil);
}

TEST(EnvelopeReader, TakesOtherPrefixesWhiteSpaceOrderAndDeclaration) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
      "  <e:Header/>\n  <e:Body>\n"
      "    <p:LoginUser xmlns:p=\"http://tempuri.org/\">\n"
      "      <p:password><![CDATA[p<w]]></p:password>\n"
      "      <!-- a comment --><?pi data?>\n"
      "      <p:username>u</p:username>\n"
      "    </p:LoginUser>\n  </e:Body>\n</e:Envelope>\n";
  Read read = ReadAll(kLogin, xml);
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "u");
  EXPECT_EQ(read.values[1].text, "p<w");
}

TEST(EnvelopeReader, GivesTheSameResultWhateverTheBodyIsCutInto) {
  std::string bytes = Pattern(1000, 3);
  std::string xml = Envelope(UploadFileBody(bytes, "7.jpg", "中文.jpg", false, "用户"));
  for (size_t step : {1u, 2u, 3u, 7u, 76u, 4096u}) {
    CollectingSink sink;
    Read read = ReadAll(kUpload, xml, step, &sink);
    ASSERT_TRUE(read.ok) << step << ": " << read.fault.text;
    EXPECT_EQ(sink.bytes, bytes) << step;
    EXPECT_EQ(read.values[0].binaryBytes, 1000u);
    EXPECT_EQ(read.values[1].text, "7.jpg");
    EXPECT_EQ(read.values[2].text, "中文.jpg");
    EXPECT_FALSE(read.values[3].boolean);
    EXPECT_EQ(read.values[4].text, "用户");
  }
}

TEST(EnvelopeReader, CountsUtf16CodeUnitsOfTheDecodedText) {
  // U+4E2D is one code unit, U+1F600 two; written as the client writes them.
  Read read = ReadAll(kLogin, Login("<username>&#x4E2D;a&#x01F600;</username><password/>"));
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "\xE4\xB8\xAD" "a\xF0\x9F\x98\x80");
  EXPECT_EQ(read.values[0].textUnits, 4u);
  EXPECT_EQ(read.values[0].textBytes, 8u);
  EXPECT_TRUE(read.values[1].present);
  EXPECT_EQ(read.values[1].textBytes, 0u);
}

TEST(EnvelopeReader, KeepsTheFullLengthOfAnOverlongString) {
  std::string name(kMaxKeptText + 100, 'n');
  Read read = ReadAll(kLogin, Login("<username>" + name + "</username><password>p</password>"));
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.values[0].text.size(), kMaxKeptText);
  EXPECT_EQ(read.values[0].textBytes, name.size());
  EXPECT_EQ(read.values[0].textUnits, name.size());
}

TEST(EnvelopeReader, ReadsNilAsNoValueWhereTheParameterIsNullable) {
  Read read = ReadAll(kLogin, Login("<username xsi:nil=\"1\"/><password xsi:nil=\"false\">p"
                                    "</password>"));
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_TRUE(read.values[0].present);
  EXPECT_TRUE(read.values[0].nil);
  EXPECT_FALSE(read.values[1].nil);
  EXPECT_EQ(read.values[1].text, "p");
  // A nil base64 value gives no bytes.
  CollectingSink sink;
  std::string xml = Upload("");
  xml.replace(xml.find("<TempBytes></TempBytes>"), 23, "<TempBytes xsi:nil=\"true\"/>");
  read = ReadAll(kUpload, xml, 0, &sink);
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_TRUE(read.values[0].nil);
  EXPECT_EQ(sink.bytes, "");
}

TEST(EnvelopeReader, RefusesNilWhereTheContractDoesNotAllowIt) {
  std::string xml = Upload("");
  xml.replace(xml.find("<isCompleted>true</isCompleted>"), 31, "<isCompleted xsi:nil=\"1\"/>");
  ExpectFault(ReadAll(kUpload, xml), FaultCode::kClient,
              "the parameter 'isCompleted' must not be nil");
  ExpectFault(ReadAll(kLogin, Login("<username xsi:nil=\"1\">a</username><password/>")),
              FaultCode::kClient, "the parameter 'username' is nil but holds a value");
  ExpectFault(ReadAll(kLogin, Login("<username xsi:nil=\"maybe\"/><password/>")),
              FaultCode::kClient, "the xsi:nil attribute of 'username' is not a boolean");
}

TEST(EnvelopeReader, RefusesMissingDuplicateAndUnknownParameters) {
  ExpectFault(ReadAll(kLogin, Login("<username>a</username>")), FaultCode::kClient,
              "the parameter 'password' of 'LoginUser' is missing");
  ExpectFault(ReadAll(kLogin, Login("<username>a</username><username>b</username><password/>")),
              FaultCode::kClient, "the parameter 'username' appears twice");
  ExpectFault(ReadAll(kLogin, Login("<username>a</username><password/><extra/>")),
              FaultCode::kClient, "unexpected element '{http://tempuri.org/}extra' in 'LoginUser'");
  // Same local name, but not in the service namespace.
  ExpectFault(ReadAll(kLogin, Login("<username xmlns=\"\">a</username><password/>")),
              FaultCode::kClient, "unexpected element 'username' in 'LoginUser'");
  ExpectFault(ReadAll(kLogin, Login("<username>a<b/></username><password/>")),
              FaultCode::kClient, "the parameter 'username' must hold text only");
}

TEST(EnvelopeReader, RefusesAWrapperThatIsNotTheOperation) {
  ExpectFault(ReadAll(kLogin, Envelope(CreateUserBody("a", "b", "c@d"))), FaultCode::kClient,
              "the Body holds '{http://tempuri.org/}CreateUser' but the SOAPAction names "
              "'{http://tempuri.org/}LoginUser'");
  ExpectFault(ReadAll(kLogin, Envelope("<LoginUser xmlns=\"http://other/\"><username/><password/>"
                                       "</LoginUser>")),
              FaultCode::kClient,
              "the Body holds '{http://other/}LoginUser' but the SOAPAction names "
              "'{http://tempuri.org/}LoginUser'");
  ExpectFault(ReadAll(kLogin, Envelope(LoginUserBody("a", "b") + LoginUserBody("a", "b"))),
              FaultCode::kClient, "the Body holds more than one element");
  ExpectFault(ReadAll(kLogin, Envelope("")), FaultCode::kClient, "the Body is empty");
  ExpectFault(ReadAll(kLogin, Envelope("text" + LoginUserBody("a", "b"))), FaultCode::kClient,
              "unexpected text outside the parameters");
}

TEST(EnvelopeReader, RefusesADocumentTypeDeclaration) {
  ExpectFault(ReadAll(kLogin, "<!DOCTYPE x>" + Envelope(LoginUserBody("a", "b"))),
              FaultCode::kClient, "a document type declaration (DTD) is not allowed");
  std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>" +
      Login("<username>&c;</username><password/>");
  ExpectFault(ReadAll(kLogin, laughs), FaultCode::kClient,
              "a document type declaration (DTD) is not allowed");
}

TEST(EnvelopeReader, ReportsMalformedXmlWithItsPlace) {
  ExpectFault(ReadAll(kLogin, Login("<username>a</password>")), FaultCode::kClient,
              "malformed XML: mismatched tag at line 1, column 290");
  Read empty = ReadAll(kLogin, "");
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.fault.text.rfind("malformed XML: no element found", 0), 0u) << empty.fault.text;
  Read junk = ReadAll(kLogin, Envelope(LoginUserBody("a", "b")) + "<x/>");
  EXPECT_EQ(junk.fault.text.rfind("malformed XML: junk after document element", 0), 0u);
  // A character reference to a code point XML does not allow (a lone surrogate).
  Read lone = ReadAll(kLogin, Login("<username>&#xD800;</username><password/>"));
  EXPECT_EQ(lone.fault.text.rfind("malformed XML: reference to invalid character number", 0), 0u)
      << lone.fault.text;
}

TEST(EnvelopeReader, ChecksTheEnvelopeItself) {
  ExpectFault(ReadAll(kLogin, "<Envelope/>"), FaultCode::kVersionMismatch,
              "the Envelope is not in the SOAP 1.1 envelope namespace");
  ExpectFault(ReadAll(kLogin, "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
                              "<s:Body/></s:Envelope>"),
              FaultCode::kVersionMismatch,
              "a SOAP 1.2 Envelope was sent; this service speaks SOAP 1.1");
  ExpectFault(ReadAll(kLogin, "<LoginUser xmlns=\"http://tempuri.org/\"/>"), FaultCode::kClient,
              "the root element '{http://tempuri.org/}LoginUser' is not a SOAP Envelope");
  ExpectFault(ReadAll(kLogin, "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"/>"),
              FaultCode::kClient, "the Envelope has no Body");
  ExpectFault(ReadAll(kLogin, "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                              "<s:Body/><s:Header/></s:Envelope>"),
              FaultCode::kClient, "the Body is empty");
}

TEST(EnvelopeReader, SkipsHeadersUnlessTheyMustBeUnderstood) {
  std::string head = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Header>";
  std::string tail = "</s:Header><s:Body>" + LoginUserBody("a", "b") + "</s:Body></s:Envelope>";
  Read read = ReadAll(kLogin, head + "<h:Trace xmlns:h=\"urn:h\"><h:x>1</h:x></h:Trace>" + tail);
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "a");
  ExpectFault(ReadAll(kLogin, head + "<h:Auth xmlns:h=\"urn:h\" s:mustUnderstand=\"1\"/>" + tail),
              FaultCode::kMustUnderstand, "the header entry '{urn:h}Auth' is not understood");
  read = ReadAll(kLogin, head + "<h:Auth xmlns:h=\"urn:h\" s:mustUnderstand=\"0\"/>" + tail);
  EXPECT_TRUE(read.ok);
  std::string deep;
  for (int i = 0; i < 70; ++i) deep += "<d>";
  for (int i = 0; i < 70; ++i) deep += "</d>";
  ExpectFault(ReadAll(kLogin, head + deep + tail), FaultCode::kClient,
              "elements are nested too deeply");
}

TEST(EnvelopeReader, AllowsQualifiedElementsAfterTheBodyOnly) {
  std::string start = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>" +
                      LoginUserBody("a", "b") + "</s:Body>";
  EXPECT_TRUE(ReadAll(kLogin, start + "<x:More xmlns:x=\"urn:x\">t</x:More></s:Envelope>").ok);
  ExpectFault(ReadAll(kLogin, start + "<More/></s:Envelope>"), FaultCode::kClient,
              "unexpected element 'More' after the Body");
}

TEST(EnvelopeReader, ReadsBooleansAsXmlSchemaDoes) {
  for (auto [text, value] : std::vector<std::pair<std::string, bool>>{
           {"true", true}, {"false", false}, {"1", true}, {"0", false}, {" \r\ntrue\t", true}}) {
    Read read = ReadAll(kUpload, Upload("", text));
    ASSERT_TRUE(read.ok) << text << ": " << read.fault.text;
    EXPECT_EQ(read.values[3].boolean, value) << text;
  }
  for (std::string text : {"yes", "", "True", "2", "t rue"})
    ExpectFault(ReadAll(kUpload, Upload("", text)), FaultCode::kClient,
                "the parameter 'isCompleted' is not a boolean (true, false, 1 or 0)");
}

TEST(EnvelopeReader, DecodesBase64AndRefusesWhatIsNot) {
  CollectingSink sink;
  Read read = ReadAll(kUpload, Upload("YWJj\r\nZA==  "), 0, &sink);
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(sink.bytes, "abcd");
  EXPECT_EQ(read.values[0].binaryBytes, 4u);
  for (std::string text : {"YW*j", "YWJ", "YQ=", "YQ==YQ==", "Y===", "=YQ=", "YWJjZA==Z"})
    ExpectFault(ReadAll(kUpload, Upload(text)), FaultCode::kClient,
                "the parameter 'TempBytes' is not valid base64");
}

TEST(EnvelopeReader, MarksABinaryValueOverTheLimitAndStopsWritingIt) {
  CollectingSink sink;
  Read read = ReadAll(kUpload, Upload(ClientBase64(Pattern(101))), 10, &sink, 100);
  ASSERT_TRUE(read.ok);
  EXPECT_TRUE(read.values[0].binaryOverLimit);
  EXPECT_EQ(read.values[0].binaryBytes, 101u);
  EXPECT_LE(sink.bytes.size(), 100u);
  CollectingSink exact;
  read = ReadAll(kUpload, Upload(ClientBase64(Pattern(100))), 10, &exact, 100);
  EXPECT_FALSE(read.values[0].binaryOverLimit);
  EXPECT_EQ(exact.bytes, Pattern(100));
}

TEST(EnvelopeReader, ReportsASinkThatCannotStoreAsAServerFault) {
  CollectingSink sink;
  sink.fail = true;
  ExpectFault(ReadAll(kUpload, Upload("YWJj"), 0, &sink), FaultCode::kServer,
              "the piece cannot be stored");
}

TEST(EnvelopeReader, HonoursTheCharsetOfTheContentType) {
  std::string xml = Login("<username>caf\xE9</username><password>p</password>");
  Read read = ReadAll(kLogin, xml, 0, nullptr, 0, "ISO-8859-1");
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "caf\xC3\xA9");
  EXPECT_FALSE(ReadAll(kLogin, xml, 0, nullptr, 0, "utf-8").ok);
  read = ReadAll(kLogin, Envelope(LoginUserBody("a", "b")), 0, nullptr, 0, "x-unknown");
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.fault.text.rfind("malformed XML: unknown encoding", 0), 0u) << read.fault.text;
}
