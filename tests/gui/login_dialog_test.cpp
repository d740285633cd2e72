// The login and registration dialog in-process: its layout and look, its own checks and
// messages, the rules of the workers as the user meets them, the settings its destructor
// writes, and a worker that outlives it.
#include "account/login_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "res/resource.h"
#include "services/passport.h"
#include "tests/gui/account_test_util.h"
#include "tests/support/test_service.h"
#include "web/my_web_dlg.h"
#include "web/service_pages.h"

namespace {

using namespace accounttest;

using LoginDialogTest = AccountWindowTest;

const std::wstring kTip = L"提示";
const std::wstring kApp = L"Fotrel";

// The rectangle of a control in the dialog's client coordinates.
RECT PlaceOf(HWND dialog, HWND control) {
  RECT rc{};
  GetWindowRect(control, &rc);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void ExpectPlace(HWND dialog, int id, int x, int y, int width, int height) {
  const RECT rc = PlaceOf(dialog, GetDlgItem(dialog, id));
  EXPECT_EQ(rc.left, x) << id;
  EXPECT_EQ(rc.top, y) << id;
  EXPECT_EQ(rc.right - rc.left, width) << id;
  EXPECT_EQ(rc.bottom - rc.top, height) << id;
}

bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

// Pixels of a rectangle of a window's client area, as the window shows it now.
std::vector<COLORREF> Grab(HWND hwnd, const RECT& rc) {
  const int w = rc.right - rc.left;
  const int h = rc.bottom - rc.top;
  HDC window = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(window, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, window, rc.left, rc.top, SRCCOPY);
  std::vector<COLORREF> pixels;
  pixels.reserve(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) pixels.push_back(GetPixel(memory, x, y));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(hwnd, window);
  return pixels;
}

// A 32-bit memory surface of the dialog's client size, for drawing its background into.
struct Surface {
  explicit Surface(HWND hwnd) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    width = rc.right;
    height = rc.bottom;
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    old = SelectObject(dc, bitmap);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
  int width = 0;
  int height = 0;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
};

// Pixels of the form picture drawn at (0, 20) that differ from the resource bitmap; the frame
// line's column x = 5 crosses the picture and is left out.
int PictureMismatches(const Surface& surface, int bitmapId) {
  HBITMAP picture = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!picture) return -1;
  BITMAP info{};
  GetObjectW(picture, sizeof info, &info);
  HDC memory = CreateCompatibleDC(surface.dc);
  HGDIOBJ old = SelectObject(memory, picture);
  int mismatches = 0;
  for (int y = 0; y < info.bmHeight; y += 3) {
    for (int x = 0; x < info.bmWidth; x += 3) {
      if (x == 5) continue;
      if (GetPixel(memory, x, y) != surface.At(x, y + 20)) ++mismatches;
    }
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(picture);
  return mismatches;
}

// One expected message box.
void ExpectBox(const CapturedMessageBox& box, HWND owner, const std::wstring& caption, const std::wstring& text) {
  EXPECT_EQ(box.caption, caption) << Describe(box);
  EXPECT_EQ(box.text, text) << Describe(box);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << Describe(box);
  EXPECT_EQ(box.owner, owner) << Describe(box);
}

// --- Creation and layout ---

TEST_F(LoginDialogTest, InitialisationPlacesPagesButtonsAndHidesTheRegistrationForm) {
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  EXPECT_EQ(dlg->m_bConnected, 1);
  EXPECT_EQ(dlg->m_bRegisterMode, 0);
  EXPECT_EQ(dlg->IsLoggedIn(), 0);

  // The two pages: children of the dialog, placed and shown, each told to open its page once.
  ASSERT_NE(dlg->m_pNoticeDlg, nullptr);
  ASSERT_NE(dlg->m_pWelcomeDlg, nullptr);
  EXPECT_EQ(GetParent(dlg->m_pNoticeDlg->m_hWnd), hwnd);
  EXPECT_EQ(GetParent(dlg->m_pWelcomeDlg->m_hWnd), hwnd);
  const RECT notice = PlaceOf(hwnd, dlg->m_pNoticeDlg->m_hWnd);
  EXPECT_EQ(notice.left, 10);
  EXPECT_EQ(notice.top, 270);
  EXPECT_EQ(notice.right - notice.left, 300);
  EXPECT_EQ(notice.bottom - notice.top, 245);
  const RECT welcome = PlaceOf(hwnd, dlg->m_pWelcomeDlg->m_hWnd);
  EXPECT_EQ(welcome.left, 318);
  EXPECT_EQ(welcome.top, 38);
  EXPECT_EQ(welcome.right - welcome.left, 300);
  EXPECT_EQ(welcome.bottom - welcome.top, 478);
  EXPECT_TRUE(IsWindowVisible(dlg->m_pNoticeDlg->m_hWnd));
  EXPECT_TRUE(IsWindowVisible(dlg->m_pWelcomeDlg->m_hWnd));
  EXPECT_EQ(m_pages.NavigatedAddresses(),
            (std::vector<std::wstring>{ServicePageUrl(kNoticePage), ServicePageUrl(kWelcomePage)}));

  // Buttons 58 x 26 in place; the registration form hidden, the login form shown.
  ExpectPlace(hwnd, IDC_LOGIN, 78, 150, 58, 26);
  ExpectPlace(hwnd, IDC_SWITCH_REGISTER, 158, 150, 58, 26);
  ExpectPlace(hwnd, IDC_REGISTER, 108, 150, 58, 26);
  for (int id : {IDC_REG_EMAIL_LABEL, IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL, IDC_REG_CONFIRM_LABEL,
                 IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM, IDC_REGISTER}) {
    EXPECT_FALSE(Visible(hwnd, id)) << id;
  }
  for (int id : {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_LOGIN, IDC_SWITCH_REGISTER,
                 IDC_REMEMBER, IDC_USERNAME, IDC_PASSWORD}) {
    EXPECT_TRUE(Visible(hwnd, id)) << id;
  }

  // Device-independent sections of the buttons' size.
  for (HBITMAP bitmap : {dlg->m_hLoginHover, dlg->m_hLoginNormal, dlg->m_hSwitchHover, dlg->m_hSwitchNormal,
                         dlg->m_hRegisterHover, dlg->m_hRegisterNormal}) {
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmWidth, 58);
    EXPECT_EQ(section.dsBm.bmHeight, 26);
  }

  // Each button holds its two images.
  for (const CSkinButton* button : {&dlg->m_btnLogin, &dlg->m_btnSwitch, &dlg->m_btnRegister}) {
    for (const CSkinButton::ImageRecord& image : button->m_images) {
      EXPECT_NE(image.hBitmap, nullptr);
      EXPECT_EQ(image.nWidth, 58);
      EXPECT_EQ(image.nHeight, 26);
    }
  }

  // Layered with constant opacity 254.
  EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
  EXPECT_EQ(alpha, 254);
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));

  // The service client is there from the start, for the given host.
  ASSERT_TRUE(dlg->m_work);
  EXPECT_EQ(dlg->m_work->m_hDialog, hwnd);
  ASSERT_TRUE(dlg->m_work->m_pPassport);
  EXPECT_EQ(dlg->m_work->m_pPassport->Endpoint(), u"http://127.0.0.1:9/WebService/Passport.asmx");
}

