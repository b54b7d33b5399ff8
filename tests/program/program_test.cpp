// The lift program as a whole, on the headless window backend with SDL's dummy video
// driver and the recording port driver: start-up, the buttons, the close boxes and the
// ways the program ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SDL.h"
#include "ascensor.h"
#include "posix/ui/posix_ui.h"
#include "recorder.h"
#include "sdl_switches.h"

extern char szNombreClase[];
extern WNDCLASSEXA wincl2, wincl3;
extern HWND hwnd2, hwnd3;
extern HINSTANCE hInst;

namespace {

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);
char kCommandLine[] = "";
// What WinMain returns when the test's steps ran out with the program still running.
constexpr int kStillRunning = 77;
constexpr int kIdMask = 0xFFFF;

char dummy_video[] = "SDL_VIDEODRIVER=dummy";

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Pixels of the graphics window that differ from `picture` drawn at its corner.
int PixelsUnlike(SDL_Surface* screen, SDL_Surface* picture) {
  Surface same(SDL_ConvertSurface(picture, screen->format, SDL_SWSURFACE));
  if (!same) return -1;
  const int bytes = screen->format->BytesPerPixel;
  int differ = 0;
  for (int y = 0; y < std::min(screen->h, same->h); ++y)
    for (int x = 0; x < std::min(screen->w, same->w); ++x) {
      const auto* a = static_cast<const uint8_t*>(screen->pixels) + y * screen->pitch + x * bytes;
      const auto* b = static_cast<const uint8_t*>(same->pixels) + y * same->pitch + x * bytes;
      if (std::memcmp(a, b, bytes) != 0) ++differ;
    }
  return differ;
}

int LitPixels(SDL_Surface* screen) {
  const int bytes = screen->format->BytesPerPixel;
  int lit = 0;
  for (int y = 0; y < screen->h; ++y)
    for (int x = 0; x < screen->w; ++x) {
      const auto* p = static_cast<const uint8_t*>(screen->pixels) + y * screen->pitch + x * bytes;
      for (int b = 0; b < bytes; ++b)
        if (p[b] != 0) {
          ++lit;
          break;
        }
    }
  return lit;
}

// The dummy video driver draws its own pointer into the screen.
constexpr int kPointerPixels = 16 * 16;

std::filesystem::path TestDir() {
  static const std::filesystem::path dir = std::filesystem::current_path();
  return dir;
}

class Program : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    posix_ui::force_headless();
    SDL_putenv(dummy_video);
    TestDir();
  }

  void SetUp() override {
    ASSERT_TRUE(recorder_.loaded()) << "the recording driver is not beside the test";
    std::filesystem::current_path(TestDir() / "program_with_picture");
    posix_ui::reset();
    recorder_.reset();
    motor = 0;
    dato = 0;
    lacabinasemueve = 0;
    hwnd2 = hwnd3 = nullptr;
    fail_video_mode = fail_init = false;
    SDL_Quit();
  }

  void TearDown() override {
    // A controller that had not got going when the program ended still takes its
    // stop request; let it, so that the next test's controller is not the one to.
    Sleep(20);
    posix_ui::on_idle(nullptr);
    posix_ui::reset();
    fail_video_mode = fail_init = false;
    SDL_Quit();
    std::filesystem::current_path(TestDir());
  }

  // Runs WinMain; each step runs when the message loop would wait, as a user acts
  // between messages. When the steps run out the program is ended from outside with
  // kStillRunning.
  int Run(std::vector<std::function<void()>> steps = {}) {
    size_t next = 0;
    idle_calls_ = 0;
    posix_ui::on_idle([&] {
      ++idle_calls_;
      if (next < steps.size()) {
        steps[next++]();
        posix_ui::pump();
      } else {
        PostQuitMessage(kStillRunning);
      }
    });
    return WinMain(kInstance, nullptr, kCommandLine, SW_SHOWDEFAULT);
  }

  static HWND Main() { return posix_ui::find_window("Ascensor"); }
  static HWND ButtonOf(HWND window, const char* text) { return posix_ui::find_child(window, text); }
  static void Click(HWND window, const char* text) {
    HWND button = ButtonOf(window, text);
    ASSERT_NE(button, nullptr) << text;
    ASSERT_TRUE(posix_ui::click(button)) << text << " cannot be reached";
  }
  static bool Visible(HWND window) {
    auto info = posix_ui::describe(window);
    return info && info->visible;
  }

  std::vector<int32_t> MotorBytes() const { return recorder_.writes_to(kDataPort); }

  // One for the whole run: unloading the driver between tests would lose its log
  // under the program's feet, and its memory with it.
  static Recorder& OneRecorder() {
    static Recorder* recorder = new Recorder;
    return *recorder;
  }

  Recorder& recorder_ = OneRecorder();
  int idle_calls_ = 0;
};

