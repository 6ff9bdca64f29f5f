// What the FMU binary gives back when it is unloaded. The C++ runtime is
// linked into the binary, and its emergency exception pool (about 70 kB,
// allocated when the binary is loaded) has no destructor: an importer that
// loads and unloads the binary for each simulation would lose it every
// time. The runtime's own release function frees it; it runs as the binary
// is unloaded, after the last call into it.
#if defined(TDS_STATIC_CXX_RUNTIME)

// The runtime's own names, reserved to it.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl58-cpp)
namespace __gnu_cxx {
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl58-cpp)
void __freeres();
}  // namespace __gnu_cxx

namespace {

__attribute__((destructor)) void release_runtime() { __gnu_cxx::__freeres(); }

}  // namespace

#endif