// Where the focus is when the initialisation ends (later, the desktop's activation may move it).
class FocusProbe : public CMyLoginDlg {
 public:
  using CMyLoginDlg::CMyLoginDlg;
  HWND focusAfterInit = nullptr;
  BOOL initResult = TRUE;

 protected:
  BOOL OnInitDialog() override {
    initResult = CMyLoginDlg::OnInitDialog();
    focusAfterInit = GetFocus();
    return initResult;
  }
};

TEST_F(LoginDialogTest, InitialisationGivesTheFocusToTheSwitchButton) {
  FocusProbe dlg(u"127.0.0.1:9");
  ASSERT_TRUE(dlg.Create(nullptr));
  EXPECT_EQ(dlg.focusAfterInit, dlg.GetDlgItem(IDC_SWITCH_REGISTER));
  // The dialog manager is told that the focus is set.
  EXPECT_EQ(dlg.initResult, FALSE);
}

TEST_F(LoginDialogTest, BackgroundIsGreyWithTheFormPictureAndTheFrameLine) {
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  {
    Surface surface(dlg->m_hWnd);
    ASSERT_GT(surface.width, 320);
    ASSERT_GT(surface.height, 280);
    EXPECT_NE(SendMessageW(dlg->m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface.dc), 0), 0);
    const COLORREF grey = RGB(241, 241, 241);
    const COLORREF frame = RGB(172, 172, 172);
    EXPECT_EQ(surface.At(2, 2), grey);
    EXPECT_EQ(surface.At(surface.width - 3, surface.height - 3), grey);
    EXPECT_EQ(surface.At(4, 4), grey);
    // The frame: a one-pixel rectangle from (5, 5) to (width - 6, height - 6), the last
    // column and row outside it as rectangles are drawn.
    EXPECT_EQ(surface.At(5, 5), frame);
    EXPECT_EQ(surface.At(surface.width / 2, 5), frame);
    EXPECT_EQ(surface.At(5, surface.height - 7), frame);
    EXPECT_EQ(surface.At(surface.width - 7, surface.height - 7), frame);
    EXPECT_EQ(surface.At(surface.width - 7, 300), frame);
    EXPECT_EQ(surface.At(surface.width - 6, surface.height - 6), grey);
    EXPECT_EQ(surface.At(6, 6), grey);
    EXPECT_EQ(PictureMismatches(surface, IDB_LOGIN_FORM), 0);
    EXPECT_GT(PictureMismatches(surface, IDB_REGISTER_FORM), 0);
  }
  Press(dlg->m_hWnd, IDC_SWITCH_REGISTER);
  {
    Surface surface(dlg->m_hWnd);
    SendMessageW(dlg->m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface.dc), 0);
    EXPECT_EQ(PictureMismatches(surface, IDB_REGISTER_FORM), 0);
    EXPECT_EQ(surface.At(5, 5), RGB(172, 172, 172));
  }
}

TEST_F(LoginDialogTest, LabelsAreBlueGreyOnGrey) {
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  Surface surface(dlg->m_hWnd);
  for (int id : {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_REG_EMAIL_LABEL,
                 IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL, IDC_REG_CONFIRM_LABEL}) {
    SetTextColor(surface.dc, RGB(0, 0, 0));
    SetBkColor(surface.dc, RGB(255, 255, 255));
    const LRESULT brush = SendMessageW(dlg->m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(surface.dc),
                                       reinterpret_cast<LPARAM>(GetDlgItem(dlg->m_hWnd, id)));
    ASSERT_NE(brush, 0) << id;
    LOGBRUSH info{};
    ASSERT_EQ(GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.lbColor, RGB(241, 241, 241)) << id;
    EXPECT_EQ(GetTextColor(surface.dc), RGB(89, 127, 147)) << id;
    EXPECT_EQ(GetBkColor(surface.dc), RGB(241, 241, 241)) << id;
  }
}