// --- start-up

TEST_F(Program, StartsWithTheMainWindowShownAndBothPanelsHiddenAndOwned) {
  std::vector<HWND> order;
  EXPECT_EQ(Run({[&] { order = posix_ui::windows(); }}), kStillRunning);
  ASSERT_EQ(order.size(), 12u) << "three windows with three buttons each";
  const HWND main = order[0], sin = order[4], con = order[8];
  EXPECT_EQ(hwnd2, sin);
  EXPECT_EQ(hwnd3, con);

  struct Expected {
    HWND window;
    const char* title;
    bool visible;
    HWND owner;
    std::vector<std::string> buttons;
  };
  const Expected expected[] = {
      {main, "Ascensor", true, nullptr, {"Sin Memoria", "Con Memoria", "Salir"}},
      {sin, "Sin Memoria", false, main, {"Activar", "Desactivar", "Volver"}},
      {con, "Con Memoria", false, main, {"Activar", "Desactivar", "Volver"}},
  };
  std::vector<std::string> classes;
  for (size_t w = 0; w < 3; ++w) {
    auto info = *posix_ui::describe(expected[w].window);
    SCOPED_TRACE(expected[w].title);
    EXPECT_EQ(info.text, expected[w].title);
    EXPECT_EQ(info.visible, expected[w].visible);
    EXPECT_EQ(info.owner, expected[w].owner);
    EXPECT_EQ(info.style, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(info.width, 370);
    EXPECT_EQ(info.height, 200);
    EXPECT_EQ(info.instance, kInstance);
    classes.push_back(info.class_name);
    for (int id = 1; id <= 3; ++id) {
      auto button = *posix_ui::describe(order[w * 4 + id]);
      SCOPED_TRACE(id);
      EXPECT_EQ(button.class_name, "button");
      EXPECT_EQ(button.text, expected[w].buttons[id - 1]);
      EXPECT_EQ(button.id, id);
      EXPECT_EQ(button.parent, expected[w].window);
      EXPECT_EQ(button.style, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON);
      EXPECT_EQ(button.width, 150);
      EXPECT_EQ(button.height, 40);
      const int x[] = {10, 200, 100}, y[] = {30, 30, 100};
      EXPECT_EQ(button.x, x[id - 1]);
      EXPECT_EQ(button.y, y[id - 1]);
      // Only the "Sin Memoria" panel hands its own instance to its buttons.
      EXPECT_EQ(button.instance, w == 1 ? kInstance : nullptr);
    }
  }
  EXPECT_EQ(classes[0], "Ascensor");
  EXPECT_NE(classes[1], classes[0]);
  EXPECT_NE(classes[2], classes[0]);
  EXPECT_NE(classes[1], classes[2]);
}

TEST_F(Program, OpensTheGraphicsWindowWithTheCabinAtFloorOne) {
  int unlike = -1;
  SDL_Surface* screen = nullptr;
  Uint32 flags = 0;
  Run({[&] {
    screen = SDL_GetVideoSurface();
    if (!screen) return;
    flags = screen->flags;
    Surface picture(SDL_LoadBMP("ascensor1.bmp"));
    ASSERT_TRUE(picture);
    unlike = PixelsUnlike(screen, picture.get());
    EXPECT_EQ(screen->w, 200);
    EXPECT_EQ(screen->h, 308);
  }});
  ASSERT_NE(screen, nullptr);
  EXPECT_TRUE(flags & SDL_NOFRAME);
  EXPECT_GE(unlike, 0);
  EXPECT_LE(unlike, kPointerPixels);
}

TEST_F(Program, WithoutTheFirstPictureStartsWithABlankGraphicsWindow) {
  std::filesystem::current_path(TestDir() / "program_without_picture");
  int lit = -1;
  bool main_shown = false;
  EXPECT_EQ(Run({[&] {
              if (SDL_Surface* screen = SDL_GetVideoSurface()) lit = LitPixels(screen);
              main_shown = Visible(Main());
            }}),
            kStillRunning);
  EXPECT_GE(lit, 0) << "the graphics window is open";
  EXPECT_LE(lit, kPointerPixels);
  EXPECT_TRUE(main_shown);
}

TEST_F(Program, StartsTheControllerAndStopsItBeforeReturning) {
  int reads_while_running = 0;
  EXPECT_EQ(Run({[&] {
              for (int i = 0; i < 200 && recorder_.status_reads() == 0; ++i) Sleep(5);
              reads_while_running = recorder_.status_reads();
            }}),
            kStillRunning);
  EXPECT_GT(reads_while_running, 0) << "the controller polls the board";
  const int after = recorder_.status_reads();
  Sleep(50);
  EXPECT_EQ(recorder_.status_reads(), after) << "no controller is left polling";
}

TEST_F(Program, AClassThatCannotBeRegisteredEndsItAtOnceWithZero) {
  WNDCLASSEXA taken{};
  taken.cbSize = sizeof taken;
  taken.lpfnWndProc = DefWindowProcA;
  taken.hInstance = kInstance;
  taken.lpszClassName = "Ascensor";
  ASSERT_NE(RegisterClassExA(&taken), 0);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(idle_calls_, 0) << "no message loop";
  EXPECT_TRUE(posix_ui::windows().empty());
  EXPECT_EQ(SDL_GetVideoSurface(), nullptr) << "nothing was shown";
  EXPECT_EQ(recorder_.status_reads(), 0) << "no controller";
}

TEST_F(Program, APanelClassThatCannotBeRegisteredEndsItWithZeroAfterTheMainWindow) {
  // The program registers the main class first, so take the panels' names from a
  // first run.
  Run({[] {}});
  const std::string sin_class = wincl2.lpszClassName;
  posix_ui::reset();
  SDL_Quit();
  WNDCLASSEXA taken{};
  taken.cbSize = sizeof taken;
  taken.lpfnWndProc = DefWindowProcA;
  taken.hInstance = kInstance;
  taken.lpszClassName = sin_class.c_str();
  ASSERT_NE(RegisterClassExA(&taken), 0);
  recorder_.reset();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(idle_calls_, 0);
  EXPECT_NE(Main(), nullptr);
  EXPECT_EQ(posix_ui::find_window("Sin Memoria"), nullptr);
  EXPECT_EQ(posix_ui::find_window("Con Memoria"), nullptr);
  EXPECT_EQ(recorder_.status_reads(), 0) << "no controller";
}

TEST_F(Program, AVideoSurfaceThatCannotBeOpenedAbandonsTheMainWindow) {
  fail_video_mode = true;
  testing::internal::CaptureStdout();
  const int code = Run();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 0) << "the loop ends at the quit posted by the main window's destruction";
  EXPECT_EQ(idle_calls_, 0);
  EXPECT_EQ(printed, "Error al entrar a modo grafico: no video mode in this test\n");
  EXPECT_EQ(Main(), nullptr);
  ASSERT_NE(posix_ui::describe(hwnd2), std::nullopt) << "start-up went on with the panels";
  EXPECT_EQ(posix_ui::describe(hwnd2)->owner, nullptr);
  EXPECT_EQ(posix_ui::describe(hwnd3)->owner, nullptr);
  EXPECT_FALSE(Visible(hwnd2));
  EXPECT_TRUE(MotorBytes().empty());
}

