// fotrel-cli: the account and upload operations of the client, from a console.
//   fotrel-cli [--host HOST[:PORT]] login USER PASSWORD
//   fotrel-cli [--host HOST[:PORT]] register USER PASSWORD EMAIL
//   fotrel-cli [--host HOST[:PORT]] upload --user USER [--parallel N] FILE...
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "services/service_host.h"
#include "upload/batch_uploader.h"

namespace {

int Usage() {
  const std::u16string lanes(1, static_cast<char16_t>(u'0' + CBatchUploader::DefaultLanes()));
  PrintError(
      u"usage: fotrel-cli [--host HOST[:PORT]] login USER PASSWORD\n"
      u"       fotrel-cli [--host HOST[:PORT]] register USER PASSWORD EMAIL\n"
      u"       fotrel-cli [--host HOST[:PORT]] upload --user USER [--parallel N] FILE...\n"
      u"  --parallel N: files sent at once, each on its own connection, 1 to 8 (default " +
      lanes + u")\n");
  return kExitUsage;
}

// "1" to "8"; anything else is no lane count.
bool ParseLanes(const std::u16string& text, int* lanes) {
  if (text.empty() || text.size() > 4) return false;
  int value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  if (value < CBatchUploader::kMinLanes || value > CBatchUploader::kMaxLanes) return false;
  *lanes = value;
  return true;
}

struct UploadArgs {
  std::u16string user;
  int lanes = CBatchUploader::DefaultLanes();
  std::vector<std::u16string> files;
};

// --user USER [--parallel N] FILE...
bool ParseUpload(const std::vector<std::u16string>& args, UploadArgs* upload) {
  if (args.size() < 3 || args[0] != u"--user" || args[1].empty()) return false;
  upload->user = args[1];
  size_t i = 2;
  if (args[i] == u"--parallel") {
    if (i + 1 >= args.size() || !ParseLanes(args[i + 1], &upload->lanes)) return false;
    i += 2;
  }
  if (i >= args.size()) return false;
  upload->files.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return true;
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
  UploadArgs upload;

  InstallInterruptFlag();
  StartPlatform();
  int rc = kExitUsage;
  if (command == u"login" && args.size() == 2) {
    rc = RunLogin(host, args[0], args[1]);
  } else if (command == u"register" && args.size() == 3) {
    rc = RunRegister(host, args[0], args[1], args[2]);
  } else if (command == u"upload" && ParseUpload(args, &upload)) {
    rc = RunUpload(host, upload.user, upload.files, upload.lanes);
  } else {
    Usage();
  }
  StopPlatform();
  return rc;
}
