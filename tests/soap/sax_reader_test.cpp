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

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char buffer[12];
      snprintf(buffer, sizeof(buffer), "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

// Writes every event as one line; text events are merged, since readers split text freely.
class CRecorder : public CSaxHandlerBase {
 public:
  HResult StartDocument() override {
    Flush();
    m_events.push_back("document");
    return kS_OK;
  }
  HResult EndDocument() override {
    Flush();
    m_events.push_back("/document");
    return kS_OK;
  }
  HResult StartPrefixMapping(std::u16string_view prefix, std::u16string_view uri) override {
    Flush();
    m_events.push_back("map " + Narrow(prefix) + "=" + Narrow(uri));
    return kS_OK;
  }
  HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                       const ISaxAttributes& attributes) override {
    Flush();
    std::string line = "<{" + Narrow(uri) + "}" + Narrow(localName) + " " + Narrow(qName);
    for (int i = 0; i < attributes.Count(); ++i) {
      SaxAttribute a = attributes.Get(i);
      line += " [{" + Narrow(a.uri) + "}" + Narrow(a.localName) + " " + Narrow(a.qName) + "=" + Narrow(a.value) + "]";
    }
    m_events.push_back(line);
    ++m_starts;
    return m_failAtStart == m_starts ? m_failure : kS_OK;
  }
  HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) override {
    Flush();
    m_events.push_back("</{" + Narrow(uri) + "}" + Narrow(localName) + " " + Narrow(qName));
    return kS_OK;
  }
  HResult Characters(std::u16string_view text) override {
    ++m_pieces;
    m_text.append(text.data(), text.size());
    return kS_OK;
  }

  void Flush() {
    if (!m_text.empty()) m_events.push_back("text " + Narrow(m_text));
    m_text.clear();
  }

  std::vector<std::string> m_events;
  std::u16string m_text;
  int m_pieces = 0;
  int m_starts = 0;
  int m_failAtStart = 0;
  HResult m_failure = kE_FAIL;
};

class SaxReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kS_OK, CSaxReader::Create(&m_reader));
    ASSERT_EQ(kS_OK, m_reader->SetContentHandler(&m_recorder));
  }
  HResult Parse(const std::string& text) {
    HResult hr = m_reader->Parse(text.data(), text.size());
    m_recorder.Flush();
    return hr;
  }

  std::unique_ptr<CSaxReader> m_reader;
  CRecorder m_recorder;
};

TEST_F(SaxReaderTest, NamesNamespacesAndPrefixMappings) {
  ASSERT_EQ(kS_OK, Parse("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                         "<s:E xmlns:s=\"urn:env\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
                         "<R xmlns=\"urn:svc\"><V xsi:nil=\"true\" plain=\"1\"/><W xmlns=\"\">t</W></R></s:E>"));
  const std::vector<std::string> expected = {
      "document",
      "map s=urn:env",
      "map xsi=http://www.w3.org/2001/XMLSchema-instance",
      "<{urn:env}E s:E",
      "map =urn:svc",
      "<{urn:svc}R R",
      "<{urn:svc}V V [{http://www.w3.org/2001/XMLSchema-instance}nil xsi:nil=true] [{}plain plain=1]",
      "</{urn:svc}V V",
      "map =",
      "<{}W W",
      "text t",
      "</{}W W",
      "</{urn:svc}R R",
      "</{urn:env}E s:E",
      "/document",
  };
  EXPECT_EQ(expected, m_recorder.m_events);
}

