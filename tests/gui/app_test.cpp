// The application object's refusal to start without GDI+.
#include "app/fotrel_app.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "app/fotrel_dlg.h"
#include "tests/support/message_box_capture.h"

namespace {

class NoGdiplusApp : public CFotrelApp {
 public:
  NoGdiplusApp() : CFotrelApp(u"127.0.0.1:9") {}
  int runs = 0;

 protected:
  bool StartGdiplus(ULONG_PTR*) override { return false; }
  INT_PTR RunMainWindow(CFotrelDlg&) override { return ++runs, IDCANCEL; }
};

TEST(AppTest, WithoutGdiplusOnlyTheMessageIsShown) {
  MessageBoxCapture boxes(IDOK);
  NoGdiplusApp app;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(0, app.runs);
  const std::vector<CapturedMessageBox> seen = boxes.Boxes();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(L"[提示] 缺少系统文件!!!.请更新系统!!!", L"[" + seen[0].caption + L"] " + seen[0].text);
  EXPECT_EQ(std::vector<int>{IDOK}, seen[0].buttons);
  EXPECT_EQ(nullptr, seen[0].owner);
  EXPECT_EQ(nullptr, app.m_pMainWnd);
}

}  // namespace
