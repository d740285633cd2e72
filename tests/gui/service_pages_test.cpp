// The addresses of the service's pages.
#include "services/service_host.h"
#include "web/service_pages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ServicePages : public testing::Test {
 protected:
  void SetUp() override { SetServicePageHost(u"127.0.0.1:4321"); }
  void TearDown() override { SetServicePageHost(u""); }
};

TEST_F(ServicePages, EachPageIsHttpHostAndPath) {
  EXPECT_EQ(L"http://127.0.0.1:4321/Notice.html", ServicePageUrl(kNoticePage));
  EXPECT_EQ(L"http://127.0.0.1:4321/Welcome.html", ServicePageUrl(kWelcomePage));
  EXPECT_EQ(L"http://127.0.0.1:4321/Login.aspx?username=", ServicePageUrl(kLoginPage));
  EXPECT_EQ(L"http://127.0.0.1:4321/ShoppingCart.aspx?username=", ServicePageUrl(kShoppingCartPage));
  EXPECT_EQ(L"http://127.0.0.1:4321/PhotoManage.aspx", ServicePageUrl(kPhotoManagePage));
}

TEST_F(ServicePages, AUserNameIsAppendedUnescaped) {
  const std::wstring user = L"\u5f20\u4e09 & a=b?c#d%20+";
  EXPECT_EQ(L"http://127.0.0.1:4321/Login.aspx?username=\u5f20\u4e09 & a=b?c#d%20+",
            ServicePageUrl(kLoginPage + user));
  EXPECT_EQ(L"http://127.0.0.1:4321/ShoppingCart.aspx?username=\u5f20\u4e09 & a=b?c#d%20+",
            ServicePageUrl(kShoppingCartPage + user));
  EXPECT_EQ(L"http://127.0.0.1:4321/ShoppingCart.aspx?username=", ServicePageUrl(kShoppingCartPage + std::wstring()));
}

TEST_F(ServicePages, AnEmptyHostGoesBackToTheBuildTimeHost) {
  SetServicePageHost(u"");
  const std::u16string host = DefaultServiceHost();
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(L"http://" + std::wstring(host.begin(), host.end()) + L"/Notice.html", ServicePageUrl(kNoticePage));
  SetServicePageHost(u"photos.example.invalid");
  EXPECT_EQ(L"http://photos.example.invalid/PhotoManage.aspx", ServicePageUrl(kPhotoManagePage));
}

}  // namespace