TEST_F(Program, FailingSdlInitPrintsTheReasonAndExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the death test sees standard error only
        fail_init = true;
        Run();
      },
      testing::ExitedWithCode(1), "No se pudo inicializar SDL: no SDL in this test\n");
}

TEST_F(Program, WithNoVideoAtAllBothFailuresAreReportedAndItExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SDL_putenv(const_cast<char*>("SDL_VIDEODRIVER=no_such_driver"));
        Run();
      },
      testing::ExitedWithCode(1),
      "Error al entrar a modo grafico: .*\nNo se pudo inicializar SDL: .*\n");
}

// --- the main window's buttons

TEST_F(Program, EachModeButtonShowsItsOnePanelAgainAndAgain) {
  std::vector<HWND> before;
  bool sin_only = false, both = false, again = false;
  Run({[&] {
         before = posix_ui::windows();
         Click(Main(), "Sin Memoria");
       },
       [&] {
         sin_only = Visible(hwnd2) && !Visible(hwnd3);
         Click(Main(), "Con Memoria");
       },
       [&] {
         both = Visible(hwnd2) && Visible(hwnd3);
         Click(Main(), "Sin Memoria");
         Click(Main(), "Con Memoria");
       },
       [&] { again = Visible(hwnd2) && Visible(hwnd3) && posix_ui::windows() == before; }});
  EXPECT_TRUE(sin_only);
  EXPECT_TRUE(both);
  EXPECT_TRUE(again) << "showing a shown panel makes no second one";
  EXPECT_TRUE(MotorBytes().empty());
}

