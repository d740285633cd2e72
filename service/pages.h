// The web pages the client shows in its embedded browser: /Notice.html and /Welcome.html
// beside the login form, /Login.aspx?username=U (starts a web session for U with a cookie),
// /ShoppingCart.aspx?username=U (U's photos with print size and quantity; submitting records
// an order) and /PhotoManage.aspx (the session user's photos, with pictures from /Photo.aspx,
// and deleting one). The client appends the user name unescaped, so everything after
// "username=" is the name.
#pragma once

#include <cstdint>
#include <string>

#include "service/store.h"
#include "service/uploads.h"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace fotrel::service {

constexpr const char* kSessionCookie = "FotrelSession";
// Largest form a page accepts.
constexpr uint64_t kMaxFormBytes = 64 * 1024;

class Pages {
 public:
  Pages(Store& store, Uploads& uploads);
  void Register(httplib::Server& server);
  // A page for an error status that no handler answered (unknown page, bad request).
  static void AnswerStatus(httplib::Response& res);

 private:
  void Login(const httplib::Request& req, httplib::Response& res);
  void ShoppingCart(const httplib::Request& req, httplib::Response& res, const std::string* form);
  void PhotoManage(const httplib::Request& req, httplib::Response& res, const std::string* form);
  void Photo(const httplib::Request& req, httplib::Response& res);
  // The user of the request's session cookie.
  bool SessionUser(const httplib::Request& req, UserRecord* user, std::string* formToken);
  std::string PhotoList(const UserRecord& user, const std::string& formToken, bool* failed);

  Store& m_store;
  Uploads& m_uploads;
};

}  // namespace fotrel::service
