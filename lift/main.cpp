// The lift program's start-up and windows: the main window with its graphics window,
// the two mode panels, the controller thread and the message loop. The buttons only
// choose the mode and stop the motor; moving the cabin is the controller's.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SDL.h"
#include "ascensor.h"
#include "win32.h"

// Windows: every one the same size, at the system's default position.
constexpr int ANCHO_VENTANA = 370;
constexpr int ALTO_VENTANA = 200;
constexpr const char* TITULO_PRINCIPAL = "Ascensor";
constexpr const char* TITULO_SIN_MEMORIA = "Sin Memoria";
constexpr const char* TITULO_CON_MEMORIA = "Con Memoria";
constexpr const char* CLASE_SIN_MEMORIA = "AscensorSinMemoria";
constexpr const char* CLASE_CON_MEMORIA = "AscensorConMemoria";

// Buttons: control ids 1..3, in the client area of their window.
constexpr int BOTONES_POR_VENTANA = 3;
constexpr int ANCHO_BOTON = 150;
constexpr int ALTO_BOTON = 40;
constexpr int X_BOTON[BOTONES_POR_VENTANA] = {10, 200, 100};
constexpr int Y_BOTON[BOTONES_POR_VENTANA] = {30, 30, 100};
constexpr const char* CLASE_BOTON = "button";
constexpr DWORD ESTILO_BOTON = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;

constexpr int BOTON_SIN_MEMORIA = 1;
constexpr int BOTON_CON_MEMORIA = 2;
constexpr int BOTON_SALIR = 3;
// The main window's first two buttons carry the titles of the panels they show.
constexpr const char* TEXTOS_PRINCIPAL[BOTONES_POR_VENTANA] = {TITULO_SIN_MEMORIA,
                                                               TITULO_CON_MEMORIA, "Salir"};
constexpr int BOTON_ACTIVAR = 1;
constexpr int BOTON_DESACTIVAR = 2;
constexpr int BOTON_VOLVER = 3;
constexpr const char* TEXTOS_PANEL[BOTONES_POR_VENTANA] = {"Activar", "Desactivar", "Volver"};

// The only arguments it takes; anything else is ignored, as it always was.
constexpr const char* TEXTO_AYUDA =
    "usage: elevmando [--help | --version]\n"
    "\n"
    "The lift program. It reads the cabin pictures ascensor1.bmp, ascensor2.bmp and\n"
    "ascensor3.bmp from the working directory and drives the board through the port\n"
    "driver io (on Linux chosen by LD_LIBRARY_PATH; the simulated board by default).\n"
    "\n"
    "Options:\n"
    "  --help                  this text\n"
    "  --version               the version\n";

// Start-up failures.
constexpr const char* TEXTO_ERROR_SDL = "No se pudo inicializar SDL: %s\n";
constexpr const char* TEXTO_ERROR_HILO = "Error al crear el hilo";
constexpr const char* TITULO_ERROR_HILO = "Welcome Message";
constexpr int SALIDA_ERROR_SDL = 1;
constexpr int SALIDA_ERROR_HILO = 0;
constexpr int SALIDA_SIN_CLASE = 0;
constexpr LRESULT CREACION_ABANDONADA = -1;

// How long the end of the program waits for the controller to finish its pass (a
// pass may hold the 100 ms and 1000 ms pauses), and how often it serves its messages
// meanwhile.
constexpr DWORD ESPERA_FIN_CONTROLADOR = 2000;
constexpr DWORD PASO_ESPERA_FIN = 10;

char szNombreClase[] = "Ascensor";
WNDCLASSEXA wincl2;
WNDCLASSEXA wincl3;
HWND hwnd2;
HWND hwnd3;
HINSTANCE hInst;  // never assigned: the buttons that take it get the null instance
HWND ventana_principal;

