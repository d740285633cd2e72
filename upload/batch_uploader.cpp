#include "upload/batch_uploader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "fotrel_config.h"
#include "net/stop_signal.h"
#include "upload/lane_apartment.h"
#include "upload/photo_pieces.h"

static_assert(FOTREL_UPLOAD_LANES >= CBatchUploader::kMinLanes && FOTREL_UPLOAD_LANES <= CBatchUploader::kMaxLanes,
              "FOTREL_UPLOAD_LANES must be 1 to 8");

namespace {

// The longest a lane's pause runs before it looks at the batch's stop again.
constexpr uint32_t kPauseStepMs = 50;
// How often the thread in Run looks at the host's stop request while nothing happens.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

enum StopReason : int { kNotStopped, kHostStop, kTooManyFailures };

uint64_t PhotoSize(const std::u16string& path) {
  CPhotoFile file;
  return file.Open(path) ? file.Length() : 0;
}

}  // namespace

int CBatchUploader::DefaultLanes() { return FOTREL_UPLOAD_LANES; }

void CBatchUploader::SetLanes(int lanes) { m_lanes = std::min(std::max(lanes, kMinLanes), kMaxLanes); }

// One run of a batch: what the lanes share, and the pump that hands their events to the host.
class CBatchUploader::CRun {
 public:
  CRun(IBatchHost& host, CTargetNames& names, const std::vector<std::u16string>& paths, const std::u16string& user)
      : m_host(host), m_names(names), m_paths(paths), m_user(user), m_reports(paths.size()) {}

  BatchResult Go(int lanes);

 private:
  class CLane;
  // Raises the stop with lanes running and waits for them, however Go is left.
  class CLaneThreads;

  void LaneMain();
  // The next photo in the batch's order, opened and named; false when no new photo starts.
  bool TakeFile(CLane& lane, size_t* index, PhotoToSend* photo, std::u16string* name, FileOutcome* outcome);
  void Finish(size_t index, FileOutcome outcome, int32_t failedCalls, std::u16string name);
  void EndAll(StopReason reason);
  void PieceAccepted(uint32_t bytes);
  // Hands the lanes' events to the host until every lane has ended.
  void Pump(BatchProgress* progress);
  BatchResult Result(const BatchProgress& progress, bool lanesStarted) const;

  IBatchHost& m_host;
  CTargetNames& m_names;
  const std::vector<std::u16string>& m_paths;
  const std::u16string& m_user;

  CStopSignal m_stop;
  std::atomic<int> m_stopReason{kNotStopped};
  std::atomic<bool> m_noNewFiles{false};
  std::atomic<int32_t> m_failedCalls{0};
  std::atomic<int32_t> m_piecesSent{0};
  std::atomic<uint64_t> m_bytesAccepted{0};

  std::mutex m_dispatchLock;  // the batch's order: m_next, and the names taken with it
  size_t m_next = 0;

  std::mutex m_eventLock;  // what the lanes hand over
  std::condition_variable m_wake;
  std::vector<FileReport> m_reports;  // one slot per photo, filled in the order photos end
  size_t m_reported = 0;
  int m_lanesRunning = 0;
};

// One photo at a time on one lane thread, under the batch's stop and failure count.
class CBatchUploader::CRun::CLane : public IPieceLane, public INameClock {
 public:
  explicit CLane(CRun& run) : m_run(run) {}

  IUploadHost& Host() override { return m_run.m_host; }

