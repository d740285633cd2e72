// The three commands of fotrel-cli. Each returns the process exit status.
#pragma once

#include <string>
#include <vector>

enum : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

int RunLogin(const std::u16string& host, const std::u16string& user, const std::u16string& password);
int RunRegister(const std::u16string& host, const std::u16string& user, const std::u16string& password,
                const std::u16string& email);
// Sends the files with `lanes` of them in flight at once (1 to 8).
int RunUpload(const std::u16string& host, const std::u16string& user, const std::vector<std::u16string>& files,
              int lanes);