LRESULT CALLBACK WindowProcedure(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK WindowProcedureSinMemo(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK WindowProcedureConMemo(HWND, UINT, WPARAM, LPARAM);

static void llenar_clase(WNDCLASSEXA* clase, const char* nombre, WNDPROC procedimiento,
                         HINSTANCE instancia) {
  clase->cbSize = sizeof(WNDCLASSEXA);
  clase->style = CS_DBLCLKS;
  clase->lpfnWndProc = procedimiento;
  clase->cbClsExtra = 0;
  clase->cbWndExtra = 0;
  clase->hInstance = instancia;
  clase->hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  clase->hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
  clase->hCursor = LoadCursorA(nullptr, IDC_ARROW);
  clase->hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BACKGROUND));
  clase->lpszMenuName = nullptr;
  clase->lpszClassName = nombre;
}

static HWND crear_ventana(const char* clase, const char* titulo, HWND propietaria,
                          HINSTANCE instancia) {
  return CreateWindowExA(0, clase, titulo, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         ANCHO_VENTANA, ALTO_VENTANA, propietaria, nullptr, instancia, nullptr);
}

static void crear_botones(HWND ventana, HINSTANCE instancia,
                          const char* const textos[BOTONES_POR_VENTANA]) {
  for (int i = 0; i < BOTONES_POR_VENTANA; ++i) {
    const intptr_t id = i + 1;
    CreateWindowExA(0, CLASE_BOTON, textos[i], ESTILO_BOTON, X_BOTON[i], Y_BOTON[i], ANCHO_BOTON,
                    ALTO_BOTON, ventana, reinterpret_cast<HMENU>(id), instancia, nullptr);
  }
}

