// The fault parser over the platform's reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "soap/fault_parser.h"
#include "soap/sax.h"

namespace {

std::string FaultEnvelope(const std::string& fault, const char* prefix = "soap") {
  std::string p = prefix;
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><" + p + ":Envelope xmlns:" + p +
         "=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
         "<" + p + ":Body><" + p + ":Fault>" + fault + "</" + p + ":Fault></" + p + ":Body></" + p + ":Envelope>";
}

class FaultParserTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(kS_OK, CSaxReader::Create(&m_reader)); }
  HResult Parse(const std::string& body) { return ParseFault(m_reader.get(), body.data(), body.size(), &m_fault); }

  std::unique_ptr<CSaxReader> m_reader;
  SoapFaultInfo m_fault;
};

TEST_F(FaultParserTest, ServerFault) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Server</faultcode>"
                                       "<faultstring>Server was unable to process request.</faultstring>"
                                       "<detail/>")));
  EXPECT_EQ(400, m_fault.code);
  EXPECT_EQ(u"Server", m_fault.codeText);
  EXPECT_EQ(u"Server was unable to process request.", m_fault.faultString);
  EXPECT_EQ(u"", m_fault.faultActor);
  EXPECT_EQ(u"", m_fault.detail);
}

TEST_F(FaultParserTest, TheFourCodes) {
  const struct {
    const char* name;
    int32_t code;
  } cases[] = {{"VersionMismatch", 100}, {"MustUnderstand", 200}, {"Client", 300}, {"Server", 400}, {"Other", 0},
               {"Server.Database", 0}, {"server", 0}};
  for (const auto& c : cases) {
    ASSERT_EQ(kS_OK, Parse(FaultEnvelope(std::string("<faultcode>soap:") + c.name + "</faultcode>"))) << c.name;
    EXPECT_EQ(c.code, m_fault.code) << c.name;
    EXPECT_EQ(std::u16string(c.name, c.name + std::char_traits<char>::length(c.name)), m_fault.codeText);
  }
}

TEST_F(FaultParserTest, LeadingWhiteSpaceOfTheCodeIsSkipped) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>\r\n  soap:Client</faultcode>")));
  EXPECT_EQ(300, m_fault.code);
  EXPECT_EQ(u"Client", m_fault.codeText);
}

TEST_F(FaultParserTest, CodeWithoutPrefixFails) {
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>Server</faultcode><faultstring>x</faultstring>"))));
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode></faultcode>"))));
}

TEST_F(FaultParserTest, CodeWithAnotherPrefixFails) {
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>s:Server</faultcode>"))));
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>:Server</faultcode>"))));
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>soapx:Server</faultcode>"))));
}

TEST_F(FaultParserTest, AnyPrefixBoundToTheEnvelopeNamespace) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>s:Client</faultcode><faultstring>bad</faultstring>", "s")));
  EXPECT_EQ(300, m_fault.code);
  EXPECT_EQ(u"Client", m_fault.codeText);
  EXPECT_EQ(u"bad", m_fault.faultString);
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>soap:Client</faultcode>", "s"))));
}

TEST_F(FaultParserTest, CodeTextOnlyWhenNoFaultStringBefore) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultstring>first</faultstring><faultcode>soap:Server</faultcode>")));
  EXPECT_EQ(400, m_fault.code);
  EXPECT_EQ(u"", m_fault.codeText);
  EXPECT_EQ(u"first", m_fault.faultString);
}

TEST_F(FaultParserTest, OnlyTheFirstCodeCounts) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Client</faultcode><faultcode>soap:Server</faultcode>")));
  EXPECT_EQ(300, m_fault.code);
  EXPECT_EQ(u"Client", m_fault.codeText);
  // A second code is not checked either.
  EXPECT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Client</faultcode><faultcode>junk</faultcode>")));
}

TEST_F(FaultParserTest, DetailKeepsItsMarkup) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Server</faultcode><faultstring>x</faultstring>"
                                       "<detail><e:Err xmlns:e=\"urn:e\" code=\"7\">a &amp; b<i/></e:Err></detail>")));
  EXPECT_EQ(u"<e:Err code=\"7\">a & b<i></i></e:Err>", m_fault.detail);
}

TEST_F(FaultParserTest, FaultActor) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Server</faultcode><faultstring>x</faultstring>"
                                       "<faultactor>http://host/WebService/Passport.asmx</faultactor>")));
  EXPECT_EQ(u"http://host/WebService/Passport.asmx", m_fault.faultActor);
}

