// The response handler over the platform's reader (expat here, MSXML under Windows/Wine).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "soap/sax.h"
#include "soap/soap_handler.h"
#include "tests/soap/response_test_tables.h"

using namespace soaptest;

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr size_t kDeclarationLength = sizeof(kDeclaration) - 1;
constexpr char kEnvelopeStart[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">";

std::string Envelope(const std::string& body, const std::string& header = std::string()) {
  std::string text = kEnvelopeStart;
  if (!header.empty()) text += "<soap:Header>" + header + "</soap:Header>";
  return text + "<soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string Wrapped(const char* response, const std::string& results) {
  return Envelope(std::string("<") + response + " xmlns=\"http://tempuri.org/\">" + results + "</" + response + ">");
}

std::string Login(const std::string& results) { return Wrapped("LoginUserResponse", results); }
std::string LoginResult(const std::string& text) {
  return Login("<LoginUserResult>" + text + "</LoginUserResult>");
}
std::string CreateResult(const std::string& text) {
  return Wrapped("CreateUserResponse", "<CreateUserResult>" + text + "</CreateUserResult>");
}

std::u16string Text(const SoapString& s) { return s.data ? std::u16string(s.data, s.length) : u"(absent)"; }

class ResponseParserTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(kS_OK, CSaxReader::Create(&m_reader)); }
  void TearDown() override {
    m_handler.ReleaseResults();
    m_handler.EndCall();
  }

  HResult Parse(int operation, void* record, const std::string& body) {
    HResult hr = m_handler.BeginCall(operation, record);
    if (Failed(hr)) return hr;
    return m_handler.ParseResponse(m_reader.get(), body.data(), body.size());
  }
  HResult ParseLogin(const std::string& body) {
    m_login = LoginUserRecord{};
    return Parse(kOpLoginUser, &m_login, body);
  }
  HResult ParseCreate(const std::string& body) {
    m_create = CreateUserRecord{};
    return Parse(kOpCreateUser, &m_create, body);
  }

  std::unique_ptr<CSaxReader> m_reader;
  CTestSoapHandler m_handler;
  LoginUserRecord m_login{};
  CreateUserRecord m_create{};
  UploadFileRecord m_upload{};
  GetNoteRecord m_note{};
  GetBytesRecord m_bytes{};
  StatsRecord m_stats{};
};

TEST_F(ResponseParserTest, LoginResultTrueAndOne) {
  EXPECT_EQ(kS_OK, ParseLogin(LoginResult("true")));
  EXPECT_EQ(1, m_login.LoginUserResult);
  EXPECT_EQ(kS_OK, ParseLogin(LoginResult("1")));
  EXPECT_EQ(1, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, LoginResultFalseAndZeroClearTheRecord) {
  m_login.LoginUserResult = 1;
  ASSERT_EQ(kS_OK, m_handler.BeginCall(kOpLoginUser, &m_login));
  std::string body = LoginResult("false");
  EXPECT_EQ(kS_OK, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
  EXPECT_EQ(0, m_login.LoginUserResult);
  EXPECT_EQ(kS_OK, ParseLogin(LoginResult("0")));
  EXPECT_EQ(0, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, TheResponseElementClearsInputsToo) {
  static const char16_t kName[] = u"alice";
  m_login.username = SoapString{kName, 5};
  ASSERT_EQ(kS_OK, m_handler.BeginCall(kOpLoginUser, &m_login));
  std::string body = LoginResult("true");
  EXPECT_EQ(kS_OK, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
  EXPECT_EQ(nullptr, m_login.username.data);
  EXPECT_EQ(1, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, BooleanTextMustBeExact) {
  for (const char* text : {" true", "true ", "True", "TRUE", "yes", "2", "01", "t", "\ntrue\n"}) {
    EXPECT_TRUE(Failed(ParseLogin(LoginResult(text)))) << text;
  }
}

TEST_F(ResponseParserTest, ExtraElementInsideTheResponseFails) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult>true</LoginUserResult><Extra>1</Extra>"))));
  EXPECT_TRUE(Failed(ParseLogin(Login("<Extra/><LoginUserResult>true</LoginUserResult>"))));
  // An input parameter is not a result.
  EXPECT_TRUE(Failed(ParseLogin(Login("<username>a</username><LoginUserResult>true</LoginUserResult>"))));
}

TEST_F(ResponseParserTest, MissingResultFails) {
  EXPECT_TRUE(Failed(ParseLogin(Login(""))));
  EXPECT_TRUE(Failed(ParseLogin(Envelope("<LoginUserResponse xmlns=\"http://tempuri.org/\"/>"))));
}

TEST_F(ResponseParserTest, BodyWithoutResponseElementFails) {
  EXPECT_TRUE(Failed(ParseLogin(Envelope(""))));
  EXPECT_TRUE(Failed(ParseLogin(std::string(kEnvelopeStart) + "</soap:Envelope>")));
}

TEST_F(ResponseParserTest, NilOnNonNullableResultFails) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult xsi:nil=\"true\"/>"))));
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult xsi:nil=\"1\"></LoginUserResult>"))));
  EXPECT_TRUE(Failed(ParseCreate(Wrapped("CreateUserResponse", "<CreateUserResult xsi:nil=\"true\"/>"))));
  // An unreadable nil flag is not a value either.
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult xsi:nil=\"yes\">true</LoginUserResult>"))));
}

