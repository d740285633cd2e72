#include "service/store.h"

#include <sqlite3.h>

namespace fotrel::service {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  email TEXT NOT NULL UNIQUE COLLATE NOCASE,
  password_hash TEXT NOT NULL,
  created TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')));
CREATE TABLE IF NOT EXISTS photos(
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  name TEXT NOT NULL,
  requested_name TEXT NOT NULL,
  size INTEGER NOT NULL,
  created TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')),
  UNIQUE(user_id, name));
CREATE TABLE IF NOT EXISTS sessions(
  token TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  form_token TEXT NOT NULL,
  created TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')));
CREATE TABLE IF NOT EXISTS orders(
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  created TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')));
CREATE TABLE IF NOT EXISTS order_items(
  order_id INTEGER NOT NULL REFERENCES orders(id),
  photo_id INTEGER REFERENCES photos(id) ON DELETE SET NULL,
  photo_name TEXT NOT NULL,
  print_size TEXT NOT NULL,
  quantity INTEGER NOT NULL);
)sql";

}  // namespace

// A prepared statement that is finalised when it goes out of scope.
class Store::Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return m_stmt != nullptr; }
  Statement& Bind(int index, std::string_view text) {
    if (m_stmt)
      m_bindFailed |= sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                                        SQLITE_TRANSIENT) != SQLITE_OK;
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    if (m_stmt) m_bindFailed |= sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK;
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() {
    if (!m_stmt || m_bindFailed) return SQLITE_ERROR;
    return sqlite3_step(m_stmt);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    int bytes = sqlite3_column_bytes(m_stmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes))
                : std::string();
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  bool m_bindFailed = false;
};

Store::~Store() {
  if (m_db) sqlite3_close(m_db);
}

bool Store::Exec(const char* sql) {
  return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Store::Open(const std::filesystem::path& file, std::string* error) {
  std::lock_guard<std::mutex> lock(m_lock);
  int rc = sqlite3_open_v2(file.u8string().c_str(), &m_db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    *error = "cannot open the database " + file.u8string() + ": " +
             (m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    return false;
  }
  sqlite3_busy_timeout(m_db, 5000);
  // WAL keeps readers and the writer apart; FULL makes every commit survive a power cut.
  if (!Exec("PRAGMA journal_mode=WAL;") || !Exec("PRAGMA synchronous=FULL;") ||
      !Exec("PRAGMA foreign_keys=ON;") || !Exec(kSchema)) {
    *error = std::string("cannot prepare the database: ") + sqlite3_errmsg(m_db);
    return false;
  }
  return true;
}

static Lookup ToLookup(int rc) {
  return rc == SQLITE_ROW ? Lookup::kFound : rc == SQLITE_DONE ? Lookup::kMissing : Lookup::kError;
}

Lookup Store::FindUser(std::string_view name, UserRecord* user) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "SELECT id, name, password_hash FROM users WHERE name = ?1");
  int rc = st.Bind(1, name).Step();
  if (rc == SQLITE_ROW && user) *user = {st.Int(0), st.Text(1), st.Text(2)};
  return ToLookup(rc);
}

Lookup Store::FindUserById(int64_t id, UserRecord* user) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "SELECT id, name, password_hash FROM users WHERE id = ?1");
  int rc = st.Bind(1, id).Step();
  if (rc == SQLITE_ROW && user) *user = {st.Int(0), st.Text(1), st.Text(2)};
  return ToLookup(rc);
}

Lookup Store::FindEmail(std::string_view email) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "SELECT id FROM users WHERE email = ?1");
  return ToLookup(st.Bind(1, email).Step());
}

NewUser Store::AddUser(std::string_view name, std::string_view email, std::string_view hash) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement insert(m_db, "INSERT INTO users(name, email, password_hash) VALUES(?1, ?2, ?3)");
  int rc = insert.Bind(1, name).Bind(2, email).Bind(3, hash).Step();
  if (rc == SQLITE_DONE) return NewUser::kCreated;
  if ((rc & 0xFF) != SQLITE_CONSTRAINT) return NewUser::kError;
  // Someone registered the same name or address in the meantime: say which.
  Statement byName(m_db, "SELECT id FROM users WHERE name = ?1");
  rc = byName.Bind(1, name).Step();
  if (rc == SQLITE_ROW) return NewUser::kNameTaken;
  return rc == SQLITE_DONE ? NewUser::kEmailTaken : NewUser::kError;
}

