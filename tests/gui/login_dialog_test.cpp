// The login and registration dialog in-process: its layout and look, its own checks and
// messages, the rules of the workers as the user meets them, the settings its destructor
// writes, and a worker that outlives it.
#include "account/login_dlg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
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
using namespace guitest;

using LoginDialogTest = AccountWindowTest;

const std::wstring kTip = L"提示";
const std::wstring kApp = L"Fotrel";
const std::wstring kLoginFailed = L"登陆失败!!!请重试!!!";
const std::wstring kRegisterFailed = L"失败!!!检查网络或重试!!! ";
const std::vector<int> kLoginForm = {IDC_USERNAME_LABEL,  IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_LOGIN,
                                     IDC_SWITCH_REGISTER, IDC_REMEMBER,       IDC_USERNAME,       IDC_PASSWORD};
const std::vector<int> kRegistrationForm = {IDC_REG_EMAIL_LABEL,   IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL,
                                            IDC_REG_CONFIRM_LABEL, IDC_REG_EMAIL,          IDC_REG_USERNAME,
                                            IDC_REG_PASSWORD,      IDC_REG_CONFIRM,        IDC_REGISTER};

void ExpectPlace(HWND dialog, int id, const RECT& expected) {
  EXPECT_TRUE(SameRect(expected, RectIn(dialog, GetDlgItem(dialog, id)))) << id;
}

void ExpectShown(HWND dialog, const std::vector<int>& ids, bool shown) {
  for (int id : ids) EXPECT_EQ(shown, IsWindowVisible(GetDlgItem(dialog, id)) != FALSE) << id;
}

// Pixels of a form bitmap drawn at (0, 20) that differ from the resource (every third pixel;
// the frame line's column x = 5 crosses the picture and is left out).
int PictureMismatches(const Canvas& canvas, int bitmapId) {
  HBITMAP picture = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  BITMAP info{};
  GetObjectW(picture, sizeof info, &info);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, picture);
  int mismatches = 0;
  for (int y = 0; y < info.bmHeight; y += 3) {
    for (int x = 0; x < info.bmWidth; x += 3) mismatches += x != 5 && GetPixel(memory, x, y) != canvas.Pixel(x, y + 20);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(picture);
  return info.bmWidth > 0 ? mismatches : -1;
}

// Pixels of the dialog where the waiting lines are written.
std::vector<COLORREF> WaitLinePixels(HWND dialog) {
  std::vector<COLORREF> pixels;
  for (int y = 195; y < 250; y += 2) {
    for (int x = 50; x < 300; x += 2) pixels.push_back(WindowPixel(dialog, x, y));
  }
  return pixels;
}

// State, userName and userPassWord decoded, UserNameForUpLoad.
std::tuple<int, std::wstring, std::wstring, std::wstring> Settings() {
  return {ReadSettingInt(settings::kState, 7), ShiftDecode(ReadSetting(settings::kUserName)),
          ShiftDecode(ReadSetting(settings::kPassword)), ReadSetting(settings::kUploadUser)};
}

void ExpectBox(const CapturedMessageBox& box, HWND owner, const std::wstring& caption, const std::wstring& text) {
  EXPECT_EQ(Describe(box), L"[" + caption + L"] " + text);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << Describe(box);
  EXPECT_EQ(box.owner, owner) << Describe(box);
}

// Where the focus is when the initialisation ends (later, the desktop's activation may move it).
struct FocusProbe : CMyLoginDlg {
  using CMyLoginDlg::CMyLoginDlg;
  BOOL OnInitDialog() override { return result = CMyLoginDlg::OnInitDialog(), focus = GetFocus(), result; }
  HWND focus = nullptr;
  BOOL result = TRUE;
};

