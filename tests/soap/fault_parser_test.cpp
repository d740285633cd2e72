// The fault parser over the platform's reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "soap/fault_parser.h"
#include "soap/sax.h"

namespace {

std::string F(const std::string& fault, const std::string& p = "soap") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><" + p + ":Envelope xmlns:" + p +
         "=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
         "<" + p + ":Body><" + p + ":Fault>" + fault + "</" + p + ":Fault></" + p + ":Body></" + p + ":Envelope>";
}

struct Case {
  std::string body;
  bool ok;
  int32_t code = 0;
  std::u16string codeText = u"", faultString = u"", actor = u"", detail = u"";
};

TEST(FaultParserTest, FieldsCodesAndRefusals) {
  const std::string soapNs = "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"";
  const Case cases[] = {
      {F("<faultcode>soap:Server</faultcode><faultstring>Server was unable to process request.</faultstring>"
         "<detail/>"),
       true, 400, u"Server", u"Server was unable to process request."},
      {F("<faultcode>soap:VersionMismatch</faultcode>"), true, 100, u"VersionMismatch"},
      {F("<faultcode>soap:MustUnderstand</faultcode>"), true, 200, u"MustUnderstand"},
      {F("<faultcode>\r\n  soap:Client</faultcode>"), true, 300, u"Client"},  // leading white space skipped
      {F("<faultcode>soap:Other</faultcode>"), true, 0, u"Other"},
      {F("<faultcode>soap:Server.Database</faultcode>"), true, 0, u"Server.Database"},
      {F("<faultcode>soap:server</faultcode>"), true, 0, u"server"},
      // Any prefix bound to the envelope namespace, and only that one.
      {F("<faultcode>s:Client</faultcode><faultstring>bad</faultstring>", "s"), true, 300, u"Client", u"bad"},
      {F("<faultcode>soap:Client</faultcode>", "s"), false},
      {F("<faultcode>Server</faultcode><faultstring>x</faultstring>"), false},
      {F("<faultcode></faultcode>"), false},
      {F("<faultcode>s:Server</faultcode>"), false},
      {F("<faultcode>:Server</faultcode>"), false},
      {F("<faultcode>soapx:Server</faultcode>"), false},
      // The code text only when no fault string came before; only the first code counts.
      {F("<faultstring>first</faultstring><faultcode>soap:Server</faultcode>"), true, 400, u"", u"first"},
      {F("<faultcode>soap:Client</faultcode><faultcode>soap:Server</faultcode>"), true, 300, u"Client"},
      {F("<faultcode>soap:Client</faultcode><faultcode>junk</faultcode>"), true, 300, u"Client"},
      {F("<faultcode>soap:Server</faultcode><faultstring>x</faultstring>"
         "<detail><e:Err xmlns:e=\"urn:e\" code=\"7\">a &amp; b<i/></e:Err></detail>"),
       true, 400, u"Server", u"x", u"", u"<e:Err code=\"7\">a & b<i></i></e:Err>"},
      {F("<faultcode>soap:Server</faultcode><faultactor>http://host/WebService/Passport.asmx</faultactor>"), true,
       400, u"Server", u"", u"http://host/WebService/Passport.asmx"},
      {F("<faultcode>soap:Client</faultcode><faultstring>\xE7\x94\xA8\xE6\x88\xB7&#x540D;</faultstring>"), true, 300,
       u"Client", u"\u7528\u6237\u540D"},
      // Unknown elements: refused before the fields, skipped after one.
      {F("<extra/><faultcode>soap:Server</faultcode>"), false},
      {F("<faultcode>soap:Server</faultcode><extra><faultstring>no</faultstring></extra>"
         "<faultstring>yes</faultstring>"),
       true, 400, u"Server", u"yes"},
      {F("<faultcode>soap:Server</faultcode><faultstring>a</faultstring><faultstring>b</faultstring>"), false},
      {F("<faultcode>soap:Server</faultcode><faultactor>a</faultactor><faultactor>b</faultactor>"), false},
      {F("<faultcode>soap:Server</faultcode><detail/><detail/>"), false},
      {F("<faultcode>soap:Client</faultcode><faultstring>"), false},
      // The envelope's own elements, in their namespace and order; a bare Body root is read.
      {"<soap:Envelope " + soapNs + "><soap:Header/><soap:Body><soap:Fault><faultcode>soap:Server</faultcode>"
       "</soap:Fault></soap:Body></soap:Envelope>", false},
      {"<Envelope><Body><Fault><faultcode>soap:Server</faultcode></Fault></Body></Envelope>", false},
      {"<soap:Envelope " + soapNs + "><soap:Fault><soap:Body/></soap:Fault></soap:Envelope>", false},
      {"<soap:Body " + soapNs + "><soap:Fault><faultcode>soap:Client</faultcode></soap:Fault></soap:Body>", true,
       300, u"Client"},
      {"<html><head><title>Runtime Error</title></head><body>boom</body></html>", false},
      {"Internal Server Error", false},
      {"", false},
      {"<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e \"soap:Server\">]>" +
           F("<faultcode>&e;</faultcode>").substr(38), false},
  };
  std::unique_ptr<CSaxReader> reader;
  ASSERT_EQ(kS_OK, CSaxReader::Create(&reader));
  for (const Case& c : cases) {
    // The record is cleared first; one reader serves every parse.
    SoapFaultInfo fault{400, u"old", u"old", u"old", u"old"};
    const HResult hr = ParseFault(reader.get(), c.body.data(), c.body.size(), &fault);
    EXPECT_EQ(nullptr, reader->ContentHandler()) << c.body;
    if (!c.ok) {
      EXPECT_TRUE(Failed(hr)) << c.body;
      continue;
    }
    ASSERT_EQ(kS_OK, hr) << c.body;
    EXPECT_EQ(c.code, fault.code) << c.body;
    EXPECT_EQ(c.codeText, fault.codeText) << c.body;
    EXPECT_EQ(c.faultString, fault.faultString) << c.body;
    EXPECT_EQ(c.actor, fault.faultActor) << c.body;
    EXPECT_EQ(c.detail, fault.detail) << c.body;
  }
}

TEST(FaultParserTest, FailureClearsTheRecordAndAReaderIsMadeWhenNoneIsGiven) {
  SoapFaultInfo fault{400, u"old", u"old", u"old", u"old"};
  EXPECT_TRUE(Failed(ParseFault(nullptr, "<html/>", 7, &fault)));
  EXPECT_EQ(0, fault.code);
  EXPECT_EQ(u"", fault.faultString);
  const std::string body = F("<faultcode>soap:Server</faultcode><faultstring>s</faultstring>");
  ASSERT_EQ(kS_OK, ParseFault(nullptr, body.data(), body.size(), &fault));
  EXPECT_EQ(400, fault.code);
  EXPECT_EQ(u"s", fault.faultString);
  EXPECT_EQ(kE_POINTER, ParseFault(nullptr, body.data(), body.size(), nullptr));
}

}  // namespace
