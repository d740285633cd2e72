// The SOAP services over HTTP on loopback: exact answers, keep-alive, and every way a request
// is refused with a SOAP 1.1 Fault.
#include <gtest/gtest.h>

#include <filesystem>

#include "service_fixture.h"

namespace fs = std::filesystem;

namespace {

const char kEnvelopeStart[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>";

class SoapHttp : public ::testing::Test {
 protected:
  TempFolder root;
  std::unique_ptr<RunningService> service;
  void SetUp() override {
    service = std::make_unique<RunningService>(root.Path() / "data");
    ASSERT_TRUE(service->Started()) << service->Error();
  }
  int Port() const { return service->Port(); }

  void ExpectClientFault(const HttpReply& reply, const std::string& text) {
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.Header("content-type"), "text/xml; charset=utf-8");
    EXPECT_EQ(FaultCodeOf(reply), "soap:Client");
    EXPECT_EQ(FaultStringOf(reply), text);
  }
};

}  // namespace

TEST_F(SoapHttp, AnswersInTheUsualWrappedForm) {
  HttpReply reply = LoginUser(Port(), "nobody", "x");
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.Header("content-type"), "text/xml; charset=utf-8");
  EXPECT_EQ(reply.body, std::string(kEnvelopeStart) +
                            "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult>"
                            "false</LoginUserResult></LoginUserResponse></soap:Body></soap:Envelope>");
  reply = CreateUser(Port(), "abcd", "pw", "a@b");
  EXPECT_EQ(reply.body, std::string(kEnvelopeStart) +
                            "<CreateUserResponse xmlns=\"http://tempuri.org/\"><CreateUserResult>"
                            "1</CreateUserResult></CreateUserResponse></soap:Body></soap:Envelope>");
}

TEST_F(SoapHttp, WritesFaultsTheClientCanRead) {
  HttpReply reply = Exchange(Port(), PostRequest(kPassportPath, "", Envelope(LoginUserBody("a", "b"))));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body, std::string(kEnvelopeStart) +
                            "<soap:Fault><faultcode>soap:Client</faultcode><faultstring>the "
                            "SOAPAction header is missing</faultstring><detail /></soap:Fault>"
                            "</soap:Body></soap:Envelope>");
}

TEST_F(SoapHttp, KeepsTheConnectionForTheNextCall) {
  RawConnection connection(Port());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(connection.Send(PostRequest(kPassportPath, Action("LoginUser"),
                                            Envelope(LoginUserBody("a", "b")))));
    HttpReply reply = connection.Read();
    ASSERT_TRUE(reply.ok) << i;
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.Header("connection"), "close");
    // A refused request leaves the connection usable too.
    ASSERT_TRUE(connection.Send(PostRequest(kPassportPath, Action("LoginUser"), "<broken")));
    reply = connection.Read();
    ASSERT_TRUE(reply.ok) << i;
    EXPECT_EQ(reply.status, 500);
  }
  EXPECT_FALSE(connection.ClosedByPeer(200));
}

TEST_F(SoapHttp, DispatchesBySoapActionOnly) {
  ExpectClientFault(CallSoap(Port(), kPassportPath, "DeleteUser", LoginUserBody("a", "b")),
                    "the SOAPAction \"http://tempuri.org/DeleteUser\" names no operation of the "
                    "Passport service");
  ExpectClientFault(CallSoap(Port(), kPassportPath, "UploadFile", LoginUserBody("a", "b")),
                    "the SOAPAction \"http://tempuri.org/UploadFile\" names no operation of the "
                    "Passport service");
  ExpectClientFault(CallSoap(Port(), kUploadPath, "LoginUser", LoginUserBody("a", "b")),
                    "the SOAPAction \"http://tempuri.org/LoginUser\" names no operation of the "
                    "Upload service");
  ExpectClientFault(Exchange(Port(), PostRequest(kPassportPath, "\"urn:other/LoginUser\"",
                                                 Envelope(LoginUserBody("a", "b")))),
                    "the SOAPAction \"urn:other/LoginUser\" names no operation of the Passport "
                    "service");
  // Without the quotes the action still names the operation.
  HttpReply reply = Exchange(Port(), PostRequest(kPassportPath, "http://tempuri.org/LoginUser",
                                                 Envelope(LoginUserBody("a", "b"))));
  EXPECT_EQ(reply.status, 200);
  // The body must agree with the action.
  ExpectClientFault(CallSoap(Port(), kPassportPath, "LoginUser", CreateUserBody("a", "b", "c@d")),
                    "the Body holds '{http://tempuri.org/}CreateUser' but the SOAPAction names "
                    "'{http://tempuri.org/}LoginUser'");
}

