#include "controlador.h"

#include <condition_variable>
#include <chrono>
#include <mutex>

#include "board/io.h"

std::atomic<int32_t> motor{MOTOR_PARADO};
std::atomic<int32_t> dato{MODO_SIN_MEMORIA};
std::atomic<int32_t> lacabinasemueve{0};

void (WINAPI* pausa)(DWORD milisegundos) = Sleep;

// A stop from the GUI thread must not land between the controller's control write and
// its status read, nor split another motor write.
static std::mutex cerrojo_puerto;

void encender(int32_t n) {
  std::lock_guard<std::mutex> guarda(cerrojo_puerto);
  LoadIODLL();
  escribe_puerto(REGISTRO_CONTROL, CONTROL_SALIDAS);
  escribe_puerto(REGISTRO_DATOS, n & OCTETO_MAXIMO);
}

int32_t leedigital(int32_t* bajo, int32_t* alto) {
  int32_t primera, segunda;
  {
    std::lock_guard<std::mutex> guarda(cerrojo_puerto);
    LoadIODLL();
    escribe_puerto(REGISTRO_CONTROL, CONTROL_ENTRADAS_BAJAS);
    primera = lee_puerto(REGISTRO_ESTADO);
    escribe_puerto(REGISTRO_CONTROL, CONTROL_ENTRADAS_ALTAS);
    segunda = lee_puerto(REGISTRO_ESTADO);
  }
  const int32_t grupo_bajo = grupo_de_entradas(primera);
  const int32_t grupo_alto = grupo_de_entradas(segunda);
  if (bajo != nullptr) *bajo = grupo_bajo;
  if (alto != nullptr) *alto = grupo_alto;
  return octeto_de_grupos(grupo_bajo, grupo_alto);
}

static void arrancar(int32_t* destino, int32_t piso, int32_t byte) {
  *destino = piso;
  motor = byte;
  lacabinasemueve = 1;
  encender(motor);
}

static void llamada_sin_memoria(int32_t piso, int32_t* destino) {
  if (lacabinasemueve != 0) return;
  if (piso == PISO_BAJO) {
    arrancar(destino, PISO_BAJO, MOTOR_HACIA_PISO_1);
  } else if (piso == PISO_ALTO) {
    arrancar(destino, PISO_ALTO, MOTOR_HACIA_PISO_3);
  } else if (*destino == PISO_BAJO) {
    arrancar(destino, PISO_MEDIO, MOTOR_HACIA_PISO_3);
  } else if (*destino == PISO_ALTO) {
    arrancar(destino, PISO_MEDIO, MOTOR_HACIA_PISO_1);
  }
}

static void llamada(int32_t piso, int32_t* destino, Cola** primero, Cola** ultimo) {
  if (dato == MODO_CON_MEMORIA) {
    Insertar(primero, ultimo, piso);
    pausa(PAUSA_TRAS_GUARDAR);  // also when the call could not be stored
  } else {
    llamada_sin_memoria(piso, destino);
  }
}

static void llegada(int32_t piso, const int32_t* destino) {
  if (*destino != piso) return;
  mostrar_cabina(piso);  // the picture comes before the stop
  encender(MOTOR_PARADO);
  lacabinasemueve = 0;
}

// A start from the queue writes its byte directly and leaves `motor` alone.
static void arrancar_desde_cola(int32_t* destino, int32_t piso, int32_t byte) {
  *destino = piso;
  lacabinasemueve = 1;
  encender(byte);
}

static void servir_cola(int32_t* destino, Cola** primero, Cola** ultimo) {
  if (dato != MODO_CON_MEMORIA || EstaVacia(*primero) || lacabinasemueve != 0) return;
  const int32_t piso = (*primero)->piso;
  Borrar(primero, ultimo);
  pausa(PAUSA_ANTES_DE_SERVIR);
  if (piso == PISO_BAJO) {
    arrancar_desde_cola(destino, PISO_BAJO, MOTOR_HACIA_PISO_1);
  } else if (piso == PISO_ALTO) {
    arrancar_desde_cola(destino, PISO_ALTO, MOTOR_HACIA_PISO_3);
  } else if (piso == PISO_MEDIO && *destino == PISO_BAJO) {
    arrancar_desde_cola(destino, PISO_MEDIO, MOTOR_HACIA_PISO_3);
  } else if (piso == PISO_MEDIO && *destino == PISO_ALTO) {
    arrancar_desde_cola(destino, PISO_MEDIO, MOTOR_HACIA_PISO_1);
  }
  // Floor 2 with the cabin already there (or sent there): the call is dropped.
}

void Comprobar_Pasada(int32_t* destino, Cola** primero, Cola** ultimo) {
  const int32_t entrada = leedigital(nullptr, nullptr);
  const Fila fila = TABLA_DESPACHO[entrada & OCTETO_MAXIMO];
  if (fila.accion == LLAMADA) llamada(fila.piso, destino, primero, ultimo);
  if (fila.accion == LLEGADA) llegada(fila.piso, destino);
  servir_cola(destino, primero, ultimo);
}

// How many controllers run, and whether one has been asked to stop. The request is
// kept until a controller ends, so a stop asked before the thread got going still
// counts.
struct Marcha {
  std::mutex cerrojo;
  std::condition_variable fin;
  int32_t en_marcha = 0;
};
// Never destroyed: a controller that is still ending when the program's exit
// handlers run must not find them gone.
static Marcha& marcha() {
  static Marcha* const unica = new Marcha;
  return *unica;
}
static std::atomic<int32_t> parada_pedida{0};

static void terminar_controlador() {
  std::lock_guard<std::mutex> guarda(marcha().cerrojo);
  if (--marcha().en_marcha == 0) parada_pedida = 0;
  marcha().fin.notify_all();
}

DWORD WINAPI Comprobar_Sensor(LPVOID) {
  {
    std::lock_guard<std::mutex> guarda(marcha().cerrojo);
    if (parada_pedida != 0 && marcha().en_marcha == 0) {
      parada_pedida = 0;
      return 0;
    }
    ++marcha().en_marcha;
  }
  int32_t destino = DESTINO_INICIAL;
  Cola* primero = nullptr;
  Cola* ultimo = nullptr;
  while (parada_pedida == 0) Comprobar_Pasada(&destino, &primero, &ultimo);
  // The queue is this thread's alone: nobody else could release what is left in it.
  while (!EstaVacia(primero)) Borrar(&primero, &ultimo);
  terminar_controlador();
  return 0;
}

void pedir_parada_controlador() {
  std::lock_guard<std::mutex> guarda(marcha().cerrojo);
  parada_pedida = 1;
}

int32_t esperar_fin_controlador(DWORD milisegundos) {
  std::unique_lock<std::mutex> guarda(marcha().cerrojo);
  const auto ninguno = [] { return marcha().en_marcha == 0; };
  if (milisegundos == INFINITE) {
    marcha().fin.wait(guarda, ninguno);
    return 1;
  }
  return marcha().fin.wait_for(guarda, std::chrono::milliseconds(milisegundos), ninguno) ? 1 : 0;
}
