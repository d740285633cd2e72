// The response handler over the platform's reader (expat here, MSXML under Windows/Wine).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "soap/sax.h"
#include "soap/soap_handler.h"
#include "tests/soap/soap_test_tables.h"

using namespace soaptest;

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
const std::string kEnvelopeStart = std::string(kDeclaration) +
                                   "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                                   "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";

std::string Envelope(const std::string& body, const std::string& header = "<none>") {
  return kEnvelopeStart + (header == "<none>" ? "" : "<soap:Header>" + header + "</soap:Header>") + "<soap:Body>" +
         body + "</soap:Body></soap:Envelope>";
}
// An envelope with this content, bound to the SOAP namespace by the prefix "soap".
std::string Soap(const std::string& inner) {
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">" + inner + "</soap:Envelope>";
}
std::string Wrapped(const std::string& response, const std::string& results) {
  return Envelope("<" + response + " xmlns=\"http://tempuri.org/\">" + results + "</" + response + ">");
}
std::string Login(const std::string& results) { return Wrapped("LoginUserResponse", results); }
std::string LoginResult(const std::string& text) { return Login("<LoginUserResult>" + text + "</LoginUserResult>"); }
std::string CreateResult(const std::string& text) {
  return Wrapped("CreateUserResponse", "<CreateUserResult>" + text + "</CreateUserResult>");
}
std::string WithoutDeclaration(const std::string& text) { return text.substr(sizeof kDeclaration - 1); }
std::u16string Text(const SoapString& s) { return s.data ? std::u16string(s.data, s.length) : u"(absent)"; }

class ResponseParserTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(kS_OK, CSaxReader::Create(&m_reader)); }
  void TearDown() override {
    m_handler.ReleaseResults();
    m_handler.EndCall();
  }
  HResult Parse(int operation, void* record, const std::string& body) {
    m_handler.ReleaseResults();
    const HResult hr = m_handler.BeginCall(operation, record);
    return Failed(hr) ? hr : m_handler.ParseResponse(m_reader.get(), body.data(), body.size());
  }

  std::unique_ptr<CSaxReader> m_reader;
  CTestSoapHandler m_handler;
};

// A boolean (LoginUser) or int (CreateUser) result, or a failure.
struct ScalarCase {
  std::string body;
  bool ok;
  int32_t value = 0;
};