bool Store::ListUsers(std::vector<UserRecord>* users) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "SELECT id, name, password_hash FROM users ORDER BY id");
  users->clear();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) users->push_back({st.Int(0), st.Text(1), st.Text(2)});
  return rc == SQLITE_DONE;
}

bool Store::AddPhoto(int64_t userId, std::string_view name, std::string_view requestedName,
                     int64_t size, int64_t* id) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db,
               "INSERT INTO photos(user_id, name, requested_name, size) VALUES(?1, ?2, ?3, ?4)");
  if (st.Bind(1, userId).Bind(2, name).Bind(3, requestedName).Bind(4, size).Step() != SQLITE_DONE)
    return false;
  if (id) *id = sqlite3_last_insert_rowid(m_db);
  return true;
}

bool Store::ListPhotos(int64_t userId, std::vector<PhotoRecord>* photos) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db,
               "SELECT id, user_id, name, requested_name, size, created FROM photos "
               "WHERE user_id = ?1 ORDER BY id");
  st.Bind(1, userId);
  photos->clear();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW)
    photos->push_back({st.Int(0), st.Int(1), st.Text(2), st.Text(3), st.Int(4), st.Text(5)});
  return rc == SQLITE_DONE;
}

Lookup Store::FindPhoto(int64_t id, PhotoRecord* photo) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db,
               "SELECT id, user_id, name, requested_name, size, created FROM photos WHERE id = ?1");
  int rc = st.Bind(1, id).Step();
  if (rc == SQLITE_ROW && photo)
    *photo = {st.Int(0), st.Int(1), st.Text(2), st.Text(3), st.Int(4), st.Text(5)};
  return ToLookup(rc);
}

bool Store::DeletePhoto(int64_t id) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "DELETE FROM photos WHERE id = ?1");
  return st.Bind(1, id).Step() == SQLITE_DONE;
}

bool Store::AddSession(std::string_view token, int64_t userId, std::string_view formToken) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "INSERT INTO sessions(token, user_id, form_token) VALUES(?1, ?2, ?3)");
  return st.Bind(1, token).Bind(2, userId).Bind(3, formToken).Step() == SQLITE_DONE;
}

Lookup Store::FindSession(std::string_view token, int64_t* userId, std::string* formToken) {
  std::lock_guard<std::mutex> lock(m_lock);
  Statement st(m_db, "SELECT user_id, form_token FROM sessions WHERE token = ?1");
  int rc = st.Bind(1, token).Step();
  if (rc == SQLITE_ROW) {
    *userId = st.Int(0);
    *formToken = st.Text(1);
  }
  return ToLookup(rc);
}

bool Store::AddOrder(int64_t userId, const std::vector<OrderItem>& items, int64_t* orderId) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!Exec("BEGIN IMMEDIATE")) return false;
  bool ok = false;
  {
    Statement order(m_db, "INSERT INTO orders(user_id) VALUES(?1)");
    if (order.Bind(1, userId).Step() == SQLITE_DONE) {
      int64_t id = sqlite3_last_insert_rowid(m_db);
      ok = true;
      for (const OrderItem& item : items) {
        Statement line(m_db,
                       "INSERT INTO order_items(order_id, photo_id, photo_name, print_size, "
                       "quantity) VALUES(?1, ?2, ?3, ?4, ?5)");
        line.Bind(1, id).Bind(2, item.photoId).Bind(3, item.photoName).Bind(4, item.printSize);
        if (line.Bind(5, static_cast<int64_t>(item.quantity)).Step() != SQLITE_DONE) {
          ok = false;
          break;
        }
      }
      if (ok && orderId) *orderId = id;
    }
  }
  if (ok) ok = Exec("COMMIT");
  if (!ok) Exec("ROLLBACK");
  return ok;
}

}  // namespace fotrel::service