  std::unique_ptr<IPieceClient> NewClient() override {
    std::unique_ptr<IPieceClient> client;
    try {
      client = m_run.m_host.CreateClient();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    if (client) client->SetStopSignal(&m_run.m_stop);
    return client;
  }

  bool Stopped() override { return m_run.m_stop.Raised(); }
  void Accepted(uint32_t bytes) override { m_run.PieceAccepted(bytes); }

  bool AfterFailure(int failuresOfThisPiece, FileOutcome* outcome) override {
    if (Stopped()) {
      *outcome = FileOutcome::Stopped;
      return false;
    }
    ++m_failedCalls;
    if (m_run.m_failedCalls.fetch_add(1) + 1 > CPieceUploader::kMaxFailedCalls) {
      m_run.EndAll(kTooManyFailures);
      *outcome = FileOutcome::TooManyFailures;
      return false;
    }
    if (!Pause(CPieceUploader::RetryPause(failuresOfThisPiece))) {
      *outcome = FileOutcome::Stopped;
      return false;
    }
    return true;
  }

  UtcTime NowUtc() override { return m_run.m_host.NowUtc(); }

  // The host's pause in short steps, so that the batch's own stop (the 51st failure) ends it too.
  bool Pause(uint32_t milliseconds) override {
    for (uint32_t left = milliseconds;;) {
      if (Stopped()) return false;
      if (left == 0) return true;
      const uint32_t step = std::min(left, kPauseStepMs);
      if (!m_run.m_host.Pause(step)) {
        m_run.EndAll(kHostStop);
        return false;
      }
      left -= step;
    }
  }

  void StartFile() { m_failedCalls = 0; }
  int32_t FailedCalls() const { return m_failedCalls; }

 private:
  CRun& m_run;
  int32_t m_failedCalls = 0;
};

class CBatchUploader::CRun::CLaneThreads {
 public:
  explicit CLaneThreads(CRun& run) : m_run(run) {}
  // Left early (the host's event threw): the lanes must not outlive the run.
  ~CLaneThreads() {
    if (!m_joined) m_run.EndAll(kTooManyFailures);
    Join();
  }
  CLaneThreads(const CLaneThreads&) = delete;
  CLaneThreads& operator=(const CLaneThreads&) = delete;

  // Starts up to `count` lanes; the number started.
  int Start(int count) {
    m_threads.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      {
        std::lock_guard<std::mutex> lock(m_run.m_eventLock);
        ++m_run.m_lanesRunning;
      }
      try {
        m_threads.emplace_back([this] { m_run.LaneMain(); });
      } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(m_run.m_eventLock);
        --m_run.m_lanesRunning;
        break;
      }
    }
    return static_cast<int>(m_threads.size());
  }

  void Join() {
    for (std::thread& thread : m_threads) {
      if (thread.joinable()) thread.join();
    }
    m_joined = true;
  }

 private:
  CRun& m_run;
  std::vector<std::thread> m_threads;
  bool m_joined = false;
};

void CBatchUploader::CRun::EndAll(StopReason reason) {
  int none = kNotStopped;
  m_stopReason.compare_exchange_strong(none, reason);
  m_noNewFiles = true;
  m_stop.Raise();
  m_wake.notify_all();
}

void CBatchUploader::CRun::PieceAccepted(uint32_t bytes) {
  ++m_piecesSent;
  m_bytesAccepted += bytes;
  m_wake.notify_all();
}

bool CBatchUploader::CRun::TakeFile(CLane& lane, size_t* index, PhotoToSend* photo, std::u16string* name,
                                    FileOutcome* outcome) {
  std::lock_guard<std::mutex> lock(m_dispatchLock);
  if (m_noNewFiles || m_next >= m_paths.size()) return false;
  *index = m_next++;
  lane.StartFile();
  try {
    *outcome = OpenPhoto(m_paths[*index], photo);
    if (*outcome != FileOutcome::Sent) {
      m_noNewFiles = true;
      return true;
    }
    int failures = 0;
    for (;;) {
      // A stop ends the wait with m_noNewFiles raised, seen below.
      const CTargetNames::Result named = m_names.Take(lane, name);
      if (named != CTargetNames::Result::OutOfMemory) break;
      if (!lane.AfterFailure(++failures, outcome)) return true;
    }
  } catch (const std::bad_alloc&) {
    *outcome = FileOutcome::TooManyFailures;
    return true;
  }
  // Something ended the batch while this photo waited for its name: it does not start.
  if (m_noNewFiles) {
    --m_next;
    return false;
  }
  return true;
}

void CBatchUploader::CRun::LaneMain() {
  {
    CLaneApartment apartment;
    CLane lane(*this);
    for (;;) {
      size_t index = 0;
      PhotoToSend photo;
      std::u16string name;
      FileOutcome outcome = FileOutcome::Sent;
      if (!TakeFile(lane, &index, &photo, &name, &outcome)) break;
      if (outcome == FileOutcome::Sent) {
        try {
          outcome = SendPhoto(photo, name, m_user, lane);
        } catch (const std::bad_alloc&) {
          outcome = FileOutcome::TooManyFailures;
        }
      }
      Finish(index, outcome, lane.FailedCalls(), std::move(name));
    }
  }
  std::lock_guard<std::mutex> lock(m_eventLock);
  --m_lanesRunning;
  m_wake.notify_all();
}

