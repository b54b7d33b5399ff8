// The POSIX window model with the headless backend: classes, creation, owners,
// destruction, showing, and the message queue.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "posix/ui/posix_ui.h"
#include "win32.h"

namespace {

struct Event {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool operator==(const Event&) const = default;
};
std::vector<Event> events;
HINSTANCE seen_create_instance;
LRESULT create_result;

const HINSTANCE kProgram = reinterpret_cast<HINSTANCE>(0x400000);
const HINSTANCE kOtherModule = reinterpret_cast<HINSTANCE>(0x500000);

// Records what it is sent; WM_CREATE answers create_result, the rest go to the default.
LRESULT CALLBACK Recording(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE || message == WM_DESTROY || message == WM_CLOSE ||
      message == WM_COMMAND || message == WM_USER)
    events.push_back({window, message, wparam, message == WM_CREATE ? 0 : lparam});
  if (message == WM_CREATE) {
    seen_create_instance = reinterpret_cast<CREATESTRUCTA*>(lparam)->hInstance;
    return create_result;
  }
  if (message == WM_USER) return static_cast<LRESULT>(wparam) * 2;
  return DefWindowProcA(window, message, wparam, lparam);
}

// Hides instead of closing, as a panel does.
LRESULT CALLBACK Hiding(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    ShowWindow(window, SW_HIDE);
    return 0;
  }
  return Recording(window, message, wparam, lparam);
}

WNDCLASSEXA Class(const char* name, WNDPROC proc = Recording, HINSTANCE instance = kProgram) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.style = CS_DBLCLKS;
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BACKGROUND);
  c.lpszClassName = name;
  return c;
}

HWND TopLevel(const char* class_name, const char* title, HWND owner = nullptr) {
  return CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         370, 200, owner, nullptr, kProgram, nullptr);
}

HWND Button(HWND parent, int id, const char* text, HINSTANCE instance = nullptr) {
  return CreateWindowExA(0, "button", text, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 10, 30, 150,
                         40, parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), instance,
                         nullptr);
}

class Windows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { posix_ui::force_headless(); }
  void SetUp() override {
    posix_ui::reset();
    events.clear();
    create_result = 0;
    seen_create_instance = nullptr;
    for (const char* name : {"Main", "Panel", "Child"}) {
      WNDCLASSEXA c = Class(name, std::string(name) == "Panel" ? Hiding : Recording);
      ASSERT_NE(RegisterClassExA(&c), 0);
    }
  }
  void TearDown() override { posix_ui::reset(); }

  std::vector<UINT> MessagesOf(HWND window) {
    std::vector<UINT> out;
    for (const Event& e : events)
      if (e.window == window) out.push_back(e.message);
    return out;
  }
};

TEST_F(Windows, UsesTheHeadlessBackendWhenForced) { EXPECT_FALSE(posix_ui::uses_display()); }

// --- classes

TEST_F(Windows, ASecondClassOfTheSameNameFailsWhateverItsCase) {
  WNDCLASSEXA again = Class("Main");
  EXPECT_EQ(RegisterClassExA(&again), 0);
  WNDCLASSEXA shouted = Class("MAIN");
  EXPECT_EQ(RegisterClassExA(&shouted), 0);
  WNDCLASSEXA elsewhere = Class("Main", Recording, kOtherModule);
  EXPECT_NE(RegisterClassExA(&elsewhere), 0) << "class names are per module";
}

TEST_F(Windows, BadClassRecordsAreRefused) {
  EXPECT_EQ(RegisterClassExA(nullptr), 0);
  WNDCLASSEXA c = Class("Fresh");
  c.cbSize = sizeof c - 4;
  EXPECT_EQ(RegisterClassExA(&c), 0);
  c = Class("Fresh", nullptr);
  EXPECT_EQ(RegisterClassExA(&c), 0);
  c = Class("");
  EXPECT_EQ(RegisterClassExA(&c), 0);
  c = Class(nullptr);
  EXPECT_EQ(RegisterClassExA(&c), 0);
  c = Class("Fresh");
  EXPECT_NE(RegisterClassExA(&c), 0) << "none of the refusals registered it";
}