TEST_F(ResponseParserTest, NilFalseReadsTheValue) {
  EXPECT_EQ(kS_OK, ParseLogin(Login("<LoginUserResult xsi:nil=\"false\">true</LoginUserResult>")));
  EXPECT_EQ(1, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, NilOnNullableStringLeavesItAbsent) {
  EXPECT_EQ(kS_OK, Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "<NoteResult xsi:nil=\"true\"/>")));
  EXPECT_EQ(nullptr, m_note.NoteResult.data);
  EXPECT_EQ(0u, m_note.NoteResult.length);
  // A nil element holds nothing.
  EXPECT_TRUE(
      Failed(Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "<NoteResult xsi:nil=\"true\"><a/></NoteResult>"))));
}

TEST_F(ResponseParserTest, NilOnlyInTheSchemaInstanceNamespace) {
  // The same attribute name in another namespace is no nil flag.
  std::string body = Wrapped("GetNoteResponse", "<NoteResult xmlns:o=\"urn:other\" o:nil=\"true\">x</NoteResult>");
  EXPECT_EQ(kS_OK, Parse(kOpGetNote, &m_note, body));
  EXPECT_EQ(u"x", Text(m_note.NoteResult));
}

TEST_F(ResponseParserTest, HeaderEntryThatMustBeUnderstoodFails) {
  std::string result = "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult>true</LoginUserResult>"
                       "</LoginUserResponse>";
  EXPECT_TRUE(Failed(ParseLogin(Envelope(result, "<Session soap:mustUnderstand=\"1\">7</Session>"))));
  EXPECT_TRUE(Failed(ParseLogin(Envelope(result, "<Session soap:mustUnderstand=\"true\"/>"))));
  EXPECT_TRUE(Failed(ParseLogin(Envelope(result, "<a/><Session soap:mustUnderstand=\"yes\"/>"))));
}

TEST_F(ResponseParserTest, OtherHeaderEntriesAreSkipped) {
  std::string result = "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult>true</LoginUserResult>"
                       "</LoginUserResponse>";
  for (const char* header : {"<Session>7</Session>", "<Session soap:mustUnderstand=\"0\"><x><y/>t</x></Session>",
                             "<Session soap:mustUnderstand=\"false\"/><Other a=\"b\">text</Other>",
                             "<LoginUserResult>false</LoginUserResult>", "<s:Session xmlns:s=\"urn:s\" mustUnderstand=\"1\"/>"}) {
    EXPECT_EQ(kS_OK, ParseLogin(Envelope(result, header))) << header;
    EXPECT_EQ(1, m_login.LoginUserResult) << header;
  }
  // An empty header block.
  EXPECT_EQ(kS_OK, ParseLogin(Envelope(result, "")));
}

