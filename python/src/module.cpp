// The native part of the Python package: the site, its runs, batches and
// studies on the engine, with errors as Python exceptions. The Python layer
// (tarvello/) turns the results into pandas and xarray objects.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <cmath>
#include <optional>

#include "csv.h"
#include "method_robust.h"
#include "model_evaluator.h"
#include "python_site.h"
#include "python_study.h"
#include "run.h"
#include "study.h"
#include "study_file.h"

namespace py = pybind11;
using namespace pybind11::literals;  // NOLINT(google-build-using-namespace): "name"_a
using tds::python::Setting;
using tds::python::Site;
using tds::python::SteppedStudy;

namespace {

// Python's values of a mapping as settings: numbers stay numbers, texts are
// read as --set reads them.
std::vector<Setting> settings_of(const py::dict& values) {
  std::vector<Setting> out;
  for (const auto& [key, handle] : values) {
    const py::object value = py::reinterpret_borrow<py::object>(handle);
    Setting s;
    if (!py::isinstance<py::str>(key))
      throw py::type_error("set: the names must be texts, not " +
                           std::string(py::str(py::type::of(key).attr("__name__"))));
    s.name = key.cast<std::string>();
    if (py::isinstance<py::bool_>(value) ||
        value.get_type().attr("__name__").cast<std::string>() == "bool_") {
      throw tds::InputError("set " + s.name + ": a bool is not a value of the model");
    } else if (py::isinstance<py::str>(value)) {
      s.type = Setting::Type::Text;
      s.text = value.cast<std::string>();
    } else if (py::isinstance<py::int_>(value) || py::hasattr(value, "__index__")) {
      s.type = Setting::Type::Integer;
      try {
        s.i = py::int_(value).cast<long long>();
      } catch (const std::exception&) {
        throw tds::InputError("set " + s.name + ": " + std::string(py::str(value)) +
                              " is out of range");
      }
    } else if (py::hasattr(value, "__float__")) {
      s.type = Setting::Type::Float;
      s.d = py::float_(value).cast<double>();
    } else {
      throw tds::InputError("set " + s.name + ": " + std::string(py::repr(value)) +
                            " is not a number or a text");
    }
    out.push_back(std::move(s));
  }
  return out;
}

// Scale factors as Python gives them: numbers, or texts read as --scale reads
// them.
std::vector<std::pair<std::string, double>> factors_of(const py::dict& factors) {
  std::vector<std::pair<std::string, double>> out;
  for (const auto& [key, handle] : factors) {
    const py::object value = py::reinterpret_borrow<py::object>(handle);
    const std::string name = py::str(key).cast<std::string>();
    if (py::isinstance<py::str>(value)) {
      out.emplace_back(name, tds::parse_factor(value.cast<std::string>(), "scale " + name));
    } else if (!py::isinstance<py::bool_>(value) && py::hasattr(value, "__float__")) {
      out.emplace_back(name, py::float_(value).cast<double>());
    } else {
      throw tds::InputError("scale " + name + ": " + std::string(py::repr(value)) +
                            " is not a number");
    }
  }
  return out;
}

std::vector<std::size_t> variables_of(const Site& site, const py::object& vars) {
  if (vars.is_none()) return site.variables({}, false, true);
  if (py::isinstance<py::str>(vars)) {
    if (vars.cast<std::string>() == "all") return site.variables({}, true, false);
    return site.variables({vars.cast<std::string>()}, false, false);
  }
  const auto names = vars.cast<std::vector<std::string>>();
  if (names.empty()) throw tds::InputError("vars: the list is empty; give names or \"all\"");
  return site.variables(names, false, false);
}

// The run's figures as {name: value}: the plan's counts, the shortfall days
// and each shortfall, in the order of a sweep's summary.
py::dict figures_of(const Site& site, const tds::RunResult& r) {
  py::dict f;
  for (std::size_t i = 0; i < site.plan().counts().size(); ++i)
    f[py::str(site.plan().counts()[i].name)] = r.counted[i];
  f["shortfall_days"] = r.shortfall_days;
  for (std::size_t i = 0; i < site.plan().shortfalls().size(); ++i)
    f[py::str(site.plan().shortfalls()[i].name)] = r.shortfall_each[i];
  return f;
}

py::object cell_object(const tds::Cell& c) {
  switch (c.kind) {
    case tds::Kind::Double:
      return py::float_(c.d);
    case tds::Kind::Int:
      return py::int_(c.i);
    case tds::Kind::Text:
      return c.t ? py::object(py::str(c.t)) : py::object(py::none());
  }
  return py::none();
}

py::dict run(const Site& site, long long days, const py::dict& set, const py::object& vars,
             long long every, const py::dict& scale) {
  if (days < 1)
    throw tds::InputError("days: " + std::to_string(days) + " is not a positive whole number");
  if (every < 1)
    throw tds::InputError("every: " + std::to_string(every) + " is not a positive whole number");
  tds::RunOptions options;
  options.days = days;
  options.every = every;
  options.variables = variables_of(site, vars);
  std::deque<std::string> keep;
  options.overrides = site.cells(settings_of(set), keep);
  options.scales = site.scales(factors_of(scale));
  tds::python::Columns columns;
  {
    const py::gil_scoped_release released;
    columns = site.run(options);
  }
  const auto& values = site.description().values();
  py::list names, data;
  for (std::size_t c = 0; c < columns.variables.size(); ++c) {
    names.append(values[columns.variables[c]].name);
    switch (values[columns.variables[c]].kind) {
      case tds::Kind::Double:
        data.append(py::array_t<double>(static_cast<py::ssize_t>(columns.doubles[c].size()),
                                        columns.doubles[c].data()));
        break;
      case tds::Kind::Int:
        data.append(py::array_t<std::int32_t>(static_cast<py::ssize_t>(columns.ints[c].size()),
                                              columns.ints[c].data()));
        break;
      case tds::Kind::Text: {
        py::list texts;
        for (const auto& t : columns.texts[c])
          texts.append(t ? py::object(py::str(*t)) : py::object(py::none()));
        data.append(texts);
        break;
      }
    }
  }
  py::dict levels;
  for (std::size_t i = 0; i < site.plan().levels().size(); ++i)
    levels[py::str(values[site.plan().levels()[i]].name)] = cell_object(columns.result.levels[i]);
  py::dict out;
  out["day"] =
      py::array_t<long long>(static_cast<py::ssize_t>(columns.days.size()), columns.days.data());
  out["names"] = names;
  out["columns"] = data;
  out["figures"] = figures_of(site, columns.result);
  out["levels"] = levels;
  out["nodes_visited"] = columns.result.model_nodes_visited;
  return out;
}

template <class T>
py::array_t<T> array_of(const std::vector<T>& v) {
  return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

// Cases on the batch engine: each case (days, {name: value}, {name: factor})
// after the sweep's own set and scale. Returns each case's status ("ok",
// "failed: ...", "crashed: ..." as a sweep's summary has it), the figures as
// columns, and the variables' final values or, with daily, their values per
// day as case x row arrays: rows for the longest case, and at least
// `longest` days so that the chunks of one sweep have one shape (rows of a
// shorter case padded: NaN, 0 for ints, None for texts).
py::dict sweep(const Site& site, const py::list& cases, const py::dict& set, const py::dict& scale,
               const py::object& vars, long long every, unsigned jobs, bool daily,
               long long longest) {
  if (every < 1)
    throw tds::InputError("every: " + std::to_string(every) + " is not a positive whole number");
  if (jobs < 1) throw tds::InputError("jobs: 0 is not a positive whole number");
  tds::BatchOptions options;
  options.jobs = jobs;
  options.daily = daily;
  options.run.every = every;
  options.run.variables = variables_of(site, vars);
  std::deque<std::string> keep;
  options.run.overrides = site.cells(settings_of(set), keep);
  options.run.scales = site.scales(factors_of(scale));
  std::vector<tds::BatchCase> runs;
  runs.reserve(cases.size());
  for (const auto& item : cases) {
    const auto c = item.cast<py::tuple>();
    tds::BatchCase run;
    run.days = c[0].cast<long long>();
    if (run.days < 1)
      throw tds::InputError("days: " + std::to_string(run.days) +
                            " is not a positive whole number");
    run.values = site.cells(settings_of(c[1].cast<py::dict>()), keep);
    run.scales = site.scales(factors_of(c[2].cast<py::dict>()));
    longest = std::max(longest, run.days);
    runs.push_back(std::move(run));
  }

  const tds::Description& d = site.description();
  const tds::Plan& plan = site.plan();
  const std::size_t n = runs.size(), vcount = options.run.variables.size();
  const std::size_t rows = daily ? static_cast<std::size_t>(longest / every) : 1;
  std::vector<std::string> status(n, "ok");
  std::vector<long long> days(n, 0), shortfall(n, 0);
  std::vector<std::vector<long long>> counted(plan.counts().size(), std::vector<long long>(n));
  std::vector<std::vector<long long>> each(plan.shortfalls().size(), std::vector<long long>(n));
  std::vector<std::vector<double>> doubles(vcount);
  std::vector<std::vector<std::int32_t>> ints(vcount);
  std::vector<std::vector<std::optional<std::string>>> texts(vcount);
  for (std::size_t v = 0; v < vcount; ++v) {
    switch (d.values()[options.run.variables[v]].kind) {
      case tds::Kind::Double:
        doubles[v].assign(n * rows, std::numeric_limits<double>::quiet_NaN());
        break;
      case tds::Kind::Int:
        ints[v].assign(n * rows, 0);
        break;
      case tds::Kind::Text:
        texts[v].assign(n * rows, std::nullopt);
        break;
    }
  }
  auto put = [&](std::size_t v, std::size_t at, const tds::Cell& cell) {
    switch (cell.kind) {
      case tds::Kind::Double:
        doubles[v][at] = cell.d;
        break;
      case tds::Kind::Int:
        ints[v][at] = cell.i;
        break;
      case tds::Kind::Text:
        if (cell.t) texts[v][at] = std::string(cell.t);
        break;
    }
  };
  {
    const py::gil_scoped_release released;
    site.batch(runs, options, [&](std::size_t i, tds::CaseOutcome&& outcome) {
      {
        // An interruption (Ctrl-C) ends the batch: its workers are killed.
        const py::gil_scoped_acquire held;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      }
      if (outcome.status == tds::CaseOutcome::Status::Failed) {
        status[i] = "failed: " + outcome.reason;
        return;
      }
      if (outcome.status == tds::CaseOutcome::Status::Crashed) {
        status[i] = "crashed: " + outcome.reason;
        return;
      }
      const tds::RunResult& r = outcome.figures;
      days[i] = r.days;
      shortfall[i] = r.shortfall_days;
      for (std::size_t k = 0; k < counted.size(); ++k) counted[k][i] = r.counted[k];
      for (std::size_t k = 0; k < each.size(); ++k) each[k][i] = r.shortfall_each[k];
      if (!daily) {
        for (std::size_t v = 0; v < vcount; ++v) put(v, i, r.finals[v]);
        return;
      }
      for (std::size_t row = 0; row * vcount < outcome.daily.size(); ++row)
        for (std::size_t v = 0; v < vcount; ++v)
          put(v, i * rows + row, outcome.daily[row * vcount + v]);
    });
  }

  py::dict figures;
  figures["days"] = array_of(days);
  for (std::size_t k = 0; k < counted.size(); ++k)
    figures[py::str(plan.counts()[k].name)] = array_of(counted[k]);
  figures["shortfall_days"] = array_of(shortfall);
  for (std::size_t k = 0; k < each.size(); ++k)
    figures[py::str(plan.shortfalls()[k].name)] = array_of(each[k]);
  py::list names, values;
  const py::module_ numpy = py::module_::import("numpy");
  for (std::size_t v = 0; v < vcount; ++v) {
    names.append(d.values()[options.run.variables[v]].name);
    py::object column;
    switch (d.values()[options.run.variables[v]].kind) {
      case tds::Kind::Double:
        column = array_of(doubles[v]);
        break;
      case tds::Kind::Int:
        column = array_of(ints[v]);
        break;
      case tds::Kind::Text: {
        py::list list;
        for (const auto& t : texts[v]) list.append(t ? py::object(py::str(*t)) : py::none());
        column = numpy.attr("array")(list, "dtype"_a = "object");
        break;
      }
    }
    values.append(daily ? column.attr("reshape")(n, rows) : column);
  }
  py::dict out;
  out["status"] = status;
  out["figures"] = figures;
  out["names"] = names;
  out["values"] = values;
  out["rows"] = rows;
  return out;
}

// A bound as Python gives it: None for none.
py::object bound(double x) { return std::isinf(x) ? py::none() : py::object(py::float_(x)); }

// A factor or an output as a plot shows it: its label (its name when it has
// none) with its unit, as a title and within a sentence.
template <class T>
py::dict shown(const T& x) {
  const std::string label = x.label.empty() ? x.name : x.label;
  const std::string words = x.unit.empty() ? label : label + " (" + x.unit + ")";
  return py::dict("name"_a = x.name, "label"_a = words, "in_sentence"_a = tds::in_sentence(words));
}

// A study's factors and outputs in the plan's words, for plots: per factor
// as shown(), with its bounds or values and whether it is a lever or an
// uncertainty; per output as shown(); for a robust study its thresholds and
// the output its designs are drawn against.
py::dict words_of(const tds::study::Study& s) {
  py::list factors, outputs;
  for (std::size_t i = 0; i < s.factors.size(); ++i) {
    const tds::study::Factor& f = s.factors[i];
    py::dict factor = shown(f);
    factor["low"] = f.low;
    factor["high"] = f.high;
    factor["values"] = f.levels;
    factor["lever"] = s.levers > 0 && i < s.levers;
    factor["uncertainty"] = s.levers > 0 && i >= s.levers;
    factors.append(factor);
  }
  for (const tds::study::Output& o : s.outputs) outputs.append(shown(o));
  py::dict out("factors"_a = factors, "outputs"_a = outputs);
  if (const auto* robust = std::get_if<tds::study::RobustOptions>(&s.method)) {
    py::list thresholds;
    for (const tds::study::Constraint& k : robust->thresholds)
      thresholds.append(py::dict("output"_a = s.outputs[k.output].name, "min"_a = bound(k.min),
                                 "max"_a = bound(k.max)));
    out["thresholds"] = thresholds;
    out["drawn"] = s.outputs[tds::study::drawn_output(*robust)].name;
  }
  return out;
}

// A study's files (name, bytes) in their order, its summary and method, and
// its words (words_of).
py::dict tables_of(const tds::study::Tables& tables, const tds::study::Study& s) {
  py::list files;
  for (const auto& [name, content] : tables.files)
    files.append(py::make_tuple(name, py::bytes(content)));
  py::dict out;
  out["files"] = files;
  out["summary"] = tables.summary;
  out["method"] = tds::study::method_name(s.method);
  out["words"] = words_of(s);
  return out;
}

// The files a study names as Python gives them: {name: bytes or text}.
tds::python::StudyTexts texts_of(const py::dict& files) {
  tds::python::StudyTexts out;
  for (const auto& [name, text] : files)
    out.emplace(name.cast<std::string>(), text.cast<std::string>());
  return out;
}

std::optional<std::string> base_of(const py::object& base) {
  if (base.is_none()) return std::nullopt;
  return base.cast<std::string>();
}

// A design study from its file's text, on the batch engine: its files (name,
// text) as tarvello-run --study writes them, and its summary line. The files
// the study names are read from the folder base. progress,
// when not None, is called with (cases done, of how many, phase).
py::dict study(const Site& site, const std::string& text, const std::string& source,
               const std::string& base, unsigned jobs, const py::object& progress) {
  if (jobs < 1) throw tds::InputError("jobs: 0 is not a positive whole number");
  tds::python::StudyTexts files;
  const tds::study::Study s = tds::python::read_study(site, text, source, base, files);
  tds::study::Tables tables;
  {
    const py::gil_scoped_release released;
    site.exclusive([&](const tds::Model& model, const tds::Plan& plan,
                       const tds::Scenario& scenario, const tds::Snapshot& snapshot) {
      tds::BatchOptions options;
      options.jobs = jobs;
      options.snapshot = &snapshot;
      tds::study::ModelEvaluator evaluator(model, plan, scenario, s, options);
      const auto cases = tds::study::run_cases(
          s, evaluator, [&](std::size_t done, std::size_t total, const std::string& phase) {
            // An interruption (Ctrl-C) ends the study: its workers are killed.
            const py::gil_scoped_acquire held;
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (!progress.is_none()) progress(done, total, phase);
          });
      tables = tds::study::make_tables(s, evaluator.figures(), cases);
    });
  }
  return tables_of(tables, s);
}

// Evaluations as plain Python data, which pickles small and exactly: a list
// of the outputs (floats) for a case that ran, the reason (a text) for one
// that failed.
py::list plain_evaluations(const std::vector<tds::study::Evaluation>& results) {
  py::list out;
  for (const tds::study::Evaluation& e : results) {
    if (e.ok)
      out.append(py::cast(e.outputs));
    else
      out.append(py::str(e.reason));
  }
  return out;
}

// The evaluations back from their plain form; each that ran must have
// `outputs` numbers.
std::vector<tds::study::Evaluation> evaluations_of(const py::sequence& plain, std::size_t outputs) {
  std::vector<tds::study::Evaluation> out(plain.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    const py::object item = plain[i];
    if (py::isinstance<py::str>(item)) {
      out[i].ok = false;
      out[i].reason = item.cast<std::string>();
    } else {
      out[i].outputs = item.cast<std::vector<double>>();
      if (out[i].outputs.size() != outputs)
        throw py::value_error("tell: evaluation " + std::to_string(i) + " has " +
                              std::to_string(out[i].outputs.size()) + " numbers, not " +
                              std::to_string(outputs));
    }
  }
  return out;
}

py::list stepped_evaluate(const SteppedStudy& s, const std::vector<std::vector<double>>& points,
                          unsigned jobs) {
  if (jobs < 1) throw tds::InputError("jobs: 0 is not a positive whole number");
  std::vector<tds::study::Evaluation> results;
  {
    const py::gil_scoped_release released;
    results = s.evaluate(points, jobs, [] {
      // An interruption (Ctrl-C) ends the chunk: its workers are killed.
      const py::gil_scoped_acquire held;
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
  }
  return plain_evaluations(results);
}

// The description's values as rows: name, kind, block, process, initial
// value, and the role that the plan and scenario give it.
py::list value_rows(const Site& site) {
  const tds::Description& d = site.description();
  std::vector<std::string> role(d.values().size());
  for (std::size_t v = 0; v < role.size(); ++v)
    role[v] = d.values()[v].slot ? "signal slot" : "variable";
  for (std::size_t v : site.plan().default_variables()) role[v] = "output";
  for (std::size_t v : site.plan().levels()) role[v] = "level";
  for (const auto& [v, cell] : site.scenario().constants) role[v] = "constant";
  for (std::size_t v : site.scenario().daily.columns()) role[v] = "daily input";
  py::list rows;
  for (std::size_t v = 0; v < d.values().size(); ++v) {
    const tds::ValueInfo& info = d.values()[v];
    std::string block, process;
    for (const tds::ProcessInfo& p : d.processes())
      if (p.number == info.process) {
        block = p.block;
        process = p.name;
      }
    rows.append(py::make_tuple(info.name, tds::kind_name(info.kind), block, process,
                               info.initial ? py::object(py::str(*info.initial)) : py::none(),
                               role[v]));
  }
  return rows;
}

// A table of columns as tarvello-run writes its CSV: "day", then each
// column, doubles in their shortest form, texts always quoted.
std::string csv_text(const py::array_t<long long>& days, const std::vector<std::string>& names,
                     const std::vector<std::string>& kinds, const py::list& columns) {
  tds::CsvWriter csv;
  csv.field("day");
  for (const std::string& n : names) csv.field(n);
  csv.end_row();
  const auto day = days.unchecked<1>();
  std::vector<py::array_t<double>> doubles(names.size());
  std::vector<py::array_t<long long>> ints(names.size());
  std::vector<py::list> texts(names.size());
  for (std::size_t c = 0; c < names.size(); ++c) {
    if (kinds[c] == "double")
      doubles[c] = columns[c].cast<py::array_t<double>>();
    else if (kinds[c] == "int")
      ints[c] = columns[c].cast<py::array_t<long long>>();
    else
      texts[c] = columns[c].cast<py::list>();
  }
  for (py::ssize_t r = 0; r < day.shape(0); ++r) {
    csv.number(static_cast<std::int64_t>(day(r)));
    for (std::size_t c = 0; c < names.size(); ++c) {
      if (kinds[c] == "double") {
        csv.number(doubles[c].at(r));
      } else if (kinds[c] == "int") {
        csv.number(static_cast<std::int64_t>(ints[c].at(r)));
      } else {
        const py::handle t = texts[c][static_cast<std::size_t>(r)];
        if (t.is_none())
          csv.text(nullptr);
        else
          csv.text(py::str(t).cast<std::string>().c_str());
      }
    }
    csv.end_row();
  }
  return std::move(csv.buffer());
}

}  // namespace

PYBIND11_MODULE(_tarvello, m) {
  m.doc() = "The native part of tarvello: the model library on the run engine.";
  // The project's one version, compiled in: the package's version too.
  m.attr("__version__") = TDS_VERSION;
  // pybind11 takes a translator of void(std::exception_ptr), by value.
  py::register_exception_translator(
      [](std::exception_ptr p) {  // NOLINT(performance-unnecessary-value-param)
        try {
          if (p) std::rethrow_exception(p);
        } catch (const tds::InputError& e) {
          PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const tds::RunError& e) {
          PyErr_SetString(PyExc_RuntimeError, e.what());
        } catch (const tds::LoadError& e) {
          PyErr_SetString(PyExc_RuntimeError, e.what());
        }
      });
  py::class_<Site>(m, "NativeSite")
      .def(py::init([](std::string library, std::string description, std::string plan,
                       std::string scenario) {
             return std::make_unique<Site>(tds::python::SiteInputs{
                 std::move(library), std::move(description), std::move(plan), std::move(scenario)});
           }),
           py::arg("library"), py::arg("description"), py::arg("plan"), py::arg("scenario"))
      .def("values", &value_rows)
      .def("info", &Site::info)
      .def("model", [](const Site& s) { return s.description().model(); })
      .def("version", [](const Site& s) { return s.description().version(); })
      .def("sweep", &sweep, py::arg("cases"), py::arg("set"), py::arg("scale"), py::arg("vars"),
           py::arg("every"), py::arg("jobs"), py::arg("daily"), py::arg("longest") = 0)
      .def("study", &study, py::arg("text"), py::arg("source"), py::arg("base"), py::arg("jobs"),
           py::arg("progress"))
      .def("run", &run, py::arg("days"), py::arg("set"), py::arg("vars"), py::arg("every"),
           py::arg("scale"));
  // A study one batch at a time: next() gives the batch's points, tell()
  // takes their evaluations (see plain_evaluations), tables() the result;
  // evaluate() runs points of the study on this site.
  py::class_<SteppedStudy>(m, "SteppedStudy")
      .def(py::init([](const Site& site, const std::string& text, const std::string& source,
                       const py::object& base, const py::dict& files) {
             return std::make_unique<SteppedStudy>(site, text, source, base_of(base),
                                                   texts_of(files));
           }),
           py::arg("site"), py::arg("text"), py::arg("source"), py::arg("base") = py::none(),
           py::arg("files") = py::dict(), py::keep_alive<1, 2>())
      .def("method", &SteppedStudy::method)
      .def("total", &SteppedStudy::total)
      .def("done", &SteppedStudy::done)
      .def("told", &SteppedStudy::told)
      .def("outputs", &SteppedStudy::outputs)
      .def("phase", &SteppedStudy::phase)
      .def("next", &SteppedStudy::next, py::return_value_policy::copy)
      .def(
          "tell",
          [](SteppedStudy& s, const py::sequence& plain) {
            if (s.done() || plain.size() != s.next().size())
              throw py::value_error("tell: the evaluations are not those of the batch asked");
            s.tell(evaluations_of(plain, s.outputs()));
          },
          py::arg("evaluations"))
      .def("tables", [](const SteppedStudy& s) { return tables_of(s.tables(), s.study()); })
      .def("files",
           [](const SteppedStudy& s) {
             py::dict out;
             for (const auto& [name, text] : s.files()) out[py::str(name)] = py::bytes(text);
             return out;
           })
      .def("evaluate", &stepped_evaluate, py::arg("points"), py::arg("jobs"));
  m.def("csv_text", &csv_text, py::arg("days"), py::arg("names"), py::arg("kinds"),
        py::arg("columns"));
}