TEST_F(LoginDialogTest, WithoutNetworkThereAreNoPagesAndEveryButtonSaysSo) {
  CMyLoginDlg::SetNetworkCheck(&Disconnected);
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  EXPECT_EQ(dlg->m_bConnected, 0);
  EXPECT_EQ(dlg->m_pNoticeDlg, nullptr);
  EXPECT_EQ(dlg->m_pWelcomeDlg, nullptr);
  EXPECT_TRUE(m_pages.calls.empty());

  Type(hwnd, IDC_USERNAME, L"user");
  Type(hwnd, IDC_PASSWORD, L"secret");
  Press(hwnd, IDC_LOGIN);
  Press(hwnd, IDC_SWITCH_REGISTER);
  Press(hwnd, IDC_REGISTER);
  SendMessageW(hwnd, WM_COMMAND, IDOK, 0);  // Enter
  const std::vector<CapturedMessageBox> seen = boxes.Boxes();
  ASSERT_EQ(seen.size(), 4u);
  for (const CapturedMessageBox& box : seen) {
    ExpectBox(box, hwnd, kApp, L"您的网络没有连接!!!");
    EXPECT_EQ(box.threadId, GetCurrentThreadId());
  }
  // Nothing started, no switch, nothing sent.
  EXPECT_EQ(dlg->m_work->m_bLoggingIn, 0);
  EXPECT_EQ(dlg->m_work->m_bRegistering, 0);
  EXPECT_EQ(dlg->m_bRegisterMode, 0);
  EXPECT_TRUE(Visible(hwnd, IDC_USERNAME));
  EXPECT_FALSE(Visible(hwnd, IDC_REG_EMAIL));
  PumpFor(100);
  EXPECT_EQ(peer.Arrived(), 0);
}

TEST_F(LoginDialogTest, SwitchShowsTheRegistrationFormAndOpensBothPagesAgain) {
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  EXPECT_EQ(dlg->m_bRegisterMode, 1);
  for (int id : {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_LOGIN, IDC_SWITCH_REGISTER,
                 IDC_REMEMBER, IDC_USERNAME, IDC_PASSWORD}) {
    EXPECT_FALSE(Visible(hwnd, id)) << id;
  }
  for (int id : {IDC_REG_EMAIL_LABEL, IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL, IDC_REG_CONFIRM_LABEL,
                 IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM, IDC_REGISTER}) {
    EXPECT_TRUE(Visible(hwnd, id)) << id;
  }
  ExpectPlace(hwnd, IDC_REG_EMAIL_LABEL, 58, 70, 24, 12);
  ExpectPlace(hwnd, IDC_REG_USERNAME_LABEL, 58, 100, 36, 12);
  ExpectPlace(hwnd, IDC_REG_PASSWORD_LABEL, 58, 130, 24, 12);
  ExpectPlace(hwnd, IDC_REG_CONFIRM_LABEL, 58, 160, 48, 12);
  ExpectPlace(hwnd, IDC_REG_EMAIL, 115, 67, 160, 20);
  ExpectPlace(hwnd, IDC_REG_USERNAME, 115, 97, 160, 20);
  ExpectPlace(hwnd, IDC_REG_PASSWORD, 115, 127, 160, 20);
  ExpectPlace(hwnd, IDC_REG_CONFIRM, 115, 157, 160, 20);
  ExpectPlace(hwnd, IDC_REGISTER, 108, 200, 58, 26);
  EXPECT_EQ(m_pages.NavigatedAddresses(),
            (std::vector<std::wstring>{ServicePageUrl(kNoticePage), ServicePageUrl(kWelcomePage),
                                       ServicePageUrl(kNoticePage), ServicePageUrl(kWelcomePage)}));
}

TEST_F(LoginDialogTest, EscapeAndCloseLeaveTheDialogOpen) {
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  PostMessageW(GetDlgItem(dlg->m_hWnd, IDC_USERNAME), WM_KEYDOWN, VK_ESCAPE, 0);
  PumpFor(50);
  EXPECT_TRUE(dlg->IsWindowVisible());
  SendMessageW(dlg->m_hWnd, WM_CLOSE, 0, 0);
  PumpFor(20);
  EXPECT_TRUE(dlg->IsWindowVisible());
}