TEST_F(LoginDialogTest, LayoutLookAndTheSwitchToRegistration) {
  {
    FocusProbe probe(u"127.0.0.1:9");
    ASSERT_TRUE(probe.Create(nullptr));
    EXPECT_EQ(probe.GetDlgItem(IDC_SWITCH_REGISTER), probe.focus);
    EXPECT_EQ(FALSE, probe.result);  // the dialog manager is told that the focus is set
  }
  m_pages.calls.clear();
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:9");
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  EXPECT_EQ(1, dlg->m_bConnected);
  ASSERT_TRUE(dlg->m_work && dlg->m_work->m_pPassport);
  EXPECT_EQ(u"http://127.0.0.1:9/WebService/Passport.asmx", dlg->m_work->m_pPassport->Endpoint());
  // The two pages: shown children, each told to open its page once.
  ASSERT_TRUE(dlg->m_pNoticeDlg && dlg->m_pWelcomeDlg);
  EXPECT_TRUE(SameRect(Rect(10, 270, 300, 245), RectIn(hwnd, dlg->m_pNoticeDlg->m_hWnd)));
  EXPECT_TRUE(SameRect(Rect(318, 38, 300, 478), RectIn(hwnd, dlg->m_pWelcomeDlg->m_hWnd)));
  EXPECT_TRUE(IsWindowVisible(dlg->m_pNoticeDlg->m_hWnd) && IsWindowVisible(dlg->m_pWelcomeDlg->m_hWnd));
  const std::wstring notice = ServicePageUrl(kNoticePage), welcome = ServicePageUrl(kWelcomePage);
  EXPECT_EQ((std::vector<std::wstring>{notice, welcome}), m_pages.NavigatedAddresses());
  ExpectPlace(hwnd, IDC_LOGIN, Rect(78, 150, 58, 26));
  ExpectPlace(hwnd, IDC_SWITCH_REGISTER, Rect(158, 150, 58, 26));
  ExpectPlace(hwnd, IDC_REGISTER, Rect(108, 150, 58, 26));
  ExpectShown(hwnd, kLoginForm, true);
  ExpectShown(hwnd, kRegistrationForm, false);
  for (const CSkinButton* button : {&dlg->m_btnLogin, &dlg->m_btnSwitch, &dlg->m_btnRegister}) {
    for (const auto& image : button->m_images) EXPECT_TRUE(image.hBitmap && image.nWidth == 58 && image.nHeight == 26);
  }
  BYTE alpha = 0;
  DWORD flags = 0;
  EXPECT_TRUE(GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags) && alpha == 254 && flags == LWA_ALPHA);

  // Grey background, the form picture at (0, 20), the frame line from (5, 5) to (w - 6, h - 6).
  const COLORREF grey = RGB(241, 241, 241), frame = RGB(172, 172, 172);
  {
    Canvas canvas(hwnd);
    EXPECT_NE(0, canvas.Send(hwnd, WM_ERASEBKGND));
    const int w = canvas.width, h = canvas.height;
    for (POINT p : {POINT{4, 4}, POINT{6, 6}, POINT{w - 6, h - 6}}) EXPECT_EQ(grey, canvas.Pixel(p.x, p.y));
    for (POINT p : {POINT{5, 5}, POINT{w / 2, 5}, POINT{5, h - 7}, POINT{w - 7, h - 7}, POINT{w - 7, 300}}) {
      EXPECT_EQ(frame, canvas.Pixel(p.x, p.y)) << p.x << "," << p.y;
    }
    EXPECT_EQ(0, PictureMismatches(canvas, IDB_LOGIN_FORM));
    EXPECT_GT(PictureMismatches(canvas, IDB_REGISTER_FORM), 0);
    // Labels: blue-grey text on the grey.
    for (int id : {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_REMEMBER_LABEL, IDC_REG_EMAIL_LABEL,
                   IDC_REG_USERNAME_LABEL, IDC_REG_PASSWORD_LABEL, IDC_REG_CONFIRM_LABEL}) {
      SetTextColor(canvas.dc(), RGB(0, 0, 0));
      SetBkColor(canvas.dc(), RGB(255, 255, 255));
      EXPECT_EQ(grey,
                BrushColour(canvas.Send(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)))));
      EXPECT_EQ(RGB(89, 127, 147), GetTextColor(canvas.dc())) << id;
      EXPECT_EQ(grey, GetBkColor(canvas.dc())) << id;
    }
  }

  Press(hwnd, IDC_SWITCH_REGISTER);
  EXPECT_EQ(1, dlg->m_bRegisterMode);
  ExpectShown(hwnd, kLoginForm, false);
  ExpectShown(hwnd, kRegistrationForm, true);
  ExpectPlace(hwnd, IDC_REG_EMAIL_LABEL, Rect(58, 70, 24, 12));
  ExpectPlace(hwnd, IDC_REG_USERNAME_LABEL, Rect(58, 100, 36, 12));
  ExpectPlace(hwnd, IDC_REG_PASSWORD_LABEL, Rect(58, 130, 24, 12));
  ExpectPlace(hwnd, IDC_REG_CONFIRM_LABEL, Rect(58, 160, 48, 12));
  for (int i = 0; i < 4; ++i) ExpectPlace(hwnd, IDC_REG_EMAIL + i, Rect(115, 67 + 30 * i, 160, 20));
  ExpectPlace(hwnd, IDC_REGISTER, Rect(108, 200, 58, 26));
  EXPECT_EQ((std::vector<std::wstring>{notice, welcome, notice, welcome}), m_pages.NavigatedAddresses());
  Canvas canvas(hwnd);
  canvas.Send(hwnd, WM_ERASEBKGND);
  EXPECT_EQ(0, PictureMismatches(canvas, IDB_REGISTER_FORM));
  EXPECT_EQ(frame, canvas.Pixel(5, 5));

  // Escape and Close leave the dialog open.
  PostMessageW(GetDlgItem(hwnd, IDC_REG_EMAIL), WM_KEYDOWN, VK_ESCAPE, 0);
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  PumpFor(50);
  EXPECT_TRUE(dlg->IsWindowVisible());
}