TEST_F(ResponseParserTest, EnvelopeStructureIsChecked) {
  std::string response = "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult>true</LoginUserResult>"
                         "</LoginUserResponse>";
  const std::string ns = "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"";
  // Wrong root, wrong namespace, Body as the root, Header after Body, two Envelopes.
  EXPECT_TRUE(Failed(ParseLogin("<html><body>Error</body></html>")));
  EXPECT_TRUE(Failed(ParseLogin("<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body>" +
                                response + "</soap:Body></soap:Envelope>")));
  EXPECT_TRUE(Failed(ParseLogin("<soap:Body " + ns + ">" + response + "</soap:Body>")));
  EXPECT_TRUE(Failed(ParseLogin("<soap:Envelope " + ns + "><soap:Body>" + response +
                                "</soap:Body><soap:Header/></soap:Envelope>")));
  EXPECT_TRUE(Failed(ParseLogin("<soap:Envelope " + ns + "><soap:Header/><soap:Header/><soap:Body>" + response +
                                "</soap:Body></soap:Envelope>")));
  EXPECT_TRUE(Failed(ParseLogin("<soap:Envelope " + ns + "><soap:Envelope><soap:Body>" + response +
                                "</soap:Body></soap:Envelope></soap:Envelope>")));
  EXPECT_TRUE(Failed(ParseLogin("<soap:Envelope " + ns + "><other/><soap:Body>" + response +
                                "</soap:Body></soap:Envelope>")));
  // A default-namespace envelope and a different prefix are the same envelope.
  EXPECT_EQ(kS_OK, ParseLogin("<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body>" + response +
                              "</Body></Envelope>"));
  EXPECT_EQ(kS_OK, ParseLogin("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>" +
                              response + "</s:Body></s:Envelope>"));
}

TEST_F(ResponseParserTest, ResultWithoutNamespaceAccepted) {
  EXPECT_EQ(kS_OK, ParseLogin(Login("<LoginUserResult xmlns=\"\">true</LoginUserResult>")));
  EXPECT_EQ(1, m_login.LoginUserResult);
  EXPECT_EQ(kS_OK, ParseLogin(Envelope("<LoginUserResponse><LoginUserResult>1</LoginUserResult></LoginUserResponse>")));
  EXPECT_EQ(1, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, ResultInAnotherNamespaceAccepted) {
  EXPECT_EQ(kS_OK, ParseCreate(Wrapped("CreateUserResponse",
                                       "<r:CreateUserResult xmlns:r=\"urn:elsewhere\">5</r:CreateUserResult>")));
  EXPECT_EQ(5, m_create.CreateUserResult);
}

TEST_F(ResponseParserTest, ResponseElementNameIsNotChecked) {
  EXPECT_EQ(kS_OK, ParseLogin(Envelope("<Whatever xmlns=\"urn:x\"><LoginUserResult>true</LoginUserResult></Whatever>")));
  EXPECT_EQ(1, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, ResultNamesAreCaseSensitive) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<loginUserResult>true</loginUserResult>"))));
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResul>true</LoginUserResul>"))));
}

TEST_F(ResponseParserTest, EmptyBooleanOrIntFails) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult/>"))));
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult></LoginUserResult>"))));
  EXPECT_TRUE(Failed(ParseCreate(Wrapped("CreateUserResponse", "<CreateUserResult/>"))));
}

TEST_F(ResponseParserTest, ScalarHoldsNoElements) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult><b>true</b></LoginUserResult>"))));
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult>true<b/></LoginUserResult>"))));
}

TEST_F(ResponseParserTest, IntResults) {
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("-1")));
  EXPECT_EQ(-1, m_create.CreateUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult(" 42 ")));
  EXPECT_EQ(42, m_create.CreateUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("\n\t+7\r\n")));
  EXPECT_EQ(7, m_create.CreateUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("2147483647")));
  EXPECT_EQ(2147483647, m_create.CreateUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("-2147483648")));
  EXPECT_EQ(INT32_MIN, m_create.CreateUserResult);
  // White space alone reads as 0.
  m_create.CreateUserResult = 9;
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("  ")));
  EXPECT_EQ(0, m_create.CreateUserResult);
  for (const char* text : {"2147483648", "-2147483649", "4 2", "42a", "0x10", "1.5", "--1", "+"}) {
    EXPECT_TRUE(Failed(ParseCreate(CreateResult(text)))) << text;
  }
}

