// The design-study methods' own work, apart from the cases they run.
#pragma once

void register_study_benchmarks();
