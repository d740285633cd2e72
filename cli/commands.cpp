#include "cli/commands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

#include "account/account_rules.h"
#include "cli/console.h"
#include "services/passport.h"
#include "upload/batch_uploader.h"
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

// Rewrites the batch line on a terminal at most this often.
constexpr auto kBatchLineInterval = std::chrono::milliseconds(250);

std::u16string BatchLine(const BatchProgress& p, double seconds) {
  char text[160];
  const double mb = 1e6;
  std::snprintf(text, sizeof text, "%.1f of %.1f MB, %llu of %llu files sent, %.2f MB/s", p.bytesAccepted / mb,
                p.bytesTotal / mb, static_cast<unsigned long long>(p.filesSent),
                static_cast<unsigned long long>(p.files), seconds > 0 ? p.bytesAccepted / mb / seconds : 0.0);
  return Ascii(text);
}

// Per-file lines as the files end; on a terminal also one batch line, rewritten in place.
class ConsoleUploadHost : public IBatchHost {
 public:
  ConsoleUploadHost(const std::u16string& host, const std::vector<std::u16string>& files)
      : m_host(host), m_files(files) {}

  // On the lanes, several at once.
  std::unique_ptr<IPieceClient> CreateClient() override {
    return std::make_unique<CServicePieceClient>(m_host, [this](int32_t hr, const Upload::CUploadT& client) {
      CallReport report(hr, client);
      std::lock_guard<std::mutex> lock(m_refusalLock);
      m_lastRefusal = std::move(report);
    });
  }
  bool ShouldStop() override { return Interrupted(); }

  void OnFileDone(const FileReport& report) override {
    if (report.outcome != FileOutcome::Sent) return;
    const std::u16string line =
        u"sent " + BaseName(m_files[report.index]) + u" (" + Number(report.failedCalls) + u" refused calls retried)";
    if (m_batchLine.empty()) return Print(line + u"\n");
    // Over the batch line, which comes back below unchanged.
    Print(u"\r" + line + Padding(line) + u"\n" + m_batchLine);
  }
  void OnBatchProgress(const BatchProgress& progress) override {
    if (!m_terminal) return;
    const auto now = Clock::now();
    if (!m_batchLine.empty() && now - m_lastLine < kBatchLineInterval) return;
    ShowBatchLine(progress, now);
  }
  void OnBatchEnd(const BatchResult& result) override {
    if (!m_terminal) return;
    ShowBatchLine(result.progress, Clock::now());
    Print(u"\n");
    m_batchLine.clear();
  }

  CallReport LastRefusal() {
    std::lock_guard<std::mutex> lock(m_refusalLock);
    return m_lastRefusal;
  }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

 private:
  using Clock = std::chrono::steady_clock;

  void ShowBatchLine(const BatchProgress& progress, Clock::time_point now) {
    const std::u16string line = BatchLine(progress, Seconds());
    Print(u"\r" + line + Padding(line));
    m_batchLine = line;
    m_lastLine = now;
  }
  // Blanks over the rest of the batch line where `line` is shorter.
  std::u16string Padding(const std::u16string& line) const {
    return std::u16string(m_batchLine.size() > line.size() ? m_batchLine.size() - line.size() : 0, u' ');
  }

  std::u16string m_host;
  const std::vector<std::u16string>& m_files;
  const bool m_terminal = StdoutIsTerminal();
  const Clock::time_point m_start = Clock::now();
  Clock::time_point m_lastLine;
  std::u16string m_batchLine;  // as last shown; empty while none is
  std::mutex m_refusalLock;
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

int RunUpload(const std::u16string& host, const std::u16string& user, const std::vector<std::u16string>& files,
              int lanes) {
  ConsoleUploadHost console(host, files);
  CBatchUploader uploader(console);
  uploader.SetLanes(lanes);
  const BatchResult result = uploader.Run(files, user);
  if (result.end != FileOutcome::Sent) {
    const std::u16string name = result.endingFile < files.size() ? BaseName(files[result.endingFile]) : u"";
    PrintError(name + u": " + OutcomeMessage(result.end) + u"\n");
    if ((result.end == FileOutcome::TooManyFailures || result.end == FileOutcome::Stopped) && result.failedCalls > 0) {
      PrintCallDetails(console.LastRefusal());
    }
  }
  // The files the service does not have, as given, so that they can be sent again.
  size_t sent = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (i < result.sent.size() && result.sent[i]) {
      ++sent;
    } else {
      Print(u"not sent: " + files[i] + u"\n");
    }
  }
  Print(Number(static_cast<long long>(sent)) + u" of " + Number(static_cast<long long>(files.size())) +
        u" files sent, " + Number(result.piecesSent) + u" pieces, " + Number(result.failedCalls) + u" failed calls" +
        Format(", %.2f s\n", console.Seconds()));
  return sent == files.size() ? kExitOk : kExitFailed;
}
