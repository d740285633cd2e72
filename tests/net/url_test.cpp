#include "net/url.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(UrlTest, SplitsAndWritesBack) {
  struct Case {
    const char16_t* text;
    const char16_t *host, *path, *extra;
    int port;
    const char16_t* written;
  } cases[] = {
      {u"HTTP://Example.com:8080/a/b?x=1#frag", u"Example.com", u"/a/b", u"?x=1#frag", 8080,
       u"http://Example.com:8080/a/b?x=1#frag"},
      {u"http://host", u"host", u"", u"", 0, u"http://host"},
      {u"http://host?q=1", u"host", u"", u"?q=1", 0, u"http://host?q=1"},
      {u"http://host#top", u"host", u"", u"#top", 0, u"http://host#top"},
      {u"http://h:80/p?q", u"h", u"/p", u"?q", 80, u"http://h/p?q"},  // port 80 is not written
      {u"http://h:1/", u"h", u"/", u"", 1, u"http://h:1/"},
      {u"http://h:65535/", u"h", u"/", u"", 65535, u"http://h:65535/"},
      {u"http://[::1]:81/x", u"::1", u"/x", u"", 81, u"http://[::1]:81/x"},  // brackets only in text
  };
  for (const Case& c : cases) {
    CUrl url;
    const std::u16string text = c.text;
    ASSERT_TRUE(url.Parse(text)) << std::string(text.begin(), text.end());
    EXPECT_EQ(url.scheme, u"http");
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.path, c.path);
    EXPECT_EQ(url.extra, c.extra);
    EXPECT_EQ(url.port, c.port);
    EXPECT_EQ(url.ToString(), c.written);
  }
}

TEST(UrlTest, RefusesMalformedTextPortsAndLength) {
  const std::u16string head = u"http://h/";
  const std::u16string bad[] = {u"", u"http//h/", u"://h/", u"http://", u"http:///path", u"http://:80/",
                                u"http://a b/", u"http://h/a b", u"http://h/a\r\nX: y", u"http://h/\t",
                                u"http://user@h/", u"1http://h/", u"ht tp://h/", u"http://[::1/",
                                u"http://[]/", u"http://h\x7F/", u"http://h:0/", u"http://h:65536/",
                                u"http://h:99999999999999999999/", u"http://h:/", u"http://h:8a/", u"http://h:-1/",
                                head + std::u16string(2084 - head.size(), u'a')};
  for (const std::u16string& text : bad) {
    CUrl url;
    EXPECT_FALSE(url.Parse(text)) << std::string(text.begin(), text.begin() + std::min<size_t>(text.size(), 40));
    EXPECT_TRUE(url.host.empty());
  }
  CUrl url;
  EXPECT_TRUE(url.Parse(head + std::u16string(2083 - head.size(), u'a')));
}

}  // namespace