TEST_F(LoginDialogTest, WithoutNetworkThereAreNoPagesAndEveryButtonSaysSo) {
  CMyLoginDlg::SetNetworkCheck([] { return false; });
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  EXPECT_EQ(0, dlg->m_bConnected);
  EXPECT_EQ(nullptr, dlg->m_pNoticeDlg);
  EXPECT_EQ(nullptr, dlg->m_pWelcomeDlg);
  EXPECT_TRUE(m_pages.calls.empty());
  TypeAll(hwnd, {{IDC_USERNAME, L"user"}, {IDC_PASSWORD, L"secret"}});
  for (int button : {IDC_LOGIN, IDC_SWITCH_REGISTER, IDC_REGISTER}) Press(hwnd, button);
  SendMessageW(hwnd, WM_COMMAND, IDOK, 0);  // Enter
  const std::vector<CapturedMessageBox> seen = boxes.Boxes();
  ASSERT_EQ(4u, seen.size());
  for (const CapturedMessageBox& box : seen) {
    ExpectBox(box, hwnd, kApp, L"您的网络没有连接!!!");
    EXPECT_EQ(GetCurrentThreadId(), box.threadId);
  }
  EXPECT_EQ(0, dlg->m_work->m_bLoggingIn);
  EXPECT_EQ(0, dlg->m_bRegisterMode);
  ExpectShown(hwnd, kLoginForm, true);
  PumpFor(100);
  EXPECT_EQ(0, peer.Arrived());
}

