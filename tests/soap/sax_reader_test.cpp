// The platform's SAX reader (expat here, MSXML under Windows/Wine) and the two helper handlers,
// seen through the events a handler receives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "soap/element_skipper.h"
#include "soap/sax.h"
#include "soap/sax_handler_base.h"
#include "soap/text_collector.h"
#include "soap/xml_prolog.h"

#ifdef _WIN32
#include "soap/body_read_stream_win.h"
#endif

namespace {

std::string N(std::u16string_view text) {  // surrogates and other non-ASCII as \uXXXX
  std::string out;
  for (char16_t c : text) {
    char buffer[12];
    snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
    out += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string(buffer);
  }
  return out;
}

// One line per event, text merged since readers split it freely. A <gather> element's content is
// handed to a text collector and a <skip> element to a skipper; the reader comes back to us.
class CRecorder : public CSaxHandlerBase {
 public:
  HResult StartDocument() override { return Add("document"); }
  HResult EndDocument() override { return Add("/document"); }
  HResult StartPrefixMapping(std::u16string_view prefix, std::u16string_view uri) override {
    return Add("map " + N(prefix) + "=" + N(uri));
  }
  HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                       const ISaxAttributes& attributes) override {
    std::string line = "<{" + N(uri) + "}" + N(localName) + " " + N(qName);
    for (int i = 0; i < attributes.Count(); ++i) {
      SaxAttribute a = attributes.Get(i);
      line += " [{" + N(a.uri) + "}" + N(a.localName) + " " + N(a.qName) + "=" + N(a.value) + "]";
    }
    std::u16string_view found;
    if (attributes.Find(u"urn:a", u"x", &found)) line += " found " + N(found);
    Add(line);
    if (localName == u"gather") return collector.Begin(reader, this);
    if (localName == u"skip") return skipper.Begin(reader, this);
    return ++starts == failAtStart ? failure : kS_OK;
  }
  HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) override {
    return Add("</{" + N(uri) + "}" + N(localName) + " " + N(qName));
  }
  HResult Characters(std::u16string_view text) override {
    text_.append(text.data(), text.size());
    return kS_OK;
  }
  HResult Add(const std::string& line) {
    if (!text_.empty()) events.push_back("text " + N(text_));
    text_.clear();
    if (!line.empty()) events.push_back(line);
    return kS_OK;
  }

  std::vector<std::string> events;
  std::u16string text_;
  CSaxReader* reader = nullptr;
  CTextCollector collector;
  CElementSkipper skipper;
  int starts = 0, failAtStart = 0;
  HResult failure = kE_FAIL;
};

class SaxReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kS_OK, CSaxReader::Create(&m_reader));
    m_recorder.reader = m_reader.get();
    ASSERT_EQ(kS_OK, m_reader->SetContentHandler(&m_recorder));
  }
  HResult Parse(const std::string& text) {
    m_recorder.events.clear();
    HResult hr = m_reader->Parse(text.data(), text.size());
    m_recorder.Add("");
    return hr;
  }

  std::unique_ptr<CSaxReader> m_reader;
  CRecorder m_recorder;
};

std::string Utf16Le(const std::string& ascii) {
  std::string out("\xFF\xFE", 2);
  for (char c : ascii) out += {c, '\0'};
  return out;
}

TEST_F(SaxReaderTest, NamesNamespacesAttributesAndText) {
  ASSERT_EQ(kS_OK, Parse("<?xml version=\"1.0\" encoding=\"utf-8\"?><s:E xmlns:s=\"urn:env\" "
                         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><R xmlns=\"urn:svc\">"
                         "<V xsi:nil=\"true\" plain=\"1\"/><W xmlns=\"\" xmlns:a=\"urn:a\" xmlns:b=\"urn:b\" "
                         "b:x=\"no\" a:x=\"v&amp;w\">a&lt;&amp;&gt;&quot;&apos;&#x4E2D;"
                         "\xE4\xB8\xAD\xF0\x9F\x98\x80&#128512;<![CDATA[<x>]]>a\r\nb\rc</W></R></s:E>"));
  const std::vector<std::string> expected = {
      "document", "map s=urn:env", "map xsi=http://www.w3.org/2001/XMLSchema-instance", "<{urn:env}E s:E",
      "map =urn:svc", "<{urn:svc}R R",
      "<{urn:svc}V V [{http://www.w3.org/2001/XMLSchema-instance}nil xsi:nil=true] [{}plain plain=1]", "</{urn:svc}V V",
      "map =", "map a=urn:a", "map b=urn:b", "<{}W W [{urn:b}x b:x=no] [{urn:a}x a:x=v&w] found v&w",
      // References resolved, UTF-16 with pairs, line breaks normalised.
      "text a<&>\"'\\u4E2D\\u4E2D\\uD83D\\uDE00\\uD83D\\uDE00<x>a\nb\nc",
      "</{}W W", "</{urn:svc}R R", "</{urn:env}E s:E", "/document"};
  EXPECT_EQ(expected, m_recorder.events);
}