// Stops the motor from the windows: motor byte 0 to the board.
static void parar_motor() {
  motor = MOTOR_PARADO;
  encender(motor);
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      crear_botones(hwnd, hInst, TEXTOS_PRINCIPAL);
      // The graphics window opens here, showing the cabin at floor 1.
      return mostrar_cabina(PISO_BAJO) == 0 ? 0 : CREACION_ABANDONADA;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case BOTON_SIN_MEMORIA:
          ShowWindow(hwnd2, SW_SHOWNORMAL);
          break;
        case BOTON_CON_MEMORIA:
          ShowWindow(hwnd3, SW_SHOWNORMAL);
          break;
        case BOTON_SALIR:
          parar_motor();
          SendMessageA(hwnd, WM_CLOSE, 0, 0);
          break;
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

// Every button of a panel writes that panel's mode; the two stop buttons also stop
// the motor, and "Volver" then hides the panel.
static void accion_panel(HWND panel, int boton, int32_t modo) {
  switch (boton) {
    case BOTON_ACTIVAR:
      dato = modo;
      break;
    case BOTON_DESACTIVAR:
    case BOTON_VOLVER:
      motor = MOTOR_PARADO;
      dato = modo;
      lacabinasemueve = 0;
      encender(motor);
      if (boton == BOTON_VOLVER) SendMessageA(panel, WM_CLOSE, 0, 0);
      break;
  }
}

static LRESULT procedimiento_panel(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   int32_t modo, HINSTANCE instancia_botones) {
  switch (message) {
    case WM_CREATE:
      crear_botones(hwnd, instancia_botones, TEXTOS_PANEL);
      return 0;
    case WM_COMMAND:
      accion_panel(hwnd, LOWORD(wParam), modo);
      return 0;
    case WM_CLOSE:
      // A panel is only ever hidden while the main window lives.
      ShowWindow(hwnd, SW_HIDE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

LRESULT CALLBACK WindowProcedureSinMemo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Its buttons take the instance from the panel's creation record.
  HINSTANCE instancia = message == WM_CREATE
                            ? reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance
                            : nullptr;
  return procedimiento_panel(hwnd, message, wParam, lParam, MODO_SIN_MEMORIA, instancia);
}

LRESULT CALLBACK WindowProcedureConMemo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return procedimiento_panel(hwnd, message, wParam, lParam, MODO_CON_MEMORIA, hInst);
}

// Waits for the controller thread to end while serving this thread's messages: on
// Windows the graphics library's calls on the controller can send messages to the
// graphics window, which this thread owns, and would wait for ever for a thread that
// only waits. True when it ended in time.
static bool esperar_controlador(HANDLE hilo) {
  for (DWORD esperado = 0; esperado < ESPERA_FIN_CONTROLADOR; esperado += PASO_ESPERA_FIN) {
    if (WaitForSingleObject(hilo, PASO_ESPERA_FIN) == WAIT_OBJECT_0) return true;
    MSG mensaje;
    while (PeekMessageA(&mensaje, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&mensaje);
      DispatchMessageA(&mensaje);
    }
  }
  return WaitForSingleObject(hilo, 0) == WAIT_OBJECT_0;
}

// A stop request from the console or, on Linux, a stop signal: ends the program as
// "Salir" does, motor stopped first, on the window's own thread.
static BOOL WINAPI al_pedir_fin(DWORD) {
  return PostMessageA(ventana_principal, WM_COMMAND, BOTON_SALIR, 0) ? TRUE : FALSE;
}

int WINAPI WinMain(HINSTANCE hThisInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow) {
  const bool ayuda = std::strcmp(lpCmdLine, "--help") == 0;
  if (ayuda || std::strcmp(lpCmdLine, "--version") == 0) {
    std::fputs(ayuda ? TEXTO_AYUDA : "elevmando " PLACAIO_VERSION "\n", stdout);
    return 0;
  }
  WNDCLASSEXA wincl;
  llenar_clase(&wincl, szNombreClase, WindowProcedure, hThisInstance);
  llenar_clase(&wincl2, CLASE_SIN_MEMORIA, WindowProcedureSinMemo, hThisInstance);
  llenar_clase(&wincl3, CLASE_CON_MEMORIA, WindowProcedureConMemo, hThisInstance);

  if (!RegisterClassExA(&wincl)) return SALIDA_SIN_CLASE;
  // Its creation opens the graphics window; a failure there leaves it null, and the
  // panels are then made without an owner.
  HWND hwnd = crear_ventana(szNombreClase, TITULO_PRINCIPAL, nullptr, hThisInstance);
  ventana_principal = hwnd;
  if (hwnd) SetConsoleCtrlHandler(al_pedir_fin, TRUE);

  if (!RegisterClassExA(&wincl2)) return SALIDA_SIN_CLASE;
  hwnd2 = crear_ventana(CLASE_SIN_MEMORIA, TITULO_SIN_MEMORIA, hwnd, hThisInstance);
  if (!RegisterClassExA(&wincl3)) return SALIDA_SIN_CLASE;
  hwnd3 = crear_ventana(CLASE_CON_MEMORIA, TITULO_CON_MEMORIA, hwnd, hThisInstance);

  ShowWindow(hwnd, nCmdShow);

  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    std::printf(TEXTO_ERROR_SDL, SDL_GetError());
    std::exit(SALIDA_ERROR_SDL);
  }

  HANDLE hilo = CreateThread(nullptr, 0, Comprobar_Sensor, nullptr, 0, nullptr);
  if (hilo == nullptr) {
    MessageBoxA(nullptr, TEXTO_ERROR_HILO, TITULO_ERROR_HILO, MB_OKCANCEL);
    std::exit(SALIDA_ERROR_HILO);
  }

  MSG messages{};
  // GetMessageA gives -1 on failure; that must end the loop rather than spin on it.
  while (GetMessageA(&messages, nullptr, 0, 0) > 0) {
    TranslateMessage(&messages);
    DispatchMessageA(&messages);
  }

  // The controller may be drawing: the library goes only once it has stopped. One
  // that does not stop in time (a message box open) ends with the process, and the
  // process end closes the graphics window.
  pedir_parada_controlador();
  const bool parado = esperar_controlador(hilo);
  CloseHandle(hilo);
  if (parado) SDL_Quit();
  return static_cast<int>(messages.wParam);
}