TEST_F(SoapHttp, RefusesOtherContentTypes) {
  ExpectClientFault(Exchange(Port(), PostRequest(kPassportPath, Action("LoginUser"),
                                                 Envelope(LoginUserBody("a", "b")),
                                                 "application/soap+xml")),
                    "the Content-Type must be text/xml");
  ExpectClientFault(Exchange(Port(), PostRequest(kPassportPath, Action("LoginUser"),
                                                 Envelope(LoginUserBody("a", "b")), "")),
                    "the Content-Type must be text/xml");
  HttpReply reply = Exchange(Port(), PostRequest(kPassportPath, Action("LoginUser"),
                                                 Envelope(LoginUserBody("a", "b")),
                                                 "TEXT/XML;Charset=\"UTF-8\""));
  EXPECT_EQ(reply.status, 200);
}

TEST_F(SoapHttp, RefusesMalformedXmlDtdsAndBadParameters) {
  ExpectClientFault(CallSoap(Port(), kPassportPath, "LoginUser", "<LoginUser"),
                    "malformed XML: not well-formed (invalid token) at line 1, column 248");
  ExpectClientFault(
      Exchange(Port(), PostRequest(kPassportPath, Action("LoginUser"),
                                   "<!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                                       Envelope(LoginUserBody("&x;", "b")))),
      "a document type declaration (DTD) is not allowed");
  ExpectClientFault(CallSoap(Port(), kPassportPath, "LoginUser",
                             "<LoginUser xmlns=\"http://tempuri.org/\"><username>a</username>"
                             "</LoginUser>"),
                    "the parameter 'password' of 'LoginUser' is missing");
  std::string body = UploadFileBody("abc", "0.jpg", "a.jpg", false, "u");
  body.replace(body.find("false"), 5, "no");
  ExpectClientFault(CallSoap(Port(), kUploadPath, "UploadFile", body),
                    "the parameter 'isCompleted' is not a boolean (true, false, 1 or 0)");
  body = UploadFileBody("abc", "0.jpg", "a.jpg", false, "u");
  body.replace(body.find("<TempBytes>") + 11, 4, "YW!j");
  ExpectClientFault(CallSoap(Port(), kUploadPath, "UploadFile", body),
                    "the parameter 'TempBytes' is not valid base64");
}

TEST_F(SoapHttp, AnswersVersionAndHeaderFaultsWithTheirCodes) {
  HttpReply reply =
      Exchange(Port(), PostRequest(kPassportPath, Action("LoginUser"),
                                   "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
                                   "<s:Body/></s:Envelope>"));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultCodeOf(reply), "soap:VersionMismatch");
  reply = Exchange(Port(), PostRequest(kPassportPath, Action("LoginUser"),
                                       "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
                                       "envelope/\"><s:Header><h:A xmlns:h=\"urn:h\" "
                                       "s:mustUnderstand=\"1\"/></s:Header><s:Body>" +
                                           LoginUserBody("a", "b") + "</s:Body></s:Envelope>"));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultCodeOf(reply), "soap:MustUnderstand");
}

TEST_F(SoapHttp, ReportsInternalFailuresAsServerFaults) {
  ASSERT_EQ(CreateUser(Port(), "user", "pw", "u@x").status, 200);
  // The piece folder cannot be made when a file stands in its place.
  fs::remove_all(root.Path() / "data" / "pieces");
  WriteFile(root.Path() / "data" / "pieces", "not a folder");
  HttpReply reply = UploadFile(Port(), "abc", "0.jpg", "a.jpg", false, "user");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultCodeOf(reply), "soap:Server");
  EXPECT_EQ(FaultStringOf(reply), "the piece folder cannot be created");
  // The piece it could not file is not left behind.
  EXPECT_TRUE(FilesBelow(root.Path() / "data" / "tmp").empty());
}

TEST_F(SoapHttp, QuotesWhatTheClientSentSafely) {
  HttpReply reply = Exchange(Port(), PostRequest(kPassportPath, "\"<x>&\x01\"",
                                                 Envelope(LoginUserBody("a", "b"))));
  EXPECT_EQ(FaultStringOf(reply),
            "the SOAPAction \"&lt;x&gt;&amp;\\x01\" names no operation of the Passport service");
}

