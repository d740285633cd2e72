#include "service/accounts.h"

#include <sodium.h>

#include <thread>

#include "service/names.h"

namespace fotrel::service {

namespace {

bool FieldOk(const ParamValue& value) {
  return value.present && !value.nil && value.textBytes > 0 &&
         value.textUnits <= kMaxAccountField && value.textBytes <= kMaxKeptText;
}

}  // namespace

Accounts::Accounts(Store& store, HashStrength strength) : m_store(store) {
  // Fails only when the system offers no randomness; hashing then fails and says so.
  m_ready = sodium_init() >= 0;
  if (strength == HashStrength::kInteractive) {
    m_opsLimit = crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE;
    m_memLimit = crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE;
  } else {
    m_opsLimit = crypto_pwhash_argon2id_OPSLIMIT_MIN;
    m_memLimit = crypto_pwhash_argon2id_MEMLIMIT_MIN;
  }
  unsigned cores = std::thread::hardware_concurrency();
  m_maxHashing = cores < 2 ? 2 : cores;
}

void Accounts::EnterHashing() {
  std::unique_lock<std::mutex> lock(m_gateLock);
  m_gateFree.wait(lock, [&] { return m_hashing < m_maxHashing; });
  ++m_hashing;
}

void Accounts::LeaveHashing() {
  {
    std::lock_guard<std::mutex> lock(m_gateLock);
    --m_hashing;
  }
  m_gateFree.notify_one();
}

bool Accounts::Hash(std::string_view password, std::string* hash) {
  char out[crypto_pwhash_argon2id_STRBYTES];
  if (!m_ready) return false;
  EnterHashing();
  int rc = crypto_pwhash_argon2id_str(out, password.data(), password.size(), m_opsLimit,
                                      m_memLimit);
  LeaveHashing();
  if (rc != 0) return false;
  hash->assign(out);
  return true;
}

bool Accounts::CreateUser(const ParamValue& name, const ParamValue& password,
                          const ParamValue& email, int32_t* result, std::string* error) {
  if (!FieldOk(name) || !FieldOk(password) || !FieldOk(email) ||
      email.text.find('@') == std::string::npos || CheckName(name.text) != NameProblem::kNone) {
    *result = kInvalid;
    return true;
  }
  // Cheap checks first, so that a taken name costs no hashing.
  switch (m_store.FindUser(name.text, nullptr)) {
    case Lookup::kFound: *result = kNameTaken; return true;
    case Lookup::kError: *error = "the account store cannot be read"; return false;
    case Lookup::kMissing: break;
  }
  switch (m_store.FindEmail(email.text)) {
    case Lookup::kFound: *result = kEmailTaken; return true;
    case Lookup::kError: *error = "the account store cannot be read"; return false;
    case Lookup::kMissing: break;
  }
  std::string hash;
  if (!Hash(password.text, &hash)) {
    *error = "the password cannot be hashed";
    return false;
  }
  switch (m_store.AddUser(name.text, email.text, hash)) {
    case NewUser::kCreated: *result = kCreated; return true;
    case NewUser::kNameTaken: *result = kNameTaken; return true;
    case NewUser::kEmailTaken: *result = kEmailTaken; return true;
    case NewUser::kError: break;
  }
  *error = "the account cannot be stored";
  return false;
}

bool Accounts::LoginUser(const ParamValue& name, const ParamValue& password, bool* result,
                         std::string* error) {
  *result = false;
  if (!FieldOk(name) || !FieldOk(password)) return true;
  UserRecord user;
  Lookup found = m_store.FindUser(name.text, &user);
  if (found == Lookup::kError) {
    *error = "the account store cannot be read";
    return false;
  }
  if (found == Lookup::kMissing) {
    // Spend the same effort as for a known user, so the answer time does not tell which
    // names exist.
    std::call_once(m_decoyOnce, [&] {
      unsigned char random[16];
      randombytes_buf(random, sizeof random);
      Hash(std::string_view(reinterpret_cast<char*>(random), sizeof random), &m_decoyHash);
    });
    if (!m_decoyHash.empty()) {
      EnterHashing();
      int decoy = crypto_pwhash_str_verify(m_decoyHash.c_str(), password.text.data(),
                                           password.text.size());
      (void)decoy;
      LeaveHashing();
    }
    return true;
  }
  EnterHashing();
  int rc = crypto_pwhash_str_verify(user.passwordHash.c_str(), password.text.data(),
                                    password.text.size());
  LeaveHashing();
  *result = rc == 0;
  return true;
}

}  // namespace fotrel::service
