#include "board/placaio.h"

#include <cmath>

#include "board/io.h"
#include "whole_seconds.h"

// The one difference between the two copies of this source: the lift program's copy
// pauses in milliseconds through Sleep, the library's in whole seconds through the C
// runtime. The build defines it to 0 or 1 for every copy.
constexpr bool PAUSA_EN_MILISEGUNDOS = PLACAIO_PAUSA_EN_MILISEGUNDOS != 0;

// The longest pause that the unsigned count of either sleep can express.
constexpr double PAUSA_MAXIMA = 4294967295.0;

// Beyond this a power of two only ever meets eight-bit values, where every larger
// power acts alike; the cap keeps the conversion to an integer defined.
constexpr int64_t EXPONENTE_MAXIMO = 62;

int32_t ESTADO_SALIDAS = 0;

// pow(2.0, exponente) truncated toward zero: 0 below exponent 0, capped above.
// The exponent is 64-bit so that n - 1 cannot overflow for any 32-bit n.
static int64_t potencia_de_dos(int64_t exponente) {
  if (exponente < 0) return 0;
  if (exponente > EXPONENTE_MAXIMO) exponente = EXPONENTE_MAXIMO;
  return static_cast<int64_t>(std::pow(2.0, static_cast<double>(exponente)));
}

static bool salida_valida(int32_t salida) { return salida >= 1 && salida <= NUM_SALIDAS; }

// For outputs already tested to be 1..8.
static int32_t mascara_de_salida(int32_t salida) {
  return static_cast<int32_t>(potencia_de_dos(int64_t{salida} - 1));
}

static void pausa(uint32_t cuenta) {
  if constexpr (PAUSA_EN_MILISEGUNDOS)
    Sleep(cuenta);
  else
    sleep_whole_seconds(cuenta);
}

// Outputs

void SALIDA_DIGITAL(int32_t valor) {
  LoadIODLL();
  escribe_puerto(REGISTRO_CONTROL, CONTROL_SALIDAS);
  escribe_puerto(REGISTRO_DATOS, valor);
}

void ACTIVA_SALIDA(int32_t salida) {
  LoadIODLL();
  if (!salida_valida(salida)) return;
  const int32_t nuevo = ESTADO_SALIDAS | mascara_de_salida(salida);
  SALIDA_DIGITAL(nuevo);
  ESTADO_SALIDAS = nuevo;  // only after both port writes
}

void DESACTIVA_SALIDA(int32_t salida) {
  LoadIODLL();
  if (!salida_valida(salida)) return;
  const int32_t nuevo = ESTADO_SALIDAS & (OCTETO_MAXIMO - mascara_de_salida(salida));
  SALIDA_DIGITAL(nuevo);
  ESTADO_SALIDAS = nuevo;
}

void WINAPI SALIDA(int32_t valor) {
  LoadIODLL();
  if (valor < 0 || valor > OCTETO_MAXIMO) return;
  SALIDA_DIGITAL(valor);
  ESTADO_SALIDAS = valor;
}

void WINAPI EnviaOcteto(int32_t valor) { SALIDA(valor); }
void WINAPI CONECTAR() { SALIDA(OCTETO_MAXIMO); }
void WINAPI DESCONECTAR() { SALIDA(0); }
void WINAPI CONECTA(int32_t salida) { ACTIVA_SALIDA(salida); }
void WINAPI DESCONECTA(int32_t salida) { DESACTIVA_SALIDA(salida); }
void WINAPI APAGA(int32_t salida) { DESACTIVA_SALIDA(salida); }

// Motors. The output that ends off is switched first, so a reversal passes through
// both off and never through both on.

static void mueve_motor(int32_t motor, int32_t codigo) {
  LoadIODLL();
  const int32_t primera = 2 * motor - 1;
  const int32_t segunda = 2 * motor;
  switch (static_cast<char>(codigo & OCTETO_MAXIMO)) {
    case MOTOR_D:
      DESACTIVA_SALIDA(primera);
      ACTIVA_SALIDA(segunda);
      break;
    case MOTOR_I:
      DESACTIVA_SALIDA(segunda);
      ACTIVA_SALIDA(primera);
      break;
    case MOTOR_P:
      DESACTIVA_SALIDA(primera);
      DESACTIVA_SALIDA(segunda);
      break;
    default:
      break;
  }
}

