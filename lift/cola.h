// The call queue: a singly linked list of stored calls, reached through a head and a
// tail pointer that its owner keeps.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win32.h"

struct Cola {
  int32_t piso;        // the stored floor
  Cola* siguiente;     // toward the newest call; null in the newest node
};

constexpr const char* TEXTO_COLA_LLENA = "No hay espacio suficiente en la cola";

// Where the nodes come from and go back to: the C runtime heap unless a test puts
// something else here (to make an allocation fail, or to count releases).
extern void* (*reservar_nodo)(size_t bytes);
extern void (*liberar_nodo)(void* nodo);
// How a full heap is told: MessageBoxA, unless a test listens here instead.
extern int (WINAPI* avisar)(HWND dueno, LPCSTR texto, LPCSTR titulo, UINT botones);

// 1 when the queue whose head is `primero` is empty, 0 otherwise.
int32_t EstaVacia(Cola* primero);
// Appends `piso` at the tail. When no node can be had, says so in a message box and
// leaves the queue as it was.
void Insertar(Cola** primero, Cola** ultimo, int32_t piso);
// Removes the head node; on an empty queue it does nothing.
void Borrar(Cola** primero, Cola** ultimo);
