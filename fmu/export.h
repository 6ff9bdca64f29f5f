// How the FMU binary exports its FMI functions: C names, visible; everything
// else in the binary stays hidden.
#ifndef TDS_FMU_EXPORT_H
#define TDS_FMU_EXPORT_H

#if defined(_WIN32)
#define TDS_FMI_EXPORT extern "C" __declspec(dllexport)
#else
#define TDS_FMI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif  // TDS_FMU_EXPORT_H