TEST_F(Program, SalirWritesMotorByteZeroThenEndsTheProgram) {
  motor = MOTOR_HACIA_PISO_3;
  dato = MODO_CON_MEMORIA;
  lacabinasemueve = 1;
  EXPECT_EQ(Run({[] { Click(Main(), "Salir"); }}), 0);
  EXPECT_EQ(MotorBytes(), std::vector<int32_t>{MOTOR_PARADO});
  EXPECT_EQ(motor, MOTOR_PARADO);
  EXPECT_EQ(dato, MODO_CON_MEMORIA) << "Salir leaves the mode";
  EXPECT_EQ(lacabinasemueve, 1) << "and the travelling flag";
  EXPECT_TRUE(posix_ui::windows().empty()) << "the panels went with the main window";
}

TEST_F(Program, ClosingTheMainWindowEndsTheProgramWithoutTouchingTheMotor) {
  motor = MOTOR_HACIA_PISO_1;
  lacabinasemueve = 1;
  EXPECT_EQ(Run({[] {
              Click(Main(), "Con Memoria");
            },
            [] { ASSERT_TRUE(posix_ui::click_close_box(Main())); }}),
            0);
  EXPECT_TRUE(MotorBytes().empty()) << "a running motor keeps running";
  EXPECT_EQ(motor, MOTOR_HACIA_PISO_1);
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_TRUE(posix_ui::windows().empty());
}

TEST_F(Program, UnknownControlIdsDoNothingAndTheHighWordIsIgnored) {
  LRESULT unknown = -1, zero = -1;
  bool hidden_after_unknown = false, shown_with_high_word = false;
  Run({[&] {
         unknown = SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), 0);
         zero = SendMessageA(hwnd3, WM_COMMAND, 0, 0);
         SendMessageA(hwnd2, WM_COMMAND, MAKEWPARAM(kIdMask, 0), 0);
         hidden_after_unknown = !Visible(hwnd2) && !Visible(hwnd3) && Visible(Main());
         SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(2, 0xABCD), 0);
         shown_with_high_word = Visible(hwnd3);
       },
       [&] { SendMessageA(hwnd3, WM_COMMAND, MAKEWPARAM(1, 0xFFFF), 0); }});
  EXPECT_EQ(unknown, 0);
  EXPECT_EQ(zero, 0);
  EXPECT_TRUE(hidden_after_unknown);
  EXPECT_TRUE(shown_with_high_word);
  EXPECT_EQ(dato, MODO_CON_MEMORIA) << "Activar of the Con Memoria panel, high word and all";
  EXPECT_TRUE(MotorBytes().empty());
}