TEST_F(Windows, TheAtomOfAClassNamesItForCreation) {
  WNDCLASSEXA c = Class("ByAtom");
  const ATOM atom = RegisterClassExA(&c);
  ASSERT_NE(atom, 0);
  HWND w = CreateWindowExA(0, MAKEINTRESOURCEA(atom), "t", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                           nullptr, nullptr, kProgram, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(posix_ui::describe(w)->class_name, "ByAtom");
}

TEST_F(Windows, StockIconsAndCursorsComeOnlyFromTheSystem) {
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), LoadIconA(nullptr, IDI_ERROR));
  EXPECT_EQ(LoadIconA(kProgram, IDI_APPLICATION), nullptr) << "the program has no resources";
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, "arrow"), nullptr);
}

// --- creation

TEST_F(Windows, CreateSendsWmCreateBeforeReturningWithTheCreatorsInstance) {
  HWND w = CreateWindowExA(0, "Main", "Title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           370, 200, nullptr, nullptr, kProgram, nullptr);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (Event{w, WM_CREATE, 0, 0}));
  EXPECT_EQ(seen_create_instance, kProgram);
  auto info = posix_ui::describe(w);
  EXPECT_EQ(info->text, "Title");
  EXPECT_EQ(info->width, 370);
  EXPECT_EQ(info->height, 200);
  EXPECT_FALSE(info->visible) << "no WS_VISIBLE, so created hidden";
}

LRESULT CALLBACK MakesButtonsOnCreate(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    Button(window, 1, "One", create->hInstance);
    CreateWindowExA(0, "BUTTON", "Two", WS_CHILD | WS_VISIBLE, 200, 30, 150, 40, window,
                    reinterpret_cast<HMENU>(2), nullptr, nullptr);
    return create_result;
  }
  return Recording(window, message, wparam, lparam);
}

TEST_F(Windows, ButtonsMadeDuringCreationBelongToTheNewWindow) {
  WNDCLASSEXA c = Class("WithButtons", MakesButtonsOnCreate);
  ASSERT_NE(RegisterClassExA(&c), 0);
  HWND w = TopLevel("WithButtons", "W");
  ASSERT_NE(w, nullptr);
  HWND one = posix_ui::find_child(w, "One");
  HWND two = posix_ui::find_child(w, "Two");
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);
  auto info = posix_ui::describe(two);
  EXPECT_EQ(info->parent, w);
  EXPECT_EQ(info->id, 2);
  EXPECT_EQ(info->x, 200);
  EXPECT_EQ(info->y, 30);
  EXPECT_EQ(info->width, 150);
  EXPECT_EQ(info->height, 40);
  EXPECT_EQ(posix_ui::describe(one)->instance, kProgram);
  EXPECT_EQ(posix_ui::windows(), (std::vector<HWND>{w, one, two}));
}

TEST_F(Windows, MinusOneFromWmCreateAbandonsTheWindowAfterItsWmDestroy) {
  WNDCLASSEXA c = Class("WithButtons", MakesButtonsOnCreate);
  ASSERT_NE(RegisterClassExA(&c), 0);
  create_result = -1;
  EXPECT_EQ(TopLevel("WithButtons", "W"), nullptr);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].message, WM_DESTROY);
  EXPECT_TRUE(posix_ui::windows().empty()) << "its buttons went with it";
  EXPECT_FALSE(DestroyWindow(events[0].window)) << "the handle no longer names a window";
}

TEST_F(Windows, OtherResultsOfWmCreateKeepTheWindow) {
  create_result = 1;
  EXPECT_NE(TopLevel("Main", "W"), nullptr);
  create_result = -2;
  EXPECT_NE(TopLevel("Main", "W"), nullptr);
}