TEST_F(LoginDialogTest, FillLoginFormFillsTheBoxesAndChecksRememberWithoutLoggingIn) {
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  EXPECT_EQ(SendDlgItemMessageW(dlg->m_hWnd, IDC_REMEMBER, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  dlg->FillLoginForm(L"张三abc", L"pa{ss}");
  EXPECT_EQ(Text(dlg->m_hWnd, IDC_USERNAME), L"张三abc");
  EXPECT_EQ(Text(dlg->m_hWnd, IDC_PASSWORD), L"pa{ss}");
  EXPECT_EQ(SendDlgItemMessageW(dlg->m_hWnd, IDC_REMEMBER, BM_GETCHECK, 0, 0), BST_CHECKED);
  PumpFor(100);
  EXPECT_EQ(dlg->m_work->m_bLoggingIn, 0);
  EXPECT_EQ(peer.Arrived(), 0);
}

// --- Login ---

TEST_F(LoginDialogTest, WaitLineIsWrittenAndErasedAfterARefusal) {
  MessageBoxCapture boxes;
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  PumpFor(300);  // the statics' own timers repaint once more
  const RECT line = {50, 195, 300, 250};
  const std::vector<COLORREF> before = Grab(hwnd, line);
  Type(hwnd, IDC_USERNAME, L"user");  // no password: the worker refuses at once
  Press(hwnd, IDC_LOGIN);
  const std::vector<COLORREF> during = Grab(hwnd, line);
  EXPECT_NE(during, before) << "the wait line is not there";
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  PumpFor(300);
  EXPECT_EQ(Grab(hwnd, line), before) << "the wait line stays";
  ASSERT_EQ(boxes.Count(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, L"密码不能为空!!!");
}

struct LoginCase {
  std::wstring user;
  std::wstring password;
  std::wstring message;
  std::vector<int> emptied;  // login boxes emptied afterwards
  bool reachesService;
};

TEST_F(LoginDialogTest, EveryLoginRuleWithItsMessageAndTheBoxesItEmpties) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  const std::wstring failed = L"登陆失败!!!请重试!!!";
  const std::wstring tooLong = L"字符太长不能登陆!!!";
  const std::wstring badName = L"用户名格式不正确!!!请重新输入!!!";
  const std::wstring noPassword = L"密码不能为空!!!";
  const std::vector<LoginCase> cases = {
      {L"ab c", L"pw", badName, {IDC_USERNAME}, false},
      {L" ", L"", badName, {IDC_USERNAME}, false},
      {L"abc", L"", noPassword, {}, false},
      {L"", L"", noPassword, {}, false},
      {std::wstring(26, L'a'), L"pw", tooLong, {IDC_USERNAME, IDC_PASSWORD}, false},
      {L"abc", std::wstring(26, L'p'), tooLong, {IDC_USERNAME, IDC_PASSWORD}, false},
      {std::wstring(24, L'a') + L"张", std::wstring(25, L'p'), failed, {IDC_USERNAME, IDC_PASSWORD}, true},
      {L"", L"pw", failed, {IDC_USERNAME, IDC_PASSWORD}, true},
  };
  int reached = 0;
  for (const LoginCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "user of " << c.user.size() << " units, password of " << c.password.size());
    const size_t seen = boxes.Count();
    FillAll(hwnd);
    Type(hwnd, IDC_USERNAME, c.user);
    Type(hwnd, IDC_PASSWORD, c.password);
    Press(hwnd, IDC_LOGIN);
    ASSERT_TRUE(LoginDone(*dlg->m_work));
    ASSERT_EQ(boxes.Count(), seen + 1);
    const CapturedMessageBox box = boxes.Boxes().back();
    ExpectBox(box, hwnd, kTip, c.message);
    EXPECT_NE(box.threadId, GetCurrentThreadId());
    std::vector<int> emptied = EmptyBoxes(hwnd);
    std::vector<int> expected = c.emptied;
    // An empty name stays empty.
    if (c.user.empty() && (expected.empty() || expected[0] != IDC_USERNAME)) expected.insert(expected.begin(), IDC_USERNAME);
    if (c.password.empty() && std::find(expected.begin(), expected.end(), IDC_PASSWORD) == expected.end()) {
      expected.push_back(IDC_PASSWORD);
    }
    EXPECT_EQ(emptied, expected);
    if (c.reachesService) ++reached;
    EXPECT_EQ(peer.Arrived(), reached);
    EXPECT_EQ(dlg->IsLoggedIn(), 0);
    // A refused login leaves no client behind.
    EXPECT_FALSE(dlg->m_work->m_pPassport);
  }
  // The 25-unit values travel whole; the empty name is sent as it is.
  const std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("<username>" + std::string(24, 'a') + "&#x5F20;</username><password>" +
                             std::string(25, 'p') + "</password>"),
            std::string::npos)
      << requests[0];
  EXPECT_NE(requests[1].find("<username></username><password>pw</password>"), std::string::npos) << requests[1];
}

TEST_F(LoginDialogTest, AnUnreachableServiceIsAFailedLoginWithBothBoxesEmptied) {
  MessageBoxCapture boxes;
  const std::string port = std::to_string(UnusedLoopbackPort());
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:" + std::u16string(port.begin(), port.end()));
  ASSERT_TRUE(dlg);
  FillAll(dlg->m_hWnd);
  Type(dlg->m_hWnd, IDC_USERNAME, L"user");
  Type(dlg->m_hWnd, IDC_PASSWORD, L"secret");
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(boxes.Count(), 1u);
  ExpectBox(boxes.Boxes()[0], dlg->m_hWnd, kTip, L"登陆失败!!!请重试!!!");
  EXPECT_EQ(EmptyBoxes(dlg->m_hWnd), (std::vector<int>{IDC_USERNAME, IDC_PASSWORD}));
  EXPECT_EQ(dlg->IsLoggedIn(), 0);
}

TEST_F(LoginDialogTest, AcceptedLoginSetsTheFlagAndKeepsTheClient) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  Type(dlg->m_hWnd, IDC_USERNAME, L"user");
  Type(dlg->m_hWnd, IDC_PASSWORD, L"secret");
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  EXPECT_EQ(dlg->IsLoggedIn(), 1);
  EXPECT_EQ(boxes.Count(), 0u);
  EXPECT_TRUE(dlg->m_work->m_pPassport);
  EXPECT_EQ(dlg->m_work->SavedPassword(), L"secret");
  EXPECT_EQ(dlg->m_work->UploadUser(), L"user");
  EXPECT_EQ(Text(dlg->m_hWnd, IDC_USERNAME), L"user");
}

