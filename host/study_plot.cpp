#include "study_plot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "csv.h"
#include "description.h"
#include "output.h"
#include "run.h"

namespace tds {

namespace fs = std::filesystem;

namespace {

// The j-th data block's name ("o0", "o1", ...), or with "$" its reference in
// a script. Built by appending: GCC 12 warns falsely (-Wrestrict) on a
// literal joined to a temporary string in the optimised build.
std::string block_name(std::size_t j, const char* prefix = "o") {
  std::string name = prefix;
  name += std::to_string(j);
  return name;
}

// A gnuplot string: quoted, a line break as its escape.
std::string quote(const std::string& text) {
  std::string q = "\"";
  for (char c : text) {
    if (c == '\n') {
      q += "\\n";
      continue;
    }
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

// Runs a gnuplot script; the PNG goes to a temporary name, renamed when
// gnuplot has succeeded. Returns the reason of a failure or "".
std::string run_gnuplot(const std::string& png, const std::string& script, int height = 640,
                        int width = 1000) {
  const std::string temporary = temporary_name_for(png);
  const std::string full =
      "set terminal pngcairo size " + std::to_string(width) + "," + std::to_string(height) +
      " font 'sans,10' noenhanced\n"
      "set output " +
      quote(temporary) + "\nset datafile separator ','\n" + script + "unset output\n";
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

// A factor's or an output's words as a plot shows them, with the unit in
// parentheses; its name when the study has no words for it.
template <class T>
std::string words(const T& x) {
  const std::string label = x.label.empty() ? x.name : x.label;
  return x.unit.empty() ? label : label + " (" + x.unit + ")";
}

// The index of the factor or output of that name, or the count when none.
template <class T>
std::size_t index_of(const std::vector<T>& list, const std::string& name) {
  std::size_t i = 0;
  while (i < list.size() && list[i].name != name) ++i;
  return i;
}

// Text broken into lines of at most `width` characters at spaces (a longer
// word stands on a line of its own).
std::vector<std::string> wrapped(const std::string& text, std::size_t width) {
  std::vector<std::string> lines(1);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::string word = text.substr(at, space == std::string::npos ? space : space - at);
    at = space == std::string::npos ? text.size() : space + 1;
    if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
      lines.emplace_back();
    lines.back() += (lines.back().empty() ? "" : " ") + word;
  }
  return lines;
}

// Lines as one text of several lines.
std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  return text;
}

// Rows of numbers as a gnuplot data block.
std::string data_block(const std::string& block,
                       const std::vector<std::vector<std::string>>& rows) {
  std::string text = "$" + block + " << EOD\n";
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) text += (c ? "," : "") + row[c];
    text += "\n";
  }
  return text + "EOD\n";
}

// Where the numbers of a Morris panel's points go: each beside its point,
// on the first side (right above, right below, left above, left below,
// above, below) where it overlaps neither another number nor another point
// nor leaves the panel, else where it overlaps least; the points in the
// order of their mu*, largest first. Positions are fractions of
// the panel's axes; a character is `cw` wide and `ch` high in the same
// fractions. Returns per point its offset in characters (x, y).
struct Placed {
  double x0, y0, x1, y1;
};
bool overlaps(const Placed& a, const Placed& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}
std::vector<std::pair<double, double>> place_numbers(const std::vector<double>& x,
                                                     const std::vector<double>& y,
                                                     const std::vector<std::size_t>& digits,
                                                     double cw, double ch) {
  const std::size_t n = x.size();
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return x[a] > x[b]; });
  // A point's marker: about a character square.
  std::vector<Placed> taken;
  for (std::size_t i = 0; i < n; ++i)
    taken.push_back({x[i] - 0.5 * cw, y[i] - 0.4 * ch, x[i] + 0.5 * cw, y[i] + 0.4 * ch});
  std::vector<std::pair<double, double>> offsets(n, {0.7, 0.5});
  for (std::size_t i : order) {
    const double w = static_cast<double>(digits[i]);
    // Offsets of the number's left edge and middle height, in characters.
    const std::pair<double, double> sides[] = {{0.7, 0.6},       {0.7, -0.6},   {-0.7 - w, 0.6},
                                               {-0.7 - w, -0.6}, {-w / 2, 1.0}, {-w / 2, -1.0}};
    std::size_t best = 0;
    double least = -1.0;
    for (std::size_t c = 0; c < std::size(sides); ++c) {
      const Placed box = {x[i] + sides[c].first * cw, y[i] + (sides[c].second - 0.5) * ch,
                          x[i] + (sides[c].first + w) * cw, y[i] + (sides[c].second + 0.5) * ch};
      double overlap = 0.0;
      for (const Placed& t : taken)
        if (overlaps(box, t))
          overlap += (std::min(box.x1, t.x1) - std::max(box.x0, t.x0)) *
                     (std::min(box.y1, t.y1) - std::max(box.y0, t.y0));
      // Inside the panel, too.
      if (box.x0 < 0.0 || box.x1 > 1.0 || box.y0 < 0.0 || box.y1 > 1.0) overlap += 1.0;
      if (least < 0.0 || overlap < least) {
        least = overlap;
        best = c;
      }
      if (overlap == 0.0) break;
    }
    const auto [dx, dy] = sides[best];
    taken.push_back(
        {x[i] + dx * cw, y[i] + (dy - 0.5) * ch, x[i] + (dx + w) * cw, y[i] + (dy + 0.5) * ch});
    offsets[i] = {dx, dy};
  }
  return offsets;
}

