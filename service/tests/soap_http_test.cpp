// The SOAP services over HTTP on loopback: exact answers, keep-alive, the log, and every way a
// request is refused with a SOAP 1.1 Fault.
#include "service_fixture.h"

namespace {

const std::string kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
    "<soap:Body>";
const std::string kEnvelopeEnd = "</soap:Body></soap:Envelope>";

using SoapHttp = ServiceTest;

TEST_F(SoapHttp, AnswersAndFaultsByteForByte) {
  HttpReply reply = LoginUser(Port(), "nobody", "x");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.Header("content-type"), "text/xml; charset=utf-8");
  EXPECT_EQ(reply.body, kEnvelopeStart + "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult>false"
                                         "</LoginUserResult></LoginUserResponse>" + kEnvelopeEnd);
  reply = CreateUser(Port(), "abcd", "pw", "a@b");
  EXPECT_EQ(reply.body, kEnvelopeStart + "<CreateUserResponse xmlns=\"http://tempuri.org/\"><CreateUserResult>1"
                                         "</CreateUserResult></CreateUserResponse>" + kEnvelopeEnd);
  reply = Exchange(Port(), PostRequest(kPassportPath, "", Envelope(LoginUserBody("a", "b"))));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.Header("content-type"), "text/xml; charset=utf-8");
  EXPECT_EQ(reply.body, kEnvelopeStart + "<soap:Fault><faultcode>soap:Client</faultcode><faultstring>the SOAPAction "
                                         "header is missing</faultstring><detail /></soap:Fault>" + kEnvelopeEnd);
}

struct Refusal {
  const char* path;
  std::string action, body, contentType, code, text;  // code "": answered
};
const char kXml[] = "text/xml; charset=utf-8";
Refusal Login(std::string body, std::string text, std::string code = "soap:Client") {
  return {kPassportPath, Action("LoginUser"), std::move(body), kXml, std::move(code), std::move(text)};
}
Refusal Upload(std::string body, std::string text) {
  return {kUploadPath, Action("UploadFile"), std::move(body), kXml, "soap:Client", std::move(text)};
}