TEST_F(LoginDialogTest, EveryLoginRuleWithItsMessageTheBoxesItEmptiesAndTheWaitLine) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  // The remembered login fills the form without logging in.
  dlg->FillLoginForm(L"张三abc", L"pa{ss}");
  EXPECT_EQ(L"张三abc", Text(hwnd, IDC_USERNAME));
  EXPECT_EQ(L"pa{ss}", Text(hwnd, IDC_PASSWORD));
  EXPECT_EQ(BST_CHECKED, SendDlgItemMessageW(hwnd, IDC_REMEMBER, BM_GETCHECK, 0, 0));
  PumpFor(300);  // the labels' own timers repaint once more
  EXPECT_EQ(0, peer.Arrived());

  const std::wstring tooLong = L"字符太长不能登陆!!!", badName = L"用户名格式不正确!!!请重新输入!!!";
  const std::wstring noPassword = L"密码不能为空!!!";
  const struct {
    std::wstring user, password, message;
    std::vector<int> emptied;  // boxes empty afterwards
    bool reachesService;
  } cases[] = {
      {L"abc", L"", noPassword, {IDC_PASSWORD}, false},
      {L"ab c", L"pw", badName, {IDC_USERNAME}, false},
      {L" ", L"", badName, {IDC_USERNAME, IDC_PASSWORD}, false},
      {L"", L"", noPassword, {IDC_USERNAME, IDC_PASSWORD}, false},
      {std::wstring(26, L'a'), L"pw", tooLong, {IDC_USERNAME, IDC_PASSWORD}, false},
      {L"abc", std::wstring(26, L'p'), tooLong, {IDC_USERNAME, IDC_PASSWORD}, false},
      {std::wstring(24, L'a') + L"张", std::wstring(25, L'p'), kLoginFailed, {IDC_USERNAME, IDC_PASSWORD}, true},
      {L"", L"pw", kLoginFailed, {IDC_USERNAME, IDC_PASSWORD}, true},  // an empty name is sent as it is
  };
  int reached = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "user of " << c.user.size() << " units, password of " << c.password.size());
    const size_t seen = boxes.Count();
    FillAll(hwnd);
    Type(hwnd, IDC_USERNAME, c.user);
    Type(hwnd, IDC_PASSWORD, c.password);
    const std::vector<COLORREF> before = &c == cases ? WaitLinePixels(hwnd) : std::vector<COLORREF>();
    Press(hwnd, IDC_LOGIN);
    if (&c == cases) {
      EXPECT_NE(before, WaitLinePixels(hwnd)) << "the wait line is not there";
    }
    ASSERT_TRUE(LoginDone(*dlg->m_work));
    if (&c == cases) {
      PumpFor(300);
      EXPECT_EQ(before, WaitLinePixels(hwnd)) << "the wait line stays";
    }
    ASSERT_EQ(seen + 1, boxes.Count());
    ExpectBox(boxes.Boxes().back(), hwnd, kTip, c.message);
    EXPECT_NE(GetCurrentThreadId(), boxes.Boxes().back().threadId);
    EXPECT_EQ(c.emptied, EmptyBoxes(hwnd));
    reached += c.reachesService;
    EXPECT_EQ(reached, peer.Arrived());
    EXPECT_EQ(0, dlg->IsLoggedIn());
    EXPECT_FALSE(dlg->m_work->m_pPassport);  // a refused login leaves no client behind
    // Name and password are recorded only once the checks pass.
    EXPECT_EQ(c.reachesService ? c.user : L"", dlg->m_work->UploadUser());
    EXPECT_EQ(c.reachesService ? c.password : L"", dlg->m_work->SavedPassword());
  }
  // The 25-unit values travel whole.
  const std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("<username>" + std::string(24, 'a') + "&#x5F20;</username><password>" +
                                                std::string(25, 'p') + "</password>"))
      << requests[0];
  EXPECT_NE(std::string::npos, requests[1].find("<username></username><password>pw</password>")) << requests[1];

  // Accepted: the flag, the client kept, the name and password recorded.
  peer.SetAnswer(LoginAnswer("true"));
  Type(hwnd, IDC_USERNAME, L"user");
  Type(hwnd, IDC_PASSWORD, L"secret");
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  EXPECT_EQ(1, dlg->IsLoggedIn());
  EXPECT_TRUE(dlg->m_work->m_pPassport);
  EXPECT_EQ(L"secret", dlg->m_work->SavedPassword());
  EXPECT_EQ(L"user", dlg->m_work->UploadUser());
  EXPECT_EQ(std::size(cases), boxes.Count());
}

TEST_F(LoginDialogTest, AnUnreachableServiceIsAFailedLoginOrRegistration) {
  MessageBoxCapture boxes;
  const std::string port = std::to_string(UnusedLoopbackPort());
  std::unique_ptr<CMyLoginDlg> dlg = Open(u"127.0.0.1:" + std::u16string(port.begin(), port.end()));
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  FillAll(hwnd);
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(1u, boxes.Count());
  ExpectBox(boxes.Boxes()[0], hwnd, kTip, kLoginFailed);
  EXPECT_EQ((std::vector<int>{IDC_USERNAME, IDC_PASSWORD}), EmptyBoxes(hwnd));
  Press(hwnd, IDC_SWITCH_REGISTER);
  FillAll(hwnd);
  TypeAll(hwnd, {{IDC_REG_EMAIL, L"a@b"}, {IDC_REG_PASSWORD, L"pw"}, {IDC_REG_CONFIRM, L"pw"}});
  Press(hwnd, IDC_REGISTER);
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  ASSERT_EQ(2u, boxes.Count());
  ExpectBox(boxes.Boxes()[1], hwnd, kTip, kRegisterFailed);
  EXPECT_EQ((std::vector<int>{IDC_REG_PASSWORD, IDC_REG_CONFIRM}), EmptyBoxes(hwnd));
  EXPECT_EQ(0, dlg->IsLoggedIn());
}

