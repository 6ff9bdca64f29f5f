// The plots of a study's tables, drawn by gnuplot (Debian's gnuplot-nox) as
// PNG beside them: Morris's mu*-sigma scatter, the Sobol' index bars with
// their intervals, the best Latin-hypercube designs, and the Pareto front
// with its knee.
#ifndef TDS_HOST_STUDY_PLOT_H
#define TDS_HOST_STUDY_PLOT_H

#include <string>
#include <vector>

#include "study.h"

namespace tds {

// Draws the plots of the tables in dir. A missing or failing gnuplot is
// reported in one line on stderr and costs only the plots.
void plot_tables(const std::string& dir, const study::Study& study, const study::Tables& tables);
// The names of the plots' files that plot_tables may draw.
std::vector<std::string> plot_files();

}  // namespace tds

#endif  // TDS_HOST_STUDY_PLOT_H