// Morris's mu*-sigma scatter, a panel per output. The factors are numbered
// in the study's order, the same number in every panel, and listed by number
// in words beside the panels: a number is short enough to stand beside its
// point without covering another's.
std::string effects_script(const study::Study& s, const std::string& text, int width, int height) {
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
  const std::size_t panel_rows = (outputs.size() + columns - 1) / columns;
  // The panels take the left three quarters, the list of factors the rest.
  constexpr double kLeft = 0.06, kRight = 0.73, kSpaceX = 0.07;
  const double bottom = 60.0 / height, top = 1.0 - 75.0 / height, space_y = 90.0 / height;
  const double panel_w = width * (kRight - kLeft - kSpaceX * static_cast<double>(columns - 1)) /
                         static_cast<double>(columns);
  const double panel_h = height * (top - bottom - space_y * static_cast<double>(panel_rows - 1)) /
                         static_cast<double>(panel_rows);
  // A character of the numbers' font (9 points) in pixels.
  const double cw = 7.0 / panel_w, ch = 14.0 / panel_h;
  // The list: the numbers aligned on the right in one column, the words
  // (wrapped) on the left in the next, line for line.
  std::vector<std::string> numbers_column = {"", ""}, words_column = {"The factors", ""};
  for (std::size_t i = 0; i < s.factors.size(); ++i) {
    const std::vector<std::string> lines = wrapped(words(s.factors[i]), 38);
    numbers_column.push_back(std::to_string(i + 1));
    numbers_column.resize(numbers_column.size() + lines.size() - 1);
    words_column.insert(words_column.end(), lines.begin(), lines.end());
  }
  words_column.emplace_back();
  for (const std::string& line : wrapped(
           "A factor whose mu* lies below 5 % of the largest in a panel has no number there.", 38))
    words_column.push_back(line);
  char margins[160];
  std::snprintf(margins, sizeof margins, " margins %.3f,%.3f,%.3f,%.3f spacing %.3f,%.3f", kLeft,
                kRight, bottom, top, kSpaceX, space_y);
  char numbers_at[64], words_at[64];
  std::snprintf(numbers_at, sizeof numbers_at, " at screen 0.765, screen %.3f right", top);
  std::snprintf(words_at, sizeof words_at, " at screen 0.775, screen %.3f left", top);
  std::string script =
      "set grid\n"
      "set xlabel 'mu*: mean absolute change over the factor range'\n"
      "set ylabel 'sigma: spread of the changes'\nunset key\n"
      "set label 1000 " +
      quote(joined(numbers_column)) + numbers_at + " front font ',10'\nset label 1001 " +
      quote(joined(words_column)) + words_at +
      " front font ',10'\n"
      "set multiplot layout " +
      std::to_string(panel_rows) + "," + std::to_string(columns) + margins +
      " title 'Morris screening: the factors by mean absolute effect (mu*) "
      "and spread (sigma) of their effects, numbered as listed on the right'\n";
  for (std::size_t j = 0; j < outputs.size(); ++j) {
    double x_top = 0.0, y_top = 0.0;
    for (const auto* row : rows[j]) {
      x_top = std::max(x_top, std::strtod(row->fields[3].c_str(), nullptr));
      y_top = std::max(y_top, std::strtod(row->fields[4].c_str(), nullptr));
    }
    // Fixed ranges, so that the numbers' places are known: room above and
    // to the right for the numbers of the outermost points.
    x_top = x_top > 0.0 ? x_top * 1.12 : 1.0;
    y_top = y_top > 0.0 ? y_top * 1.15 : 1.0;
    // Factors without a visible effect stay unnumbered: they crowd at the
    // origin, and the list names them all the same.
    std::vector<double> xs, ys;
    std::vector<std::size_t> digits, numbers;
    std::vector<std::vector<std::string>> block;
    for (const auto* row : rows[j]) {
      const double mu_star = std::strtod(row->fields[3].c_str(), nullptr);
      const double sigma = std::strtod(row->fields[4].c_str(), nullptr);
      block.push_back({row->fields[3], row->fields[4]});
      if (!(mu_star > 0.05 * x_top / 1.12)) continue;
      const std::size_t number = index_of(s.factors, row->fields[0]) + 1;
      xs.push_back(mu_star / x_top);
      ys.push_back(sigma / y_top);
      digits.push_back(std::to_string(number).size());
      numbers.push_back(number);
    }
    const auto offsets = place_numbers(xs, ys, digits, cw, ch);
    const std::string name = block_name(j);
    const std::size_t out = index_of(s.outputs, outputs[j]);
    script += data_block(name, block) + "set xrange [0:" + format_double(x_top) +
              "]\nset yrange [0:" + format_double(y_top) + "]\nset title " +
              quote(out < s.outputs.size() ? words(s.outputs[out]) : outputs[j]) + "\n";
    for (std::size_t p = 0; p < xs.size(); ++p) {
      char place[200];
      std::snprintf(place, sizeof place, " at %.17g,%.17g offset char %.2f,%.2f", xs[p] * x_top,
                    ys[p] * y_top, offsets[p].first, offsets[p].second);
      script += "set label " + std::to_string(p + 1) + " " + quote(std::to_string(numbers[p])) +
                place + " left font ',9'\n";
    }
    script += "plot $" + name + " using 1:2 with points pt 7 ps 1.3\nunset label\n";
  }
  return script + "unset multiplot\n";
}