void WINAPI M1(int32_t codigo) { mueve_motor(1, codigo); }
void WINAPI M2(int32_t codigo) { mueve_motor(2, codigo); }
void WINAPI M3(int32_t codigo) { mueve_motor(3, codigo); }
void WINAPI M4(int32_t codigo) { mueve_motor(4, codigo); }

void WINAPI M(const char* codigos) {
  LoadIODLL();
  if (codigos == nullptr) return;
  // Each code is read just before its own command.
  M1(static_cast<unsigned char>(codigos[0]));
  M2(static_cast<unsigned char>(codigos[1]));
  M3(static_cast<unsigned char>(codigos[2]));
  M4(static_cast<unsigned char>(codigos[3]));
}

// Read-backs: from one reading of the image, never from a port.

int32_t estado_salida(int32_t imagen, int32_t salida) {
  LoadIODLL();
  return (imagen & potencia_de_dos(int64_t{salida} - 1)) != 0 ? 1 : 0;
}

char estado_motor(int32_t imagen, int32_t primera, int32_t segunda) {
  LoadIODLL();
  const int32_t a = estado_salida(imagen, primera);
  const int32_t b = estado_salida(imagen, segunda);
  if (a == 0 && b == 1) return MOTOR_D;
  if (a == 1 && b == 0) return MOTOR_I;
  return MOTOR_P;  // both off, or both on
}

int32_t WINAPI VS_INT() {
  LoadIODLL();
  return ESTADO_SALIDAS;
}

void WINAPI SALIDA_INT(int32_t* valores) {
  LoadIODLL();
  if (valores == nullptr) return;
  const int32_t imagen = ESTADO_SALIDAS;
  for (int32_t n = 1; n <= NUM_SALIDAS; ++n) valores[n - 1] = estado_salida(imagen, n);
}

void WINAPI M_INT(char* codigos) {
  LoadIODLL();
  if (codigos == nullptr) return;
  const int32_t imagen = ESTADO_SALIDAS;
  for (int32_t m = 1; m <= NUM_MOTORES; ++m)
    codigos[m - 1] = estado_motor(imagen, 2 * m - 1, 2 * m);
}

void WINAPI CONECTADO_INT(char* conectados) {
  LoadIODLL();
  if (conectados == nullptr) return;
  const int32_t imagen = ESTADO_SALIDAS;
  for (int32_t m = 1; m <= NUM_MOTORES; ++m)
    conectados[m - 1] = estado_motor(imagen, 2 * m - 1, 2 * m) != MOTOR_P ? 1 : 0;
}

// Pause

void WINAPI segundos(float pausa_pedida) {
  LoadIODLL();
  // NaN, a whole part below 0 or one beyond 32 bits stands for no sensible pause.
  const double entera = std::trunc(static_cast<double>(pausa_pedida));
  if (!(entera >= 0.0 && entera <= PAUSA_MAXIMA)) return;
  pausa(static_cast<uint32_t>(entera));
}

// Digital inputs

int32_t WINAPI VE_INT() {
  LoadIODLL();
  escribe_puerto(REGISTRO_CONTROL, CONTROL_ENTRADAS_BAJAS);
  const int32_t s1 = lee_puerto(REGISTRO_ESTADO);
  escribe_puerto(REGISTRO_CONTROL, CONTROL_ENTRADAS_ALTAS);
  const int32_t s2 = lee_puerto(REGISTRO_ESTADO);
  return octeto_de_grupos(grupo_de_entradas(s1), grupo_de_entradas(s2));
}

int32_t WINAPI SD(int32_t entrada_num) {
  LoadIODLL();
  const int32_t octeto = VE_INT();
  // No range test: n <= 0 gives the power 0 and reads 1; n >= 9 sets bits above
  // the byte in the mask and reads 0.
  const int64_t p = potencia_de_dos(int64_t{entrada_num} - 1);
  return ((OCTETO_MAXIMO - p) | octeto) == OCTETO_MAXIMO ? 1 : 0;
}

