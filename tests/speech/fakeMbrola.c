/* A stand-in for the synthesiser library, for the engine shell's failure
 * paths only (the real library is tested end to end): each phoneme line
 * becomes a 200 Hz tone of its duration at 16 kHz, a database is any file
 * that opens, a line whose phoneme is $FAKE_MBR_REFUSE is refused, and every
 * call is written to a trace that fake_trace() returns. Built once whole and
 * once (FAKE_MBR_PARTIAL) without appendf0_Phone. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define RATE 16000
#define MAX_SAMPLES (RATE * 60)

static short samples[MAX_SAMPLES];
static int produced, consumed, error, noError;
static char trace[65536];

static void note(const char* what) {
  if (strlen(trace) + strlen(what) + 2 < sizeof trace) {
    strcat(trace, what);
    strcat(trace, "\n");
  }
}

const char* fake_trace(void) {
  return trace;
}
void fake_trace_clear(void) {
  trace[0] = 0;
}

int init_MBR(char* name) {
  char line[1100];
  FILE* f = fopen(name, "rb");
  snprintf(line, sizeof line, "init %s", name);
  note(line);
  if (!f) return -1;
  fclose(f);
  produced = consumed = error = 0;
  return 0;
}
int init_rename_MBR(char* name, char* rename, char* clone) {
  (void)rename;
  (void)clone;
  return init_MBR(name);
}
int write_MBR(char* buffer) {
  char name[64];
  int ms = 0;
  const char* refuse = getenv("FAKE_MBR_REFUSE");
  note("write");
  if (buffer[0] == ';' || buffer[0] == '\r' || buffer[0] == '\n' || buffer[0] == 0) return 0;
  if (buffer[0] == '#') return 0;
  if (sscanf(buffer, "%63s %d", name, &ms) != 2 || (refuse && strcmp(name, refuse) == 0)) {
    error = 1;
    return -1;
  }
  for (int i = 0; i < ms * RATE / 1000 && produced < MAX_SAMPLES; ++i, ++produced)
    samples[produced] = (short)(8000 * sin(2 * 3.14159265 * 200 * produced / RATE));
  return 1;
}
int flush_MBR(void) {
  note("flush");
  return 0;
}
int read_MBR(short* out, int wanted) {
  int n = produced - consumed;
  if (n > wanted) n = wanted;
  memcpy(out, samples + consumed, (size_t)n * sizeof(short));
  consumed += n;
  if (consumed == produced) produced = consumed = 0;
  return n;
}
int readtype_MBR(void* out, int wanted, int type) {
  (void)type;
  return read_MBR((short*)out, wanted);
}
void close_MBR(void) {
  note("close");
}
int reset_MBR(void) {
  note("reset");
  produced = consumed = error = 0;
  return 0;
}
int lastError_MBR(void) {
  return error;
}
int lastErrorStr_MBR(char* buffer, int wanted) {
  return snprintf(buffer, (size_t)wanted, "%s", error ? "refused" : "");
}
void setNoError_MBR(int on) {
  note("noerror");
  noError = on;
}
int getNoError_MBR(void) {
  return noError;
}
void setFreq_MBR(int freq) {
  (void)freq;
}
int getFreq_MBR(void) {
  return RATE;
}
void setVolumeRatio_MBR(float volume) {
  (void)volume;
}
float getVolumeRatio_MBR(void) {
  return 1.0f;
}
int getVersion_MBR(char* buffer, int length) {
  return snprintf(buffer, (size_t)length, "fake");
}
int getDatabaseInfo_MBR(char* msg, int wanted, int index) {
  (void)msg;
  (void)wanted;
  (void)index;
  return -1;
}
void setParser_MBR(void* parser) {
  (void)parser;
}
void* init_Phone(const char* name, float length) {
  (void)name;
  (void)length;
  return NULL;
}
void reset_Phone(void* phone) {
  (void)phone;
}
void close_Phone(void* phone) {
  (void)phone;
}
#ifndef FAKE_MBR_PARTIAL
int appendf0_Phone(void* phone, float pos, float f0) {
  (void)phone;
  (void)pos;
  (void)f0;
  return 0;
}
#endif