TEST_F(ResponseParserTest, TextSplitByCharacterReferenceIsReadWhole) {
  EXPECT_EQ(kS_OK, ParseLogin(LoginResult("tr&#x75;e")));
  EXPECT_EQ(1, m_login.LoginUserResult);
  EXPECT_EQ(kS_OK, ParseLogin(LoginResult("&#116;rue")));
  EXPECT_EQ(1, m_login.LoginUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("-4&#x32;&#x31;")));
  EXPECT_EQ(-421, m_create.CreateUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("1<!-- between -->2")));
  EXPECT_EQ(12, m_create.CreateUserResult);
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult("<![CDATA[3]]>4")));
  EXPECT_EQ(34, m_create.CreateUserResult);
}

TEST_F(ResponseParserTest, IntStraddlingTheReadersBlocksIsReadWhole) {
  // A large skipped header entry puts the number across a 1 MiB boundary of the input.
  const std::string prefix = std::string(kEnvelopeStart) + "<soap:Header><Pad>";
  const std::string middle = "</Pad></soap:Header><soap:Body><CreateUserResponse xmlns=\"http://tempuri.org/\">"
                             "<CreateUserResult>";
  const size_t boundary = size_t{1} << 20;
  std::string body = prefix + std::string(boundary - prefix.size() - middle.size() - 3, 'p') + middle +
                     "123456</CreateUserResult></CreateUserResponse></soap:Body></soap:Envelope>";
  ASSERT_EQ("123", body.substr(boundary - 3, 3));
  EXPECT_EQ(kS_OK, ParseCreate(body));
  EXPECT_EQ(123456, m_create.CreateUserResult);
}

TEST_F(ResponseParserTest, OverlongScalarTextFails) {
  EXPECT_TRUE(Failed(ParseCreate(CreateResult(std::string(70000, ' ') + "1"))));
  EXPECT_EQ(kS_OK, ParseCreate(CreateResult(std::string(60000, ' ') + "1")));
  EXPECT_EQ(1, m_create.CreateUserResult);
}

TEST_F(ResponseParserTest, DoctypeIsRefused) {
  EXPECT_TRUE(Failed(ParseLogin("<!DOCTYPE soap:Envelope>" + LoginResult("true").substr(kDeclarationLength))));
  std::string withEntity = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY t \"true\">]>" +
                           LoginResult("&t;").substr(kDeclarationLength);
  EXPECT_TRUE(Failed(ParseLogin(withEntity)));
  EXPECT_EQ(0, m_login.LoginUserResult);
}

TEST_F(ResponseParserTest, EntityExpansionAttackIsRefused) {
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
  for (int i = 2; i <= 9; ++i) {
    std::string previous = "&lol" + std::to_string(i - 1) + ";";
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += previous;
    laughs += "\">";
  }
  laughs += "]>" + LoginResult("&lol9;").substr(kDeclarationLength);
  EXPECT_TRUE(Failed(ParseLogin(laughs)));
  std::string external = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                         Wrapped("GetNoteResponse", "<NoteResult>&x;</NoteResult>").substr(kDeclarationLength);
  EXPECT_TRUE(Failed(Parse(kOpGetNote, &m_note, external)));
  EXPECT_EQ(nullptr, m_note.NoteResult.data);
}

TEST_F(ResponseParserTest, UndeclaredEntityFails) {
  EXPECT_TRUE(Failed(ParseLogin(LoginResult("&t;"))));
}