// --- the panels' buttons

struct PanelRow {
  const char* panel;
  const char* button;
  int32_t mode;
  bool stops;   // motor byte 0 written, motor and travelling flag cleared
  bool hides;
};

std::ostream& operator<<(std::ostream& out, const PanelRow& row) {
  return out << row.panel << " / " << row.button;
}

class PanelButton : public Program, public ::testing::WithParamInterface<PanelRow> {};

TEST_P(PanelButton, SetsThePanelsModeAndStopsOnlyWhenItSays) {
  const PanelRow row = GetParam();
  // Start from the other mode with the cabin under way.
  dato = 1 - row.mode;
  motor = MOTOR_HACIA_PISO_3;
  lacabinasemueve = 1;
  bool visible_after = false;
  HWND panel = nullptr;
  EXPECT_EQ(Run({[&] { Click(Main(), row.panel); },
                 [&] {
                   panel = posix_ui::find_window(row.panel);
                   Click(panel, row.button);
                 },
                 [&] { visible_after = Visible(panel); }}),
            kStillRunning)
      << "no panel button ends the program";
  EXPECT_EQ(dato, row.mode);
  if (row.stops) {
    EXPECT_EQ(MotorBytes(), std::vector<int32_t>{MOTOR_PARADO});
    EXPECT_EQ(motor, MOTOR_PARADO);
    EXPECT_EQ(lacabinasemueve, 0);
  } else {
    EXPECT_TRUE(MotorBytes().empty()) << "a trip under way goes on";
    EXPECT_EQ(motor, MOTOR_HACIA_PISO_3);
    EXPECT_EQ(lacabinasemueve, 1);
  }
  EXPECT_EQ(visible_after, !row.hides);
  EXPECT_NE(posix_ui::describe(panel), std::nullopt) << "a panel is hidden, never destroyed";
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, PanelButton,
    ::testing::Values(PanelRow{"Sin Memoria", "Activar", MODO_SIN_MEMORIA, false, false},
                      PanelRow{"Sin Memoria", "Desactivar", MODO_SIN_MEMORIA, true, false},
                      PanelRow{"Sin Memoria", "Volver", MODO_SIN_MEMORIA, true, true},
                      PanelRow{"Con Memoria", "Activar", MODO_CON_MEMORIA, false, false},
                      PanelRow{"Con Memoria", "Desactivar", MODO_CON_MEMORIA, true, false},
                      PanelRow{"Con Memoria", "Volver", MODO_CON_MEMORIA, true, true}));

TEST_F(Program, APanelsCloseBoxHidesItAndChangesNothing) {
  dato = MODO_CON_MEMORIA;
  motor = MOTOR_HACIA_PISO_1;
  lacabinasemueve = 1;
  bool hidden = false, shown_again = false;
  HWND panel_before = nullptr;
  EXPECT_EQ(Run({[&] {
                   Click(Main(), "Sin Memoria");
                   panel_before = hwnd2;
                 },
                 [&] { ASSERT_TRUE(posix_ui::click_close_box(hwnd2)); },
                 [&] {
                   hidden = !Visible(hwnd2) && Visible(Main());
                   Click(Main(), "Sin Memoria");
                 },
                 [&] { shown_again = Visible(hwnd2) && hwnd2 == panel_before; }}),
            kStillRunning);
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(shown_again);
  EXPECT_EQ(dato, MODO_CON_MEMORIA);
  EXPECT_EQ(motor, MOTOR_HACIA_PISO_1);
  EXPECT_EQ(lacabinasemueve, 1);
  EXPECT_TRUE(MotorBytes().empty());
}

TEST_F(Program, TheLastPanelPressedDecidesTheMode) {
  Run({[] {
         Click(Main(), "Sin Memoria");
         Click(Main(), "Con Memoria");
       },
       [] { Click(hwnd3, "Activar"); },
       [] { Click(hwnd2, "Desactivar"); }});
  EXPECT_EQ(dato, MODO_SIN_MEMORIA);
}

}  // namespace
