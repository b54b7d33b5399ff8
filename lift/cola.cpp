#include "cola.h"

#include <cstdlib>

static void* reservar_del_monton(size_t bytes) { return std::malloc(bytes); }
static void liberar_al_monton(void* nodo) { std::free(nodo); }

void* (*reservar_nodo)(size_t bytes) = reservar_del_monton;
void (*liberar_nodo)(void* nodo) = liberar_al_monton;
int (WINAPI* avisar)(HWND dueno, LPCSTR texto, LPCSTR titulo, UINT botones) = MessageBoxA;

int32_t EstaVacia(Cola* primero) { return primero == nullptr ? 1 : 0; }

void Insertar(Cola** primero, Cola** ultimo, int32_t piso) {
  if (primero == nullptr || ultimo == nullptr) return;
  Cola* nodo = static_cast<Cola*>(reservar_nodo(sizeof(Cola)));
  if (nodo == nullptr) {
    // The answer changes nothing: the call is lost either way.
    avisar(nullptr, TEXTO_COLA_LLENA, "", MB_OKCANCEL);
    return;
  }
  nodo->piso = piso;
  nodo->siguiente = nullptr;
  if (EstaVacia(*primero))
    *primero = nodo;
  else
    (*ultimo)->siguiente = nodo;
  *ultimo = nodo;
}

void Borrar(Cola** primero, Cola** ultimo) {
  if (primero == nullptr || ultimo == nullptr) return;
  Cola* cabeza = *primero;
  if (cabeza == nullptr) return;
  *primero = cabeza->siguiente;
  if (*primero == nullptr) *ultimo = nullptr;
  liberar_nodo(cabeza);
}
