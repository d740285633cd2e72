// The web pages: Chinese, UTF-8, in the skin colours; the login page's session cookie; the
// shopping cart and its orders; photo management with pictures and deletion; escaping of
// everything that comes from users.
#include "service_fixture.h"

namespace {

class Pages : public ServiceTest {
 protected:
  HttpReply Get(const std::string& target, const std::string& cookie = "") {
    return Exchange(Port(), GetRequest(target, cookie.empty() ? "" : "Cookie: " + cookie + "\r\n"));
  }
  HttpReply PostForm(const std::string& target, const std::string& form, const std::string& cookie = "") {
    return Exchange(Port(), "POST " + target + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded"
                            "\r\nContent-Length: " + std::to_string(form.size()) + "\r\n" +
                                (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n" + form);
  }
  std::string LogIn(const std::string& user) {  // "FotrelSession=..."
    std::string cookie = Get("/Login.aspx?username=" + user).Header("set-cookie");
    return cookie.substr(0, cookie.find(';'));
  }
  static bool Has(const HttpReply& reply, const std::string& text) {
    return reply.body.find(text) != std::string::npos;
  }
};

TEST_F(Pages, ServeTheNoticeAndWelcomePagesInChineseAndTheSkinColours) {
  for (auto [path, text] : {std::pair{"/Notice.html", "<h1>公告</h1>"}, {"/Welcome.html", "欢迎光临"}}) {
    HttpReply reply = Get(path);
    EXPECT_EQ(reply.Header("content-type"), "text/html; charset=utf-8");
    EXPECT_TRUE(Has(reply, text) && Has(reply, "<meta charset=\"utf-8\">") && Has(reply, "background:#F1F1F1") &&
                Has(reply, "color:#597F93")) << reply.body;
  }
  HttpReply missing = Get("/Default.aspx");
  EXPECT_EQ(missing.status, 404);
  EXPECT_TRUE(Has(missing, "页面不存在"));
}

TEST_F(Pages, LoginStartsASessionForAKnownUserAsTheClientAppendsTheName) {
  Register("ivan");
  Register("a&b+c");
  Register("张三");
  HttpReply reply = Get("/Login.aspx?username=ivan");
  EXPECT_EQ(reply.status, 200);
  std::string cookie = reply.Header("set-cookie");
  EXPECT_EQ(cookie.rfind("FotrelSession=", 0), 0u) << cookie;
  EXPECT_EQ(cookie.substr(14 + 64), "; Path=/; HttpOnly; SameSite=Lax");
  EXPECT_TRUE(Has(reply, "ivan，您好！您已登录。"));
  EXPECT_NE(LogIn("ivan"), LogIn("ivan"));  // each login its own session
  // Appended unescaped: everything after "username=" is the name, '+' included.
  for (const char* name : {"a&b+c", "%E5%BC%A0%E4%B8%89", "张三"}) EXPECT_FALSE(LogIn(name).empty()) << name;
  EXPECT_TRUE(Has(Get("/ShoppingCart.aspx?username=a&b+c"), "冲印 — a&amp;b+c"));
  reply = Get("/Login.aspx?username=nobody");
  EXPECT_EQ(reply.Header("set-cookie"), "");
  EXPECT_TRUE(Has(reply, "用户“nobody”不存在。"));
  EXPECT_EQ(Get("/Login.aspx").Header("set-cookie"), "");
}

TEST_F(Pages, EscapeEverythingThatComesFromUsers) {
  Register("<b>&\"'x");
  ASSERT_TRUE(SendFile(Port(), Pattern(40), "<i>&'.jpg", "<b>&\"'x"));
  std::string cookie = LogIn("%3Cb%3E%26%22'x");
  ASSERT_FALSE(cookie.empty());
  for (const HttpReply& page : {Get("/Login.aspx?username=%3Cb%3E%26%22'x"),
                                Get("/ShoppingCart.aspx?username=%3Cb%3E%26%22'x"), Get("/PhotoManage.aspx", cookie)}) {
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(Has(page, "&lt;b&gt;&amp;&quot;&#39;x")) << page.body;
    EXPECT_FALSE(Has(page, "<b>&") || Has(page, "<i>")) << page.body;
  }
  EXPECT_TRUE(Has(Get("/PhotoManage.aspx", cookie), "&lt;i&gt;&amp;&#39;.jpg"));
  EXPECT_TRUE(Has(Get("/Login.aspx?username=<script>"), "用户“&lt;script&gt;”不存在。"));
}

TEST_F(Pages, ShoppingCartListsTheUsersPhotosAndRecordsAnOrder) {
  Register("judy");
  Register("leo");
  Register("mia");
  ASSERT_TRUE(SendFile(Port(), Pattern(2048), "one.jpg", "judy"));
  ASSERT_TRUE(SendFile(Port(), Pattern(3 << 20), "two.jpg", "judy"));
  ASSERT_TRUE(SendFile(Port(), Pattern(40), "leo.jpg", "leo"));
  HttpReply cart = Get("/ShoppingCart.aspx?username=judy");
  EXPECT_TRUE(Has(cart, "<td>one.jpg</td><td>2.0 KB</td>") && Has(cart, "<td>two.jpg</td><td>3.0 MB</td>") &&
              Has(cart, "<select name=\"size_1\"><option value=\"5\">5寸</option>")) << cart.body;
  HttpReply done = PostForm("/ShoppingCart.aspx?username=judy", "size_1=7&qty_1=3&size_2=12&qty_2=0");
  EXPECT_TRUE(Has(done, "订单号：1"));
  EXPECT_TRUE(Has(done, "<td>one.jpg</td><td>7寸</td><td>3</td>"));
  EXPECT_EQ(Query(Data(), "SELECT o.id, u.name, i.photo_id, i.photo_name, i.print_size, i.quantity FROM orders o "
                          "JOIN users u ON u.id = o.user_id JOIN order_items i ON i.order_id = o.id"),
            (std::vector<std::vector<std::string>>{{"1", "judy", "1", "one.jpg", "7寸", "3"}}));
  // Nothing ordered, another user's photo, values outside the choices, a form too large: no order.
  EXPECT_TRUE(Has(PostForm("/ShoppingCart.aspx?username=judy", "size_1=7&qty_1=0"), "请至少为一张照片填写数量。"));
  EXPECT_TRUE(Has(PostForm("/ShoppingCart.aspx?username=leo", "size_1=5&qty_1=4"), "请至少为一张照片填写数量。"));
  for (std::string form : {"size_1=9&qty_1=1", "size_1=7&qty_1=100", "size_1=7&qty_1=-1", "size_1=7&qty_1=x"}) {
    HttpReply bad = PostForm("/ShoppingCart.aspx?username=judy", form);
    EXPECT_TRUE(Has(bad, "冲印尺寸或数量无效") && Has(bad, "<form method=\"post\"")) << form;
  }
  EXPECT_EQ(PostForm("/ShoppingCart.aspx?username=judy", std::string(70 * 1024, 'a')).status, 413);
  EXPECT_EQ(Query(Data(), "SELECT COUNT(*) FROM orders")[0][0], "1");
  EXPECT_TRUE(Has(Get("/ShoppingCart.aspx?username=nobody"), "用户“nobody”不存在。"));
  EXPECT_TRUE(Has(Get("/ShoppingCart.aspx?username=mia"), "您还没有上传照片。"));
}

TEST_F(Pages, PhotoManageShowsTheSessionUsersPhotosAndDeletesOne) {
  Register("nina");
  Register("omar");
  std::string picture = Pattern(5000, 7);
  ASSERT_TRUE(SendFile(Port(), picture, "keep.jpg", "nina"));
  ASSERT_TRUE(SendFile(Port(), Pattern(60), "drop.jpg", "nina"));
  ASSERT_TRUE(SendFile(Port(), Pattern(60), "omar.jpg", "omar"));
  EXPECT_TRUE(Has(Get("/PhotoManage.aspx"), "请先登录。"));
  std::string nina = LogIn("nina"), omar = LogIn("omar");
  HttpReply page = Get("/PhotoManage.aspx", nina);
  EXPECT_TRUE(Has(page, "<img src=\"/Photo.aspx?id=1\" width=\"160\" alt=\"keep.jpg\">"));
  EXPECT_TRUE(Has(page, "drop.jpg"));
  EXPECT_FALSE(Has(page, "omar.jpg"));
  HttpReply image = Get("/Photo.aspx?id=1", nina);
  EXPECT_EQ(image.Header("content-type"), "image/jpeg");
  EXPECT_TRUE(image.body == picture);
  // Another user's session, or none, sees no picture.
  for (const std::string& other : {omar, std::string(), std::string("FotrelSession=forged")})
    EXPECT_EQ(Get("/Photo.aspx?id=1", other).status, 404) << other;
  size_t at = page.body.find("name=\"token\" value=\"");
  ASSERT_NE(at, std::string::npos);
  std::string token = page.body.substr(at + 20, 32);
  EXPECT_EQ(page.body[at + 52], '"');
  // Without the page's form token, or from another session, nothing is deleted.
  EXPECT_EQ(PostForm("/PhotoManage.aspx", "id=2&action=delete&token=wrong", nina).status, 403);
  EXPECT_EQ(PostForm("/PhotoManage.aspx", "id=2&action=delete&token=" + token, omar).status, 403);
  EXPECT_EQ(PostForm("/PhotoManage.aspx", "id=2&action=delete&token=" + token).status, 403);
  EXPECT_TRUE(Has(PostForm("/PhotoManage.aspx", "id=3&action=delete&token=" + token, nina), "照片不存在。"));
  EXPECT_TRUE(fs::exists(Data() / "uploads/nina/drop.jpg") && fs::exists(Data() / "uploads/omar/omar.jpg"));
  HttpReply deleted = PostForm("/PhotoManage.aspx", "id=2&action=delete&token=" + token, nina);
  EXPECT_TRUE(Has(deleted, "已删除照片“drop.jpg”。"));
  EXPECT_FALSE(Has(deleted, "alt=\"drop.jpg\""));
  EXPECT_FALSE(fs::exists(Data() / "uploads/nina/drop.jpg"));
  EXPECT_EQ(Query(Data(), "SELECT name FROM photos WHERE user_id = 1"),
            (std::vector<std::vector<std::string>>{{"keep.jpg"}}));
}

}  // namespace