TEST_F(Windows, CreationFailsForUnknownClassesAndMissingParents) {
  EXPECT_EQ(TopLevel("Unregistered", "x"), nullptr);
  EXPECT_EQ(TopLevel(nullptr, "x"), nullptr);
  EXPECT_EQ(Button(nullptr, 1, "orphan"), nullptr) << "a child needs a parent";
  HWND gone = TopLevel("Main", "gone");
  DestroyWindow(gone);
  EXPECT_EQ(Button(gone, 1, "late"), nullptr);
  EXPECT_EQ(TopLevel("Main", "owned by nothing", gone), nullptr);
  EXPECT_TRUE(events.size() == 2) << "only the window that existed was created and destroyed";
}

TEST_F(Windows, AParentWithoutWsChildIsAnOwnerAndTheOwnerIsTopLevel) {
  HWND owner = TopLevel("Main", "owner");
  HWND button = Button(owner, 1, "b");
  HWND owned = TopLevel("Panel", "owned", owner);
  HWND via_button = TopLevel("Panel", "via button", button);
  EXPECT_EQ(posix_ui::describe(owned)->owner, owner);
  EXPECT_EQ(posix_ui::describe(owned)->parent, nullptr);
  EXPECT_EQ(posix_ui::describe(via_button)->owner, owner);
  EXPECT_EQ(posix_ui::find_child(owner, "owned"), nullptr) << "owned windows are not children";
}

TEST_F(Windows, DefaultPositionsDoNotPileUp) {
  HWND a = TopLevel("Main", "a");
  HWND b = TopLevel("Main", "b");
  EXPECT_NE(posix_ui::describe(a)->x, posix_ui::describe(b)->x);
}

// --- destruction

TEST_F(Windows, DestroyingAnOwnerDestroysItsOwnedWindowsFirst) {
  HWND owner = TopLevel("Main", "owner");
  HWND child = CreateWindowExA(0, "Child", "c", WS_CHILD, 0, 0, 5, 5, owner, nullptr, kProgram,
                               nullptr);
  HWND first = TopLevel("Panel", "first", owner);
  HWND second = TopLevel("Panel", "second", owner);
  HWND grandchild_owned = TopLevel("Panel", "by first", first);
  HWND unrelated = TopLevel("Main", "unrelated");
  events.clear();

  ASSERT_TRUE(DestroyWindow(owner));
  std::vector<HWND> order;
  for (const Event& e : events) {
    EXPECT_EQ(e.message, WM_DESTROY);
    order.push_back(e.window);
  }
  EXPECT_EQ(order, (std::vector<HWND>{grandchild_owned, first, second, owner, child}));
  EXPECT_EQ(posix_ui::windows(), (std::vector<HWND>{unrelated}));
}

TEST_F(Windows, WmCloseDestroysThroughTheDefaultUnlessHandled) {
  HWND owner = TopLevel("Main", "owner");
  HWND panel = TopLevel("Panel", "panel", owner);
  ShowWindow(panel, SW_SHOWNORMAL);
  EXPECT_EQ(SendMessageA(panel, WM_CLOSE, 0, 0), 0);
  ASSERT_TRUE(posix_ui::describe(panel).has_value()) << "the panel hides instead";
  EXPECT_FALSE(posix_ui::describe(panel)->visible);
  SendMessageA(owner, WM_CLOSE, 0, 0);
  EXPECT_FALSE(posix_ui::describe(owner).has_value());
  EXPECT_FALSE(posix_ui::describe(panel).has_value()) << "destroyed with its owner";
}

LRESULT CALLBACK DestroysItselfAgain(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) DestroyWindow(window);
  return Recording(window, message, wparam, lparam);
}

TEST_F(Windows, DestroyingFromWmDestroyDoesNotDestroyTwice) {
  WNDCLASSEXA c = Class("Reentrant", DestroysItselfAgain);
  ASSERT_NE(RegisterClassExA(&c), 0);
  HWND w = TopLevel("Reentrant", "r");
  events.clear();
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_DESTROY}));
}