TEST_F(ResponseParserTest, SecondOccurrenceFails) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult>true</LoginUserResult><LoginUserResult>true</LoginUserResult>"))));
  EXPECT_TRUE(Failed(Parse(kOpGetNote, &m_note,
                           Wrapped("GetNoteResponse", "<NoteResult>a</NoteResult><NoteResult>b</NoteResult>"))));
}

TEST_F(ResponseParserTest, StringResultGathersNestedMarkupAsText) {
  std::string body = Wrapped("GetNoteResponse",
                             "<NoteResult>a<b x=\"1&amp;2\" p:y='q' xmlns:p=\"urn:p\">c &lt; d</b>e<f/>&#x4E2D;"
                             "\xE6\x96\x87</NoteResult>");
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &m_note, body));
  EXPECT_EQ(u"a<b x=\"1&2\" p:y=\"q\">c < d</b>e<f></f>\u4E2D\u6587", Text(m_note.NoteResult));
  EXPECT_EQ(0, m_note.NoteResult.data[m_note.NoteResult.length]);
}

TEST_F(ResponseParserTest, StringResultOutsideTheBasicPlane) {
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &m_note,
                         Wrapped("GetNoteResponse", "<NoteResult>&#x1F600;\xF0\x9F\x98\x80</NoteResult>")));
  EXPECT_EQ(u"\U0001F600\U0001F600", Text(m_note.NoteResult));
}

TEST_F(ResponseParserTest, EmptyStringResultIsPresent) {
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "<NoteResult/>")));
  ASSERT_NE(nullptr, m_note.NoteResult.data);
  EXPECT_EQ(0u, m_note.NoteResult.length);
}

TEST_F(ResponseParserTest, NullableResultMayBeMissing) {
  // Expected elements: 1, read: 0; the only result is nullable.
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "")));
  EXPECT_EQ(nullptr, m_note.NoteResult.data);
}

TEST_F(ResponseParserTest, LargeStringResult) {
  std::string text(3 << 20, 'x');
  text[0] = 'a';
  text.back() = 'z';
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "<NoteResult>" + text + "</NoteResult>")));
  ASSERT_EQ(text.size(), m_note.NoteResult.length);
  EXPECT_EQ(u'a', m_note.NoteResult.data[0]);
  EXPECT_EQ(u'x', m_note.NoteResult.data[1 << 20]);
  EXPECT_EQ(u'z', m_note.NoteResult.data[text.size() - 1]);
}

TEST_F(ResponseParserTest, Base64ResultIsDecoded) {
  ASSERT_EQ(kS_OK, Parse(kOpGetBytes, &m_bytes, Wrapped("GetBytesResponse", "<BytesResult>YWJj\r\nZA==</BytesResult>")));
  ASSERT_EQ(4u, m_bytes.BytesResult.size);
  EXPECT_EQ(0, std::memcmp(m_bytes.BytesResult.data, "abcd", 4));
  ASSERT_EQ(kS_OK, Parse(kOpGetBytes, &m_bytes, Wrapped("GetBytesResponse", "<BytesResult></BytesResult>")));
  EXPECT_NE(nullptr, m_bytes.BytesResult.data);
  EXPECT_EQ(0u, m_bytes.BytesResult.size);
  EXPECT_TRUE(Failed(Parse(kOpGetBytes, &m_bytes, Wrapped("GetBytesResponse", ""))));
}

TEST_F(ResponseParserTest, ReleaseResultsFreesAndZeroes) {
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "<NoteResult>kept</NoteResult>")));
  EXPECT_EQ(u"kept", Text(m_note.NoteResult));
  m_handler.ReleaseResults();
  EXPECT_EQ(nullptr, m_note.NoteResult.data);
  EXPECT_EQ(0u, m_note.NoteResult.length);
  ASSERT_EQ(kS_OK, Parse(kOpGetBytes, &m_bytes, Wrapped("GetBytesResponse", "<BytesResult>AAEC</BytesResult>")));
  EXPECT_EQ(3u, m_bytes.BytesResult.size);
  m_handler.ReleaseResults();
  EXPECT_EQ(nullptr, m_bytes.BytesResult.data);
  EXPECT_EQ(0u, m_bytes.BytesResult.size);
}