void CBatchUploader::CRun::Finish(size_t index, FileOutcome outcome, int32_t failedCalls, std::u16string name) {
  if (outcome == FileOutcome::TooManyFailures) EndAll(kTooManyFailures);
  // A photo cut short by the batch's end gets the batch's reason.
  if (outcome == FileOutcome::Stopped && m_stopReason == kTooManyFailures) outcome = FileOutcome::TooManyFailures;
  if (outcome != FileOutcome::Sent) m_noNewFiles = true;
  std::lock_guard<std::mutex> lock(m_eventLock);
  FileReport& report = m_reports[m_reported++];
  report.index = index;
  report.outcome = outcome;
  report.failedCalls = failedCalls;
  report.targetName = std::move(name);
  m_wake.notify_all();
}

void CBatchUploader::CRun::Pump(BatchProgress* progress) {
  m_host.OnBatchProgress(*progress);
  size_t delivered = 0;
  for (;;) {
    size_t reported;
    bool lanesEnded;
    {
      std::unique_lock<std::mutex> lock(m_eventLock);
      m_wake.wait_for(lock, kPollInterval, [&] {
        return m_reported > delivered || m_lanesRunning == 0 || m_bytesAccepted != progress->bytesAccepted;
      });
      reported = m_reported;
      lanesEnded = m_lanesRunning == 0;
    }
    const size_t sentBefore = progress->filesSent;
    for (; delivered < reported; ++delivered) {
      const FileReport& report = m_reports[delivered];
      if (report.outcome == FileOutcome::Sent) ++progress->filesSent;
      m_host.OnFileDone(report);
    }
    const uint64_t bytes = m_bytesAccepted;
    if (bytes != progress->bytesAccepted || progress->filesSent != sentBefore) {
      progress->bytesAccepted = bytes;
      m_host.OnBatchProgress(*progress);
    }
    if (!m_stop.Raised() && m_host.ShouldStop()) EndAll(kHostStop);
    if (lanesEnded && delivered == reported) return;
  }
}

BatchResult CBatchUploader::CRun::Result(const BatchProgress& progress, bool lanesStarted) const {
  const size_t files = m_paths.size();
  BatchResult result;
  result.sent.assign(files, false);
  result.progress = progress;
  result.piecesSent = m_piecesSent;
  result.failedCalls = m_failedCalls;
  std::vector<const FileReport*> ended(files, nullptr);
  for (size_t i = 0; i < m_reported; ++i) {
    ended[m_reports[i].index] = &m_reports[i];
    if (m_reports[i].outcome == FileOutcome::Sent) result.sent[m_reports[i].index] = true;
  }
  result.endingFile = static_cast<size_t>(std::find(result.sent.begin(), result.sent.end(), false) - result.sent.begin());
  if (result.endingFile == files) {
    result.end = FileOutcome::Sent;
  } else if (ended[result.endingFile] != nullptr) {
    result.end = ended[result.endingFile]->outcome;
  } else {
    // Ended before this photo was taken, with no photo in flight.
    result.end = lanesStarted && m_stopReason == kHostStop ? FileOutcome::Stopped : FileOutcome::TooManyFailures;
  }
  return result;
}

BatchResult CBatchUploader::CRun::Go(int lanes) {
  BatchProgress progress;
  progress.files = m_paths.size();
  for (const std::u16string& path : m_paths) progress.bytesTotal += PhotoSize(path);
  bool lanesStarted = true;
  {
    CLaneThreads threads(*this);
    const int wanted = static_cast<int>(std::min<size_t>(static_cast<size_t>(lanes), m_paths.size()));
    if (wanted > 0 && threads.Start(wanted) == 0) {
      lanesStarted = false;
      EndAll(kTooManyFailures);
    }
    Pump(&progress);
    threads.Join();
  }
  BatchResult result = Result(progress, lanesStarted);
  m_host.OnBatchEnd(result);
  return result;
}

BatchResult CBatchUploader::Run(const std::vector<std::u16string>& paths, const std::u16string& userName) {
  try {
    CRun run(m_host, m_names, paths, userName);
    return run.Go(m_lanes);
  } catch (const std::bad_alloc&) {
    // Not even the batch's bookkeeping could be had: nothing was sent.
    BatchResult result;
    result.end = FileOutcome::TooManyFailures;
    try {
      result.sent.assign(paths.size(), false);
    } catch (const std::bad_alloc&) {
    }
    return result;
  }
}
