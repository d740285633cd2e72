#include "net/url.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlTest, SplitsEveryPart) {
  CUrl url;
  ASSERT_TRUE(url.Parse(u"HTTP://Example.com:8080/a/b?x=1#frag"));
  EXPECT_EQ(url.scheme, u"http");
  EXPECT_EQ(url.host, u"Example.com");
  EXPECT_EQ(url.port, 8080);
  EXPECT_EQ(url.path, u"/a/b");
  EXPECT_EQ(url.extra, u"?x=1#frag");
}

TEST(UrlTest, PortAndPathMayBeAbsent) {
  CUrl url;
  ASSERT_TRUE(url.Parse(u"http://host"));
  EXPECT_EQ(url.host, u"host");
  EXPECT_EQ(url.port, 0);
  EXPECT_EQ(url.path, u"");
  EXPECT_EQ(url.extra, u"");

  ASSERT_TRUE(url.Parse(u"http://host?q=1"));
  EXPECT_EQ(url.path, u"");
  EXPECT_EQ(url.extra, u"?q=1");

  ASSERT_TRUE(url.Parse(u"http://host#top"));
  EXPECT_EQ(url.extra, u"#top");
}

TEST(UrlTest, PortMustBeDecimalWithinRange) {
  CUrl url;
  EXPECT_TRUE(url.Parse(u"http://h:1/"));
  EXPECT_EQ(url.port, 1);
  EXPECT_TRUE(url.Parse(u"http://h:65535/"));
  EXPECT_EQ(url.port, 65535);
  EXPECT_FALSE(url.Parse(u"http://h:0/"));
  EXPECT_FALSE(url.Parse(u"http://h:65536/"));
  EXPECT_FALSE(url.Parse(u"http://h:99999999999999999999/"));
  EXPECT_FALSE(url.Parse(u"http://h:/"));
  EXPECT_FALSE(url.Parse(u"http://h:8a/"));
  EXPECT_FALSE(url.Parse(u"http://h:-1/"));
}

TEST(UrlTest, RefusesMalformedText) {
  CUrl url;
  const std::u16string bad[] = {u"", u"http//h/", u"://h/", u"http://", u"http:///path", u"http://:80/",
                                u"http://a b/", u"http://h/a b", u"http://h/a\r\nX: y", u"http://h/\t",
                                u"http://user@h/", u"1http://h/", u"ht tp://h/", u"http://[::1/",
                                u"http://[]/", u"http://h\x7F/"};
  for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
    EXPECT_FALSE(url.Parse(bad[i])) << "case " << i;
    EXPECT_TRUE(url.host.empty()) << "case " << i;
  }
}

TEST(UrlTest, LengthIsBounded) {
  const std::u16string head = u"http://h/";
  CUrl url;
  EXPECT_TRUE(url.Parse(head + std::u16string(2083 - head.size(), u'a')));
  EXPECT_FALSE(url.Parse(head + std::u16string(2084 - head.size(), u'a')));
}

TEST(UrlTest, WritesPortOnlyWhenNotEighty) {
  CUrl url;
  ASSERT_TRUE(url.Parse(u"http://h:80/p?q"));
  EXPECT_EQ(url.ToString(), u"http://h/p?q");
  ASSERT_TRUE(url.Parse(u"http://h/p"));
  EXPECT_EQ(url.ToString(), u"http://h/p");
  ASSERT_TRUE(url.Parse(u"Http://h:8080/p#f"));
  EXPECT_EQ(url.ToString(), u"http://h:8080/p#f");
}

TEST(UrlTest, Ipv6LiteralKeepsBracketsOnlyInText) {
  CUrl url;
  ASSERT_TRUE(url.Parse(u"http://[::1]:81/x"));
  EXPECT_EQ(url.host, u"::1");
  EXPECT_EQ(url.port, 81);
  EXPECT_EQ(url.ToString(), u"http://[::1]:81/x");
}

}  // namespace
