// The addresses of the service's web pages: "http://" + service host + path and query. The
// host is the one service host of the whole program (the web services use it too).
#pragma once

#include <string>

// Paths of the pages; a user name is appended to the two that end in "username=" as it is,
// without escaping (the service reads it back that way).
inline constexpr wchar_t kNoticePage[] = L"/Notice.html";
inline constexpr wchar_t kWelcomePage[] = L"/Welcome.html";
inline constexpr wchar_t kLoginPage[] = L"/Login.aspx?username=";
inline constexpr wchar_t kShoppingCartPage[] = L"/ShoppingCart.aspx?username=";
inline constexpr wchar_t kPhotoManagePage[] = L"/PhotoManage.aspx";

// "http://" + host + pathAndQuery, the text unchanged.
std::wstring ServicePageUrl(const std::wstring& pathAndQuery);

// Replaces the build-time host for the whole process (tests point the pages at a host of
// their own); an empty host goes back to the build-time one. Window thread only.
void SetServicePageHost(const std::u16string& host);