TEST_F(LoginDialogTest, ASecondPressWhileBusyStartsNothing) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"), /*held=*/true);
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Type(hwnd, IDC_USERNAME, L"user");
  Type(hwnd, IDC_PASSWORD, L"secret");
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
  Press(hwnd, IDC_LOGIN);
  SendMessageW(hwnd, WM_COMMAND, IDOK, 0);  // Enter in the login form: the same
  ASSERT_EQ(boxes.Count(), 2u);
  ExpectBox(boxes.Boxes()[0], hwnd, kApp, L"正在登陆.....");
  ExpectBox(boxes.Boxes()[1], hwnd, kApp, L"正在登陆.....");
  EXPECT_EQ(boxes.Boxes()[0].threadId, GetCurrentThreadId());
  EXPECT_EQ(dlg->m_work->m_bLoggingIn, 1);
  peer.Release();
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(boxes.Count(), 3u);
  ExpectBox(boxes.Boxes()[2], hwnd, kTip, L"登陆失败!!!请重试!!!");
  EXPECT_EQ(peer.Arrived(), 1);

  // The same for the registration.
  Peer held(CreateAnswer(-1), /*held=*/true);
  dlg.reset();
  dlg = Open(held.Host());
  ASSERT_TRUE(dlg);
  const HWND second = dlg->m_hWnd;
  Press(second, IDC_SWITCH_REGISTER);
  Type(second, IDC_REG_EMAIL, L"a@b");
  Type(second, IDC_REG_USERNAME, L"abcd");
  Type(second, IDC_REG_PASSWORD, L"pw");
  Type(second, IDC_REG_CONFIRM, L"pw");
  Press(second, IDC_REGISTER);
  ASSERT_TRUE(PumpUntil([&] { return held.Arrived() == 1; }));
  Press(second, IDC_REGISTER);
  ASSERT_EQ(boxes.Count(), 4u);
  ExpectBox(boxes.Boxes()[3], second, kApp, L"正在注册....");
  held.Release();
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  ASSERT_EQ(boxes.Count(), 5u);
  ExpectBox(boxes.Boxes()[4], second, kTip, L"失败!!!检查网络或重试!!! ");
  EXPECT_EQ(held.Arrived(), 1);
}

TEST_F(LoginDialogTest, EnterLogsInFromTheLoginFormAndRegistersFromTheRegistrationForm) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Type(hwnd, IDC_USERNAME, L"user");
  Type(hwnd, IDC_PASSWORD, L"secret");
  PostMessageW(GetDlgItem(hwnd, IDC_PASSWORD), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() == 1 && dlg->m_work->m_bLoggingIn == 0; }, 20000));
  EXPECT_EQ(boxes.Boxes()[0].text, L"登陆失败!!!请重试!!!");
  EXPECT_EQ(peer.Arrived(), 1);

  Press(hwnd, IDC_SWITCH_REGISTER);
  Type(hwnd, IDC_REG_EMAIL, L"no-at-sign");
  PostMessageW(GetDlgItem(hwnd, IDC_REG_EMAIL), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() == 2 && dlg->m_work->m_bRegistering == 0; }, 20000));
  EXPECT_EQ(boxes.Boxes()[1].text, L"邮箱格式不正确!!!请重新输入!!!");
  EXPECT_EQ(peer.Arrived(), 1);
}

// --- Registration ---

struct RegisterCase {
  std::wstring email;
  std::wstring user;
  std::wstring password;
  std::wstring confirm;
  std::wstring message;
  std::vector<int> emptied;  // registration boxes emptied afterwards
  bool reachesService;
};