TEST_F(SaxReaderTest, DoctypesAndMalformedDocumentsAreRefused) {
  for (const std::string& bad :
       {std::string("<!DOCTYPE e><e/>"), std::string("<!DOCTYPE e [<!ENTITY x \"y\">]><e>&x;</e>"),
        std::string("<!DOCTYPE e SYSTEM \"http://127.0.0.1:9/e.dtd\"><e/>"),
        std::string("<!DOCTYPE e [<!ENTITY % p \"\">%p;]><e/>"),
        Utf16Le("<?xml version=\"1.0\" encoding=\"utf-16\"?><!DOCTYPE e><e/>")}) {
    EXPECT_TRUE(Failed(Parse(bad))) << bad;
    // No element of a refused document reaches the handler.
    for (const std::string& event : m_recorder.events) EXPECT_NE('<', event[0]) << event;
  }
  for (const char* bad : {"", " ", "<e>", "<e></f>", "<a:e/>", "<e x=\"1\" x=\"2\"/>", "<e/><f/>", "text",
                          "<e>&bogus;</e>", "<e>\x01</e>", "<e>\xFF</e>", "<e xmlns:a=\"\"/>"}) {
    EXPECT_TRUE(Failed(Parse(bad))) << bad;
  }
  ASSERT_EQ(kS_OK, Parse(Utf16Le("<?xml version=\"1.0\" encoding=\"utf-16\"?><e>x</e>")));
  EXPECT_EQ((std::vector<std::string>{"document", "<{}e e", "text x", "</{}e e", "/document"}), m_recorder.events);
}

TEST(XmlPrologTest, PlainPrologsOnly) {
  using S = std::string;
  for (const S& text : {S("<e/>"), S("\xEF\xBB\xBF<e/>"), S("<?xml version=\"1.0\"?>\r\n<e>"), Utf16Le("<?xml?><e/>"),
                        S(" \t\r\n<!-- <!DOCTYPE x> --><?pi <!DOCTYPE ?><s:Envelope>"), S("<\0e\0/\0>\0", 8),
                        S("\0<\0e\0/\0>", 8)})
    EXPECT_TRUE(IsPlainXmlProlog(text.data(), text.size())) << text;
  for (const S& text : {S(), S("   "), S("<!DOCTYPE e><e/>"), S("<?xml?><!doctype e><e/>"), S("<![CDATA[x]]><e/>"),
                        S("<!-- c --><!DOCTYPE e [<!ENTITY x \"y\">]><e/>"), S("x<e/>"), S("<?xml version=\"1.0\""),
                        S("<!-- open"), S("< e/>"), Utf16Le("<?xml?><!DOCTYPE e><e/>"),
                        Utf16Le("<!DOCTYPE e><e/>").substr(2), S("<\0\0\0e\0\0\0", 8), S("\x4C\x6F\xA7\x94")})
    EXPECT_FALSE(IsPlainXmlProlog(text.data(), text.size())) << text;
  EXPECT_FALSE(IsPlainXmlProlog(nullptr, 0));
}