TEST_F(SoapHttp, RefusesWithTheFaultThatSaysWhy) {
  const std::string login = Envelope(LoginUserBody("a", "b")), noOperation = "names no operation of the ";
  const std::string soap = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">";
  const std::string body = "<s:Body>" + LoginUserBody("a", "b") + "</s:Body>";
  const std::string dtd = "a document type declaration (DTD) is not allowed";
  const std::string notBoolean = "the parameter 'isCompleted' is not a boolean (true, false, 1 or 0)";
  const std::string notBase64 = "the parameter 'TempBytes' is not valid base64";
  std::string deep, nilCompleted = UploadWith("");
  for (int i = 0; i < 70; ++i) deep = "<d>" + deep + "</d>";
  nilCompleted.replace(nilCompleted.find("<isCompleted>true</isCompleted>"), 31, "<isCompleted xsi:nil=\"1\"/>");
  const Refusal cases[] = {
      // The SOAPAction names the operation, of this service, in its namespace, whatever it holds.
      {kPassportPath, Action("DeleteUser"), login, kXml, "soap:Client",
       "the SOAPAction \"http://tempuri.org/DeleteUser\" " + noOperation + "Passport service"},
      {kUploadPath, Action("LoginUser"), login, kXml, "soap:Client",
       "the SOAPAction \"http://tempuri.org/LoginUser\" " + noOperation + "Upload service"},
      {kPassportPath, "\"<x>&\x01\"", login, kXml, "soap:Client",  // quoted safely
       "the SOAPAction \"&lt;x&gt;&amp;\\x01\" " + noOperation + "Passport service"},
      {kPassportPath, "http://tempuri.org/LoginUser", login, kXml, "", ""},  // without the quotes
      {kPassportPath, Action("LoginUser"), login, "application/soap+xml", "soap:Client",
       "the Content-Type must be text/xml"},
      {kPassportPath, Action("LoginUser"), login, "TEXT/XML;Charset=\"UTF-8\"", "", ""},
      // The wrapper, its parameters and their values.
      Login(Envelope(CreateUserBody("a", "b", "c@d")),
            "the Body holds '{http://tempuri.org/}CreateUser' but the SOAPAction names "
            "'{http://tempuri.org/}LoginUser'"),
      Login(Envelope(LoginUserBody("a", "b") + LoginUserBody("a", "b")), "the Body holds more than one element"),
      Login(Envelope(""), "the Body is empty"),
      Login(Envelope("text" + LoginUserBody("a", "b")), "unexpected text outside the parameters"),
      Login(LoginWith("<username>a</username>"), "the parameter 'password' of 'LoginUser' is missing"),
      Login(LoginWith("<username>a</username><username>b</username><password/>"),
            "the parameter 'username' appears twice"),
      Login(LoginWith("<username>a</username><password/><extra/>"),
            "unexpected element '{http://tempuri.org/}extra' in 'LoginUser'"),
      Login(LoginWith("<username>a<b/></username><password/>"), "the parameter 'username' must hold text only"),
      Login(LoginWith("<username xsi:nil=\"1\">a</username><password/>"),
            "the parameter 'username' is nil but holds a value"),
      Login(LoginWith("<username xsi:nil=\"maybe\"/><password/>"),
            "the xsi:nil attribute of 'username' is not a boolean"),
      Upload(nilCompleted, "the parameter 'isCompleted' must not be nil"), Upload(UploadWith("", "2"), notBoolean),
      Upload(UploadWith("YQ="), notBase64), Upload(UploadWith("YQ==YQ=="), notBase64),
      // The envelope, its headers and what may follow the Body.
      Login("<Envelope/>", "the Envelope is not in the SOAP 1.1 envelope namespace", "soap:VersionMismatch"),
      Login("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body/></s:Envelope>",
            "a SOAP 1.2 Envelope was sent; this service speaks SOAP 1.1", "soap:VersionMismatch"),
      Login("<LoginUser xmlns=\"http://tempuri.org/\"/>",
            "the root element '{http://tempuri.org/}LoginUser' is not a SOAP Envelope"),
      Login(soap + "</s:Envelope>", "the Envelope has no Body"),
      Login(soap + "<s:Header><h:A xmlns:h=\"urn:h\" s:mustUnderstand=\"1\"/></s:Header>" + body + "</s:Envelope>",
            "the header entry '{urn:h}A' is not understood", "soap:MustUnderstand"),
      Login(soap + "<s:Header>" + deep + "</s:Header>" + body + "</s:Envelope>", "elements are nested too deeply"),
      Login(soap + body + "<More/></s:Envelope>", "unexpected element 'More' after the Body"),
      // Document types and entities, malformed XML with its place.
      Login("<!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + Envelope(LoginUserBody("&x;", "b")), dtd),
      Login(LoginWith("<username>a</password>"), "malformed XML: mismatched tag at line 1, column 290"),
      Login(login + "<x/>", "malformed XML: junk after document element at line 1, column 361"),
  };
  for (const Refusal& c : cases) {
    HttpReply reply = Exchange(Port(), PostRequest(c.path, c.action, c.body, c.contentType));
    EXPECT_EQ(reply.status, c.code.empty() ? 200 : 500) << c.text;
    EXPECT_EQ(FaultCodeOf(reply), c.code) << c.text;
    EXPECT_EQ(FaultStringOf(reply), c.text);
  }
}

TEST_F(SoapHttp, ListsTheOperationsOnGetAndLogsOneLinePerRequestWithoutPasswords) {
  const std::pair<std::string, const char*> calls[] = {
      {GetRequest(kPassportPath), " GET /WebService/Passport.asmx 200"},
      {PostRequest(kPassportPath, Action("CreateUser"), Envelope(CreateUserBody("logger", "Secret-Pa55", "l@x"))),
       " POST /WebService/Passport.asmx 200 CreateUser user=\"logger\" -> 1"},
      {PostRequest(kPassportPath, Action("LoginUser"), Envelope(LoginUserBody("logger", "Secret-Pa55"))),
       "LoginUser user=\"logger\" -> true"},
      {PostRequest(kPassportPath, Action("LoginUser"), Envelope(LoginUserBody("logger", "Wrong\nPa55"))),
       "LoginUser user=\"logger\" -> false"},
      {PostRequest(kPassportPath, Action("LoginUser"), Envelope("<LoginUser")), " 500 fault Client: malformed XML"},
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    HttpReply reply = Exchange(Port(), calls[i].first);
    if (i == 0) {
      EXPECT_NE(reply.body.find("<b>LoginUser</b>(username, password)"), std::string::npos) << reply.body;
    }
    // Each line is awaited before the next request could overtake it.
    std::vector<std::string> lines = service->LogLines(i + 1);
    ASSERT_EQ(lines.size(), i + 1);
    EXPECT_NE(lines[i].find(calls[i].second), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].find("Pa55"), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].find('\n'), std::string::npos) << lines[i];
  }
}

TEST_F(SoapHttp, RefusesABodyDeclaredOverTheLimit) {
  Start([](fotrel::service::ServiceConfig& c) { c.limits.pieceBytes = 1000; });
  // 1000 bytes of piece allow 1336 base64 characters, 17 line breaks and 1 MiB of envelope.
  const size_t limit = 1336 + 17 * 2 + (1 << 20);
  const std::string tooLarge = "the request is larger than " + std::to_string(limit) + " bytes";
  const std::string head = "POST /WebService/Upload.asmx HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n"
                           "SOAPAction: \"http://tempuri.org/UploadFile\"\r\n";
  // Declared too large: refused before the body is read.
  HttpReply reply = Exchange(Port(), head + "Content-Length: " + std::to_string(limit + 1) + "\r\n\r\n" +
                                         std::string(limit + 1, ' '));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultCodeOf(reply), "soap:Client");
  EXPECT_EQ(FaultStringOf(reply), tooLarge);
}

}  // namespace