TEST_F(LoginDialogTest, ASecondPressWhileBusyStartsNothingAndEnterActsForTheShownForm) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("false"), /*held=*/true);
  peer.SetResponder([](const std::string& request) {
    return request.find("<LoginUser ") != std::string::npos ? LoginAnswer("false") : CreateAnswer(-1);
  });
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  TypeAll(hwnd, {{IDC_USERNAME, L"user"}, {IDC_PASSWORD, L"secret"}});
  PostMessageW(GetDlgItem(hwnd, IDC_PASSWORD), WM_KEYDOWN, VK_RETURN, 0);  // Enter in the login form
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
  Press(hwnd, IDC_LOGIN);
  SendMessageW(hwnd, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(2u, boxes.Count());
  for (const CapturedMessageBox& box : boxes.Boxes()) {
    ExpectBox(box, hwnd, kApp, L"正在登陆.....");
    EXPECT_EQ(GetCurrentThreadId(), box.threadId);
  }
  EXPECT_EQ(1, dlg->m_work->m_bLoggingIn);
  peer.Release();
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(3u, boxes.Count());
  ExpectBox(boxes.Boxes()[2], hwnd, kTip, kLoginFailed);

  Press(hwnd, IDC_SWITCH_REGISTER);
  TypeAll(hwnd,
          {{IDC_REG_EMAIL, L"a@b"}, {IDC_REG_USERNAME, L"abcd"}, {IDC_REG_PASSWORD, L"pw"}, {IDC_REG_CONFIRM, L"pw"}});
  peer.Hold();
  PostMessageW(GetDlgItem(hwnd, IDC_REG_EMAIL), WM_KEYDOWN, VK_RETURN, 0);  // Enter now registers
  ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 2; }));
  EXPECT_NE(std::string::npos, peer.Requests()[1].find("<CreateUser "));
  Press(hwnd, IDC_REGISTER);
  ASSERT_EQ(4u, boxes.Count());
  ExpectBox(boxes.Boxes()[3], hwnd, kApp, L"正在注册....");
  peer.Release();
  ASSERT_TRUE(RegisterDone(*dlg->m_work));
  ASSERT_EQ(5u, boxes.Count());
  ExpectBox(boxes.Boxes()[4], hwnd, kTip, kRegisterFailed);
  EXPECT_EQ(2, peer.Arrived());
}