TEST_F(FaultParserTest, ChineseFaultString) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Client</faultcode>"
                                       "<faultstring>\xE7\x94\xA8\xE6\x88\xB7&#x540D;</faultstring>")));
  EXPECT_EQ(u"\u7528\u6237\u540D", m_fault.faultString);
}

TEST_F(FaultParserTest, SecondFieldFails) {
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>soap:Server</faultcode><faultstring>a</faultstring>"
                                         "<faultstring>b</faultstring>"))));
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>soap:Server</faultcode><faultactor>a</faultactor>"
                                         "<faultactor>b</faultactor>"))));
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>soap:Server</faultcode><detail/><detail/>"))));
}

TEST_F(FaultParserTest, HeaderBeforeBodyFails) {
  std::string body = "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header/>"
                     "<soap:Body><soap:Fault><faultcode>soap:Server</faultcode></soap:Fault></soap:Body>"
                     "</soap:Envelope>";
  EXPECT_TRUE(Failed(Parse(body)));
}

TEST_F(FaultParserTest, EnvelopeElementsInTheirNamespaceAndOrder) {
  EXPECT_TRUE(Failed(Parse("<Envelope><Body><Fault><faultcode>soap:Server</faultcode></Fault></Body></Envelope>")));
  EXPECT_TRUE(Failed(Parse("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Fault>"
                           "<soap:Body/></soap:Fault></soap:Envelope>")));
  // Body directly under the root is deeper than nothing, so a bare Body root is read.
  EXPECT_EQ(kS_OK, Parse("<soap:Body xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Fault>"
                         "<faultcode>soap:Client</faultcode></soap:Fault></soap:Body>"));
  EXPECT_EQ(300, m_fault.code);
}

TEST_F(FaultParserTest, HtmlBodyFails) {
  EXPECT_TRUE(Failed(Parse("<html><head><title>Runtime Error</title></head><body>boom</body></html>")));
  EXPECT_TRUE(Failed(Parse("Internal Server Error")));
  EXPECT_TRUE(Failed(Parse("")));
}

TEST_F(FaultParserTest, UnknownElementBeforeTheFieldsFails) {
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<extra/><faultcode>soap:Server</faultcode>"))));
}

TEST_F(FaultParserTest, UnknownElementAfterAFieldIsSkipped) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Server</faultcode><extra><faultstring>no</faultstring>"
                                       "</extra><faultstring>yes</faultstring>")));
  EXPECT_EQ(u"yes", m_fault.faultString);
}

TEST_F(FaultParserTest, RecordIsClearedFirst) {
  m_fault.code = 400;
  m_fault.faultString = u"old";
  m_fault.detail = u"old";
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Client</faultcode>")));
  EXPECT_EQ(300, m_fault.code);
  EXPECT_EQ(u"", m_fault.faultString);
  EXPECT_EQ(u"", m_fault.detail);
  m_fault.faultString = u"old";
  EXPECT_TRUE(Failed(Parse("<html/>")));
  EXPECT_EQ(0, m_fault.code);
  EXPECT_EQ(u"", m_fault.faultString);
}

TEST_F(FaultParserTest, HandlerIsRemovedAfterwards) {
  ASSERT_EQ(kS_OK, Parse(FaultEnvelope("<faultcode>soap:Client</faultcode>")));
  EXPECT_EQ(nullptr, m_reader->ContentHandler());
  EXPECT_TRUE(Failed(Parse(FaultEnvelope("<faultcode>soap:Client</faultcode><faultstring>"))));
  EXPECT_EQ(nullptr, m_reader->ContentHandler());
}

TEST_F(FaultParserTest, CreatesAReaderWhenNoneIsGiven) {
  std::string body = FaultEnvelope("<faultcode>soap:Server</faultcode><faultstring>s</faultstring>");
  ASSERT_EQ(kS_OK, ParseFault(nullptr, body.data(), body.size(), &m_fault));
  EXPECT_EQ(400, m_fault.code);
  EXPECT_EQ(u"s", m_fault.faultString);
  EXPECT_EQ(kE_POINTER, ParseFault(nullptr, body.data(), body.size(), nullptr));
}

TEST_F(FaultParserTest, DoctypeIsRefused) {
  EXPECT_TRUE(Failed(Parse("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e \"soap:Server\">]>" +
                           FaultEnvelope("<faultcode>&e;</faultcode>").substr(38))));
}

}  // namespace
