// The Passport operations: registering a user and checking a user's password. Passwords are
// kept only as Argon2id hashes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "service/envelope_reader.h"
#include "service/store.h"

namespace fotrel::service {

// Longest user name, password or e-mail address, in UTF-16 code units.
constexpr size_t kMaxAccountField = 25;

enum class HashStrength {
  kInteractive,      // libsodium's interactive limits: what the service runs with
  kTestOnlyMinimum,  // the smallest limits libsodium allows; for tests only
};

// CreateUser answers.
constexpr int32_t kCreated = 1;
constexpr int32_t kNameTaken = 2;
constexpr int32_t kEmailTaken = 3;
constexpr int32_t kInvalid = -1;

class Accounts {
 public:
  Accounts(Store& store, HashStrength strength);

  // *result: 1 created, 2 user name taken (without ASCII case), 3 e-mail taken, -1 invalid
  // (a value empty or nil, longer than 25 code units, unusable as a folder name, or an e-mail
  // without '@'). False on an internal failure, described in *error.
  bool CreateUser(const ParamValue& name, const ParamValue& password, const ParamValue& email,
                  int32_t* result, std::string* error);
  // *result: true only for an existing user with the right password.
  bool LoginUser(const ParamValue& name, const ParamValue& password, bool* result,
                 std::string* error);

 private:
  bool Hash(std::string_view password, std::string* hash);
  // Each hash takes tens of MiB of memory: only a few run at once.
  void EnterHashing();
  void LeaveHashing();

  Store& m_store;
  bool m_ready = false;
  unsigned long long m_opsLimit;
  size_t m_memLimit;
  std::mutex m_gateLock;
  std::condition_variable m_gateFree;
  unsigned m_hashing = 0;
  unsigned m_maxHashing;
  std::once_flag m_decoyOnce;
  std::string m_decoyHash;  // verified for unknown users so that they take as long
};

}  // namespace fotrel::service