TEST_F(Windows, StaleHandlesAreHarmless) {
  HWND w = TopLevel("Main", "w");
  DestroyWindow(w);
  events.clear();
  EXPECT_FALSE(DestroyWindow(w));
  EXPECT_FALSE(ShowWindow(w, SW_SHOWNORMAL));
  EXPECT_EQ(SendMessageA(w, WM_USER, 1, 0), 0);
  EXPECT_FALSE(posix_ui::click_close_box(w));
  MSG stale{w, WM_USER, 1, 0, 0, {0, 0}};
  EXPECT_EQ(DispatchMessageA(&stale), 0);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(DispatchMessageA(nullptr), 0);
}

// --- showing

TEST_F(Windows, ShowWindowHidesShowsAndReportsThePreviousState) {
  HWND w = TopLevel("Main", "w");
  EXPECT_FALSE(ShowWindow(w, SW_SHOWNORMAL)) << "it was hidden";
  EXPECT_TRUE(posix_ui::describe(w)->visible);
  EXPECT_TRUE(ShowWindow(w, SW_SHOWNORMAL)) << "showing again keeps the one window";
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));
  EXPECT_FALSE(posix_ui::describe(w)->visible);
  EXPECT_FALSE(ShowWindow(w, SW_HIDE));
  EXPECT_FALSE(ShowWindow(w, SW_SHOWDEFAULT));
  EXPECT_TRUE(posix_ui::describe(w)->visible);
}

TEST_F(Windows, ShowNormalRestoresAMinimizedWindow) {
  HWND w = TopLevel("Main", "w");
  ShowWindow(w, SW_MINIMIZE);
  EXPECT_TRUE(posix_ui::describe(w)->minimized);
  ShowWindow(w, SW_SHOW);
  EXPECT_TRUE(posix_ui::describe(w)->minimized) << "SW_SHOW keeps the window as it was";
  ShowWindow(w, SW_SHOWNORMAL);
  EXPECT_FALSE(posix_ui::describe(w)->minimized);
  EXPECT_TRUE(ShowWindow(w, 99)) << "an unknown command changes nothing";
  EXPECT_TRUE(posix_ui::describe(w)->visible);
}

TEST_F(Windows, WsVisibleShowsAtCreation) {
  HWND w = CreateWindowExA(0, "Main", "v", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 10, 10,
                           nullptr, nullptr, kProgram, nullptr);
  EXPECT_TRUE(posix_ui::describe(w)->visible);
}

// --- messages

TEST_F(Windows, AClickSendsWmCommandWithTheIdAndBnClickedToTheParent) {
  HWND w = TopLevel("Main", "w");
  HWND b = Button(w, 7, "Press");
  ShowWindow(w, SW_SHOWNORMAL);
  events.clear();
  ASSERT_TRUE(posix_ui::click(b));
  EXPECT_TRUE(events.empty()) << "a click is queued, not sent";
  MSG m;
  ASSERT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.hwnd, b);
  TranslateMessage(&m);
  DispatchMessageA(&m);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (Event{w, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), reinterpret_cast<LPARAM>(b)}));
}

TEST_F(Windows, NoClickReachesAButtonOfAHiddenWindow) {
  HWND w = TopLevel("Main", "w");
  HWND b = Button(w, 1, "Press");
  events.clear();
  EXPECT_FALSE(posix_ui::click(b));
  ShowWindow(w, SW_SHOWNORMAL);
  ShowWindow(b, SW_HIDE);
  EXPECT_FALSE(posix_ui::click(b));
  ShowWindow(b, SW_SHOW);
  ShowWindow(w, SW_MINIMIZE);
  EXPECT_FALSE(posix_ui::click(b));
  EXPECT_FALSE(posix_ui::click(w)) << "a window is no button";
  EXPECT_EQ(posix_ui::pump(), 0);
  EXPECT_TRUE(events.empty());
}