TEST_F(LoginDialogTest, EveryRegistrationRuleWithItsMessageAndTheBoxesItEmpties) {
  MessageBoxCapture boxes;
  Peer peer(CreateAnswer(-1));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  const std::wstring badEmail = L"邮箱格式不正确!!!请重新输入!!!";
  const std::wstring shortName = L"用户名不得少于4位!!!请重新输入!!!";
  const std::wstring noPassword = L"密码不能为空!!请重输!!!";
  const std::wstring different = L"密码不同!!请重输!!!";
  const std::wstring tooLong = L"字符太长不能注册!!!";
  const std::wstring failed = L"失败!!!检查网络或重试!!! ";
  const std::vector<int> all = {IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM};
  const std::wstring u25(25, L'u');
  const std::wstring p25(25, L'p');
  const std::wstring e25 = L"a@" + std::wstring(23, L'e');
  const std::vector<RegisterCase> cases = {
      {L"", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}, false},
      {L"nothing", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}, false},
      {L"a @b", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}, false},
      {L"a@b ", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}, false},
      // The e-mail is checked before the user name.
      {L"x", L"abc", L"", L"", badEmail, {IDC_REG_EMAIL}, false},
      {L"a@b", L"abc", L"pw", L"pw", shortName, {IDC_REG_USERNAME}, false},
      {L"a@b", L"", L"pw", L"pw", shortName, {IDC_REG_USERNAME}, false},
      {L"a@b", L"abcd", L"", L"", noPassword, {}, false},
      {L"a@b", L"abcd", L"Secret", L"secret", different, {IDC_REG_PASSWORD, IDC_REG_CONFIRM}, false},
      {L"a@b", L"abcd", L"pw", L"", different, {IDC_REG_PASSWORD, IDC_REG_CONFIRM}, false},
      {e25 + L"e", L"abcd", L"pw", L"pw", tooLong, all, false},
      {L"a@b", u25 + L"u", L"pw", L"pw", tooLong, all, false},
      {L"a@b", L"abcd", p25 + L"p", p25 + L"p", tooLong, all, false},
      // Three characters with the '@' in the middle, four-unit name: both pass.
      {L"a@b", L"abcd", L"pw", L"pw", failed, {IDC_REG_PASSWORD, IDC_REG_CONFIRM}, true},
      {e25, u25, p25, p25, failed, {IDC_REG_PASSWORD, IDC_REG_CONFIRM}, true},
      // The underscore lies between 'Z' and 'a'.
      {L"a@b", L"ab_c", L"pw", L"pw", failed, {IDC_REG_PASSWORD, IDC_REG_CONFIRM}, true},
  };
  int reached = 0;
  for (const RegisterCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases.data()));
    const size_t seen = boxes.Count();
    FillAll(hwnd);
    Type(hwnd, IDC_REG_EMAIL, c.email);
    Type(hwnd, IDC_REG_USERNAME, c.user);
    Type(hwnd, IDC_REG_PASSWORD, c.password);
    Type(hwnd, IDC_REG_CONFIRM, c.confirm);
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(boxes.Count(), seen + 1);
    const CapturedMessageBox box = boxes.Boxes().back();
    ExpectBox(box, hwnd, kTip, c.message);
    EXPECT_NE(box.threadId, GetCurrentThreadId());
    // Boxes left empty by the test count as emptied as well.
    std::vector<int> expected;
    for (int id : all) {
      const bool emptied = std::find(c.emptied.begin(), c.emptied.end(), id) != c.emptied.end();
      const bool typedEmpty = (id == IDC_REG_EMAIL && c.email.empty()) || (id == IDC_REG_USERNAME && c.user.empty()) ||
                              (id == IDC_REG_PASSWORD && c.password.empty()) ||
                              (id == IDC_REG_CONFIRM && c.confirm.empty());
      if (emptied || typedEmpty) expected.push_back(id);
    }
    EXPECT_EQ(EmptyBoxes(hwnd), expected);  // the hidden login boxes keep their text
    if (c.reachesService) ++reached;
    EXPECT_EQ(peer.Arrived(), reached);
    EXPECT_EQ(dlg->IsLoggedIn(), 0);
    // Only the length check lets go of the client.
    EXPECT_EQ(static_cast<bool>(dlg->m_work->m_pPassport), c.message != tooLong);
    // The registration's user name is handed on first thing.
    EXPECT_EQ(dlg->m_work->UploadUser(), c.user);
  }
  const std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[1].find("<username>" + std::string(25, 'u') + "</username><password>" + std::string(25, 'p') +
                             "</password><emailAddress>a@" + std::string(23, 'e') + "</emailAddress>"),
            std::string::npos)
      << requests[1];
  EXPECT_NE(requests[2].find("<username>ab_c</username>"), std::string::npos) << requests[2];
}

