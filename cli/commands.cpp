#include "cli/commands.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "account/account_rules.h"
#include "cli/console.h"
#include "services/passport.h"
#include "upload/piece_uploader.h"
#include "upload/service_piece_client.h"

namespace {

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c);
  return Ascii(text);
}

std::u16string Hex(int32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return Ascii(text);
}

std::u16string Number(long long n) { return Ascii(std::to_string(n)); }

// How one call ended, kept after its client is gone.
struct CallReport {
  int32_t result = 0;
  ClientErrorCode error = ClientErrorCode::Success;
  SoapFaultInfo fault;

  CallReport() = default;
  CallReport(int32_t hr, const CSoapClient& client)
      : result(hr), error(client.GetClientError()), fault(client.GetFault()) {}
};

// The reason of a failed or refused call: result code, client error and, for a fault, its fields.
void PrintCallDetails(const CallReport& r) {
  PrintError(u"  result code: " + Hex(r.result) + u"\n");
  PrintError(u"  client error: " + Ascii(ClientErrorName(r.error)) + u" (" + Number(static_cast<int>(r.error)) +
             u")\n");
  if (r.error == ClientErrorCode::SoapFault) {
    const SoapFaultInfo& f = r.fault;
    PrintError(u"  fault code: " + Number(f.code) + u" (" + f.codeText + u")\n");
    PrintError(u"  fault string: " + f.faultString + u"\n");
    if (!f.faultActor.empty()) PrintError(u"  fault actor: " + f.faultActor + u"\n");
    if (!f.detail.empty()) PrintError(u"  detail: " + f.detail + u"\n");
  }
}

int Refused(const AccountVerdict& v) {
  PrintError(std::u16string(v.message) + u"\n");
  return kExitFailed;
}

}  // namespace

int RunLogin(const std::u16string& host, const std::u16string& user, const std::u16string& password) {
  AccountVerdict check = CheckLoginInput(user, password);
  if (!check.accepted) return Refused(check);
  Passport::CPassportT client(host);
  bool accepted = false;
  int32_t hr = client.LoginUser(user.c_str(), password.c_str(), &accepted);
  AccountVerdict verdict = JudgeLoginResult(accepted);
  if (!verdict.loggedIn) {
    Refused(verdict);
    PrintCallDetails(CallReport(hr, client));
    return kExitFailed;
  }
  Print(u"login accepted: " + user + u"\n");
  return kExitOk;
}

int RunRegister(const std::u16string& host, const std::u16string& user, const std::u16string& password,
                const std::u16string& email) {
  AccountVerdict check = CheckRegisterInput(email, user, password, password);
  if (!check.accepted) return Refused(check);
  Passport::CPassportT client(host);
  int32_t result = 0;
  int32_t hr = client.CreateUser(user.c_str(), password.c_str(), email.c_str(), &result);
  AccountVerdict verdict = JudgeRegisterResult(result);
  if (!verdict.loggedIn) {
    Refused(verdict);
    PrintError(u"  CreateUser answered: " + Number(result) + u"\n");
    PrintCallDetails(CallReport(hr, client));
    return kExitFailed;
  }
  Print(u"registered: " + user + u"\n");
  return kExitOk;
}

namespace {

std::u16string BaseName(const std::u16string& path) {
  size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

class ConsoleUploadHost : public IUploadHost {
 public:
  ConsoleUploadHost(const std::u16string& host, size_t files) : m_host(host), m_files(files) {}

  std::unique_ptr<IPieceClient> CreateClient() override {
    return std::make_unique<CServicePieceClient>(
        m_host, [this](int32_t hr, const Upload::CUploadT& client) { m_lastRefusal = CallReport(hr, client); });
  }
  bool ShouldStop() override { return Interrupted(); }
  void OnProgress(int32_t piecesSent) override {
    if (!m_terminal) return;
    const long long total = static_cast<long long>(m_files) * CPieceUploader::kPieces;
    const int width = 30;
    const int filled = total > 0 ? static_cast<int>(piecesSent * width / total) : 0;
    std::u16string bar(static_cast<size_t>(filled), u'#');
    bar.append(static_cast<size_t>(width - filled), u'-');
    Print(u"\r[" + bar + u"] " + Number(piecesSent) + u"/" + Number(total) + u" pieces  file " +
          Number(static_cast<long long>(m_fileIndex) + 1) + u"/" + Number(static_cast<long long>(m_files)) + u"  " +
          m_name + u"   ");
  }

  void StartFile(size_t index, const std::u16string& name) {
    m_fileIndex = index;
    m_name = name;
  }
  bool Terminal() const { return m_terminal; }
  const CallReport& LastRefusal() const { return m_lastRefusal; }

 private:
  std::u16string m_host;
  size_t m_files;
  size_t m_fileIndex = 0;
  std::u16string m_name;
  bool m_terminal = StdoutIsTerminal();
  CallReport m_lastRefusal;
};

const char16_t* OutcomeMessage(FileOutcome outcome) {
  switch (outcome) {
    case FileOutcome::CannotOpen: return u"图片不存在!!!";
    case FileOutcome::TooSmall: return u"图片太小不能冲印";
    case FileOutcome::TooLarge: return u"图片太大不能冲印";
    case FileOutcome::TooManyFailures: return u"上传失败!!!稍后在试!!!";
    case FileOutcome::Stopped: return u"interrupted";
    case FileOutcome::Sent: break;
  }
  return u"";
}

}  // namespace

int RunUpload(const std::u16string& host, const std::u16string& user, const std::vector<std::u16string>& files) {
  ConsoleUploadHost console(host, files.size());
  CPieceUploader uploader(console);
  uploader.StartBatch();
  const auto start = std::chrono::steady_clock::now();
  size_t sent = 0;
  int32_t failedBefore = 0;
  for (; sent < files.size(); ++sent) {
    const std::u16string name = BaseName(files[sent]);
    console.StartFile(sent, name);
    const FileOutcome outcome = uploader.SendFile(files[sent], user);
    if (console.Terminal()) Print(u"\n");
    if (outcome != FileOutcome::Sent) {
      PrintError(name + u": " + OutcomeMessage(outcome) + u"\n");
      if (outcome == FileOutcome::TooManyFailures || outcome == FileOutcome::Stopped) {
        if (uploader.FailedCalls() > 0) PrintCallDetails(console.LastRefusal());
      }
      break;
    }
    Print(u"sent " + name + u" (" + Number(uploader.FailedCalls() - failedBefore) + u" refused calls retried)\n");
    failedBefore = uploader.FailedCalls();
  }
  // The files the service does not have, as given, so that they can be sent again.
  for (size_t i = sent; i < files.size(); ++i) Print(u"not sent: " + files[i] + u"\n");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Print(Number(static_cast<long long>(sent)) + u" of " + Number(static_cast<long long>(files.size())) +
        u" files sent, " + Number(uploader.PiecesSent()) + u" pieces, " + Number(uploader.FailedCalls()) +
        u" failed calls" + Format(", %.2f s\n", seconds));
  return sent == files.size() ? kExitOk : kExitFailed;
}
