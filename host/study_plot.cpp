#include "study_plot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

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
std::string run_gnuplot(const std::string& png, const std::string& script, int height = 640) {
  const std::string temporary = temporary_name_for(png);
  const std::string full = "set terminal pngcairo size 1000," + std::to_string(height) +
                           " font 'sans,10' noenhanced\n"
                           "set output " +
                           quote(temporary) + "\nset datafile separator ','\n" + script +
                           "unset output\n";
#if defined(_WIN32)
  // A constant command, gnuplot found on the PATH as tarvello-plot finds it.
  FILE* pipe = _popen("gnuplot 2>NUL", "w");  // NOLINT(cert-env33-c)
#else
  // A constant command, gnuplot found on the PATH as tarvello-plot finds it.
  FILE* pipe = popen("gnuplot 2>/dev/null", "w");  // NOLINT(cert-env33-c)
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

// The lines of a table, its header included.
std::size_t rows_of(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

const std::string* table(const study::Tables& t, const std::string& name) {
  for (const auto& [n, text] : t.files)
    if (n == name) return &text;
  return nullptr;
}

// A factor's name as a plot shows it: "percentReuse (WasteWater)" for
// percentReuse_B1_Water_P1_WasteWater, with the "scale:" of a scale kept.
std::string short_name(const std::string& name) {
  const auto block = name.find("_B1_");
  const auto process = name.find("_P1_");
  if (block == std::string::npos || process == std::string::npos) return name;
  const std::string rest = name.substr(process + 4);
  return name.substr(0, block) + " (" + rest.substr(0, rest.find('_')) + ")";
}

// The rows of a table as a gnuplot data block, the fields given by index
// (the label fields quoted).
std::string data_block(const std::string& block,
                       const std::vector<std::vector<std::string>>& rows) {
  std::string text = "$" + block + " << EOD\n";
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) text += (c ? "," : "") + row[c];
    text += "\n";
  }
  return text + "EOD\n";
}

std::string effects_script(const std::string& text) {
  const CsvTable csv = parse_csv(text, "effects.csv");
  std::vector<std::string> outputs;
  std::vector<std::vector<const CsvTable::Row*>> rows;
  for (const auto& row : csv.rows) {
    if (outputs.empty() || outputs.back() != row.fields[1]) {
      outputs.push_back(row.fields[1]);
      rows.emplace_back();
    }
    rows.back().push_back(&row);
  }
  const std::size_t columns = outputs.size() > 1 ? 2 : 1;
  std::string script =
      "set grid\nset xrange [0:*]\nset yrange [0:*]\nset offsets 0, graph 0.45, graph 0.15, 0\n"
      "set xlabel 'mu*: mean absolute change over the factor range'\n"
      "set ylabel 'sigma: spread of the changes'\nunset key\n"
      "set multiplot layout " +
      std::to_string((outputs.size() + columns - 1) / columns) + "," + std::to_string(columns) +
      " title 'Morris screening: the factors by mean absolute effect (mu*) "
      "and spread (sigma) of their effects'\n";
  for (std::size_t j = 0; j < outputs.size(); ++j) {
    double largest = 0.0;
    for (const auto* row : rows[j])
      largest = std::max(largest, std::strtod(row->fields[3].c_str(), nullptr));
    // Factors without a visible effect stay unlabelled, so that the labels
    // of those that matter are legible.
    std::vector<std::vector<std::string>> block;
    for (const auto* row : rows[j]) {
      const bool shown = std::strtod(row->fields[3].c_str(), nullptr) > 0.05 * largest;
      block.push_back(
          {row->fields[3], row->fields[4], quote(shown ? short_name(row->fields[0]) : "")});
    }
    const std::string name = "o" + std::to_string(j);
    script += data_block(name, block) + "set title " + quote(outputs[j]) + "\nplot $" + name +
              " using 1:2 with points pt 7 ps 1.3, $" + name +
              " using 1:2:3 with labels offset char 0.8,0.5 left font ',8'\n";
  }
  return script + "unset multiplot\n";
}