TEST_F(LoginDialogTest, ServiceAnswersOfTheRegistration) {
  MessageBoxCapture boxes;
  Peer peer(CreateAnswer(2));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  struct Answer {
    int result;
    std::wstring message;
    std::vector<int> emptied;
  };
  const std::vector<Answer> answers = {
      {2, L"用户名重复!!! ", {IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {3, L"EMAIL重复!!! ", {IDC_REG_EMAIL, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {0, L"失败!!!检查网络或重试!!! ", {IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {-1, L"失败!!!检查网络或重试!!! ", {IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {7, L"失败!!! ", {}},
      {-2, L"失败!!! ", {}},
  };
  for (const Answer& a : answers) {
    SCOPED_TRACE(a.result);
    peer.SetAnswer(CreateAnswer(a.result));
    const size_t seen = boxes.Count();
    FillAll(hwnd);
    Type(hwnd, IDC_REG_EMAIL, L"me@example.test");
    Type(hwnd, IDC_REG_PASSWORD, L"pw");
    Type(hwnd, IDC_REG_CONFIRM, L"pw");
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(boxes.Count(), seen + 1);
    ExpectBox(boxes.Boxes().back(), hwnd, kTip, a.message);
    EXPECT_EQ(EmptyBoxes(hwnd), a.emptied);
    EXPECT_EQ(dlg->IsLoggedIn(), 0);
  }
  // 1: the new user counts as logged in.
  peer.SetAnswer(CreateAnswer(1));
  FillAll(hwnd);
  Type(hwnd, IDC_REG_EMAIL, L"me@example.test");
  Type(hwnd, IDC_REG_PASSWORD, L"pw");
  Type(hwnd, IDC_REG_CONFIRM, L"pw");
  Press(hwnd, IDC_REGISTER);
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  EXPECT_EQ(dlg->IsLoggedIn(), 1);
  EXPECT_EQ(boxes.Count(), answers.size());
}

TEST_F(LoginDialogTest, AnUnreachableServiceIsAFailedRegistration) {
  MessageBoxCapture boxes;
  const std::string port = std::to_string(UnusedLoopbackPort());
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:" + std::u16string(port.begin(), port.end()));
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  FillAll(hwnd);
  Type(hwnd, IDC_REG_EMAIL, L"a@b");
  Type(hwnd, IDC_REG_PASSWORD, L"pw");
  Type(hwnd, IDC_REG_CONFIRM, L"pw");
  Press(hwnd, IDC_REGISTER);
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  ASSERT_EQ(boxes.Count(), 1u);
  ExpectBox(boxes.Boxes()[0], hwnd, kTip, L"失败!!!检查网络或重试!!! ");
  EXPECT_EQ(EmptyBoxes(hwnd), (std::vector<int>{IDC_REG_PASSWORD, IDC_REG_CONFIRM}));
}

TEST_F(LoginDialogTest, ANewUserNameOfOtherCharactersIsRefusedBeforeAnyWorker) {
  MessageBoxCapture boxes;
  Peer peer(CreateAnswer(1));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  // Below '0', between '9' and 'A', above 'z', a space, Chinese.
  const std::vector<std::wstring> names = {L"ab cd", L"用户名字", L"abc/", L"abc:", L"abc@", L"abc{", L"abc~",
                                           L"abc-", std::wstring(L"ab\x00E9z")};
  for (const std::wstring& name : names) {
    const size_t seen = boxes.Count();
    FillAll(hwnd);
    Type(hwnd, IDC_REG_EMAIL, L"a b");  // the worker would refuse this e-mail: it never runs
    Type(hwnd, IDC_REG_USERNAME, name);
    Press(hwnd, IDC_REGISTER);
    ASSERT_EQ(boxes.Count(), seen + 1);
    const CapturedMessageBox box = boxes.Boxes().back();
    ExpectBox(box, hwnd, kApp, L"请输入字母或数字(a~z 0~9)!!!");
    EXPECT_EQ(box.threadId, GetCurrentThreadId());
    EXPECT_EQ(dlg->m_work->m_bRegistering, 0);
    EXPECT_EQ(EmptyBoxes(hwnd), std::vector<int>{IDC_REG_USERNAME});
  }
  PumpFor(100);
  EXPECT_EQ(boxes.Count(), names.size());
  EXPECT_EQ(peer.Arrived(), 0);
  // The whole range passes: digits, 'A' to 'z' with the six signs between.
  FillAll(hwnd);
  Type(hwnd, IDC_REG_EMAIL, L"a@b");
  Type(hwnd, IDC_REG_USERNAME, L"09AZ[\\]^_`az");
  Type(hwnd, IDC_REG_PASSWORD, L"pw");
  Type(hwnd, IDC_REG_CONFIRM, L"pw");
  Press(hwnd, IDC_REGISTER);
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  EXPECT_EQ(dlg->IsLoggedIn(), 1);
  EXPECT_EQ(boxes.Count(), names.size());
}

// --- Settings written at deletion ---

TEST_F(LoginDialogTest, NoSettingsAreWrittenWithoutASuccess) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  dlg->FillLoginForm(L"user", L"secret");
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  dlg.reset();
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "user.ini"));
}

TEST_F(LoginDialogTest, SuccessWithTheBoxCheckedWritesAllFourKeys) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  Type(dlg->m_hWnd, IDC_USERNAME, L"abc");
  Type(dlg->m_hWnd, IDC_PASSWORD, L"pa{ss}");
  SendDlgItemMessageW(dlg->m_hWnd, IDC_REMEMBER, BM_SETCHECK, BST_CHECKED, 0);
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(dlg->IsLoggedIn(), 1);
  dlg.reset();
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ReadSetting(settings::kUserName), L"fgh");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"pa{ss}");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"abc");
  EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LoginDialogTest, SuccessWithTheBoxUncheckedWritesStateZeroAndKeepsTheRememberedLogin) {
  WriteRememberedLogin(1, L"earlier", L"old");
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  Type(dlg->m_hWnd, IDC_USERNAME, L"later");
  Type(dlg->m_hWnd, IDC_PASSWORD, L"new");
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(dlg->IsLoggedIn(), 1);
  // The box as the user leaves it before the main window acts counts.
  Type(dlg->m_hWnd, IDC_USERNAME, L"changed");
  dlg.reset();
  EXPECT_EQ(ReadSettingInt(settings::kState, 7), 0);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"earlier");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"old");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"later");
}

TEST_F(LoginDialogTest, RegistrationWhileRememberedKeepsTheLoginFormNameWithAnEmptyPassword) {
  WriteRememberedLogin(1, L"remembered", L"old");
  MessageBoxCapture boxes;
  Peer peer(CreateAnswer(1));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  dlg->FillLoginForm(ShiftDecode(ReadSetting(settings::kUserName)), ShiftDecode(ReadSetting(settings::kPassword)));
  Press(hwnd, IDC_SWITCH_REGISTER);
  Type(hwnd, IDC_REG_EMAIL, L"new@example.test");
  Type(hwnd, IDC_REG_USERNAME, L"newcomer");
  Type(hwnd, IDC_REG_PASSWORD, L"pw");
  Type(hwnd, IDC_REG_CONFIRM, L"pw");
  Press(hwnd, IDC_REGISTER);
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  ASSERT_EQ(dlg->IsLoggedIn(), 1);
  dlg.reset();
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"remembered");
  EXPECT_EQ(ReadSetting(settings::kPassword), L"");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"newcomer");
  EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LoginDialogTest, SettingsAreWrittenAlsoWhenTheWindowWentFirst) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  Type(dlg->m_hWnd, IDC_USERNAME, L"user");
  Type(dlg->m_hWnd, IDC_PASSWORD, L"pw");
  SendDlgItemMessageW(dlg->m_hWnd, IDC_REMEMBER, BM_SETCHECK, BST_CHECKED, 0);
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(dlg->IsLoggedIn(), 1);
  // The owner's end takes the window before the object: the values read at the press stand.
  DestroyWindow(dlg->m_hWnd);
  dlg.reset();
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"user");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"pw");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"user");
}

// --- Lifetime ---

TEST_F(LoginDialogTest, DeletionFreesPagesAndBitmaps) {
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  const HWND notice = dlg->m_pNoticeDlg->m_hWnd;
  std::vector<HBITMAP> bitmaps = {dlg->m_hLoginHover,   dlg->m_hLoginNormal,   dlg->m_hSwitchHover,
                                  dlg->m_hSwitchNormal, dlg->m_hRegisterHover, dlg->m_hRegisterNormal};
  std::weak_ptr<CAccountWork> work = dlg->m_work;
  dlg.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(notice));
  for (HBITMAP bitmap : bitmaps) EXPECT_EQ(GetObjectType(bitmap), 0u);
  EXPECT_TRUE(work.expired());
}

