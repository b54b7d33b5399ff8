// The cabin display at arrivals: the right picture, a video mode that cannot be set,
// missing or broken pictures, and memory that stays flat while the cabin rests.
#include <cstdio>
#include <fstream>
#include <string>

#include "SDL.h"
#include "lift_fixture.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; its header is not always installed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

// Bytes the process holds on its heap (on Windows: address space in use, which Wine
// accounts for faithfully).
size_t HeapInUse() {
#if defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatusEx(&status);
  return static_cast<size_t>(status.ullTotalVirtual - status.ullAvailVirtual);
#elif defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

char no_video[] = "SDL_VIDEODRIVER=no_such_video_driver";
char dummy_video[] = "SDL_VIDEODRIVER=dummy";

class Display : public LiftTest {
 protected:
  void TearDown() override {
    SDL_putenv(dummy_video);
    LiftTest::TearDown();
  }
  // Works in a folder of its own with the given picture contents (none when empty).
  void PicturesAre(const std::string& folder, const std::string& content) {
    const std::filesystem::path dir = PicturesDir().parent_path() / folder;
    std::filesystem::current_path(PicturesDir());  // Windows keeps the working folder in use
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    if (!content.empty())
      for (const char* name : IMAGENES_CABINA) std::ofstream(dir / name, std::ios::binary) << content;
    std::filesystem::current_path(dir);
  }
};

TEST_F(Display, EachFloorShowsItsOwnPictureInTheWholeWindow) {
  for (int32_t floor : {1, 2, 3}) {
    EXPECT_EQ(mostrar_cabina(floor), 0);
    SDL_Surface* screen = SDL_GetVideoSurface();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->w, 200);
    EXPECT_EQ(screen->h, 308);
    EXPECT_EQ(ShownFloor(), floor);
  }
}

// Setting the mode again at every display made SDL move, raise and redecorate the
// window at polling speed while the cabin rests; it also clears the screen.
TEST_F(Display, RepeatedDisplaysKeepTheGraphicsWindowWithoutSettingTheModeAgain) {
  PicturesAre("lift_no_pictures", "");
  ASSERT_EQ(mostrar_cabina(1), 0);
  SDL_Surface* screen = SDL_GetVideoSurface();
  ASSERT_NE(screen, nullptr);
  SDL_Rect mark{10, 220, 60, 60};
  SDL_FillRect(screen, &mark, SDL_MapRGB(screen->format, 255, 255, 255));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mostrar_cabina(1), 0);
  EXPECT_EQ(SDL_GetVideoSurface(), screen);
  EXPECT_FALSE(ScreenBlank()) << "the video mode was set again and cleared the window";
}

TEST_F(Display, AVideoSurfaceOfAnotherSizeIsReplaced) {
  ASSERT_NE(SDL_SetVideoMode(100, 100, 0, SDL_SWSURFACE), nullptr);
  EXPECT_EQ(mostrar_cabina(2), 0);
  SDL_Surface* screen = SDL_GetVideoSurface();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->w, 200);
  EXPECT_EQ(screen->h, 308);
  EXPECT_EQ(ShownFloor(), 2);
}

TEST_F(Display, NoFloorNoDisplay) {
  EXPECT_EQ(mostrar_cabina(0), 0);
  EXPECT_EQ(mostrar_cabina(4), 0);
  EXPECT_EQ(ShownFloor(), -1);
}

TEST_F(Display, VideoModeFailingAtArrivalIsPrintedAndTheMotorStillStops) {
  SDL_putenv(no_video);
  Travelling(3);
  Inputs({32});
  testing::internal::CaptureStdout();
  Pass();
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string prefix = "Error al entrar a modo grafico: ";
  ASSERT_GT(out.size(), prefix.size() + 1) << out;
  EXPECT_EQ(out.substr(0, prefix.size()), prefix);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line only: " << out;
  EXPECT_EQ(ShownFloor(), -1) << "the graphics library must be shut down";
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0}));
  EXPECT_EQ(lacabinasemueve, 0);

  // The next display starts afresh.
  SDL_putenv(dummy_video);
  testing::internal::CaptureStdout();
  Pass();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ShownFloor(), 3);
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0, 0}));
}

TEST_F(Display, MissingPictureDrawsNothingAndTheMotorStillStops) {
  PicturesAre("lift_no_pictures", "");
  Travelling(2);
  Inputs({16});
  Pass();
  EXPECT_TRUE(ScreenBlank());
  EXPECT_EQ(MotorBytes(), (std::vector<int32_t>{0}));
  EXPECT_EQ(lacabinasemueve, 0);
}

TEST_F(Display, BrokenPicturesDrawNothing) {
  for (const std::string& content :
       {std::string("not a picture"), std::string("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00", 12),
        std::string("BM") + std::string(60, '\xFF')}) {
    PicturesAre("lift_bad_pictures", content);
    EXPECT_EQ(mostrar_cabina(1), 0);
    EXPECT_TRUE(ScreenBlank());
  }
}

TEST_F(Display, MemoryStaysFlatWhileTheCabinRests) {
  constexpr int kPasses = 3000;
  Travelling(3);
  Inputs({32});
  // A first round lets the library settle its buffers and the recording driver's log
  // reach the size it needs; the reset keeps that room.
  Pass(kPasses);
  recorder_.reset();
  Inputs({32});
  const size_t before = HeapInUse();
  Pass(kPasses);
  const size_t after = HeapInUse();
  RecordProperty("heap_growth_bytes", std::to_string(static_cast<long long>(after) - static_cast<long long>(before)));
  EXPECT_EQ(ShownFloor(), 3);
  // One picture kept per display would be over 500 MB here.
  EXPECT_LT(after, before + 4 * 1024 * 1024) << "before " << before << ", after " << after;
  EXPECT_EQ(MotorBytes(), std::vector<int32_t>(kPasses, 0));
}

TEST_F(Display, MemoryStaysFlatWhileTheVideoModeKeepsFailing) {
  SDL_putenv(no_video);
  Travelling(1);
  Inputs({8});
  testing::internal::CaptureStdout();
  Pass(20);
  const size_t before = HeapInUse();
  Pass(300);
  const size_t after = HeapInUse();
  testing::internal::GetCapturedStdout();
  EXPECT_LT(after, before + 4 * 1024 * 1024) << "before " << before << ", after " << after;
}

}  // namespace