TEST_F(ResponseParserTest, ValuesStoredBeforeAFailureAreReleased) {
  // Label is stored, then the second Count fails the parse; the leak checker watches the rest.
  std::string body = Wrapped("StatsResponse", "<Label>gone</Label><Count>1</Count><Count>2</Count>");
  EXPECT_TRUE(Failed(Parse(kOpStats, &m_stats, body)));
  EXPECT_EQ(u"gone", Text(m_stats.Label));
  m_handler.ReleaseResults();
  EXPECT_EQ(nullptr, m_stats.Label.data);
  // A parse stopped inside a gathered string leaves nothing behind either.
  EXPECT_TRUE(Failed(Parse(kOpStats, &m_stats, Wrapped("StatsResponse", "<Label>abc<x></Label>"))));
}

TEST_F(ResponseParserTest, SeveralResultsAndCompleteness) {
  ASSERT_EQ(kS_OK, Parse(kOpStats, &m_stats,
                         Wrapped("StatsResponse", "<Ratio>0.25</Ratio><Label>L</Label><Count>3</Count>")));
  EXPECT_EQ(3, m_stats.Count);
  EXPECT_EQ(0.25, m_stats.Ratio);
  EXPECT_EQ(u"L", Text(m_stats.Label));
  // Fewer than expected: the nullable Label may be missing, Ratio may not.
  ASSERT_EQ(kS_OK, Parse(kOpStats, &m_stats, Wrapped("StatsResponse", "<Count>3</Count><Ratio>INF</Ratio>")));
  EXPECT_EQ(nullptr, m_stats.Label.data);
  EXPECT_TRUE(Failed(Parse(kOpStats, &m_stats, Wrapped("StatsResponse", "<Count>3</Count><Label>L</Label>"))));
}

TEST_F(ResponseParserTest, NestedStructureOpensItsOwnContext) {
  GetPointRecord point{};
  EXPECT_EQ(kS_OK, Parse(kOpGetPoint, &point, Wrapped("GetPointResponse", "<Point><Y>-2</Y><X>5</X></Point>")));
  EXPECT_EQ(5, point.Point.X);
  EXPECT_EQ(-2, point.Point.Y);
  EXPECT_TRUE(Failed(Parse(kOpGetPoint, &point, Wrapped("GetPointResponse", "<Point><X>5</X></Point>"))));
  EXPECT_TRUE(Failed(Parse(kOpGetPoint, &point, Wrapped("GetPointResponse", "<Point><X>5</X><Z>1</Z></Point>"))));
  m_handler.EndCall();
}

TEST_F(ResponseParserTest, BareResponseElementIsTheResult) {
  BareLoginRecord bare{};
  EXPECT_EQ(kS_OK, Parse(kOpBareLogin, &bare, Envelope("<LoginUserResult xmlns=\"urn:x\">true</LoginUserResult>")));
  EXPECT_EQ(1, bare.LoginUserResult);
  EXPECT_TRUE(Failed(Parse(kOpBareLogin, &bare, Envelope("<Other>true</Other>"))));
  EXPECT_TRUE(Failed(Parse(kOpBareLogin, &bare,
                           Envelope("<LoginUserResult>true</LoginUserResult><LoginUserResult>1</LoginUserResult>"))));
  m_handler.EndCall();
}

