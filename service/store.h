// The service's records in one SQLite database (WAL mode): accounts, stored photos, web
// sessions and print orders. One connection, used under a lock; every statement is short.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace fotrel::service {

struct UserRecord {
  int64_t id = 0;
  std::string name;  // as registered; looked up without ASCII case
  std::string passwordHash;
};

struct PhotoRecord {
  int64_t id = 0;
  int64_t userId = 0;
  std::string name;           // file name in the user's upload folder
  std::string requestedName;  // FileName the client sent
  int64_t size = 0;
  std::string created;        // UTC, ISO 8601
};

struct OrderItem {
  int64_t photoId = 0;
  std::string photoName;
  std::string printSize;
  int quantity = 0;
};

enum class Lookup { kFound, kMissing, kError };
enum class NewUser { kCreated, kNameTaken, kEmailTaken, kError };

class Store {
 public:
  Store() = default;
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  bool Open(const std::filesystem::path& file, std::string* error);

  // Accounts. Names and e-mail addresses are unique without ASCII case.
  Lookup FindUser(std::string_view name, UserRecord* user);
  Lookup FindUserById(int64_t id, UserRecord* user);
  Lookup FindEmail(std::string_view email);
  NewUser AddUser(std::string_view name, std::string_view email, std::string_view hash);
  bool ListUsers(std::vector<UserRecord>* users);

  // Photos.
  bool AddPhoto(int64_t userId, std::string_view name, std::string_view requestedName,
                int64_t size, int64_t* id);
  bool ListPhotos(int64_t userId, std::vector<PhotoRecord>* photos);
  Lookup FindPhoto(int64_t id, PhotoRecord* photo);
  bool DeletePhoto(int64_t id);

  // Web sessions: a random token (the cookie) for a user, with its form token.
  bool AddSession(std::string_view token, int64_t userId, std::string_view formToken);
  Lookup FindSession(std::string_view token, int64_t* userId, std::string* formToken);

  // Print orders: one order with its lines, in one transaction.
  bool AddOrder(int64_t userId, const std::vector<OrderItem>& items, int64_t* orderId);

 private:
  class Statement;
  bool Exec(const char* sql);

  std::mutex m_lock;
  sqlite3* m_db = nullptr;
};

}  // namespace fotrel::service