std::string indices_script(const std::string& text) {
  const CsvTable csv = parse_csv(text, "indices.csv");
  std::vector<std::string> outputs;
  std::vector<std::vector<std::vector<std::string>>> rows;
  for (const auto& row : csv.rows) {
    if (outputs.empty() || outputs.back() != row.fields[1]) {
      outputs.push_back(row.fields[1]);
      rows.emplace_back();
    }
    std::vector<std::string> fields = {quote(short_name(row.fields[0]))};
    fields.insert(fields.end(), row.fields.begin() + 2, row.fields.end());
    rows.back().push_back(fields);
  }
  std::string script =
      "set style fill solid 0.6 border -1\nset boxwidth 0.35\nset grid ytics\n"
      "set key top right box opaque\nset yrange [0:1.15]\nset xtics rotate by 15 right font ',9'\n"
      "set ylabel 'index'\nset bmargin 6\nset lmargin 16\nset xrange [-0.6:" +
      std::to_string(rows.empty() ? 0 : rows[0].size()) + "-0.4]\nset multiplot layout " +
      std::to_string(outputs.size()) + ",1\n";
  for (std::size_t j = 0; j < outputs.size(); ++j) {
    const std::string block = "$o" + std::to_string(j);
    script += data_block("o" + std::to_string(j), rows[j]);
    script += "set title " +
              quote("Sobol' indices of " + outputs[j] + ", with their bootstrap intervals") + "\n";
    script += "plot " + block + " using ($0-0.18):2 with boxes title 'S1 (first order)', " + block +
              " using ($0-0.18):2:3:4:xtic(1) with yerrorbars lc black pt 0 notitle, " + block +
              " using ($0+0.18):5 with boxes title 'ST (total effect)', " + block +
              " using ($0+0.18):5:6:7 with yerrorbars lc black pt 0 notitle\n";
  }
  return script + "unset multiplot\n";
}

// The Latin hypercube's sample, a panel per factor: every successful case's
// objective against the factor's value, the best designs (best.csv) marked
// and numbered by rank, so that a planner sees where the good designs lie in
// each factor's range and which factors the objective follows.
std::string best_script(const study::Study& s, const std::string& samples_text,
                        const std::string& results_text, const std::string& best_text) {
  const CsvTable samples = parse_csv(samples_text, "samples.csv");
  const CsvTable results = parse_csv(results_text, "results.csv");
  const CsvTable best = parse_csv(best_text, "best.csv");
  const std::size_t k = s.factors.size();
  // results.csv: case, status, the figures, then the study's outputs.
  const std::size_t objective = results.header.size() - s.outputs.size() + s.objective.output;
  std::vector<std::string> rank(samples.rows.size(), "0");
  for (const auto& row : best.rows)
    for (std::size_t c = 0; c < samples.rows.size(); ++c)
      if (samples.rows[c].fields[0] == row.fields[1]) rank[c] = row.fields[0];
  std::vector<std::vector<std::string>> rows;
  for (std::size_t c = 0; c < samples.rows.size() && c < results.rows.size(); ++c) {
    const auto& sample = samples.rows[c].fields;
    const auto& result = results.rows[c].fields;
    if (result[0] != sample[0] || result[1] != "ok") continue;
    std::vector<std::string> fields(sample.begin() + 2,
                                    sample.begin() + 2 + static_cast<std::ptrdiff_t>(k));
    fields.push_back(result[objective]);
    fields.push_back(rank[c]);
    rows.push_back(std::move(fields));
  }
  const study::Goal& goal = s.objective;
  const std::string& name = s.outputs[goal.output].name;
  const std::string y = std::to_string(k + 1), r = std::to_string(k + 2);
  const std::size_t columns = std::min<std::size_t>(k, 3);
  std::string script =
      data_block("s", rows) + "set grid\nset key " + std::string(goal.maximise ? "bottom" : "top") +
      " right box opaque font ',8'\n"
      "set offsets graph 0.03, graph 0.03, graph 0.08, graph 0.08\n"
      "set ylabel " +
      quote(name) + "\nset multiplot layout " + std::to_string((k + columns - 1) / columns) + "," +
      std::to_string(columns) + " title " +
      quote("Latin hypercube: " + name + (goal.maximise ? " (maximised)" : " (minimised)") +
            " against each factor, the best designs numbered by rank") +
      "\n";
  for (std::size_t i = 0; i < k; ++i) {
    const std::string x = std::to_string(i + 1);
    const std::string best_only = "(column(" + r + ") > 0 ? column(" + x + ") : 1/0)";
    script += "set xlabel " + quote(short_name(s.factors[i].name)) + "\nplot $s using " + x + ":" +
              y + " with points pt 7 ps 0.8 lc rgb '#9a9a9a' title 'sample', $s using " +
              best_only + ":" + y +
              " with points pt 7 ps 1.4 lc rgb '#c0392b' title 'best designs', $s using " +
              best_only + ":" + y + ":" + r +
              " with labels offset char 0.9,0.6 font ',8' notitle, $s using (column(" + r +
              ") == 1 ? column(" + x + ") : 1/0):" + y +
              " with points pt 6 ps 3.5 lw 2 lc rgb 'black' title 'the best'\n";
    // One legend, in the first panel, on the side away from the best designs.
    if (i == 0) script += "unset key\n";
  }
  return script + "unset multiplot\n";
}

