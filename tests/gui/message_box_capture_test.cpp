// The test harness's message-box capture, on the window thread and on a worker thread.
#include "framework/dialog.h"
#include "tests/gui/framework_test_resource.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/message_box_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(MessageBoxCapture, AnswersAQuestionOnTheWindowThread) {
  MessageBoxCapture capture(IDYES);
  EXPECT_EQ(IDYES, MessageBoxW(nullptr, L"\u786e\u5b9a\u8981\u9000\u51fa\u7a0b\u5e8f\u5417??", L"\u63d0\u793a", MB_YESNO));
  capture.SetAnswer(IDNO);
  EXPECT_EQ(IDNO, MessageBoxW(nullptr, L"{|}~", L"\u63d0\u793a", MB_YESNO));
  const auto boxes = capture.Boxes();
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(L"\u63d0\u793a", boxes[0].caption);
  EXPECT_EQ(L"\u786e\u5b9a\u8981\u9000\u51fa\u7a0b\u5e8f\u5417??", boxes[0].text);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), boxes[0].buttons);
  EXPECT_EQ(IDYES, boxes[0].answer);
  EXPECT_EQ(GetCurrentThreadId(), boxes[0].threadId);
  EXPECT_EQ(L"{|}~", boxes[1].text);
  EXPECT_EQ(IDNO, boxes[1].answer);
}

TEST(MessageBoxCapture, OwnedBoxCarriesTheApplicationNameWithoutACaption) {
  MessageBoxCapture capture;
  CDialog dialog(IDD_FW_MAIN);
  ASSERT_TRUE(dialog.Create(nullptr));
  EXPECT_EQ(IDOK, dialog.MessageBox(L"\u60a8\u7684\u7f51\u7edc\u6ca1\u6709\u8fde\u63a5!!!"));
  const auto boxes = capture.Boxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"gui_tests", boxes[0].caption);
  EXPECT_EQ(L"\u60a8\u7684\u7f51\u7edc\u6ca1\u6709\u8fde\u63a5!!!", boxes[0].text);
  EXPECT_EQ((std::vector<int>{IDOK}), boxes[0].buttons);
  EXPECT_EQ(dialog.m_hWnd, boxes[0].owner);
}

TEST(MessageBoxCapture, AnswerWithoutSuchButtonPressesTheFirst) {
  MessageBoxCapture capture(IDYES);
  capture.QueueAnswers({IDNO});
  EXPECT_EQ(IDNO, MessageBoxW(nullptr, L"first", L"q", MB_YESNO));
  EXPECT_EQ(IDOK, MessageBoxW(nullptr, L"second", L"q", MB_OK));
  EXPECT_EQ(IDYES, MessageBoxW(nullptr, L"third", L"q", MB_YESNO));
  EXPECT_EQ(3u, capture.Count());
}

TEST(MessageBoxCapture, CapturesABoxOfAWorkerThread) {
  MessageBoxCapture capture(IDOK);
  int result = 0;
  DWORD workerId = 0;
  std::thread worker([&] {
    workerId = GetCurrentThreadId();
    result = MessageBoxW(nullptr, L"\u767b\u9646\u5931\u8d25!!!\u8bf7\u91cd\u8bd5!!!", L"\u63d0\u793a", MB_OK);
  });
  EXPECT_TRUE(capture.WaitForCount(1, 10000));
  worker.join();
  EXPECT_EQ(IDOK, result);
  const auto boxes = capture.Boxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(L"\u767b\u9646\u5931\u8d25!!!\u8bf7\u91cd\u8bd5!!!", boxes[0].text);
  EXPECT_EQ(workerId, boxes[0].threadId);
}

TEST(MessageBoxCapture, WorkerBoxOwnedByAWindowOfTheWindowThread) {
  // A worker's box owned by a dialog of the window thread: the window thread keeps pumping.
  MessageBoxCapture capture(IDOK);
  CDialog dialog(IDD_FW_MAIN);
  ASSERT_TRUE(dialog.Create(nullptr));
  std::atomic<bool> done(false);
  std::thread worker([&] {
    MessageBoxW(dialog.m_hWnd, L"\u5931\u8d25!! \u91cd\u65b0\u767b\u9646!!", L"\u63d0\u793a", MB_OK);
    done = true;
  });
  // The box disables and re-enables its owner by messages to this thread: pump, then join.
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 10000));
  worker.join();
  ASSERT_EQ(1u, capture.Count());
  EXPECT_EQ(dialog.m_hWnd, capture.Boxes()[0].owner);
}

}  // namespace