TEST_F(SoapHttp, ListsTheOperationsOnGet) {
  HttpReply reply = Exchange(Port(), GetRequest(kPassportPath));
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_NE(reply.body.find("<b>CreateUser</b>(username, password, emailAddress)"),
            std::string::npos);
  EXPECT_NE(reply.body.find("<b>LoginUser</b>(username, password)"), std::string::npos);
  reply = Exchange(Port(), GetRequest(kUploadPath));
  EXPECT_NE(reply.body.find("<b>UploadFile</b>(TempBytes, strTempFileName, FileName, "
                            "isCompleted, userName)"),
            std::string::npos);
}

TEST_F(SoapHttp, LogsOneLinePerRequestAndNeverAPassword) {
  CreateUser(Port(), "logger", "Secret-Pa55", "l@x");
  LoginUser(Port(), "logger", "Secret-Pa55");
  LoginUser(Port(), "logger", "Wrong-Pa55");
  CallSoap(Port(), kPassportPath, "LoginUser", "<LoginUser");
  Exchange(Port(), GetRequest("/Notice.html"));
  std::vector<std::string> lines = service->LogLines(5);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find(" POST /WebService/Passport.asmx 200 CreateUser user=\"logger\" -> 1"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find("LoginUser user=\"logger\" -> true"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("LoginUser user=\"logger\" -> false"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(" 500 fault Client: malformed XML"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find(" GET /Notice.html 200"), std::string::npos) << lines[4];
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("Pa55"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
}

TEST(SoapHttpLimits, RefusesBodiesOverTheLimitWithAFault) {
  TempFolder root;
  RunningService service(root.Path() / "data",
                         [](fotrel::service::ServiceConfig& c) { c.limits.pieceBytes = 1000; });
  ASSERT_TRUE(service.Started());
  // 1000 bytes of piece allow 1336 base64 characters, 17 line breaks and 1 MiB of envelope.
  const size_t limit = 1336 + 17 * 2 + (1 << 20);
  std::string head = "POST /WebService/Upload.asmx HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml"
                     "\r\nSOAPAction: \"http://tempuri.org/UploadFile\"\r\n";
  // Declared too large: refused before the body is read.
  HttpReply reply = Exchange(service.Port(), head + "Content-Length: " +
                                                 std::to_string(limit + 1) + "\r\n\r\n" +
                                                 std::string(limit + 1, ' '));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultCodeOf(reply), "soap:Client");
  EXPECT_EQ(FaultStringOf(reply), "the request is larger than " + std::to_string(limit) + " bytes");
  // Chunked, so the size shows only while reading: the rest is read and dropped, and the
  // connection stays usable.
  RawConnection connection(service.Port());
  std::string chunk(64 * 1024, ' ');
  char size[16];
  std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
  std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
  for (size_t sent = 0; sent <= limit; sent += chunk.size()) chunked += size + chunk + "\r\n";
  ASSERT_TRUE(connection.Send(chunked + "0\r\n\r\n"));
  reply = connection.Read();
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultStringOf(reply), "the request is larger than " + std::to_string(limit) + " bytes");
  ASSERT_TRUE(connection.Send(PostRequest(kPassportPath, Action("LoginUser"),
                                          Envelope(LoginUserBody("a", "b")))));
  reply = connection.Read();
  EXPECT_EQ(reply.status, 200);
  // Far past the limit the reading stops: the answer is the same fault.
  RawConnection flood(service.Port());
  flood.Send(head + "Transfer-Encoding: chunked\r\n\r\n");
  for (size_t sent = 0; sent <= 3 * limit; sent += chunk.size())
    if (!flood.Send(size + chunk + "\r\n")) break;
  reply = flood.Read();
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(FaultStringOf(reply), "the request is larger than " + std::to_string(limit) + " bytes");
}

TEST(SoapHttpNamespace, ServesTheNamespaceItIsGiven) {
  TempFolder root;
  RunningService service(root.Path() / "data", [](fotrel::service::ServiceConfig& c) {
    c.serviceNamespace = "urn:fotrel:test/";
  });
  ASSERT_TRUE(service.Started());
  std::string body = "<LoginUser xmlns=\"urn:fotrel:test/\"><username>a</username><password>b"
                     "</password></LoginUser>";
  HttpReply reply = Exchange(service.Port(), PostRequest(kPassportPath, "\"urn:fotrel:test/LoginUser\"",
                                                         Envelope(body)));
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find("<LoginUserResponse xmlns=\"urn:fotrel:test/\">"), std::string::npos);
  // The default namespace is not served at the same time.
  reply = LoginUser(service.Port(), "a", "b");
  EXPECT_EQ(reply.status, 500);
}