int32_t WINAPI entrada(int32_t entrada_num) {
  LoadIODLL();
  return SD(entrada_num) != 0 ? 1 : 0;
}

void WINAPI SD_INT(int32_t* valores) {
  LoadIODLL();
  if (valores == nullptr) return;
  const int32_t octeto = VE_INT();
  for (int32_t i = 0; i < NUM_ENTRADAS; ++i) {
    const int64_t p = potencia_de_dos(i);
    valores[i] = (p & octeto) == p ? 1 : 0;
  }
}

// The zero-length sleep between polls.
static void pausa_nula() {
  if constexpr (PAUSA_EN_MILISEGUNDOS)
    Sleep(0);
  else
    sleep_whole_seconds(0);
}

void WINAPI EsperaOn(int32_t entrada_num) {
  LoadIODLL();
  if (entrada_num < 1 || entrada_num > NUM_ENTRADAS) return;
  while (SD(entrada_num) == 0) pausa_nula();
}

void WINAPI EsperaOff(int32_t entrada_num) {
  LoadIODLL();
  if (entrada_num < 1 || entrada_num > NUM_ENTRADAS) return;
  while (SD(entrada_num) == 1) pausa_nula();
}

// Analog inputs

int32_t leer_entrada_analogica_num(int32_t mascara) {
  LoadIODLL();
  escribe_puerto(REGISTRO_CONTROL, CONTROL_SELECCION_ANALOGICA);
  escribe_puerto(REGISTRO_DATOS, mascara);
  escribe_puerto(REGISTRO_CONTROL, CONTROL_CONVERSION);
  escribe_puerto(REGISTRO_CONTROL, CONTROL_ANALOGICA_BAJA);
  segundos(PAUSA_DE_CONVERSION);
  const int32_t s1 = lee_puerto(REGISTRO_ESTADO);
  // The selection is made again in full before the second group.
  escribe_puerto(REGISTRO_CONTROL, CONTROL_SELECCION_ANALOGICA);
  escribe_puerto(REGISTRO_DATOS, mascara);
  escribe_puerto(REGISTRO_CONTROL, CONTROL_CONVERSION);
  escribe_puerto(REGISTRO_CONTROL, CONTROL_ANALOGICA_ALTA);
  segundos(PAUSA_DE_CONVERSION);
  const int32_t s2 = lee_puerto(REGISTRO_ESTADO);
  return octeto_de_grupos(grupo_de_estado(s1), grupo_de_estado(s2));  // not complemented
}

int32_t tension_de_entrada_analogica(int32_t mascara) {
  LoadIODLL();
  const int32_t cuenta = leer_entrada_analogica_num(mascara);
  return cuenta * VOLTIOS_ESCALA / VOLTIOS_DIVISOR;
}

constexpr int32_t MASCARA_SAW = 1;
constexpr int32_t MASCARA_SAX = 2;
constexpr int32_t MASCARA_SAY = 4;
constexpr int32_t MASCARA_SAZ = 8;

int32_t WINAPI SAW() {
  LoadIODLL();
  return tension_de_entrada_analogica(MASCARA_SAW);
}

int32_t WINAPI SAX() {
  LoadIODLL();
  return tension_de_entrada_analogica(MASCARA_SAX);
}

int32_t WINAPI SAY() {
  LoadIODLL();
  return tension_de_entrada_analogica(MASCARA_SAY);
}

int32_t WINAPI SAZ() {
  LoadIODLL();
  return tension_de_entrada_analogica(MASCARA_SAZ);
}

void WINAPI SA_INT(int32_t* voltios) {
  LoadIODLL();
  if (voltios == nullptr) return;
  for (int32_t i = 0; i < NUM_ENTRADAS_ANALOGICAS; ++i)
    voltios[i] = tension_de_entrada_analogica(static_cast<int32_t>(potencia_de_dos(i)));
}

int32_t WINAPI leeanalogica(int32_t analogica) {
  LoadIODLL();
  if (analogica < 1 || analogica > NUM_ENTRADAS_ANALOGICAS) return 0;
  return leer_entrada_analogica_num(analogica);  // the number itself is the mask
}
