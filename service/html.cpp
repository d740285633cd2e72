#include "service/html.h"

#include "service/markup.h"

namespace fotrel::service {

std::string HtmlPage(std::string_view title, std::string_view bodyHtml) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"><title>";
  AppendEscaped(page, title);
  page +=
      "</title><style>"
      "body{background:#F1F1F1;color:#597F93;font-family:\"宋体\",SimSun,sans-serif;"
      "font-size:12px;margin:10px}"
      "h1{font-size:16px;margin:0 0 8px;padding-bottom:4px;border-bottom:1px solid #ACACAC}"
      "table{border-collapse:collapse}"
      "th,td{border:1px solid #ACACAC;padding:4px 8px;text-align:left}"
      "a{color:#597F93}"
      "input,select,button{color:#597F93;border:1px solid #ACACAC;background:#FFFFFF}"
      ".note{margin:8px 0;padding:6px;border:1px solid #ACACAC}"
      "img{border:1px solid #ACACAC}"
      "</style></head><body>";
  page += bodyHtml;
  page += "</body></html>\n";
  return page;
}

}  // namespace fotrel::service