std::string pareto_script(const std::string& dir, const study::Study& s) {
  // pareto.csv: case, the factors, the outputs, knee (columns from 1).
  const std::size_t k = s.factors.size(), m = s.outputs.size();
  const auto column = [&](std::size_t goal) {
    return std::to_string(k + 2 + s.objectives[goal].output);
  };
  const std::string x = column(0), y = column(1), knee = std::to_string(k + 2 + m);
  const std::string data = quote((fs::path(dir) / "pareto.csv").string());
  const auto label = [&](const study::Goal& g) {
    return s.outputs[g.output].name + (g.maximise ? " (maximised)" : " (minimised)");
  };
  // A third objective colours the points.
  const std::string front = s.objectives.size() > 2
                                ? "using " + x + ":" + y + ":" + column(2) +
                                      " with points pt 7 ps 1.4 palette title " +
                                      quote("front (colour: " + label(s.objectives[2]) + ")")
                                : "using " + x + ":" + y + " with points pt 7 ps 1.4 title 'front'";
  return "set title 'Pareto front of the last generation, the knee point circled'\n"
         "set xlabel " +
         quote(label(s.objectives[0])) + "\nset ylabel " + quote(label(s.objectives[1])) +
         "\nset grid\nset key top right box opaque\nset offsets graph 0.02, graph 0.02, graph "
         "0.08, graph 0.02\n"
         "plot " +
         data + " " + front + ", " + data + " using (column(" + knee + ") == 1 ? column(" + x +
         ") : 1/0):" + y + " with points pt 6 ps 4 lw 2 lc rgb 'red' title 'knee'\n";
}

}  // namespace

void plot_tables(const std::string& dir, const study::Study& s, const study::Tables& t) {
  std::string reason;
  if (const std::string* e = table(t, "effects.csv"))
    reason = run_gnuplot((fs::path(dir) / "effects.png").string(), effects_script(*e),
                         rows_of(*e) > s.factors.size() + 1 ? 1000 : 640);
  if (const std::string* i = table(t, "indices.csv"))
    reason = run_gnuplot((fs::path(dir) / "indices.png").string(), indices_script(*i),
                         80 + 340 * static_cast<int>((rows_of(*i) - 1) /
                                                     std::max<std::size_t>(1, s.factors.size())));
  // A sample without a successful case has nothing to draw.
  const std::string* samples = table(t, "samples.csv");
  const std::string* results = table(t, "results.csv");
  if (const std::string* b = table(t, "best.csv");
      b != nullptr && rows_of(*b) > 1 && samples != nullptr && results != nullptr)
    reason =
        run_gnuplot((fs::path(dir) / "best.png").string(), best_script(s, *samples, *results, *b),
                    100 + 330 * static_cast<int>((s.factors.size() + 2) / 3));
  // A front without a feasible design has nothing to draw.
  if (const std::string* p = table(t, "pareto.csv"); p != nullptr && rows_of(*p) > 1)
    reason = run_gnuplot((fs::path(dir) / "pareto.png").string(), pareto_script(dir, s));
  if (!reason.empty()) std::fprintf(stderr, "tarvello-run: no plots: %s\n", reason.c_str());
}

}  // namespace tds
