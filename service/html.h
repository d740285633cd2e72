// The frame of every web page of the service: UTF-8, Chinese, in the client's skin colours
// (background 241,241,241; text 89,127,147; lines 172,172,172).
#pragma once

#include <string>
#include <string_view>

namespace fotrel::service {

// `title` is escaped here; `bodyHtml` is markup that the caller has escaped already.
std::string HtmlPage(std::string_view title, std::string_view bodyHtml);
constexpr const char* kHtmlType = "text/html; charset=utf-8";

}  // namespace fotrel::service