TEST_F(LoginDialogTest, AWorkerStillRunningWhenTheDialogIsDeletedTouchesNothingFreed) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"), /*held=*/true);
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Type(hwnd, IDC_USERNAME, L"user");
  Type(hwnd, IDC_PASSWORD, L"secret");
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));

  std::shared_ptr<CAccountWork> work = dlg->m_work;
  std::weak_ptr<CAccountWork> watch = work;
  dlg.reset();  // no settings: no success
  EXPECT_FALSE(IsWindow(hwnd));
  // The test and the worker hold the work now.
  EXPECT_EQ(work.use_count(), 2);
  EXPECT_EQ(work->m_bLoggingIn, 1);
  work.reset();

  peer.Release();
  // The refusal goes to a window that is gone; the worker ends and lets go of the work.
  ASSERT_TRUE(PumpUntil([&] { return watch.expired(); }, 20000));
  for (const CapturedMessageBox& box : boxes.Boxes()) EXPECT_EQ(box.text, L"登陆失败!!!请重试!!!");
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "user.ini"));
}

TEST_F(LoginDialogTest, ASuccessAfterTheDialogIsGoneIsHarmless) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"), /*held=*/true);
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  Type(dlg->m_hWnd, IDC_USERNAME, L"user");
  Type(dlg->m_hWnd, IDC_PASSWORD, L"secret");
  Press(dlg->m_hWnd, IDC_LOGIN);
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
  std::shared_ptr<CAccountWork> work = dlg->m_work;
  dlg.reset();
  peer.Release();
  ASSERT_TRUE(PumpUntil([&] { return work->m_bLoggingIn == 0; }, 20000));
  EXPECT_EQ(work->m_bLoggedIn, 1);
  EXPECT_TRUE(work->m_pPassport);
  // The worker lets go of the work as it ends.
  EXPECT_TRUE(PumpUntil([&] { return work.use_count() == 1; }));
  EXPECT_EQ(boxes.Count(), 0u);
}

// --- Against the reference service ---

TEST_F(LoginDialogTest, RealRegistrationThenRealLogin) {
  const std::u16string host = TestServiceHost();
  if (host.empty()) GTEST_SKIP() << "FOTREL_TEST_SERVICE is not set";
  MessageBoxCapture boxes;
  const std::wstring user = FreshUserName(L"d");
  {
    std::unique_ptr<CMyLoginDlg> dlg = Open(host);
    ASSERT_TRUE(dlg);
    const HWND hwnd = dlg->m_hWnd;
    Press(hwnd, IDC_SWITCH_REGISTER);
    Type(hwnd, IDC_REG_EMAIL, user + L"@t.cn");
    Type(hwnd, IDC_REG_USERNAME, user);
    Type(hwnd, IDC_REG_PASSWORD, L"Secret1");
    Type(hwnd, IDC_REG_CONFIRM, L"Secret1");
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(boxes.Count(), 0u) << Describe(boxes.Boxes()[0]);
    EXPECT_EQ(dlg->IsLoggedIn(), 1);
  }
  EXPECT_EQ(ReadSetting(settings::kUploadUser), user);
  {
    // The same name again: taken.
    std::unique_ptr<CMyLoginDlg> dlg = Open(host);
    ASSERT_TRUE(dlg);
    const HWND hwnd = dlg->m_hWnd;
    Press(hwnd, IDC_SWITCH_REGISTER);
    Type(hwnd, IDC_REG_EMAIL, L"other" + user + L"@t.cn");
    Type(hwnd, IDC_REG_USERNAME, user);
    Type(hwnd, IDC_REG_PASSWORD, L"pw");
    Type(hwnd, IDC_REG_CONFIRM, L"pw");
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(boxes.Count(), 1u);
    ExpectBox(boxes.Boxes()[0], hwnd, kTip, L"用户名重复!!! ");
  }
  {
    std::unique_ptr<CMyLoginDlg> dlg = Open(host);
    ASSERT_TRUE(dlg);
    const HWND hwnd = dlg->m_hWnd;
    Type(hwnd, IDC_USERNAME, user);
    Type(hwnd, IDC_PASSWORD, L"wrong");
    Press(hwnd, IDC_LOGIN);
    ASSERT_TRUE(LoginDone(*dlg->m_work));
    ASSERT_EQ(boxes.Count(), 2u);
    ExpectBox(boxes.Boxes()[1], hwnd, kTip, L"登陆失败!!!请重试!!!");
    EXPECT_EQ(EmptyBoxes(hwnd), (std::vector<int>{IDC_USERNAME, IDC_PASSWORD, IDC_REG_EMAIL, IDC_REG_USERNAME,
                                                  IDC_REG_PASSWORD, IDC_REG_CONFIRM}));
    Type(hwnd, IDC_USERNAME, user);
    Type(hwnd, IDC_PASSWORD, L"Secret1");
    SendDlgItemMessageW(hwnd, IDC_REMEMBER, BM_SETCHECK, BST_CHECKED, 0);
    Press(hwnd, IDC_LOGIN);
    ASSERT_TRUE(LoginDone(*dlg->m_work));
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(dlg->IsLoggedIn(), 1);
  }
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), user);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"Secret1");
}

}  // namespace
