// The C entry points of the diphone synthesiser library (mbrola.so), the
// MBROLA C API: the engine shell loads the library with dlopen and looks
// these 23 names up, so they keep C linkage and exactly these signatures.
//
// Conventions: results below zero are failures; read_MBR gives 16-bit
// samples at the output rate (16,000 Hz unless setFreq_MBR changed it) and 0
// when nothing more is ready until more input or a flush. Input is the
// phoneme-line text: "name duration [position pitch]..." per line, ";"
// starts a comment, "#" flushes. Strings are plain bytes (Windows-1252).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define MBR_API __attribute__((visibility("default")))
#else
#define MBR_API
#endif

// Opens the database file at dbase_name; negative on failure.
MBR_API int init_MBR(char* dbase_name);
// As init_MBR; rename and clone are lists of phoneme-name pairs
// ("old new old new ...") applied to the database's names (may be null).
MBR_API int init_rename_MBR(char* dbase_name, char* rename, char* clone);
// Takes one or more input lines; negative when a line was refused.
MBR_API int write_MBR(char* buffer);
// Ends the current utterance: what was written can be read in full.
MBR_API int flush_MBR(void);
// Up to nb_wanted 16-bit samples; 0 when nothing more is ready.
MBR_API int read_MBR(short* buffer_out, int nb_wanted);
// As read_MBR in another sample type: 0 = 16-bit linear, 1 = 8-bit
// unsigned linear, 2 = mu-law, 3 = A-law (one byte each).
MBR_API int readtype_MBR(void* buffer_out, int nb_wanted, int type);
// Releases the database and everything pending.
MBR_API void close_MBR(void);
// Drops pending input and output and clears the error.
MBR_API int reset_MBR(void);
// The last error's code, 0 when none.
MBR_API int lastError_MBR(void);
// The last error's text into buffer_err (at most nb_wanted bytes with the
// terminating zero); the text's length.
MBR_API int lastErrorStr_MBR(char* buffer_err, int nb_wanted);
// With no_error non-zero an unknown diphone becomes silence instead of an
// error.
MBR_API void setNoError_MBR(int no_error);
MBR_API int getNoError_MBR(void);
// Output sample rate in Hz (the database's own rate after init_MBR); another
// rate is reached through a windowed-sinc low-pass, nothing folded back.
MBR_API void setFreq_MBR(int freq);
MBR_API int getFreq_MBR(void);
// Factor applied to every output sample (1.0 after init_MBR).
MBR_API void setVolumeRatio_MBR(float volume);
MBR_API float getVolumeRatio_MBR(void);
// The library's version text into buffer; its length.
MBR_API int getVersion_MBR(char* buffer, int length);
// Line index of the database's description into msg; its length, or
// negative when there is no such line.
MBR_API int getDatabaseInfo_MBR(char* msg, int nb_wanted, int index);
// Accepted for compatibility; the library always uses its own line reader.
MBR_API void setParser_MBR(void* parser);

// A phone built by the caller rather than read from a line: name and length
// in ms; null on failure.
MBR_API void* init_Phone(const char* name, float length);
// Removes the phone's pitch points.
MBR_API void reset_Phone(void* ph);
MBR_API void close_Phone(void* ph);
// Adds a pitch point at pos (percent of the phone) of f0 Hz; negative on
// failure.
MBR_API int appendf0_Phone(void* ph, float pos, float f0);

#ifdef __cplusplus
}
#endif
