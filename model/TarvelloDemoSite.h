// Public interface of the TarvelloDemoSite model library.
//
// A host loads TarvelloDemoSite.dll (or TarvelloDemoSite.so), resolves the
// functions below by name, calls IniModel once and then drives the process
// diagrams through GetModelTask / GetModelDecision, reading and writing model
// variables and signal parameter slots through their Get / Set accessors.
//
// Every value has one of three kinds: a 64-bit double, a signed 32-bit int, or
// a text reference (the address of a NUL-terminated text that the library
// stores without copying; the text stays the business of whoever stored it).
#ifndef TARVELLODEMOSITE_H
#define TARVELLODEMOSITE_H

#include <stdint.h>

#include "catalogue.def"

#if defined(_WIN32)
#if defined(TDS_BUILDING_LIBRARY)
#define TDS_API __declspec(dllexport)
#else
#define TDS_API __declspec(dllimport)
#endif
#elif defined(TDS_BUILDING_LIBRARY)
#define TDS_API __attribute__((visibility("default")))
#else
#define TDS_API
#endif

// The C type of each value kind of the catalogue.
typedef double tds_double;
typedef int32_t tds_int;
typedef const char* tds_text;
#define TDS_TYPE(kind) tds_##kind

#ifdef __cplusplus
extern "C" {
#endif

// The model name "TarvelloDemoSite": assigns the 87 initial values, returns the name.
TDS_API const char* IniModel(void);
// The model name, the same reference as IniModel returns; changes nothing.
TDS_API const char* GetModelName(void);
// Evaluates the decision node named by the identifier and returns the number of
// the node to continue with, or 0 when the identifier names no decision node.
TDS_API int32_t GetModelDecision(const char* node);
// Performs the task node named by the identifier, if any; always returns 0.
TDS_API int32_t GetModelTask(const char* node);

// Get<name> returns the value; Set<name> stores its argument and returns the
// value now held, which is the argument itself, bit for bit.
#define TDS_DECLARE_ACCESSORS(kind, name) \
  TDS_API TDS_TYPE(kind) Get##name(void); \
  TDS_API TDS_TYPE(kind) Set##name(TDS_TYPE(kind) value);
TDS_VARIABLES(TDS_DECLARE_ACCESSORS)
TDS_SLOTS(TDS_DECLARE_ACCESSORS)
#undef TDS_DECLARE_ACCESSORS

#ifdef __cplusplus
}
#endif

#endif  // TARVELLODEMOSITE_H
