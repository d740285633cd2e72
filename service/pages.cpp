#include "service/pages.h"

#include <httplib.h>
#include <sodium.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "service/html.h"
#include "service/markup.h"
#include "service/names.h"
#include "service/platform.h"
#include "service/request_note.h"

namespace fotrel::service {

namespace {

struct PrintSize {
  const char* value;
  const char* label;
};
constexpr PrintSize kPrintSizes[] = {{"5", "5寸"},   {"6", "6寸"},   {"7", "7寸"},
                                     {"8", "8寸"},   {"10", "10寸"}, {"12", "12寸"}};
constexpr int kMaxQuantity = 99;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX sequences become bytes (a broken one stays as it is); with `plusIsSpace` also "+".
std::string PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (text[i] == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string PercentEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                 b == '-' || b == '_' || b == '.' || b == '~';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

// The query value that follows "name=" up to the end of the target (for "username", which
// the client appends unescaped) or up to the next "&".
bool QueryValue(const std::string& target, std::string_view name, bool toEnd, std::string* value) {
  size_t query = target.find('?');
  if (query == std::string::npos) return false;
  size_t at = query + 1;
  while (at <= target.size()) {
    std::string_view rest(target.c_str() + at, target.size() - at);
    if (rest.substr(0, name.size()) == name && rest.substr(name.size(), 1) == "=") {
      std::string_view raw = rest.substr(name.size() + 1);
      if (!toEnd) raw = raw.substr(0, raw.find('&'));
      *value = PercentDecode(raw, false);
      return true;
    }
    size_t amp = rest.find('&');
    if (amp == std::string_view::npos) return false;
    at += amp + 1;
  }
  return false;
}

std::vector<std::pair<std::string, std::string>> ParseForm(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> fields;
  while (!body.empty()) {
    size_t amp = body.find('&');
    std::string_view field = body.substr(0, amp);
    size_t equals = field.find('=');
    fields.emplace_back(PercentDecode(field.substr(0, equals), true),
                        equals == std::string_view::npos
                            ? std::string()
                            : PercentDecode(field.substr(equals + 1), true));
    if (amp == std::string_view::npos) break;
    body.remove_prefix(amp + 1);
  }
  return fields;
}

const std::string* FormValue(const std::vector<std::pair<std::string, std::string>>& fields,
                             std::string_view name) {
  for (const auto& field : fields)
    if (field.first == name) return &field.second;
  return nullptr;
}

std::string CookieValue(const std::string& header, std::string_view name) {
  std::string_view rest(header);
  while (!rest.empty()) {
    size_t semicolon = rest.find(';');
    std::string_view pair = rest.substr(0, semicolon);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=')
      return std::string(pair.substr(name.size() + 1));
    if (semicolon == std::string_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  return {};
}

bool ParseId(std::string_view text, int64_t* id) {
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *id = value;
  return true;
}

std::string RandomHex(size_t bytes) {
  std::vector<unsigned char> random(bytes);
  randombytes_buf(random.data(), bytes);
  std::string hex(bytes * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), random.data(), bytes);
  hex.pop_back();
  return hex;
}

std::string SizeText(int64_t bytes) {
  char text[32];
  if (bytes < 1024)
    std::snprintf(text, sizeof text, "%lld 字节", static_cast<long long>(bytes));
  else if (bytes < (1 << 20))
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
  else
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

const char* ImageType(std::string_view name) {
  size_t dot = name.rfind('.');
  std::string extension;
  if (dot != std::string_view::npos)
    for (char c : name.substr(dot + 1))
      extension += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (extension == "jpg" || extension == "jpeg") return "image/jpeg";
  if (extension == "png") return "image/png";
  if (extension == "gif") return "image/gif";
  if (extension == "bmp") return "image/bmp";
  if (extension == "tif" || extension == "tiff") return "image/tiff";
  return "application/octet-stream";
}

void Show(httplib::Response& res, int status, std::string_view title, const std::string& body) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(HtmlPage(title, body), kHtmlType);
}

std::string Note(std::string_view text) {
  return "<p class=\"note\">" + EscapeMarkup(text) + "</p>";
}

const char kNoticeBody[] =
    "<h1>公告</h1>"
    "<p>欢迎使用 Fotrel 网上冲印服务。</p>"
    "<ul>"
    "<li>可以上传 jpg、bmp、tif、gif 和 raw 格式的照片，每张照片至少 20 字节。</li>"
    "<li>上传完成后，可以在冲印页选择每张照片的冲印尺寸和数量并提交订单。</li>"
    "<li>照片管理页可以查看和删除已经上传的照片。</li>"
    "</ul>";

const char kWelcomeBody[] =
    "<h1>欢迎光临 Fotrel 网上冲印</h1>"
    "<p>把您的数码照片冲印成精美的相片：登录或注册后，选择文件夹，勾选照片，一键上传。</p>"
    "<table><tr><th>冲印尺寸</th><th>说明</th></tr>"
    "<tr><td>5寸、6寸</td><td>适合家庭相册</td></tr>"
    "<tr><td>7寸、8寸</td><td>适合摆台</td></tr>"
    "<tr><td>10寸、12寸</td><td>适合装裱</td></tr></table>"
    "<p>还没有账号？请先在左侧注册。</p>";

}  // namespace

Pages::Pages(Store& store, Uploads& uploads) : m_store(store), m_uploads(uploads) {}

void Pages::Register(httplib::Server& server) {
  server.Get("/Notice.html", [](const httplib::Request&, httplib::Response& res) {
    Show(res, 200, "公告", kNoticeBody);
  });
  server.Get("/(Welcome\\.html)?", [](const httplib::Request&, httplib::Response& res) {
    Show(res, 200, "欢迎", kWelcomeBody);
  });
  server.Get("/Login\\.aspx",
             [this](const httplib::Request& req, httplib::Response& res) { Login(req, res); });
  server.Get("/ShoppingCart\\.aspx", [this](const httplib::Request& req, httplib::Response& res) {
    ShoppingCart(req, res, nullptr);
  });
  server.Get("/PhotoManage\\.aspx", [this](const httplib::Request& req, httplib::Response& res) {
    PhotoManage(req, res, nullptr);
  });
  server.Get("/Photo\\.aspx",
             [this](const httplib::Request& req, httplib::Response& res) { Photo(req, res); });

  // Forms are read with a bound of their own, far below the one of the upload service.
  auto withForm = [](auto handler) {
    return [handler](const httplib::Request& req, httplib::Response& res,
                     const httplib::ContentReader& content) {
      std::string form;
      bool tooLarge = false;
      bool read = content([&](const char* data, size_t length) {
        if (form.size() + length > kMaxFormBytes) {
          tooLarge = true;
          return false;
        }
        form.append(data, length);
        return true;
      });
      if (tooLarge || !read) {
        res.set_header("Connection", "close");
        return Show(res, tooLarge ? 413 : 400, "错误", Note("表单无法读取。"));
      }
      handler(req, res, &form);
    };
  };
  server.Post("/ShoppingCart\\.aspx",
              withForm([this](const httplib::Request& req, httplib::Response& res,
                              const std::string* form) { ShoppingCart(req, res, form); }));
  server.Post("/PhotoManage\\.aspx",
              withForm([this](const httplib::Request& req, httplib::Response& res,
                              const std::string* form) { PhotoManage(req, res, form); }));
}

void Pages::AnswerStatus(httplib::Response& res) {
  bool missing = res.status == 404;
  std::string text = missing ? "页面不存在。" : "请求无法处理（" + std::to_string(res.status) + "）。";
  res.set_content(HtmlPage(missing ? "页面不存在" : "错误", Note(text)), kHtmlType);
}

bool Pages::SessionUser(const httplib::Request& req, UserRecord* user, std::string* formToken) {
  std::string token = CookieValue(req.get_header_value("Cookie"), kSessionCookie);
  if (token.empty() || token.size() > 128) return false;
  int64_t userId = 0;
  if (m_store.FindSession(token, &userId, formToken) != Lookup::kFound) return false;
  return m_store.FindUserById(userId, user) == Lookup::kFound;
}

void Pages::Login(const httplib::Request& req, httplib::Response& res) {
  std::string name;
  UserRecord user;
  if (!QueryValue(req.target, "username", true, &name) || name.empty())
    return Show(res, 200, "登录", Note("缺少用户名。"));
  Lookup found = m_store.FindUser(name, &user);
  if (found == Lookup::kError) return Show(res, 500, "错误", Note("服务暂时不可用，请稍后再试。"));
  if (found == Lookup::kMissing)
    return Show(res, 200, "登录", Note("用户“" + name + "”不存在。"));
  std::string token = RandomHex(32);
  if (!m_store.AddSession(token, user.id, RandomHex(16)))
    return Show(res, 500, "错误", Note("服务暂时不可用，请稍后再试。"));
  res.set_header("Set-Cookie",
                 std::string(kSessionCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Lax");
  NoteRequest("session for " + LogSafe(user.name));
  std::string body = "<h1>登录</h1><p>";
  AppendEscaped(body, user.name);
  body += "，您好！您已登录。</p><p><a href=\"/ShoppingCart.aspx?username=";
  AppendEscaped(body, PercentEncode(user.name));
  body += "\">冲印照片</a> &nbsp; <a href=\"/PhotoManage.aspx\">管理照片</a></p>";
  Show(res, 200, "登录", body);
}

void Pages::ShoppingCart(const httplib::Request& req, httplib::Response& res,
                         const std::string* form) {
  std::string name;
  if (!QueryValue(req.target, "username", true, &name) || name.empty())
    return Show(res, 200, "冲印", Note("缺少用户名。"));
  UserRecord user;
  Lookup found = m_store.FindUser(name, &user);
  if (found == Lookup::kError) return Show(res, 500, "错误", Note("服务暂时不可用，请稍后再试。"));
  if (found == Lookup::kMissing) return Show(res, 200, "冲印", Note("用户“" + name + "”不存在。"));
  std::vector<PhotoRecord> photos;
  if (!m_store.ListPhotos(user.id, &photos))
    return Show(res, 500, "错误", Note("服务暂时不可用，请稍后再试。"));

  std::string message;
  if (form) {
    auto fields = ParseForm(*form);
    std::vector<OrderItem> items;
    bool valid = true;
    for (const PhotoRecord& photo : photos) {
      std::string id = std::to_string(photo.id);
      const std::string* size = FormValue(fields, "size_" + id);
      const std::string* quantity = FormValue(fields, "qty_" + id);
      if (!size || !quantity) continue;
      const PrintSize* print = nullptr;
      for (const PrintSize& candidate : kPrintSizes)
        if (*size == candidate.value) print = &candidate;
      int64_t count = 0;
      if (!print || !ParseId(*quantity, &count) || count > kMaxQuantity) {
        valid = false;
        break;
      }
      if (count > 0) items.push_back({photo.id, photo.name, print->label, static_cast<int>(count)});
    }
    if (!valid) {
      message = "冲印尺寸或数量无效（数量为 0 到 99）。";
    } else if (items.empty()) {
      message = "请至少为一张照片填写数量。";
    } else {
      int64_t orderId = 0;
      if (!m_store.AddOrder(user.id, items, &orderId))
        return Show(res, 500, "错误", Note("订单无法保存，请稍后再试。"));
      NoteRequest("order " + std::to_string(orderId) + " for " + LogSafe(user.name));
      std::string body = "<h1>订单已提交</h1>" + Note("订单号：" + std::to_string(orderId)) +
                         "<table><tr><th>照片</th><th>冲印尺寸</th><th>数量</th></tr>";
      for (const OrderItem& item : items) {
        body += "<tr><td>";
        AppendEscaped(body, item.photoName);
        body += "</td><td>" + item.printSize + "</td><td>" + std::to_string(item.quantity) +
                "</td></tr>";
      }
      body += "</table>";
      return Show(res, 200, "订单已提交", body);
    }
  }

  std::string body = "<h1>冲印 — ";
  AppendEscaped(body, user.name);
  body += "</h1>";
  if (!message.empty()) body += Note(message);
  if (photos.empty()) return Show(res, 200, "冲印", body + Note("您还没有上传照片。"));
  body += "<form method=\"post\" action=\"/ShoppingCart.aspx?username=";
  AppendEscaped(body, PercentEncode(user.name));
  body += "\"><table><tr><th>照片</th><th>大小</th><th>冲印尺寸</th><th>数量</th></tr>";
  for (const PhotoRecord& photo : photos) {
    std::string id = std::to_string(photo.id);
    body += "<tr><td>";
    AppendEscaped(body, photo.name);
    body += "</td><td>" + SizeText(photo.size) + "</td><td><select name=\"size_" + id + "\">";
    for (const PrintSize& print : kPrintSizes)
      body += std::string("<option value=\"") + print.value + "\">" + print.label + "</option>";
    body += "</select></td><td><input name=\"qty_" + id +
            "\" value=\"1\" size=\"3\" maxlength=\"2\"></td></tr>";
  }
  body += "</table><p><button type=\"submit\">提交订单</button></p></form>";
  Show(res, 200, "冲印", body);
}

std::string Pages::PhotoList(const UserRecord& user, const std::string& formToken,
                             bool* failed) {
  std::vector<PhotoRecord> photos;
  *failed = !m_store.ListPhotos(user.id, &photos);
  if (*failed) return {};
  if (photos.empty()) return Note("您还没有上传照片。");
  std::string body = "<table><tr><th>照片</th><th>名称</th><th>大小</th><th>上传时间</th><th></th></tr>";
  for (const PhotoRecord& photo : photos) {
    std::string id = std::to_string(photo.id);
    body += "<tr><td><img src=\"/Photo.aspx?id=" + id + "\" width=\"160\" alt=\"";
    AppendEscaped(body, photo.name);
    body += "\"></td><td>";
    AppendEscaped(body, photo.name);
    body += "</td><td>" + SizeText(photo.size) + "</td><td>";
    AppendEscaped(body, photo.created);
    body += "</td><td><form method=\"post\" action=\"/PhotoManage.aspx\">"
            "<input type=\"hidden\" name=\"id\" value=\"" + id + "\">"
            "<input type=\"hidden\" name=\"token\" value=\"";
    AppendEscaped(body, formToken);
    body += "\"><button type=\"submit\" name=\"action\" value=\"delete\">删除</button></form></td></tr>";
  }
  return body + "</table>";
}

void Pages::PhotoManage(const httplib::Request& req, httplib::Response& res,
                        const std::string* form) {
  UserRecord user;
  std::string formToken;
  if (!SessionUser(req, &user, &formToken))
    return Show(res, form ? 403 : 200, "照片管理", "<h1>照片管理</h1>" + Note("请先登录。"));
  std::string message;
  if (form) {
    auto fields = ParseForm(*form);
    const std::string* token = FormValue(fields, "token");
    const std::string* idText = FormValue(fields, "id");
    int64_t id = 0;
    PhotoRecord photo;
    // The form token ties the request to a page this service served to this session.
    if (!token || *token != formToken || !idText || !ParseId(*idText, &id)) {
      return Show(res, 403, "照片管理", "<h1>照片管理</h1>" + Note("请求无效，请刷新页面后重试。"));
    }
    if (m_store.FindPhoto(id, &photo) != Lookup::kFound || photo.userId != user.id) {
      message = "照片不存在。";
    } else if (!m_uploads.DeletePhoto(user, photo)) {
      return Show(res, 500, "错误", Note("照片无法删除，请稍后再试。"));
    } else {
      message = "已删除照片“" + photo.name + "”。";
      NoteRequest("deleted photo " + std::to_string(id) + " of " + LogSafe(user.name));
    }
  }
  bool failed = false;
  std::string list = PhotoList(user, formToken, &failed);
  if (failed) return Show(res, 500, "错误", Note("服务暂时不可用，请稍后再试。"));
  std::string body = "<h1>照片管理 — ";
  AppendEscaped(body, user.name);
  body += "</h1>";
  if (!message.empty()) body += Note(message);
  Show(res, 200, "照片管理", body + list);
}

void Pages::Photo(const httplib::Request& req, httplib::Response& res) {
  UserRecord user;
  std::string formToken;
  std::string idText;
  int64_t id = 0;
  PhotoRecord photo;
  if (!SessionUser(req, &user, &formToken) || !QueryValue(req.target, "id", false, &idText) ||
      !ParseId(idText, &id) || m_store.FindPhoto(id, &photo) != Lookup::kFound ||
      photo.userId != user.id) {
    res.status = 404;
    return;
  }
  std::filesystem::path path = m_uploads.PhotoPath(user, photo);
  std::shared_ptr<std::FILE> file(path.empty() ? nullptr : OpenFile(path, "rb"),
                                  [](std::FILE* f) {
                                    if (f) std::fclose(f);
                                  });
  std::error_code ec;
  uint64_t size = path.empty() ? 0 : std::filesystem::file_size(path, ec);
  if (!file || ec) {
    res.status = 404;
    return;
  }
  res.status = 200;
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Cache-Control", "private, no-store");
  res.set_content_provider(
      static_cast<size_t>(size), ImageType(photo.name),
      [file](size_t offset, size_t length, httplib::DataSink& sink) {
        char block[64 * 1024];
        size_t want = length < sizeof block ? length : sizeof block;
        if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;
        size_t n = std::fread(block, 1, want, file.get());
        return n > 0 && sink.write(block, n);
      });
}

}  // namespace fotrel::service
