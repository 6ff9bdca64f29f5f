#include "study_plot.h"

#include <cstdio>
#include <filesystem>

#include "csv.h"
#include "description.h"
#include "output.h"

namespace tds {

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& text) {
  std::string q = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

// Runs a gnuplot script; the PNG goes to a temporary name, renamed when
// gnuplot has succeeded. Returns the reason of a failure or "".
std::string run_gnuplot(const std::string& png, const std::string& script) {
  const std::string temporary = temporary_name_for(png);
  const std::string full =
      "set terminal pngcairo size 1000,640 font 'sans,10' noenhanced\n"
      "set output " +
      quote(temporary) + "\nset datafile separator ','\n" + script + "unset output\n";
#if defined(_WIN32)
  FILE* pipe = _popen("gnuplot 2>NUL", "w");
#else
  FILE* pipe = popen("gnuplot 2>/dev/null", "w");
#endif
  if (pipe == nullptr) return "gnuplot cannot be started";
  std::fputs(full.c_str(), pipe);
#if defined(_WIN32)
  const int status = _pclose(pipe);
#else
  const int status = pclose(pipe);
#endif
  std::error_code error;
  if (status != 0 || !fs::exists(temporary, error)) {
    fs::remove(temporary, error);
    return "gnuplot failed or is not installed (Debian package gnuplot-nox)";
  }
  return replace_file(temporary, png);
}

const std::string* table(const study::Tables& t, const std::string& name) {
  for (const auto& [n, text] : t.files)
    if (n == name) return &text;
  return nullptr;
}

std::string effects_script(const std::string& dir, const std::string& text) {
  const CsvTable csv = parse_csv(text, "effects.csv");
  std::string plot, outputs;
  std::size_t first = 0;
  const std::string data = quote((fs::path(dir) / "effects.csv").string());
  for (std::size_t r = 0; r <= csv.rows.size(); ++r) {
    if (r < csv.rows.size() && csv.rows[r].fields[1] == csv.rows[first].fields[1]) continue;
    const std::string range = "every ::" + std::to_string(first + 1) + "::" + std::to_string(r);
    const std::string title = csv.rows[first].fields[1];
    plot += std::string(plot.empty() ? "plot " : ", ") + data + " " + range +
            " using 4:5 with points pointsize 1.5 title " + quote(title) + ", " + data + " " +
            range + " using 4:5:1 with labels offset char 1,0.6 left font ',8' notitle";
    first = r;
  }
  return "set title 'Morris screening: mean absolute effect and spread of the effects'\n"
         "set xlabel 'mu* (output change over the factor range)'\nset ylabel 'sigma'\n"
         "set key top left box opaque\nset grid\nset xrange [0:*]\nset yrange [0:*]\n" +
         plot + "\n";
}

std::string indices_script(const std::string& dir, const std::string& text) {
  const CsvTable csv = parse_csv(text, "indices.csv");
  std::size_t outputs = 0, factors = 0;
  for (const auto& row : csv.rows) {
    if (row.fields[1] == csv.rows.front().fields[1]) ++factors;
  }
  outputs = factors ? csv.rows.size() / factors : 0;
  const std::string data = quote((fs::path(dir) / "indices.csv").string());
  std::string script =
      "set style fill solid 0.6 border -1\nset boxwidth 0.35\nset grid ytics\n"
      "set key top right box opaque\nset yrange [0:1.05]\nset xtics rotate by 20 right\n"
      "set ylabel 'index'\nset multiplot layout " +
      std::to_string(outputs) + ",1\n";
  for (std::size_t j = 0; j < outputs; ++j) {
    const std::string range =
        "every ::" + std::to_string(j * factors + 1) + "::" + std::to_string((j + 1) * factors);
    script += "set title " +
              quote("Sobol' indices of " + csv.rows[j * factors].fields[1] +
                    " with their confidence intervals") +
              "\n";
    script += "plot " + data + " " + range +
              " using ($0-0.18):3 with boxes title 'S1 (first order)', " + data + " " + range +
              " using ($0-0.18):3:4:5:xtic(1) with yerrorbars lc black pt 0 notitle, " + data +
              " " + range + " using ($0+0.18):6 with boxes title 'ST (total effect)', " + data +
              " " + range + " using ($0+0.18):6:7:8 with yerrorbars lc black pt 0 notitle\n";
  }
  return script + "unset multiplot\n";
}

std::string pareto_script(const std::string& dir, const study::Study& s) {
  // pareto.csv: case, the factors, the outputs, knee (columns from 1).
  const std::size_t k = s.factors.size(), m = s.outputs.size();
  const std::size_t x = k + 2 + s.objectives[0].output, y = k + 2 + s.objectives[1].output;
  const std::string knee = std::to_string(k + 2 + m);
  const std::string data = quote((fs::path(dir) / "pareto.csv").string());
  const auto label = [&](const study::Goal& g) {
    return quote(s.outputs[g.output].name + (g.maximise ? " (maximised)" : " (minimised)"));
  };
  return "set title 'Pareto front of the last generation, the knee point marked'\n"
         "set xlabel " +
         label(s.objectives[0]) + "\nset ylabel " + label(s.objectives[1]) +
         "\nset grid\nset key top right box opaque\n"
         "plot " +
         data + " using " + std::to_string(x) + ":" + std::to_string(y) +
         " with linespoints pt 7 ps 1.2 title 'front', " + data + " using (column(" + knee +
         ") == 1 ? column(" + std::to_string(x) + ") : 1/0):" + std::to_string(y) +
         " with points pt 6 ps 4 lw 2 lc rgb 'red' title 'knee'\n";
}

}  // namespace

void plot_tables(const std::string& dir, const study::Study& s, const study::Tables& t) {
  std::string reason;
  if (const std::string* e = table(t, "effects.csv"))
    reason = run_gnuplot((fs::path(dir) / "effects.png").string(), effects_script(dir, *e));
  if (const std::string* i = table(t, "indices.csv"))
    reason = run_gnuplot((fs::path(dir) / "indices.png").string(), indices_script(dir, *i));
  if (table(t, "pareto.csv") != nullptr)
    reason = run_gnuplot((fs::path(dir) / "pareto.png").string(), pareto_script(dir, s));
  if (!reason.empty()) std::fprintf(stderr, "tarvello-run: no plots: %s\n", reason.c_str());
}

}  // namespace tds
