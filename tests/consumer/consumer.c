/* A small C99 host built against an installed TarvelloDemoSite: it links the
 * library through its public header, and loads the same module file at run
 * time by the location that the package names, as a dlopen host would.
 * Prints "consumer ok: <model> <version>" and exits 0 when all holds. */
#include <stdio.h>
#include <string.h>

#include "TarvelloDemoSite.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

static int failures = 0;

static void check(int ok, const char *what) {
  if (!ok) {
    printf("consumer: %s\n", what);
    ++failures;
  }
}

int main(void) {
  const char *name = IniModel();
  FILE *description;
  typedef const char *(*name_function)(void);
  name_function loaded_name = NULL;

  check(strcmp(name, "TarvelloDemoSite") == 0, "IniModel does not name the model");
  check(strcmp(GetclimateZone_B1_Food_P1_Crop(), "'Catalunya'") == 0, "initial text differs");
  GetModelTask("0_4_12_GROWING_8");
  check(GetwaterTank_B1_Food_P1_Crop() == 0.5, "task 0_4_12_GROWING_8 did not pour 0.5");
  check(GetModelDecision("0_4_12_GROWING_9") == 13, "decision 0_4_12_GROWING_9 is not 13");
  check(SetPARAM_2_B1_Food_P1_Crop_55(-7) == -7, "an int slot does not keep its value");

#if defined(_WIN32)
  {
    HMODULE module = LoadLibraryA(TDS_MODULE_PATH);
    if (module) loaded_name = (name_function)(void (*)(void))GetProcAddress(module, "GetModelName");
  }
#else
  {
    void *module = dlopen(TDS_MODULE_PATH, RTLD_NOW);
    if (module) *(void **)&loaded_name = dlsym(module, "GetModelName");
  }
#endif
  check(loaded_name != NULL, "the package's module location does not load");
  if (loaded_name) check(strcmp(loaded_name(), "TarvelloDemoSite") == 0, "loaded module name");

  description = fopen(TDS_DESCRIPTION_PATH, "rb");
  check(description != NULL, "the package's description is missing");
  if (description) fclose(description);

  if (failures) return 1;
  printf("consumer ok: %s %s\n", name, TDS_PACKAGE_VERSION);
  return 0;
}