std::string indices_script(const study::Study& s, const std::string& text) {
  const CsvTable csv = parse_csv(text, "indices.csv");
  std::vector<std::string> outputs, tics;
  std::vector<std::vector<std::vector<std::string>>> rows;
  for (const auto& row : csv.rows) {
    if (outputs.empty() || outputs.back() != row.fields[1]) {
      outputs.push_back(row.fields[1]);
      rows.emplace_back();
      tics.emplace_back();
    }
    // Each bar pair's factor in words, on lines short enough to stand
    // under it, as a tic of the command (a data field would take the words'
    // quotes for its own).
    const std::size_t f = index_of(s.factors, row.fields[0]);
    const std::string label = f < s.factors.size() ? words(s.factors[f]) : row.fields[0];
    const std::size_t width =
        std::max<std::size_t>(10, 125 / std::max<std::size_t>(1, s.factors.size()));
    tics.back() += (tics.back().empty() ? "" : ", ") + quote(joined(wrapped(label, width))) + " " +
                   std::to_string(rows.back().size());
    rows.back().emplace_back(row.fields.begin() + 2, row.fields.end());
  }
  std::string script =
      "set style fill solid 0.6 border -1\nset boxwidth 0.35\nset grid ytics\n"
      "set key top right box opaque\nset yrange [0:1.15]\nset xtics font ',9'\n"
      "set ylabel 'index'\nset bmargin 5\nset lmargin 10\nset xrange [-0.6:" +
      std::to_string(rows.empty() ? 0 : rows[0].size()) + "-0.4]\nset multiplot layout " +
      std::to_string(outputs.size()) + ",1\n";
  for (std::size_t j = 0; j < outputs.size(); ++j) {
    const std::string block = block_name(j, "$o");
    script += data_block(block_name(j), rows[j]);
    const std::size_t out = index_of(s.outputs, outputs[j]);
    const std::string of =
        out < s.outputs.size()
            ? in_sentence(s.outputs[out].label.empty() ? s.outputs[out].name : s.outputs[out].label)
            : outputs[j];
    script +=
        "set title " + quote("Sobol' indices of " + of + ", with their bootstrap intervals") + "\n";
    script += "set xtics (" + tics[j] + ")\n";
    script += "plot " + block + " using ($0-0.18):1 with boxes title 'S1 (first order)', " + block +
              " using ($0-0.18):1:2:3 with yerrorbars lc black pt 0 notitle, " + block +
              " using ($0+0.18):4 with boxes title 'ST (total effect)', " + block +
              " using ($0+0.18):4:5:6 with yerrorbars lc black pt 0 notitle\n";
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
  const study::Goal& goal = std::get<study::LhsOptions>(s.method).objective;
  // results.csv: case, status, the figures, then the study's outputs.
  const std::size_t objective = results.header.size() - s.outputs.size() + goal.output;
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
  const study::Output& objective_output = s.outputs[goal.output];
  const std::string name = words(objective_output);
  const std::string y = std::to_string(k + 1), r = std::to_string(k + 2);
  const std::size_t columns = std::min<std::size_t>(k, 3);
  std::string script =
      data_block("s", rows) + "set grid\nset key " + std::string(goal.maximise ? "bottom" : "top") +
      " right box opaque font ',8'\n"
      "set offsets graph 0.03, graph 0.03, graph 0.08, graph 0.08\n"
      "set ylabel " +
      quote(name) + "\nset multiplot layout " + std::to_string((k + columns - 1) / columns) + "," +
      std::to_string(columns) + " title " +
      quote("Latin hypercube: " +
            in_sentence(objective_output.label.empty() ? objective_output.name
                                                       : objective_output.label) +
            (goal.maximise ? " (maximised)" : " (minimised)") +
            " against each factor, the best designs numbered by rank") +
      "\n";
  for (std::size_t i = 0; i < k; ++i) {
    const std::string x = std::to_string(i + 1);
    const std::string best_only = "(column(" + r + ") > 0 ? column(" + x + ") : 1/0)";
    script += "set xlabel " + quote(joined(wrapped(words(s.factors[i]), 38))) + "\nplot $s using " +
              x + ":" + y + " with points pt 7 ps 0.8 lc rgb '#9a9a9a' title 'sample', $s using " +
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
  // pareto.csv: case, the factors, the outputs, knee (columns from 1); of a
  // robust search: design, the levers, the measures, knee.
  const auto& o = std::get<study::Nsga2StudyOptions>(s.method);
  const std::vector<study::Goal>& objectives = o.objectives;
  const bool robust = !s.futures.values.empty();
  const auto measures = study::measure_columns(s, o);
  const std::size_t k = robust ? s.levers : s.factors.size();
  const std::size_t m = robust ? measures.size() : s.outputs.size();
  const auto column = [&](std::size_t goal) {
    if (!robust) return std::to_string(k + 2 + objectives[goal].output);
    const std::string name =
        study::measure_name(s, study::objective_statistic(s, o, goal), objectives[goal].output);
    std::size_t at = 0;
    while (at < measures.size() && measures[at].first != name) ++at;
    return std::to_string(k + 2 + at);
  };
  const std::string x = column(0), y = column(1), knee = std::to_string(k + 2 + m);
  const std::string data = quote((fs::path(dir) / "pareto.csv").string());
  const auto label = [&](const study::Goal& g) {
    const auto j = static_cast<std::size_t>(&g - objectives.data());
    const study::Statistic statistic = study::objective_statistic(s, o, j);
    const std::string& unit = s.outputs[g.output].unit;
    std::string what = !robust ? words(s.outputs[g.output])
                               : study::measure_words(s, statistic, g.output) +
                                     (statistic == study::Statistic::Satisficing || unit.empty()
                                          ? ""
                                          : " (" + unit + ")");
    if (robust) what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
    return what + (g.maximise ? ", maximised" : ", minimised");
  };
  // A third objective colours the points.
  const std::string front =
      objectives.size() > 2
          ? "using " + x + ":" + y + ":" + column(2) + " with points pt 7 ps 1.4 palette title " +
                quote("front (colour: " + in_sentence(label(objectives[2])) + ")")
          : "using " + x + ":" + y + " with points pt 7 ps 1.4 title 'front'";
  const std::string title =
      std::get<study::Nsga2StudyOptions>(s.method).epsilons.empty()
          ? "Pareto front of every design evaluated, the knee point circled"
          : "Pareto front of every design evaluated, one per epsilon box, the knee point circled";
  return "set title " + quote(title) +
         "\n"
         "set xlabel " +
         quote(label(objectives[0])) + "\nset ylabel " + quote(label(objectives[1])) +
         "\nset grid\nset key top right box opaque\nset offsets graph 0.02, graph 0.02, graph "
         "0.08, graph 0.02\n"
         "plot " +
         data + " " + front + ", " + data + " using (column(" + knee + ") == 1 ? column(" + x +
         ") : 1/0):" + y + " with points pt 6 ps 4 lw 2 lc rgb 'red' title 'knee'\n";
}

std::string convergence_script(const std::string& dir) {
  // convergence.csv: generation, evaluations, front, entered, left,
  // hypervolume, then the normalised box (columns from 1).
  const std::string data = quote((fs::path(dir) / "convergence.csv").string());
  return "set multiplot layout 2,1 title 'Convergence of the search: the archive of non-dominated "
         "designs after each generation'\n"
         "set grid\nset key bottom right box opaque\nset xlabel 'generation'\n"
         "set autoscale xfix\nset offsets 0.5, 0.5, graph 0.08, graph 0.02\n"
         "set ylabel 'hypervolume (share of the normalised box)'\nset yrange [0:*]\n"
         "plot " +
         data +
         " using 1:6 with linespoints pt 7 ps 0.8 lw 2 lc rgb '#1a4f8b' title 'hypervolume of "
         "the front'\n"
         "set ylabel 'designs'\nset key top left box opaque\nset style fill solid 0.6 noborder\n"
         "set boxwidth 0.4\n"
         "plot " +
         data + " using ($1 - 0.2):4 with boxes lc rgb '#2e8b57' title 'entered', " + data +
         " using ($1 + 0.2):5 with boxes lc rgb '#c0392b' title 'left', " + data +
         " using 1:3 with lines lw 2 lc rgb 'black' title 'size of the front'\n"
         "unset multiplot\n";
}

// The designs' robustness: each design's satisficing against the 90th
// percentile of its outcomes of the ranked output, numbered by rank, the most
// robust circled.
std::string robustness_script(const study::Study& s, const std::string& text) {
  const CsvTable t = parse_csv(text, "robustness.csv");
  const study::Output& out =
      s.outputs[study::drawn_output(std::get<study::RobustOptions>(s.method))];
  // rank, design, the levers, output, mean, std, p10, p50, p90, worst, ...,
  // satisficing (columns from 0).
  const std::size_t at = 2 + s.levers;
  std::vector<std::vector<std::string>> rows;
  for (const CsvTable::Row& r : t.rows)
    if (r.fields[at] == out.name && !r.fields[at + 5].empty())
      rows.push_back({r.fields[at + 5], r.fields[at + 9], r.fields[0], r.fields[1]});
  return data_block("d", rows) +
         "set title 'Robustness of the designs: the share of futures that meet every threshold "
         "against the 90th percentile, numbered by rank'\n"
         "set xlabel " +
         quote("90th percentile over the futures of " + in_sentence(words(out))) +
         "\nset ylabel 'Satisficing (share of futures meeting every threshold)'\n"
         "set grid\nset key bottom right box opaque\n"
         "set offsets graph 0.05, graph 0.05, graph 0.08, graph 0.08\n"
         "plot $d using 1:2 with points pt 7 ps 1.3 lc rgb '#2a6f97' title 'design', "
         "$d using 1:2:3 with labels offset char 0.9,0.6 font ',8' notitle, "
         "$d using (column(3) == 1 ? column(1) : 1/0):2 with points pt 6 ps 3.5 lw 2 "
         "lc rgb 'black' title 'the most robust'\n";
}

// PRIM's trade-off: coverage against density along the peeling trajectory,
// the chosen step circled.
std::string tradeoff_script(const std::string& dir) {
  const std::string data = quote((fs::path(dir) / "prim_trajectory.csv").string());
  return "set title 'Scenario discovery: coverage against density along the peeling "
         "trajectory'\nset xlabel 'Coverage (share of the misses inside the box)'\n"
         "set ylabel 'Density (share of the box that misses)'\nset grid\n"
         "set key bottom left box opaque\nset xrange [0:1.02]\nset yrange [0:1.02]\n"
         "plot " +
         data +
         " using 2:3 every ::1 with linespoints pt 7 ps 0.8 lc rgb '#2a6f97' title "
         "'peeling steps', " +
         data +
         " using (column(6) == 1 ? column(2) : 1/0):3 every ::1 with points pt 6 ps 3.5 lw 2 "
         "lc rgb 'red' title 'chosen box'\n";
}

// The chosen box over the futures of the discovered design, on its two most
// restricted uncertainties (of those given by bounds), the misses marked.
// Empty when the study has fewer than two such uncertainties.
std::string box_script(const study::Study& s, const std::string& results_text,
                       const std::string& box_text) {
  const auto& o = std::get<study::RobustOptions>(s.method);
  const CsvTable results = parse_csv(results_text, "results.csv");
  const CsvTable box = parse_csv(box_text, "boxes.csv");
  if (box.rows.empty()) return "";
  const std::vector<std::string>& b = box.rows.front().fields;
  // Per continuous uncertainty: its column in results.csv, its box's bounds
  // and how much of its range the box cuts away.
  struct Axis {
    std::size_t u, column;
    double low, high, cut;
  };
  std::vector<Axis> axes;
  std::size_t field = 5;
  for (std::size_t u = 0; u + s.levers < s.factors.size(); ++u) {
    const study::Factor& f = s.factors[s.levers + u];
    if (!f.levels.empty()) {
      ++field;
      continue;
    }
    Axis a{u, 3 + s.levers + u, f.low, f.high, 0.0};
    if (!b[field].empty()) {
      a.low = std::strtod(b[field].c_str(), nullptr);
      a.high = std::strtod(b[field + 1].c_str(), nullptr);
      a.cut = 1.0 - (a.high - a.low) / (f.high - f.low);
    }
    field += 2;
    axes.push_back(a);
  }
  if (axes.size() < 2) return "";
  std::stable_sort(axes.begin(), axes.end(),
                   [](const Axis& x, const Axis& y) { return x.cut > y.cut; });
  const Axis &x = axes[0], &y = axes[1];
  const std::size_t first_output = results.header.size() - s.outputs.size();
  std::vector<std::vector<std::string>> rows;
  for (const CsvTable::Row& r : results.rows) {
    if (r.fields[1] != b[0]) continue;
    bool met = r.fields[3 + s.factors.size()] == "ok";
    for (const study::Constraint& k : o.thresholds) {
      const double v = met ? std::strtod(r.fields[first_output + k.output].c_str(), nullptr) : 0.0;
      met = met && v >= k.min && v <= k.max;
    }
    rows.push_back({r.fields[x.column], r.fields[y.column], met ? "0" : "1"});
  }
  const auto label = [&](const Axis& a) { return words(s.factors[s.levers + a.u]); };
  return data_block("f", rows) + "set title " +
         quote("Where design " + b[0] + " misses its thresholds: the chosen box over the futures") +
         "\nset xlabel " + quote(label(x)) + "\nset ylabel " + quote(label(y)) +
         "\nset grid\nset key top left box opaque\n"
         "set object 1 rect from " +
         format_double(x.low) + "," + format_double(y.low) + " to " + format_double(x.high) + "," +
         format_double(y.high) +
         " fc rgb '#f4d03f' fs transparent solid 0.25 border lc rgb '#b7950b' lw 2 behind\n"
         "plot $f using (column(3) == 0 ? column(1) : 1/0):2 with points pt 7 ps 1 lc rgb "
         "'#9a9a9a' title 'meets its thresholds', $f using (column(3) == 1 ? column(1) : 1/0):2 "
         "with points pt 7 ps 1.2 lc rgb '#c0392b' title 'misses', "
         "1/0 with boxes fc rgb '#f4d03f' title 'chosen box'\n";
}

// The plots, by the name of their file.
constexpr const char* kEffectsPlot = "effects.png";
constexpr const char* kIndicesPlot = "indices.png";
constexpr const char* kBestPlot = "best.png";
constexpr const char* kParetoPlot = "pareto.png";
constexpr const char* kConvergencePlot = "convergence.png";
constexpr const char* kRobustnessPlot = "robustness.png";
constexpr const char* kTradeoffPlot = "prim_tradeoff.png";
constexpr const char* kBoxPlot = "prim_box.png";

}  // namespace

std::vector<std::string> plot_files() {
  return {kEffectsPlot,     kIndicesPlot,    kBestPlot,     kParetoPlot,
          kConvergencePlot, kRobustnessPlot, kTradeoffPlot, kBoxPlot};
}

void plot_tables(const std::string& dir, const study::Study& s, const study::Tables& t) {
  std::string reason;
  if (const std::string* e = table(t, study::MorrisOptions::kEffects)) {
    const int height = rows_of(*e) > s.factors.size() + 1 ? 1000 : 640;
    reason = run_gnuplot((fs::path(dir) / kEffectsPlot).string(),
                         effects_script(s, *e, 1300, height), height, 1300);
  }
  if (const std::string* i = table(t, study::SobolOptions::kIndices))
    reason = run_gnuplot((fs::path(dir) / kIndicesPlot).string(), indices_script(s, *i),
                         80 + 340 * static_cast<int>((rows_of(*i) - 1) /
                                                     std::max<std::size_t>(1, s.factors.size())));
  // A sample without a successful case has nothing to draw.
  const std::string* samples = table(t, study::kSamplesFile);
  const std::string* results = table(t, study::kResultsFile);
  if (const std::string* b = table(t, study::LhsOptions::kBest);
      b != nullptr && rows_of(*b) > 1 && samples != nullptr && results != nullptr)
    reason =
        run_gnuplot((fs::path(dir) / kBestPlot).string(), best_script(s, *samples, *results, *b),
                    100 + 330 * static_cast<int>((s.factors.size() + 2) / 3));
  // A front without a feasible design has nothing to draw.
  if (const std::string* p = table(t, study::Nsga2StudyOptions::kPareto);
      p != nullptr && rows_of(*p) > 1)
    reason = run_gnuplot((fs::path(dir) / kParetoPlot).string(), pareto_script(dir, s));
  if (const std::string* c = table(t, study::Nsga2StudyOptions::kConvergence);
      c != nullptr && rows_of(*c) > 1)
    reason = run_gnuplot((fs::path(dir) / kConvergencePlot).string(), convergence_script(dir));
  if (const std::string* r = table(t, study::RobustOptions::kRobustness);
      r != nullptr && rows_of(*r) > 1) {
    // One design (a study without levers) has no designs to compare.
    if (s.levers > 0)
      reason = run_gnuplot((fs::path(dir) / kRobustnessPlot).string(), robustness_script(s, *r));
    const std::string* trajectory = table(t, study::RobustOptions::kTrajectory);
    if (trajectory != nullptr && rows_of(*trajectory) > 2)
      reason = run_gnuplot((fs::path(dir) / kTradeoffPlot).string(), tradeoff_script(dir));
    const std::string* box = table(t, study::RobustOptions::kBoxes);
    if (box != nullptr && results != nullptr && rows_of(*box) > 1)
      if (const std::string script = box_script(s, *results, *box); !script.empty())
        reason = run_gnuplot((fs::path(dir) / kBoxPlot).string(), script);
  }
  if (!reason.empty()) std::fprintf(stderr, "tarvello-run: no plots: %s\n", reason.c_str());
}

}  // namespace tds