TEST_F(SaxReaderTest, HandlerFailureOversizeAndNoHandlerStopTheParseAndTheReaderIsReusable) {
  m_recorder.failAtStart = 2;
  m_recorder.failure = static_cast<HResult>(0x80070057);
  // Both readers give the handler's own code back, and nothing after the failing start of b.
  EXPECT_EQ(static_cast<HResult>(0x80070057), Parse("<a><b><c/></b><d/></a>"));
  for (const std::string& event : m_recorder.events) {
    EXPECT_TRUE(event.find("}c") == std::string::npos && event.find("}d") == std::string::npos) << event;
  }
  m_recorder.failAtStart = 0;
  // The length alone decides; the bytes behind it are never touched.
  const char one = '<';
  EXPECT_TRUE(Failed(m_reader->Parse(&one, (size_t{64} << 20) + 1)));
  EXPECT_TRUE(Failed(Parse("<e>")));
  ASSERT_EQ(kS_OK, Parse("<e>x</e>"));
  EXPECT_EQ((std::vector<std::string>{"document", "<{}e e", "text x", "</{}e e", "/document"}), m_recorder.events);
  m_reader->SetContentHandler(nullptr);
  EXPECT_EQ(nullptr, m_reader->ContentHandler());
  EXPECT_TRUE(Failed(Parse("<e/>")));
}

TEST_F(SaxReaderTest, CollectorAndSkipperTakeTheReaderAndGiveItBackCapped) {
  ASSERT_EQ(kS_OK, Parse("<r xmlns:p=\"urn:p\"><gather>a<p:b k=\"1&lt;2\" p:m='x'>c&amp;<gather/></p:b>d</gather>"
                         "<skip><x>t</x><skip/>u</skip><after>v</after></r>"));
  EXPECT_EQ((std::vector<std::string>{"document", "map p=urn:p", "<{}r r", "<{}gather gather",
                                      "text a<p:b k=\"1<2\" p:m=\"x\">c&<gather></gather></p:b>d", "</{}gather gather",
                                      "<{}skip skip", "<{}after after", "text v", "</{}after after", "</{}r r",
                                      "/document"}),
            m_recorder.events);
  EXPECT_EQ(&m_recorder, m_reader->ContentHandler());
  ASSERT_EQ(kS_OK, Parse("<r><gather/></r>"));
  EXPECT_EQ("</{}gather gather", m_recorder.events[3]);  // an empty element gives no text
  // The gathered text is capped; rebuilt markup counts as well: "<a></a>" is 7 units.
  m_recorder.collector.SetLimit(10);
  EXPECT_EQ(kS_OK, Parse("<r><gather>0123456789</gather></r>"));
  EXPECT_TRUE(Failed(Parse("<r><gather>0123456789A</gather></r>")));
  m_recorder.collector.Reset();
  m_reader->SetContentHandler(&m_recorder);
  EXPECT_EQ(kS_OK, Parse("<r><gather>abc<a/></gather></r>"));
  EXPECT_TRUE(Failed(Parse("<r><gather>abcd<a/></gather></r>")));
}

#ifdef _WIN32
TEST(BodyReadStreamTest, ReadsSeeksWithinTheBodyAndRefusesWrites) {
  CBodyReadStream* stream = new CBodyReadStream("0123456789", 10);
  char buffer[16] = {};
  ULONG read = 0, written = 1;
  EXPECT_TRUE(stream->Read(buffer, 4, &read) == S_OK && stream->Read(buffer + 4, 8, &read) == S_OK && read == 6);
  EXPECT_EQ(0, memcmp(buffer, "0123456789", 10));
  LARGE_INTEGER move;
  ULARGE_INTEGER position;
  move.QuadPart = -3;
  EXPECT_TRUE(stream->Seek(move, STREAM_SEEK_END, &position) == S_OK && position.QuadPart == 7);
  for (auto [offset, origin] : {std::pair<LONGLONG, DWORD>{11, STREAM_SEEK_SET}, {-1, STREAM_SEEK_SET},
                                {0x7FFFFFFFFFFFFFFFLL, STREAM_SEEK_CUR}}) {
    move.QuadPart = offset;
    EXPECT_NE(S_OK, stream->Seek(move, origin, &position)) << offset;
  }
  EXPECT_TRUE(stream->Write("x", 1, &written) != S_OK && written == 0);
  EXPECT_EQ(0u, stream->Release());
}
#endif

}  // namespace
