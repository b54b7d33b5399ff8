#include "lift_fixture.h"

#include <cstring>
#include <memory>

#include "SDL.h"

std::vector<PauseEvent> pauses;
void (*on_pause)(DWORD) = nullptr;

namespace {

Recorder* active_recorder = nullptr;

// SDL reads its driver when video starts; the dummy one needs no display.
char dummy_video[] = "SDL_VIDEODRIVER=dummy";

class DummyVideo : public ::testing::Environment {
 public:
  void SetUp() override { SDL_putenv(dummy_video); }
  void TearDown() override { SDL_Quit(); }
};
const auto* const dummy_video_environment = ::testing::AddGlobalTestEnvironment(new DummyVideo);

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

bool SamePixels(SDL_Surface* a, SDL_Surface* b) {
  if (a->w != b->w || a->h != b->h || a->format->BytesPerPixel != b->format->BytesPerPixel)
    return false;
  const size_t row = static_cast<size_t>(a->w) * a->format->BytesPerPixel;
  for (int y = 0; y < a->h; ++y) {
    const auto* ra = static_cast<const uint8_t*>(a->pixels) + static_cast<size_t>(y) * a->pitch;
    const auto* rb = static_cast<const uint8_t*>(b->pixels) + static_cast<size_t>(y) * b->pitch;
    if (std::memcmp(ra, rb, row) != 0) return false;
  }
  return true;
}

}  // namespace

void ScriptStatus(int32_t control, const std::vector<uint8_t>& bytes) {
  using Script = void (*)(int32_t, const uint8_t*, int32_t);
  static const Script script = reinterpret_cast<Script>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("io"), "rec_script_status")));
  ASSERT_NE(script, nullptr);
  script(control, bytes.data(), static_cast<int32_t>(bytes.size()));
}

uint8_t StatusFor(int32_t group) {
  return static_cast<uint8_t>(((~group & 0x0F) << 3) | 0x87);
}

void WINAPI RecordPause(DWORD milliseconds) {
  const int32_t accesses = active_recorder ? static_cast<int32_t>(active_recorder->log().size()) : 0;
  pauses.push_back({milliseconds, accesses});
  if (on_pause) on_pause(milliseconds);
}

int32_t ShownFloor() {
  SDL_Surface* screen = SDL_GetVideoSurface();
  if (screen == nullptr) return -1;
  for (int32_t floor = 1; floor <= 3; ++floor) {
    const std::string name = (PicturesDir() / IMAGENES_CABINA[floor - 1]).string();
    Surface picture(SDL_LoadBMP(name.c_str()));
    if (!picture) continue;
    Surface converted(SDL_ConvertSurface(picture.get(), screen->format, SDL_SWSURFACE));
    if (converted && SamePixels(converted.get(), screen)) return floor;
  }
  return 0;
}

bool ScreenBlank() {
  SDL_Surface* screen = SDL_GetVideoSurface();
  if (screen == nullptr) return false;
  // SDL draws its own pointer into a software screen: allow that much.
  constexpr int kPointerPixels = 16 * 16;
  const int bytes = screen->format->BytesPerPixel;
  int lit = 0;
  for (int y = 0; y < screen->h; ++y) {
    const auto* r = static_cast<const uint8_t*>(screen->pixels) + static_cast<size_t>(y) * screen->pitch;
    for (int x = 0; x < screen->w; ++x)
      for (int b = 0; b < bytes; ++b)
        if (r[x * bytes + b] != 0) {
          ++lit;
          break;
        }
  }
  return lit <= kPointerPixels;
}

void CloseGraphics() { SDL_Quit(); }

std::filesystem::path PicturesDir() {
  static const std::filesystem::path dir = std::filesystem::current_path() / "lift_pictures";
  return dir;
}

void LiftTest::SetUp() {
  ASSERT_TRUE(recorder_.loaded()) << "the recording driver is not beside the test";
  std::filesystem::current_path(PicturesDir());
  recorder_.reset();
  active_recorder = &recorder_;
  pauses.clear();
  on_pause = nullptr;
  pausa = RecordPause;
  motor = 0;
  dato = 0;
  lacabinasemueve = 0;
  SDL_Quit();  // no graphics window until a display opens one
}

void LiftTest::TearDown() {
  while (!EstaVacia(primero_)) Borrar(&primero_, &ultimo_);
  pausa = Sleep;
  on_pause = nullptr;
  active_recorder = nullptr;
  SDL_Quit();
  std::filesystem::current_path(PicturesDir().parent_path());
}

void LiftTest::Inputs(std::initializer_list<int32_t> bytes) {
  std::vector<uint8_t> low, high;
  for (int32_t b : bytes) {
    low.push_back(StatusFor(b & 0x0F));
    high.push_back(StatusFor((b >> 4) & 0x0F));
  }
  // The controller reads inputs 1..4 under control 3 and inputs 5..8 under control 1.
  ScriptStatus(3, low);
  ScriptStatus(1, high);
}

void LiftTest::Pass(int times) {
  for (int i = 0; i < times; ++i) Comprobar_Pasada(&destino_, &primero_, &ultimo_);
}

std::vector<int32_t> LiftTest::QueuedFloors() const {
  std::vector<int32_t> out;
  for (Cola* n = primero_; n != nullptr; n = n->siguiente) out.push_back(n->piso);
  return out;
}

void LiftTest::Travelling(int32_t floor) {
  destino_ = floor;
  lacabinasemueve = 1;
}

void LiftTest::AtRest(int32_t floor) {
  destino_ = floor;
  lacabinasemueve = 0;
}