TEST_F(SaxReaderTest, AttributeFind) {
  struct CFinder : CSaxHandlerBase {
    HResult StartElement(std::u16string_view, std::u16string_view, std::u16string_view,
                         const ISaxAttributes& attributes) override {
      found = attributes.Find(u"urn:a", u"x", &value);
      if (found) copy.assign(value.data(), value.size());
      missing = !attributes.Find(u"", u"x", nullptr) && !attributes.Find(u"urn:a", u"y", nullptr);
      return kS_OK;
    }
    bool found = false;
    bool missing = false;
    std::u16string_view value;
    std::u16string copy;
  } finder;
  m_reader->SetContentHandler(&finder);
  ASSERT_EQ(kS_OK, Parse("<e xmlns:a=\"urn:a\" xmlns:b=\"urn:b\" b:x=\"no\" a:x=\"v&amp;w\"/>"));
  EXPECT_TRUE(finder.found);
  EXPECT_TRUE(finder.missing);
  EXPECT_EQ(u"v&w", finder.copy);
}

TEST_F(SaxReaderTest, TextIsUtf16WithReferencesResolved) {
  ASSERT_EQ(kS_OK, Parse("<e>a&lt;&amp;&gt;&quot;&apos;&#x4E2D;\xE4\xB8\xAD\xF0\x9F\x98\x80&#128512;<![CDATA[<x>]]></e>"));
  // Surrogates are shown as \uXXXX.
  EXPECT_EQ("text a<&>\"'\\u4E2D\\u4E2D\\uD83D\\uDE00\\uD83D\\uDE00<x>", m_recorder.m_events[2]);
}

TEST_F(SaxReaderTest, LineBreaksAreNormalised) {
  ASSERT_EQ(kS_OK, Parse("<e>a\r\nb\rc</e>"));
  EXPECT_EQ("text a\nb\nc", m_recorder.m_events[2]);
}

TEST_F(SaxReaderTest, DoctypeIsRefused) {
  EXPECT_TRUE(Failed(Parse("<!DOCTYPE e><e/>")));
  EXPECT_TRUE(Failed(Parse("<!DOCTYPE e [<!ELEMENT e ANY>]><e/>")));
  EXPECT_TRUE(Failed(Parse("<!DOCTYPE e [<!ENTITY x \"y\">]><e>&x;</e>")));
  EXPECT_TRUE(Failed(Parse("<!DOCTYPE e SYSTEM \"http://127.0.0.1:9/e.dtd\"><e/>")));
  EXPECT_TRUE(Failed(Parse("<!DOCTYPE e [<!ENTITY % p \"\">%p;]><e/>")));
  // No element of a refused document reaches the handler.
  for (const std::string& event : m_recorder.m_events) EXPECT_NE('<', event[0]) << event;
}