TEST_F(LoginDialogTest, RegistrationChecksOfTheDialogAndOfTheWorkerAndTheServicesAnswers) {
  MessageBoxCapture boxes;
  Peer peer(CreateAnswer(-1));
  std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  Press(hwnd, IDC_SWITCH_REGISTER);
  auto fill = [&](const std::wstring& email, const std::wstring& user, const std::wstring& password,
                  const std::wstring& confirm) {
    FillAll(hwnd);
    TypeAll(
        hwnd,
        {{IDC_REG_EMAIL, email}, {IDC_REG_USERNAME, user}, {IDC_REG_PASSWORD, password}, {IDC_REG_CONFIRM, confirm}});
  };
  // The dialog's own check, on the window thread, before any worker: digits and 'A' to 'z'.
  for (const std::wstring name :
       {L"ab cd", L"用户名字", L"abc/", L"abc:", L"abc@", L"abc{", L"abc~", L"abc-", L"ab\u00E9z"}) {
    const size_t seen = boxes.Count();
    fill(L"a b", name, L"pw", L"pw");  // the worker would refuse this e-mail: it never runs
    Press(hwnd, IDC_REGISTER);
    ASSERT_EQ(seen + 1, boxes.Count());
    ExpectBox(boxes.Boxes().back(), hwnd, kApp, L"请输入字母或数字(a~z 0~9)!!!");
    EXPECT_EQ(GetCurrentThreadId(), boxes.Boxes().back().threadId);
    EXPECT_EQ(0, dlg->m_work->m_bRegistering);
    EXPECT_EQ(std::vector<int>{IDC_REG_USERNAME}, EmptyBoxes(hwnd));
  }

  const std::wstring badEmail = L"邮箱格式不正确!!!请重新输入!!!", shortName = L"用户名不得少于4位!!!请重新输入!!!";
  const std::wstring noPassword = L"密码不能为空!!请重输!!!", different = L"密码不同!!请重输!!!";
  const std::wstring tooLong = L"字符太长不能注册!!!";
  const std::wstring u25(25, L'u'), p25(25, L'p'), e25 = L"a@" + std::wstring(23, L'e');
  const std::vector<int> all = {IDC_REG_EMAIL, IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM};
  const std::vector<int> passwords = {IDC_REG_PASSWORD, IDC_REG_CONFIRM};
  const struct {
    std::wstring email, user, password, confirm, message;
    std::vector<int> emptied;  // registration boxes empty afterwards
  } cases[] = {
      {L"", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}},
      {L"nothing", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}},
      {L"a @b", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}},
      {L"a@b ", L"abcd", L"pw", L"pw", badEmail, {IDC_REG_EMAIL}},
      {L"x", L"abc", L"", L"", badEmail, {IDC_REG_EMAIL, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},  // e-mail first
      {L"a@b", L"abc", L"pw", L"pw", shortName, {IDC_REG_USERNAME}},
      {L"a@b", L"", L"pw", L"pw", shortName, {IDC_REG_USERNAME}},
      {L"a@b", L"abcd", L"", L"", noPassword, passwords},
      {L"a@b", L"abcd", L"Secret", L"secret", different, passwords},
      {L"a@b", L"abcd", L"pw", L"", different, passwords},
      {e25 + L"e", L"abcd", L"pw", L"pw", tooLong, all},
      {L"a@b", u25 + L"u", L"pw", L"pw", tooLong, all},
      {L"a@b", L"abcd", p25 + L"p", p25 + L"p", tooLong, all},
      // Three characters with the '@' in the middle, a four-unit name, 25 units, an underscore: all pass.
      {L"a@b", L"abcd", L"pw", L"pw", kRegisterFailed, passwords},
      {e25, u25, p25, p25, kRegisterFailed, passwords},
      {L"a@b", L"ab_c", L"pw", L"pw", kRegisterFailed, passwords},
  };
  int reached = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    const size_t seen = boxes.Count();
    fill(c.email, c.user, c.password, c.confirm);
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(seen + 1, boxes.Count());
    ExpectBox(boxes.Boxes().back(), hwnd, kTip, c.message);
    EXPECT_NE(GetCurrentThreadId(), boxes.Boxes().back().threadId);
    EXPECT_EQ(c.emptied, EmptyBoxes(hwnd));  // the hidden login boxes keep their text
    reached += c.message == kRegisterFailed;
    EXPECT_EQ(reached, peer.Arrived());
    EXPECT_EQ(c.message != tooLong, static_cast<bool>(dlg->m_work->m_pPassport));  // only the length check lets go
    EXPECT_EQ(c.user, dlg->m_work->UploadUser());                                  // handed on first thing
  }
  const std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_NE(std::string::npos,
            requests[1].find("<username>" + std::string(25, 'u') + "</username><password>" + std::string(25, 'p') +
                             "</password><emailAddress>a@" + std::string(23, 'e') + "</emailAddress>"))
      << requests[1];

  const struct {
    int result;
    std::wstring message;
    std::vector<int> emptied;
  } answers[] = {
      {2, L"用户名重复!!! ", {IDC_REG_USERNAME, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {3, L"EMAIL重复!!! ", {IDC_REG_EMAIL, IDC_REG_PASSWORD, IDC_REG_CONFIRM}},
      {0, kRegisterFailed, passwords},
      {-1, kRegisterFailed, passwords},
      {7, L"失败!!! ", {}},
      {-2, L"失败!!! ", {}},
      {1, L"", {}},  // the new user counts as logged in; the whole range of the dialog's check passes
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(a.result);
    peer.SetAnswer(CreateAnswer(a.result));
    const size_t seen = boxes.Count();
    fill(L"me@example.test", a.result == 1 ? L"09AZ[\\]^_`az" : L"abcd", L"pw", L"pw");
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    ASSERT_EQ(seen + !a.message.empty(), boxes.Count());
    if (!a.message.empty()) ExpectBox(boxes.Boxes().back(), hwnd, kTip, a.message);
    EXPECT_EQ(a.emptied, EmptyBoxes(hwnd));
    EXPECT_EQ(a.result == 1, dlg->IsLoggedIn() == 1);
  }
}

TEST_F(LoginDialogTest, TheSettingsItsDeletionWritesAfterASuccess) {
  MessageBoxCapture boxes;
  Peer peer(LoginAnswer("true"));
  peer.SetResponder([](const std::string& request) {
    if (request.find("<CreateUser ") != std::string::npos) return CreateAnswer(1);
    return LoginAnswer(request.find("<username>nobody</username>") != std::string::npos ? "false" : "true");
  });
  enum Form { kLogin, kRegistration };
  const struct {
    const char* what;
    bool rememberedBefore;  // State 1 with "earlier" and "old"
    Form form;
    std::wstring user;
    bool checked, windowFirst;
    int state;
    std::wstring userName, password, uploadUser;  // decoded; `state` -1: no file at all
  } cases[] = {
      {"refused", false, kLogin, L"nobody", true, false, -1, L"", L"", L""},
      {"checked", false, kLogin, L"abc", true, false, 1, L"abc", L"pa{ss}", L"abc"},
      {"window first", false, kLogin, L"user", true, true, 1, L"user", L"pa{ss}", L"user"},
      {"unchecked", true, kLogin, L"later", false, false, 0, L"earlier", L"old", L"later"},  // earlier values stay
      // The hidden login form's name stays, with the registration's empty password.
      {"registered", true, kRegistration, L"newcomer", true, false, 1, L"earlier", L"", L"newcomer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(GetSettingsPath().c_str());
    if (c.rememberedBefore) WriteRememberedLogin(1, L"earlier", L"old");
    std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
    ASSERT_TRUE(dlg);
    const HWND hwnd = dlg->m_hWnd;
    if (c.rememberedBefore) dlg->FillLoginForm(L"earlier", L"old");
    if (c.form == kLogin) {
      TypeAll(hwnd, {{IDC_USERNAME, c.user}, {IDC_PASSWORD, L"pa{ss}"}});
      SendDlgItemMessageW(hwnd, IDC_REMEMBER, BM_SETCHECK, c.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      Press(hwnd, IDC_LOGIN);
      ASSERT_TRUE(LoginDone(*dlg->m_work));
    } else {
      Press(hwnd, IDC_SWITCH_REGISTER);
      TypeAll(hwnd, {{IDC_REG_EMAIL, L"n@e.test"},
                     {IDC_REG_USERNAME, c.user},
                     {IDC_REG_PASSWORD, L"pw"},
                     {IDC_REG_CONFIRM, L"pw"}});
      Press(hwnd, IDC_REGISTER);
      ASSERT_TRUE(RegisterDone(*dlg->m_work));
    }
    EXPECT_EQ(c.state >= 0, dlg->IsLoggedIn() == 1);
    if (c.windowFirst)
      DestroyWindow(hwnd);  // the owner's end took the window first: the values read at the press stand
    dlg.reset();
    if (c.state < 0) {
      EXPECT_FALSE(m_appData.SettingsFileExists());
      continue;
    }
    EXPECT_EQ(std::make_tuple(c.state, c.userName, c.password, c.uploadUser), Settings());
  }
  EXPECT_EQ(1u, boxes.Count());  // the refusal
}

TEST_F(LoginDialogTest, DeletionFreesEverythingAndAWorkerThatOutlivesTheDialogTouchesNothingFreed) {
  MessageBoxCapture boxes;
  for (const char* answer : {"false", "true"}) {
    SCOPED_TRACE(answer);
    Peer peer(LoginAnswer(answer), /*held=*/true);
    std::unique_ptr<CMyLoginDlg> dlg = Open(peer.Host());
    ASSERT_TRUE(dlg);
    const HWND hwnd = dlg->m_hWnd, notice = dlg->m_pNoticeDlg->m_hWnd;
    const HBITMAP bitmaps[] = {dlg->m_hLoginHover,   dlg->m_hLoginNormal,   dlg->m_hSwitchHover,
                               dlg->m_hSwitchNormal, dlg->m_hRegisterHover, dlg->m_hRegisterNormal};
    TypeAll(hwnd, {{IDC_USERNAME, L"user"}, {IDC_PASSWORD, L"secret"}});
    Press(hwnd, IDC_LOGIN);
    ASSERT_TRUE(PumpUntil([&] { return peer.Arrived() == 1; }));
    std::weak_ptr<CAccountWork> work = dlg->m_work;
    dlg.reset();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindow(notice));
    for (HBITMAP bitmap : bitmaps) EXPECT_EQ(0u, GetObjectType(bitmap));
    ASSERT_EQ(1, work.use_count());  // the worker's
    EXPECT_EQ(1, work.lock()->m_bLoggingIn);
    // The answer comes to a window that is gone; the worker ends and lets go of the work.
    peer.Release();
    ASSERT_TRUE(PumpUntil([&] { return work.expired(); }, 20000));
  }
  for (const CapturedMessageBox& box : boxes.Boxes()) EXPECT_EQ(kLoginFailed, box.text);
  EXPECT_FALSE(m_appData.SettingsFileExists());
}

TEST_F(LoginDialogTest, RegistrationAndLoginAgainstTheReferenceService) {
  const std::u16string host = TestServiceHost();
  if (host.empty()) GTEST_SKIP() << "FOTREL_TEST_SERVICE is not set";
  MessageBoxCapture boxes;
  const std::wstring user = FreshUserName(L"d");
  // Created; then the same name, then the same e-mail in other letter case: taken.
  const struct {
    std::wstring email, name, message;
  } registrations[] = {{user + L"@t.cn", user, L""},
                       {L"other" + user + L"@t.cn", user, L"用户名重复!!! "},
                       {user + L"@T.CN", user + L"2", L"EMAIL重复!!! "}};
  for (const auto& r : registrations) {
    std::unique_ptr<CMyLoginDlg> dlg = Open(host);
    ASSERT_TRUE(dlg);
    const HWND hwnd = dlg->m_hWnd;
    Press(hwnd, IDC_SWITCH_REGISTER);
    TypeAll(hwnd, {{IDC_REG_EMAIL, r.email},
                   {IDC_REG_USERNAME, r.name},
                   {IDC_REG_PASSWORD, L"Secret1"},
                   {IDC_REG_CONFIRM, L"Secret1"}});
    Press(hwnd, IDC_REGISTER);
    ASSERT_TRUE(RegisterDone(*dlg->m_work));
    EXPECT_EQ(r.message.empty(), dlg->IsLoggedIn() == 1);
    if (r.message.empty()) {
      ASSERT_EQ(0u, boxes.Count()) << Describe(boxes.Boxes()[0]);
    } else {
      ExpectBox(boxes.Boxes().back(), hwnd, kTip, r.message);
    }
  }
  ASSERT_EQ(2u, boxes.Count());
  std::unique_ptr<CMyLoginDlg> dlg = Open(host);
  ASSERT_TRUE(dlg);
  const HWND hwnd = dlg->m_hWnd;
  TypeAll(hwnd, {{IDC_USERNAME, user}, {IDC_PASSWORD, L"secret1"}});  // the password's case counts
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  ASSERT_EQ(3u, boxes.Count());
  ExpectBox(boxes.Boxes()[2], hwnd, kTip, kLoginFailed);
  EXPECT_EQ(std::vector<int>(std::begin(kAllBoxes), std::end(kAllBoxes)), EmptyBoxes(hwnd));
  TypeAll(hwnd, {{IDC_USERNAME, user}, {IDC_PASSWORD, L"Secret1"}});
  SendDlgItemMessageW(hwnd, IDC_REMEMBER, BM_SETCHECK, BST_CHECKED, 0);
  Press(hwnd, IDC_LOGIN);
  ASSERT_TRUE(LoginDone(*dlg->m_work));
  EXPECT_EQ(3u, boxes.Count());
  EXPECT_EQ(1, dlg->IsLoggedIn());
  dlg.reset();
  EXPECT_EQ(std::make_tuple(1, user, std::wstring(L"Secret1"), user), Settings());
}

}  // namespace
