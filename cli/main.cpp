// fotrel-cli: the account and upload operations of the client, from a console.
//   fotrel-cli [--host HOST[:PORT]] login USER PASSWORD
//   fotrel-cli [--host HOST[:PORT]] register USER PASSWORD EMAIL
//   fotrel-cli [--host HOST[:PORT]] upload --user USER FILE...
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "services/service_host.h"

namespace {

int Usage() {
  PrintError(
      u"usage: fotrel-cli [--host HOST[:PORT]] login USER PASSWORD\n"
      u"       fotrel-cli [--host HOST[:PORT]] register USER PASSWORD EMAIL\n"
      u"       fotrel-cli [--host HOST[:PORT]] upload --user USER FILE...\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::u16string> words = CommandLineWords(argc, argv);
  std::u16string host = DefaultServiceHost();
  size_t i = 0;
  if (i < words.size() && words[i] == u"--host") {
    if (i + 1 >= words.size() || words[i + 1].empty()) return Usage();
    host = words[i + 1];
    i += 2;
  }
  if (i >= words.size()) return Usage();
  const std::u16string command = words[i++];
  std::vector<std::u16string> args(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());

  InstallInterruptFlag();
  StartPlatform();
  int rc = kExitUsage;
  if (command == u"login" && args.size() == 2) {
    rc = RunLogin(host, args[0], args[1]);
  } else if (command == u"register" && args.size() == 3) {
    rc = RunRegister(host, args[0], args[1], args[2]);
  } else if (command == u"upload" && args.size() >= 3 && args[0] == u"--user" && !args[1].empty()) {
    rc = RunUpload(host, args[1], std::vector<std::u16string>(args.begin() + 2, args.end()));
  } else {
    Usage();
  }
  StopPlatform();
  return rc;
}