TEST_F(ResponseParserTest, MultiReferenceValues) {
  GetCountRecord count{};
  EXPECT_EQ(kS_OK, Parse(kOpGetCount, &count,
                         Envelope("<GetCountResponse><CountResult href=\"#id1\"/></GetCountResponse>"
                                  "<multiRef id=\"id1\">77</multiRef>")));
  EXPECT_EQ(77, count.CountResult);
  // Never resolved, resolved twice, not a local reference, an unreferenced id with bad text.
  EXPECT_TRUE(Failed(Parse(kOpGetCount, &count,
                           Envelope("<GetCountResponse><CountResult href=\"#id1\"/></GetCountResponse>"))));
  EXPECT_TRUE(Failed(Parse(kOpGetCount, &count,
                           Envelope("<GetCountResponse><CountResult href=\"#a\"/></GetCountResponse>"
                                    "<m id=\"a\">1</m><m id=\"a\">2</m>"))));
  EXPECT_TRUE(Failed(Parse(kOpGetCount, &count,
                           Envelope("<GetCountResponse><CountResult href=\"http://x/a\"/></GetCountResponse>"))));
  EXPECT_TRUE(Failed(Parse(kOpGetCount, &count,
                           Envelope("<GetCountResponse><CountResult href=\"#a\"/></GetCountResponse>"
                                    "<m id=\"a\">x</m>"))));
  // After the response element, an element without an id is not expected.
  EXPECT_TRUE(Failed(Parse(kOpGetCount, &count,
                           Envelope("<GetCountResponse><CountResult>1</CountResult></GetCountResponse><m>2</m>"))));
  m_handler.EndCall();
}

TEST_F(ResponseParserTest, MalformedXmlFails) {
  std::string good = LoginResult("true");
  EXPECT_EQ(kS_OK, ParseLogin(good));
  for (const std::string& bad :
       {good.substr(0, good.size() - 1), good.substr(0, good.size() / 2), std::string("garbage"), std::string(),
        good + "<extra/>", LoginResult("tr<ue"), LoginResult("true</x>")}) {
    EXPECT_TRUE(Failed(ParseLogin(bad))) << bad;
  }
}

TEST_F(ResponseParserTest, FaultWithSuccessStatusIsNoResponse) {
  EXPECT_TRUE(Failed(ParseLogin(Envelope("<soap:Fault><faultcode>soap:Server</faultcode>"
                                         "<faultstring>boom</faultstring></soap:Fault>"))));
}

TEST_F(ResponseParserTest, UploadFileResult) {
  ASSERT_EQ(kS_OK, Parse(kOpUploadFile, &m_upload,
                         Wrapped("UploadFileResponse", "<UploadFileResult>false</UploadFileResult>")));
  EXPECT_EQ(0, m_upload.UploadFileResult);
  ASSERT_EQ(kS_OK, Parse(kOpUploadFile, &m_upload,
                         Wrapped("UploadFileResponse", "\r\n  <UploadFileResult>true</UploadFileResult>\r\n")));
  EXPECT_EQ(1, m_upload.UploadFileResult);
  EXPECT_TRUE(Failed(Parse(kOpUploadFile, &m_upload,
                           Wrapped("UploadFileResponse", "<isCompleted>true</isCompleted>"))));
}

TEST_F(ResponseParserTest, CallSetUp) {
  EXPECT_EQ(kE_FAIL, m_handler.BeginCall(kOpCount, &m_login));
  EXPECT_EQ(kE_FAIL, m_handler.BeginCall(-1, &m_login));
  EXPECT_EQ(kE_POINTER, m_handler.BeginCall(kOpLoginUser, nullptr));
  std::string body = LoginResult("true");
  // No current call: nothing to read into.
  EXPECT_EQ(kE_FAIL, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
  ASSERT_EQ(kS_OK, m_handler.BeginCall(kOpLoginUser, &m_login));
  EXPECT_EQ(kE_POINTER, m_handler.ParseResponse(nullptr, body.data(), body.size()));
  EXPECT_EQ(kS_OK, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
  m_handler.EndCall();
  EXPECT_EQ(kE_FAIL, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
}

TEST_F(ResponseParserTest, ReaderIsReusableAfterAFailure) {
  EXPECT_TRUE(Failed(ParseLogin(Login("<LoginUserResult>maybe</LoginUserResult>"))));
  EXPECT_TRUE(Failed(Parse(kOpGetNote, &m_note, Wrapped("GetNoteResponse", "<NoteResult>open"))));
  EXPECT_EQ(kS_OK, ParseLogin(LoginResult("true")));
  EXPECT_EQ(1, m_login.LoginUserResult);
  EXPECT_EQ(m_reader->ContentHandler(), static_cast<ISaxHandler*>(&m_handler));
}

}  // namespace