TEST_F(ResponseParserTest, LoginUserResults) {
  const std::string result = "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult>true</LoginUserResult>"
                             "</LoginUserResponse>";
  const std::string good = LoginResult("true"), body = "<soap:Body>" + result + "</soap:Body>";
  const std::string refer = "<LoginUserResponse xmlns=\"http://tempuri.org/\"><LoginUserResult href=\"#a\"/>"
                            "</LoginUserResponse>";
  const std::string entity =
      "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY t \"true\">]>" + WithoutDeclaration(LoginResult("&t;"));
  const ScalarCase cases[] = {
      // The Passport tests cover the plain answers through the client; here the reader's other forms.
      {LoginResult("false"), true, 0}, {LoginResult("tr&#x75;e"), true, 1},  // split by a reference, read whole
      {Login("<LoginUserResult xsi:nil=\"false\">true</LoginUserResult>"), true, 1},
      {Envelope("<Whatever xmlns=\"urn:x\"><LoginUserResult>1</LoginUserResult></Whatever>"), true, 1},
      // Header entries that need not be understood are skipped.
      {Envelope(result, "<Session soap:mustUnderstand=\"0\"><x><y/>t</x></Session><Other a=\"b\">t</Other>"), true, 1},
      {Envelope(result, "<Session soap:mustUnderstand=\"false\"/><LoginUserResult>false</LoginUserResult>"), true, 1},
      {Envelope(result, "<s:Session xmlns:s=\"urn:s\" mustUnderstand=\"1\"/>"), true, 1},
      {Envelope(result, ""), true, 1},
      {Envelope(result, "<Session soap:mustUnderstand=\"true\"/>"), false},
      {Envelope(result, "<a/><Session soap:mustUnderstand=\"yes\"/>"), false},
      // A default-namespace envelope and another prefix are the same envelope.
      {"<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body>" + result + "</Body></Envelope>", true, 1},
      {Soap(body), true, 1},
      // SOAP 1.2, Body as the root, Header after Body, two Headers, nested Envelopes, other elements.
      {"<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">" + body + "</soap:Envelope>", false},
      {"<soap:Body xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">" + result + "</soap:Body>", false},
      {Soap(body + "<soap:Header/>"), false}, {Soap("<soap:Header/><soap:Header/>" + body), false},
      {Soap("<soap:Envelope>" + body + "</soap:Envelope>"), false}, {Soap("<other/>" + body), false},
      // Boolean text exactly, and text only (ReadBoolean's own rules are tested with it).
      {LoginResult("\ntrue\n"), false}, {LoginResult("True"), false}, {Login("<LoginUserResult/>"), false},
      {LoginResult("<b>true</b>"), false}, {LoginResult("true<b/>"), false},
      // Extra, missing, repeated, misnamed results; an input parameter is not a result.
      {Login("<Extra/><LoginUserResult>true</LoginUserResult>"), false},
      {Login("<username>a</username><LoginUserResult>true</LoginUserResult>"), false},
      {Login("<LoginUserResult>true</LoginUserResult><LoginUserResult>true</LoginUserResult>"), false},
      {Login("<loginUserResult>true</loginUserResult>"), false}, {Envelope(""), false},
      {kEnvelopeStart + "</soap:Envelope>", false},
      // An unreadable nil flag is no value (a nil one that may not be absent: the Passport tests).
      {Login("<LoginUserResult xsi:nil=\"yes\">true</LoginUserResult>"), false},
      // Multi-reference values: resolved once; never, twice, not local, bad text or no id fail.
      {Envelope(refer + "<multiRef id=\"a\">1</multiRef>"), true, 1}, {Envelope(refer), false},
      {Envelope(refer + "<m id=\"a\">1</m><m id=\"a\">0</m>"), false}, {Envelope(refer + "<m id=\"a\">x</m>"), false},
      {Login("<LoginUserResult href=\"http://x/a\"/>"), false}, {Envelope(result + "<m>true</m>"), false},
      // A fault with a success status is no response.
      {Envelope("<soap:Fault><faultcode>soap:Server</faultcode><faultstring>boom</faultstring></soap:Fault>"), false},
      // Malformed XML, entities, document types.
      {good.substr(0, good.size() - 1), false}, {"garbage", false}, {"", false}, {good + "<extra/>", false},
      {LoginResult("tr<ue"), false}, {LoginResult("&t;"), false},
      {"<!DOCTYPE soap:Envelope>" + WithoutDeclaration(good), false}, {entity, false},
  };
  for (const ScalarCase& c : cases) {
    // The response element clears the whole record, inputs included, before the results land.
    static const char16_t kName[] = u"alice";
    LoginUserRecord record{SoapString{kName, 5}, SoapString{kName, 5}, 7};
    const HResult hr = Parse(kOpLoginUser, &record, c.body);
    EXPECT_TRUE(c.ok ? hr == kS_OK : Failed(hr)) << c.body;
    if (c.ok) {
      EXPECT_EQ(c.value, record.LoginUserResult) << c.body;
      EXPECT_EQ(nullptr, record.username.data) << c.body;
    }
  }
  // Nothing of a refused document reaches the record.
  LoginUserRecord record{{}, {}, 7};
  EXPECT_TRUE(Failed(Parse(kOpLoginUser, &record, entity)));
  EXPECT_EQ(7, record.LoginUserResult);
}

TEST_F(ResponseParserTest, CreateUserResults) {
  // A large skipped header entry puts the number across a 1 MiB boundary of the input.
  const std::string prefix = kEnvelopeStart + "<soap:Header><Pad>";
  const std::string middle = "</Pad></soap:Header><soap:Body><CreateUserResponse xmlns=\"http://tempuri.org/\">"
                             "<CreateUserResult>";
  const size_t boundary = size_t{1} << 20;
  const std::string straddling = prefix + std::string(boundary - prefix.size() - middle.size() - 3, 'p') + middle +
                                 "123456</CreateUserResult></CreateUserResponse></soap:Body></soap:Envelope>";
  ASSERT_EQ("123", straddling.substr(boundary - 3, 3));
  const ScalarCase cases[] = {
      {CreateResult("-1"), true, -1}, {CreateResult("\n\t+7\r\n"), true, 7},
      {CreateResult("-2147483648"), true, INT32_MIN},
      {CreateResult("-4&#x32;&#x31;"), true, -421}, {CreateResult("1<!-- between -->2"), true, 12},
      {CreateResult("<![CDATA[3]]>4"), true, 34}, {straddling, true, 123456},
      {Wrapped("CreateUserResponse", "<r:CreateUserResult xmlns:r=\"urn:elsewhere\">5</r:CreateUserResult>"), true, 5},
      {CreateResult(std::string(60000, ' ') + "1"), true, 1},
      {CreateResult(std::string(70000, ' ') + "1"), false},  // overlong scalar text
      {CreateResult("2147483648"), false}, {CreateResult("4 2"), false},  // the rest of the int rules are ReadInt's
      {Wrapped("CreateUserResponse", "<CreateUserResult/>"), false},
      {Wrapped("CreateUserResponse", "<CreateUserResult xsi:nil=\"true\"/>"), false},
  };
  for (const ScalarCase& c : cases) {
    CreateUserRecord record{};
    EXPECT_EQ(c.ok, Parse(kOpCreateUser, &record, c.body) == kS_OK) << c.body.substr(0, 300);
    EXPECT_EQ(c.value, c.ok ? record.CreateUserResult : 0) << c.body.substr(0, 300);
  }
}

TEST_F(ResponseParserTest, StringResults) {
  const struct {
    std::string results;
    bool ok;
    std::u16string text = u"";
  } cases[] = {
      // Nested markup is gathered as text; references resolved, beyond the basic plane too.
      {"<NoteResult>a<b x=\"1&amp;2\" p:y='q' xmlns:p=\"urn:p\">c &lt; d</b>e<f/>&#x4E2D;\xE6\x96\x87</NoteResult>",
       true, u"a<b x=\"1&2\" p:y=\"q\">c < d</b>e<f></f>\u4E2D\u6587"},
      {"<NoteResult>&#x1F600;\xF0\x9F\x98\x80</NoteResult>", true, u"\U0001F600\U0001F600"},
      {"<NoteResult/>", true, u""}, {"<NoteResult xsi:nil=\"true\"/>", true, u"(absent)"},
      {"", true, u"(absent)"},  // the only result is nullable and may be missing
      {"<NoteResult xmlns:o=\"urn:other\" o:nil=\"true\">x</NoteResult>", true, u"x"},  // no nil flag
      {"<NoteResult xsi:nil=\"true\"><a/></NoteResult>", false},  // a nil element holds nothing
      {"<NoteResult>a</NoteResult><NoteResult>b</NoteResult>", false}, {"<NoteResult>open", false},
  };
  GetNoteRecord note{};
  for (const auto& c : cases) {
    EXPECT_EQ(c.ok, Parse(kOpGetNote, &note, Wrapped("GetNoteResponse", c.results)) == kS_OK) << c.results;
    if (c.ok) {
      EXPECT_EQ(c.text, Text(note.NoteResult)) << c.results;
      EXPECT_TRUE(!note.NoteResult.data || note.NoteResult.data[note.NoteResult.length] == 0);
    }
  }
  // A large string, and freeing it.
  std::string text(3 << 20, 'x');
  text[0] = 'a';
  text.back() = 'z';
  ASSERT_EQ(kS_OK, Parse(kOpGetNote, &note, Wrapped("GetNoteResponse", "<NoteResult>" + text + "</NoteResult>")));
  ASSERT_EQ(text.size(), note.NoteResult.length);
  const char16_t* data = note.NoteResult.data;
  EXPECT_EQ(u"axz", std::u16string({data[0], data[1 << 20], data[text.size() - 1]}));
  m_handler.ReleaseResults();
  EXPECT_TRUE(note.NoteResult.data == nullptr && note.NoteResult.length == 0);
}

TEST_F(ResponseParserTest, Base64AndSeveralResults) {
  GetBytesRecord bytes{};
  ASSERT_EQ(kS_OK, Parse(kOpGetBytes, &bytes, Wrapped("GetBytesResponse", "<BytesResult>YWJj\r\nZA==</BytesResult>")));
  ASSERT_EQ(4u, bytes.BytesResult.size);
  EXPECT_EQ(0, std::memcmp(bytes.BytesResult.data, "abcd", 4));
  ASSERT_EQ(kS_OK, Parse(kOpGetBytes, &bytes, Wrapped("GetBytesResponse", "<BytesResult></BytesResult>")));
  EXPECT_TRUE(bytes.BytesResult.data != nullptr && bytes.BytesResult.size == 0);
  EXPECT_TRUE(Failed(Parse(kOpGetBytes, &bytes, Wrapped("GetBytesResponse", ""))));
  m_handler.ReleaseResults();
  EXPECT_EQ(nullptr, bytes.BytesResult.data);
  // Several results in any order; the nullable Label may be missing, Ratio may not.
  StatsRecord stats{};
  ASSERT_EQ(kS_OK,
            Parse(kOpStats, &stats, Wrapped("StatsResponse", "<Ratio>0.25</Ratio><Label>L</Label><Count>3</Count>")));
  EXPECT_TRUE(stats.Count == 3 && stats.Ratio == 0.25 && Text(stats.Label) == u"L");
  ASSERT_EQ(kS_OK, Parse(kOpStats, &stats, Wrapped("StatsResponse", "<Count>3</Count><Ratio>INF</Ratio>")));
  EXPECT_EQ(nullptr, stats.Label.data);
  EXPECT_TRUE(Failed(Parse(kOpStats, &stats, Wrapped("StatsResponse", "<Count>3</Count><Label>L</Label>"))));
  // Values stored before a failure stay until released (the leak checker watches the rest).
  EXPECT_TRUE(
      Failed(Parse(kOpStats, &stats, Wrapped("StatsResponse", "<Label>gone</Label><Count>1</Count><Count>2</Count>"))));
  EXPECT_EQ(u"gone", Text(stats.Label));
  EXPECT_TRUE(Failed(Parse(kOpStats, &stats, Wrapped("StatsResponse", "<Label>abc<x></Label>"))));
  m_handler.ReleaseResults();
  EXPECT_EQ(nullptr, stats.Label.data);
}

TEST_F(ResponseParserTest, CallSetUpAndReaderReuse) {
  LoginUserRecord login{};
  const std::string body = LoginResult("true");
  EXPECT_EQ(kE_FAIL, m_handler.BeginCall(kOpCount, &login));
  EXPECT_EQ(kE_FAIL, m_handler.BeginCall(-1, &login));
  EXPECT_EQ(kE_POINTER, m_handler.BeginCall(kOpLoginUser, nullptr));
  // No current call: nothing to read into.
  EXPECT_EQ(kE_FAIL, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
  ASSERT_EQ(kS_OK, m_handler.BeginCall(kOpLoginUser, &login));
  EXPECT_EQ(kE_POINTER, m_handler.ParseResponse(nullptr, body.data(), body.size()));
  EXPECT_EQ(kS_OK, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
  EXPECT_EQ(m_reader->ContentHandler(), static_cast<ISaxHandler*>(&m_handler));
  m_handler.EndCall();
  EXPECT_EQ(kE_FAIL, m_handler.ParseResponse(m_reader.get(), body.data(), body.size()));
}

}  // namespace