std::string Utf16Le(const std::string& ascii, bool bom) {
  std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST_F(SaxReaderTest, Utf16DocumentsAreReadAndTheirDoctypeRefused) {
  ASSERT_EQ(kS_OK, Parse(Utf16Le("<?xml version=\"1.0\" encoding=\"utf-16\"?><e>x</e>", true)));
  EXPECT_EQ((std::vector<std::string>{"document", "<{}e e", "text x", "</{}e e", "/document"}), m_recorder.m_events);
  EXPECT_TRUE(Failed(Parse(Utf16Le("<?xml version=\"1.0\" encoding=\"utf-16\"?><!DOCTYPE e><e/>", true))));
}

TEST(XmlPrologTest, PlainPrologs) {
  for (const std::string& text :
       {std::string("<e/>"), std::string("\xEF\xBB\xBF<e/>"), std::string("<?xml version=\"1.0\"?>\r\n<e>"),
        std::string(" \t\r\n<!-- <!DOCTYPE x> --><?pi <!DOCTYPE ?><s:Envelope>"), Utf16Le("<?xml?><e/>", true),
        Utf16Le("<e/>", false), std::string("\0<\0e\0/\0>", 8)}) {
    EXPECT_TRUE(IsPlainXmlProlog(text.data(), text.size())) << text;
  }
}

TEST(XmlPrologTest, DoctypeAndOtherPrologsRefused) {
  for (const std::string& text :
       {std::string(), std::string("   "), std::string("<!DOCTYPE e><e/>"), std::string("<?xml?><!doctype e><e/>"),
        std::string("<!-- c --><!DOCTYPE e [<!ENTITY x \"y\">]><e/>"), std::string("<![CDATA[x]]><e/>"),
        std::string("x<e/>"), std::string("<?xml version=\"1.0\""), std::string("<!-- open"), std::string("<"),
        std::string("< e/>"), Utf16Le("<?xml?><!DOCTYPE e><e/>", true), Utf16Le("<!DOCTYPE e><e/>", false),
        std::string("<\0\0\0e\0\0\0", 8), std::string("\x4C\x6F\xA7\x94")}) {
    EXPECT_FALSE(IsPlainXmlProlog(text.data(), text.size())) << text;
  }
  EXPECT_FALSE(IsPlainXmlProlog(nullptr, 0));
}

TEST_F(SaxReaderTest, MalformedDocumentsFail) {
  for (const char* bad : {"", " ", "<e>", "<e></f>", "<a:e/>", "<e x=\"1\" x=\"2\"/>", "<e/><f/>", "text",
                          "<e>&bogus;</e>", "<e>\x01</e>", "<e>\xFF</e>", "<e xmlns:a=\"\"/>"}) {
    EXPECT_TRUE(Failed(Parse(bad))) << bad;
  }
}

TEST_F(SaxReaderTest, HandlerFailureStopsTheParse) {
  m_recorder.m_failAtStart = 2;
  m_recorder.m_failure = static_cast<HResult>(0x80070057);
  // Both readers give the handler's own code back.
  EXPECT_EQ(static_cast<HResult>(0x80070057), Parse("<a><b><c/></b><d/></a>"));
  // The last event delivered is the failing start of b; nothing after it.
  ASSERT_FALSE(m_recorder.m_events.empty());
  for (const std::string& event : m_recorder.m_events) {
    EXPECT_EQ(std::string::npos, event.find("}c")) << event;
    EXPECT_EQ(std::string::npos, event.find("}d")) << event;
  }
}

TEST_F(SaxReaderTest, ParseWithoutHandlerFails) {
  m_reader->SetContentHandler(nullptr);
  EXPECT_EQ(nullptr, m_reader->ContentHandler());
  EXPECT_TRUE(Failed(Parse("<e/>")));
}

TEST_F(SaxReaderTest, OversizedInputIsRefusedWithoutReading) {
  // The length alone decides; the bytes behind it are never touched.
  const char one = '<';
  EXPECT_TRUE(Failed(m_reader->Parse(&one, (size_t{64} << 20) + 1)));
  EXPECT_TRUE(m_recorder.m_events.empty());
}

TEST_F(SaxReaderTest, ReaderIsReusable) {
  EXPECT_TRUE(Failed(Parse("<e>")));
  m_recorder.m_events.clear();
  ASSERT_EQ(kS_OK, Parse("<e>x</e>"));
  EXPECT_EQ((std::vector<std::string>{"document", "<{}e e", "text x", "</{}e e", "/document"}), m_recorder.m_events);
}

// A parent that hands the reader to a helper for each <h> element.
class CDelegator : public CSaxHandlerBase {
 public:
  explicit CDelegator(CSaxReader* reader) : m_reader(reader) {}
  HResult StartElement(std::u16string_view, std::u16string_view localName, std::u16string_view,
                       const ISaxAttributes&) override {
    m_log += "<" + Narrow(localName) + ">";
    if (localName == u"gather") return m_collector.Begin(m_reader, this);
    if (localName == u"skip") return m_skipper.Begin(m_reader, this);
    return kS_OK;
  }
  HResult EndElement(std::u16string_view, std::u16string_view localName, std::u16string_view) override {
    m_log += "</" + Narrow(localName) + ">";
    return kS_OK;
  }
  HResult Characters(std::u16string_view text) override {
    m_log += "[" + Narrow(text) + "]";
    return kS_OK;
  }

  CSaxReader* m_reader;
  CTextCollector m_collector;
  CElementSkipper m_skipper;
  std::string m_log;
};

TEST_F(SaxReaderTest, CollectorAndSkipperTakeTheReaderAndGiveItBack) {
  CDelegator parent(m_reader.get());
  m_reader->SetContentHandler(&parent);
  ASSERT_EQ(kS_OK, Parse("<r xmlns:p=\"urn:p\"><gather>a<p:b k=\"1&lt;2\" p:m='x'>c&amp;<gather/></p:b>d</gather>"
                         "<skip><x>t</x><skip/>u</skip><after>v</after></r>"));
  EXPECT_EQ("<r><gather>[a<p:b k=\"1<2\" p:m=\"x\">c&<gather></gather></p:b>d]</gather>"
            "<skip><after>[v]</after></r>",
            parent.m_log);
  EXPECT_EQ(&parent, m_reader->ContentHandler());
}

TEST_F(SaxReaderTest, CollectorHandsBackEmptyText) {
  CDelegator parent(m_reader.get());
  m_reader->SetContentHandler(&parent);
  ASSERT_EQ(kS_OK, Parse("<r><gather/></r>"));
  EXPECT_EQ("<r><gather>[]</gather></r>", parent.m_log);
}

TEST_F(SaxReaderTest, CollectorTextIsCapped) {
  CDelegator parent(m_reader.get());
  parent.m_collector.SetLimit(10);
  m_reader->SetContentHandler(&parent);
  EXPECT_EQ(kS_OK, Parse("<r><gather>0123456789</gather></r>"));
  EXPECT_TRUE(Failed(Parse("<r><gather>0123456789A</gather></r>")));
  parent.m_collector.Reset();
  m_reader->SetContentHandler(&parent);
  // Rebuilt markup counts as well: "<a></a>" is 7 units.
  EXPECT_EQ(kS_OK, Parse("<r><gather>abc<a/></gather></r>"));
  EXPECT_TRUE(Failed(Parse("<r><gather>abcd<a/></gather></r>")));
}

#ifdef _WIN32
TEST(BodyReadStreamTest, ReadsSeeksAndRefusesWrites) {
  const char data[] = "0123456789";
  CBodyReadStream* stream = new CBodyReadStream(data, 10);
  char buffer[8] = {};
  ULONG read = 0;
  EXPECT_EQ(S_OK, stream->Read(buffer, 4, &read));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0, memcmp(buffer, "0123", 4));
  EXPECT_EQ(S_OK, stream->Read(buffer, 8, &read));
  EXPECT_EQ(6u, read);
  EXPECT_EQ(0, memcmp(buffer, "456789", 6));
  EXPECT_EQ(S_OK, stream->Read(buffer, 8, &read));
  EXPECT_EQ(0u, read);
  LARGE_INTEGER move;
  ULARGE_INTEGER position;
  move.QuadPart = -3;
  EXPECT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_END, &position));
  EXPECT_EQ(7u, position.QuadPart);
  EXPECT_EQ(S_OK, stream->Read(buffer, 1, &read));
  EXPECT_EQ('7', buffer[0]);
  move.QuadPart = 11;
  EXPECT_NE(S_OK, stream->Seek(move, STREAM_SEEK_SET, &position));
  move.QuadPart = -1;
  EXPECT_NE(S_OK, stream->Seek(move, STREAM_SEEK_SET, &position));
  move.QuadPart = 0x7FFFFFFFFFFFFFFFLL;
  EXPECT_NE(S_OK, stream->Seek(move, STREAM_SEEK_CUR, &position));
  STATSTG stat;
  EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(10u, stat.cbSize.QuadPart);
  ULONG written = 1;
  EXPECT_NE(S_OK, stream->Write("x", 1, &written));
  EXPECT_EQ(0u, written);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(S_OK, stream->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&unknown)));
  EXPECT_EQ(1u, unknown->Release());
  EXPECT_EQ(0u, stream->Release());
}
#endif

}  // namespace