TEST_F(Windows, TheCloseBoxSendsWmCloseThroughTheWindowsProcedure) {
  HWND owner = TopLevel("Main", "owner");
  HWND panel = TopLevel("Panel", "panel", owner);
  ShowWindow(owner, SW_SHOWNORMAL);
  ShowWindow(panel, SW_SHOWNORMAL);
  events.clear();
  ASSERT_TRUE(posix_ui::click_close_box(panel));
  EXPECT_EQ(posix_ui::pump(), 1);
  EXPECT_FALSE(posix_ui::describe(panel)->visible);
  EXPECT_FALSE(posix_ui::click_close_box(panel)) << "a hidden window shows no close box";
  ASSERT_TRUE(posix_ui::click_close_box(owner));
  posix_ui::pump();
  EXPECT_EQ(MessagesOf(owner), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
  EXPECT_TRUE(posix_ui::windows().empty());
}

TEST_F(Windows, TheQuitRequestComesAfterWhatWasPostedBeforeIt) {
  HWND w = TopLevel("Main", "w");
  HWND b = Button(w, 3, "b");
  ShowWindow(w, SW_SHOWNORMAL);
  PostQuitMessage(5);
  ASSERT_TRUE(posix_ui::click(b));
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, BM_CLICK);
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_FALSE(posix_ui::pending_quit().has_value()) << "taken by GetMessageA";
}

TEST_F(Windows, PeekMessageLooksOrTakesWithoutWaiting) {
  HWND w = TopLevel("Main", "w");
  HWND b = Button(w, 3, "b");
  ShowWindow(w, SW_SHOWNORMAL);
  MSG m{};
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "an empty queue";
  ASSERT_TRUE(posix_ui::click(b));
  PostQuitMessage(4);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, BM_CLICK);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "still there after a look";
  EXPECT_EQ(m.message, BM_CLICK);
  EXPECT_EQ(m.hwnd, b);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_TRUE(posix_ui::pending_quit().has_value()) << "a look leaves the quit request";
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 4u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Windows, TheLastQuitCodeWins) {
  PostQuitMessage(1);
  PostQuitMessage(0);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 0u);
}

TEST_F(Windows, AQuitRequestBelongsToTheThreadThatPostedIt) {
  std::thread([] { PostQuitMessage(9); }).join();
  EXPECT_FALSE(posix_ui::pending_quit().has_value());
}

TEST_F(Windows, GetMessageWaitsForAnotherThreadsClick) {
  HWND w = TopLevel("Main", "w");
  HWND b = Button(w, 4, "b");
  ShowWindow(w, SW_SHOWNORMAL);
  events.clear();
  std::thread clicker([b] {
    Sleep(50);
    posix_ui::click(b);
  });
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  clicker.join();
  DispatchMessageA(&m);
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_COMMAND}));
}

TEST_F(Windows, TheIdleHookRunsInsteadOfWaiting) {
  int calls = 0;
  posix_ui::on_idle([&] {
    if (++calls == 3) PostQuitMessage(2);
  });
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(calls, 3);
  posix_ui::on_idle(nullptr);
}

TEST_F(Windows, GetMessageRefusesBadArguments) {
  MSG m;
  EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
  HWND w = TopLevel("Main", "w");
  DestroyWindow(w);
  EXPECT_EQ(GetMessageA(&m, w, 0, 0), -1);
}

TEST_F(Windows, SendMessageReturnsTheProceduresResult) {
  HWND w = TopLevel("Main", "w");
  EXPECT_EQ(SendMessageA(w, WM_USER, 21, 0), 42);
}

// --- message boxes

TEST(MessageBox, WithoutADisplayPrintsCaptionAndTextAndAnswersOk) {
  posix_ui::force_headless();
  testing::internal::CaptureStderr();
  int answer = 0;
  std::thread([&] { answer = MessageBoxA(nullptr, "Error al crear el hilo", "Welcome Message",
                                         MB_OKCANCEL); }).join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("Welcome Message"), std::string::npos);
  EXPECT_NE(printed.find("Error al crear el hilo"), std::string::npos);
}

}  // namespace
