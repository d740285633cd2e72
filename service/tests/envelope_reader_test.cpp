// The request reader on its own, for what shows only inside it: values as read, however the body
// is cut into pieces. Its refusals are checked over HTTP.
#include "service/envelope_reader.h"
#include "service_fixture.h"

using namespace fotrel::service;

namespace {

const ParamSpec kLoginParams[] = {{"username", ParamType::kString, true}, {"password", ParamType::kString, true}};
const OperationSpec kLogin = {"LoginUser", "LoginUserResult", kLoginParams, 2};
const ParamSpec kUploadParams[] = {{"TempBytes", ParamType::kBase64, true},
                                   {"strTempFileName", ParamType::kString, true},
                                   {"FileName", ParamType::kString, true},
                                   {"isCompleted", ParamType::kBoolean, false},
                                   {"userName", ParamType::kString, true}};
const OperationSpec kUpload = {"UploadFile", "UploadFileResult", kUploadParams, 5};

struct Sink : BinarySink {
  bool Write(const uint8_t* data, size_t length) override {
    bytes.append(reinterpret_cast<const char*>(data), length);
    return !fail;
  }
  std::string bytes;
  bool fail = false;
};

struct Read {
  bool ok;
  Fault fault;
  std::vector<ParamValue> values;
};

Read ReadAll(const OperationSpec& op, const std::string& xml, size_t step = 0, Sink* sink = nullptr,
             uint64_t limit = 1 << 20, const std::string& encoding = "") {
  EnvelopeReader reader("http://tempuri.org/", op, encoding, sink, limit);
  if (step == 0) step = xml.size() + 1;
  for (size_t at = 0; at < xml.size(); at += step) reader.Feed(xml.data() + at, std::min(step, xml.size() - at));
  Read result{reader.Finish(), reader.Error(), {}};
  for (size_t i = 0; i < op.paramCount; ++i) result.values.push_back(reader.Value(i));
  return result;
}

TEST(EnvelopeReader, ReadsOtherSpellingsOfTheRequestAndAnyCutOfTheBody) {
  // Other prefixes, white space, order, comments, CDATA, skippable headers, elements after the Body.
  Read read = ReadAll(kLogin, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">\n <e:Header>"
                         "<h:Trace xmlns:h=\"urn:h\"><h:x>1</h:x></h:Trace><h:A xmlns:h=\"urn:h\" "
                         "e:mustUnderstand=\"0\"/></e:Header>\n <e:Body>\n  "
                         "<p:LoginUser xmlns:p=\"http://tempuri.org/\"><p:password><![CDATA[p<w]]></p:password>\n"
                         "<!-- a comment --><?pi data?>\n<p:username xsi:nil=\"false\" "
                         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">u</p:username></p:LoginUser>\n"
                         " </e:Body><x:More xmlns:x=\"urn:x\">t</x:More>\n</e:Envelope>\n");
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "u");
  EXPECT_EQ(read.values[1].text, "p<w");
  // Whatever the body is cut into, the values and the decoded bytes are the same.
  std::string bytes = Pattern(1000, 3);
  std::string xml = Envelope(UploadFileBody(bytes, "7.jpg", "中文.jpg", false, "用户"));
  for (size_t step : {1u, 3u, 76u, 4096u}) {
    Sink sink;
    read = ReadAll(kUpload, xml, step, &sink);
    ASSERT_TRUE(read.ok) << step << ": " << read.fault.text;
    EXPECT_EQ(sink.bytes, bytes) << step;
    EXPECT_EQ(read.values[0].binaryBytes, 1000u);
    EXPECT_EQ(read.values[2].text, "中文.jpg");
    EXPECT_FALSE(read.values[3].boolean);
    EXPECT_EQ(read.values[4].text, "用户");
  }
}

TEST(EnvelopeReader, ReadsBooleansAsXmlSchemaDoesAndReportsASinkThatCannotStore) {
  for (auto [text, value] : std::vector<std::pair<std::string, bool>>{
           {"true", true}, {"false", false}, {"1", true}, {"0", false}, {" \r\ntrue\t", true}}) {
    Read read = ReadAll(kUpload, UploadWith("", text));
    ASSERT_TRUE(read.ok) << text << ": " << read.fault.text;
    EXPECT_EQ(read.values[3].boolean, value) << text;
  }
  Sink sink;
  sink.fail = true;
  Read read = ReadAll(kUpload, UploadWith("YWJj"), 0, &sink);
  EXPECT_EQ(read.fault.code, FaultCode::kServer);
  EXPECT_EQ(read.fault.text, "the piece cannot be stored");
}

TEST(EnvelopeReader, HonoursTheCharsetOfTheContentType) {
  std::string xml = LoginWith("<username>caf\xE9</username><password>p</password>");
  Read read = ReadAll(kLogin, xml, 0, nullptr, 0, "ISO-8859-1");
  ASSERT_TRUE(read.ok) << read.fault.text;
  EXPECT_EQ(read.values[0].text, "caf\xC3\xA9");
  EXPECT_FALSE(ReadAll(kLogin, xml, 0, nullptr, 0, "utf-8").ok);
  read = ReadAll(kLogin, Envelope(LoginUserBody("a", "b")), 0, nullptr, 0, "x-unknown");
  EXPECT_EQ(read.fault.text.rfind("malformed XML: unknown encoding", 0), 0u) << read.fault.text;
}

}  // namespace
