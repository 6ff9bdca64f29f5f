// The batch engine against runs made alone: every case's figures, daily rows
// and reductions, in case order, whatever the isolation and the number of
// workers; a failing case as an outcome among good ones; and answers cut
// short refused by the worker protocol; cases with per-day tables of their
// own and reductions over windows of the year.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "batch.h"
#include "csv.h"
#include "defaults.h"
#include "loader.h"
#include "worker_protocol.h"

namespace {

using tds::BatchCase;
using tds::CaseOutcome;
using tds::Reduction;

// The module as loaded, with its description, the built-in plan and scenario
// and the snapshot of its load-time state; shared by the cases of this
// program, which restore the snapshot whenever they have run the model
// themselves.
struct Site {
  std::unique_ptr<tds::Module> module;
  tds::Description description;
  std::unique_ptr<tds::Snapshot> snapshot;
  std::unique_ptr<tds::Model> model;
  std::unique_ptr<tds::Plan> plan;
  std::unique_ptr<tds::Scenario> scenario;
  std::size_t value(const char* name) const { return *description.find_value(name); }
};

const Site& site() {
  static const Site* const made = [] {
    auto* s = new Site;
    const std::string dir = tds::executable_directory();
    s->module = tds::Module::load(tds::path_join(dir, tds::module_file_name("TarvelloDemoSite")));
    s->snapshot = std::make_unique<tds::Snapshot>(tds::Snapshot::take(*s->module));
    s->description = tds::Description::load(tds::path_join(dir, "TarvelloDemoSite.json"));
    s->model = std::make_unique<tds::Model>(*s->module, s->description);
    s->plan = std::make_unique<tds::Plan>(
        tds::Plan::parse(tds::kDefaultPlan, "built-in plan", s->description));
    s->scenario = std::make_unique<tds::Scenario>(
        tds::Scenario::parse(tds::kDefaultScenario, "built-in scenario", s->description,
                             [](const std::string&) { return std::string(tds::kDefaultInputs); }));
    return s;
  }();
  return *made;
}

// A case run alone in this process from the load-time state: its CSV text
// with every day of `variables` (and the figures), the state restored after.
tds::RunResult alone(const BatchCase& c, const std::vector<std::size_t>& variables, long long every,
                     std::string& csv) {
  const Site& s = site();
  tds::RunOptions options;
  options.days = c.days;
  options.every = every;
  options.variables = variables;
  options.overrides = c.values;
  options.scales = c.scales;
  s.snapshot->restore();
  tds::RunResult r = tds::run_model(*s.model, *s.plan, *s.scenario, options,
                                    [&csv](std::string& chunk) { csv += chunk; });
  s.snapshot->restore();
  return r;
}

// The same run with a per-day table of its own in place of the scenario's
// (none: the scenario's).
tds::RunResult alone_on(const tds::DailyInputs* daily, long long days,
                        const std::vector<std::size_t>& variables, std::string& csv) {
  const Site& s = site();
  tds::RunOptions options;
  options.days = days;
  options.variables = variables;
  options.write_csv = !variables.empty();
  s.snapshot->restore();
  tds::RunResult r =
      tds::run_model(*s.model, *s.plan, *s.scenario, daily ? *daily : s.scenario->daily, options,
                     [&csv](std::string& chunk) { csv += chunk; });
  s.snapshot->restore();
  return r;
}

// A recorded year: the crop's water and the clean water of the scenario's
// months scaled by the given factors.
std::shared_ptr<const tds::DailyInputs> recorded_year(double water, double need) {
  std::ostringstream text;
  text << "day,qttWater_B1_Water_P1_CleanWater,dayliWaterNeeded_B1_Food_P1_Crop\n";
  const int days[] = {1, 60, 121, 182, 213, 244, 305};
  const double clean[] = {6, 5, 4, 2, 2, 3, 5}, crop[] = {2, 4, 8, 13, 12, 8, 3};
  for (int m = 0; m < 7; ++m)
    text << days[m] << "," << clean[m] * water << "," << crop[m] * need << "\n";
  return std::make_shared<const tds::DailyInputs>(tds::DailyInputs::parse(
      text.str(), "recorded year", site().description, site().scenario->cycle));
}

std::vector<BatchCase> some_cases() {
  const Site& s = site();
  std::vector<BatchCase> cases(5);
  cases[0].days = 365;
  cases[1].days = 40;
  tds::Cell reuse;
  reuse.d = 0.8;
  cases[1].values.emplace_back(s.value("percentReuse_B1_Water_P1_WasteWater"), reuse);
  cases[2].days = 730;
  cases[2].scales.emplace_back(s.value("qttEnergy_B1_Energy_P1_Energy"), 1.75);
  cases[3].days = 1;
  cases[4].days = 200;
  cases[4].scales.emplace_back(s.value("qttWater_B1_Water_P1_CleanWater"), 0.3);
  cases[4].values.emplace_back(s.value("percentReuse_B1_Water_P1_WasteWater"), reuse);
  return cases;
}

class BatchEngine : public ::testing::TestWithParam<std::pair<tds::Isolation, unsigned>> {};

TEST_P(BatchEngine, GivesEveryCaseInOrderAsItsRunAlone) {
  const Site& s = site();
  const std::size_t level = s.value("energyLevel_B1_Energy_P1_Energy");
  const std::size_t year = s.value("current_year_B1_Environment_P1_Environment");
  tds::BatchOptions o;
  o.isolation = GetParam().first;
  o.jobs = GetParam().second;
  o.snapshot = s.snapshot.get();
  o.run.variables = s.plan->default_variables();
  o.run.every = 3;
  o.daily = true;
  for (const std::size_t v : {level, year})
    for (const Reduction::Op op : {Reduction::Op::Final, Reduction::Op::Mean, Reduction::Op::Min,
                                   Reduction::Op::Max, Reduction::Op::Sum})
      o.reductions.push_back({v, op});
  const std::vector<BatchCase> cases = some_cases();
  std::vector<CaseOutcome> got;
  std::size_t progress = 0;
  o.on_progress = [&](std::size_t done, std::size_t total) {
    EXPECT_EQ(done, ++progress);
    EXPECT_EQ(total, cases.size());
  };
  tds::run_batch(*s.model, *s.plan, *s.scenario, cases, o, [&](std::size_t i, CaseOutcome&& r) {
    EXPECT_EQ(i, got.size()) << "outcomes out of case order";
    got.push_back(std::move(r));
  });
  ASSERT_EQ(got.size(), cases.size());
  EXPECT_EQ(progress, cases.size());

  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const CaseOutcome& r = got[i];
    ASSERT_EQ(r.status, CaseOutcome::Status::Ok) << r.reason;
    std::string csv;
    const tds::RunResult want = alone(cases[i], o.run.variables, o.run.every, csv);
    EXPECT_EQ(r.figures.days, want.days);
    EXPECT_EQ(r.figures.counted, want.counted);
    EXPECT_EQ(r.figures.shortfall_each, want.shortfall_each);
    EXPECT_EQ(r.figures.shortfall_days, want.shortfall_days);
    tds::CsvWriter finals, want_finals;
    for (const tds::Cell& c : r.figures.finals) finals.cell(c);
    for (const tds::Cell& c : r.figures.levels) finals.cell(c);
    for (const tds::Cell& c : want.finals) want_finals.cell(c);
    for (const tds::Cell& c : want.levels) want_finals.cell(c);
    EXPECT_EQ(finals.buffer(), want_finals.buffer());

    // The daily rows, written as the run writes them, are its CSV's bytes.
    tds::CsvWriter daily;
    daily.field("day");
    for (std::size_t v : o.run.variables) daily.field(s.description.values()[v].name);
    daily.end_row();
    const std::size_t width = o.run.variables.size();
    ASSERT_EQ(r.daily.size() % width, 0u);
    for (std::size_t at = 0; at < r.daily.size(); at += width) {
      daily.number(static_cast<std::int64_t>((at / width + 1) * 3));
      for (std::size_t k = 0; k < width; ++k) daily.cell(r.daily[at + k]);
      daily.end_row();
    }
    EXPECT_EQ(daily.buffer(), csv);

    // The reductions from every day's values as the CSV has them.
    std::string every_day;
    alone(cases[i], {level, year}, 1, every_day);
    std::istringstream lines(every_day);
    std::string line;
    std::getline(lines, line);
    std::vector<double> x[2];
    while (std::getline(lines, line)) {
      const auto a = line.find(','), b = line.find(',', a + 1);
      x[0].push_back(std::stod(line.substr(a + 1, b - a - 1)));
      x[1].push_back(std::stod(line.substr(b + 1)));
    }
    ASSERT_EQ(r.reduced.size(), 10u);
    for (int v = 0; v < 2; ++v) {
      double sum = 0, lo = x[v][0], hi = x[v][0];
      for (double d : x[v]) {
        sum += d;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
      }
      const double* red = &r.reduced[static_cast<std::size_t>(v) * 5];
      EXPECT_EQ(red[0], x[v].back());
      EXPECT_EQ(red[1], sum / static_cast<double>(x[v].size()));
      EXPECT_EQ(red[2], lo);
      EXPECT_EQ(red[3], hi);
      EXPECT_EQ(red[4], sum);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(IsolationsAndJobs, BatchEngine,
                         ::testing::Values(std::pair(tds::Isolation::Snapshot, 1u),
                                           std::pair(tds::Isolation::Snapshot, 2u),
                                           std::pair(tds::Isolation::Process, 2u)));

// A case that fails is an outcome between good ones, which run on.
TEST(BatchEngineFailures, AFailingCaseIsAnOutcome) {
  const Site& s = site();
  std::vector<BatchCase> cases = some_cases();
  cases.resize(3);
  // A scale of a constant: not a column of the per-day table.
  cases[1].scales.emplace_back(s.value("percentReuse_B1_Water_P1_WasteWater"), 2.0);
  tds::BatchOptions o;
  o.jobs = 2;
  o.snapshot = s.snapshot.get();
  std::vector<CaseOutcome> got;
  tds::run_batch(*s.model, *s.plan, *s.scenario, cases, o,
                 [&](std::size_t, CaseOutcome&& r) { got.push_back(std::move(r)); });
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].status, CaseOutcome::Status::Ok);
  EXPECT_EQ(got[1].status, CaseOutcome::Status::Failed);
  EXPECT_NE(got[1].reason.find("not a column of the scenario's per-day table"), std::string::npos)
      << got[1].reason;
  EXPECT_EQ(got[2].status, CaseOutcome::Status::Ok);
}

// Batches of one session, on the same workers, give what batches of their own
// give, bit for bit; a worker killed amid a batch is replaced and the next
// batch runs on; no other worker is started after the first batch.
TEST(BatchSession, RunsBatchAfterBatchAsBatchesOfTheirOwn) {
  const Site& s = site();
  tds::BatchOptions o;
  o.jobs = 2;
  o.snapshot = s.snapshot.get();
  o.run.variables = s.plan->default_variables();
  o.daily = true;
  o.reductions.push_back({s.value("energyLevel_B1_Energy_P1_Energy"), Reduction::Op::Mean});
  o.in_worker = [](const BatchCase& c, CaseOutcome&) {
    if (c.label == "crash") std::raise(SIGKILL);
    return std::string();
  };
  const std::vector<BatchCase> cases = some_cases();
  BatchCase crash = cases[3];
  crash.label = "crash";
  const std::vector<std::vector<BatchCase>> batches = {
      cases, {cases[1], crash, cases[4], cases[0]}, {cases[2]}, {cases[3], cases[1]}};
  // An outcome's bytes on the wire, but for its time.
  const auto bytes = [](CaseOutcome r) {
    r.figures.seconds = 0;
    return tds::wire::encode_outcome(r);
  };
  const auto outcomes =
      [&](const std::function<void(const std::vector<BatchCase>&,
                                   const std::function<void(std::size_t, CaseOutcome &&)>&)>& run,
          const std::vector<BatchCase>& batch) {
        std::vector<std::string> got;
        run(batch, [&](std::size_t i, CaseOutcome&& r) {
          EXPECT_EQ(i, got.size()) << "outcomes out of case order";
          got.push_back(bytes(std::move(r)));
        });
        return got;
      };
  int started = 0;
  std::set<int> workers;
  tds::BatchOptions counted = o;
  counted.hooks.started = [&](int pid) {
    ++started;
    workers.insert(pid);
  };
  counted.hooks.ended = [&workers](int pid) { workers.erase(pid); };
  std::vector<std::string> notices;
  counted.on_notice = [&notices](const std::string& line) { notices.push_back(line); };
  tds::BatchSession session(*s.model, *s.plan, *s.scenario, counted);
  for (std::size_t b = 0; b < batches.size(); ++b) {
    SCOPED_TRACE("batch " + std::to_string(b));
    const std::vector<std::string> got =
        outcomes([&](const auto& batch, const auto& on_result) { session.run(batch, on_result); },
                 batches[b]);
    const std::vector<std::string> want = outcomes(
        [&](const auto& batch, const auto& on_result) {
          tds::run_batch(*s.model, *s.plan, *s.scenario, batch, o, on_result);
        },
        batches[b]);
    EXPECT_EQ(got, want);
    ASSERT_EQ(got.size(), batches[b].size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      CaseOutcome r;
      ASSERT_TRUE(tds::wire::decode_outcome(got[i], r));
      EXPECT_EQ(r.status, batches[b][i].label == "crash" ? CaseOutcome::Status::Crashed
                                                         : CaseOutcome::Status::Ok)
          << i << ": " << r.reason;
    }
    if (b == 0) {
      EXPECT_EQ(started, 2);
    }
  }
  // Two workers for the first batch, one more for the killed one (in the
  // batch that killed it, or the next that needs its slot).
  EXPECT_EQ(started, 3);
  EXPECT_TRUE(notices.empty());

  // Workers that die while they wait for the next batch: its cases go to
  // new ones.
  ASSERT_FALSE(workers.empty());
  for (const int pid : std::set<int>(workers)) kill(pid, SIGKILL);
  const int waited = static_cast<int>(workers.size());
  EXPECT_EQ(
      outcomes([&](const auto& batch, const auto& on_result) { session.run(batch, on_result); },
               cases),
      outcomes(
          [&](const auto& batch, const auto& on_result) {
            tds::run_batch(*s.model, *s.plan, *s.scenario, batch, o, on_result);
          },
          cases));
  EXPECT_EQ(started, 3 + waited);
}

// An answer or a request cut short anywhere is refused rather than read
// beyond its end.
TEST(WorkerProtocol, RefusesWhatIsCutShort) {
  const BatchCase c = some_cases()[4];
  CaseOutcome full;
  full.figures.days = 7;
  full.figures.counted = {1, 2};
  full.figures.levels.resize(2);
  full.figures.levels[1].kind = tds::Kind::Text;
  full.figures.levels[1].t = "a text";
  full.daily.resize(3);
  full.reduced = {0.5, -0.0};
  const std::string answer = tds::wire::encode_outcome(full);
  CaseOutcome back;
  ASSERT_TRUE(tds::wire::decode_outcome(answer, back));
  EXPECT_STREQ(back.figures.levels[1].t, "a text");
  EXPECT_TRUE(std::signbit(back.reduced[1]));
  for (std::size_t n = 1; n < answer.size(); ++n) {
    CaseOutcome part;
    EXPECT_FALSE(tds::wire::decode_outcome(answer.substr(0, n), part)) << n;
  }
  const tds::Description& d = site().description;
  for (const bool table : {false, true}) {
    SCOPED_TRACE(table ? "with a table of its own" : "with the scenario's table");
    BatchCase sent = c;
    if (table) sent.input = recorded_year(1.0, 0.5);
    std::string request = tds::wire::encode_request(tds::wire::Request::Run, sent, 7, table);
    const std::optional<std::string> payload = tds::wire::next_frame(request);
    ASSERT_TRUE(payload);
    tds::wire::Request kind{};
    BatchCase got;
    std::deque<std::string> texts;
    tds::wire::Tables tables;
    ASSERT_TRUE(tds::wire::decode_request(*payload, kind, got, texts, d, tables));
    EXPECT_EQ(got.days, c.days);
    EXPECT_EQ(got.scales, c.scales);
    EXPECT_EQ(got.input != nullptr, table);
    EXPECT_EQ(tables.size(), table ? 1u : 0u);
    for (std::size_t n = 0; n < payload->size(); ++n) {
      tds::wire::Tables none;
      EXPECT_FALSE(tds::wire::decode_request(payload->substr(0, n), kind, got, texts, d, none))
          << n;
      EXPECT_TRUE(none.empty()) << n;
    }
  }
  // A table named by its id alone is the one the worker keeps; an id it was
  // never sent is refused.
  BatchCase named = c;
  named.input = recorded_year(1.0, 0.5);
  std::string request = tds::wire::encode_request(tds::wire::Request::Run, named, 7, false);
  const std::string payload = *tds::wire::next_frame(request);
  tds::wire::Request kind{};
  BatchCase got;
  std::deque<std::string> texts;
  tds::wire::Tables tables;
  EXPECT_FALSE(tds::wire::decode_request(payload, kind, got, texts, site().description, tables));
  const auto kept = recorded_year(1.0, 0.5);
  tables[7] = kept;
  ASSERT_TRUE(tds::wire::decode_request(payload, kind, got, texts, site().description, tables));
  EXPECT_EQ(got.input, kept);
}

// The reductions of a case's days against its run alone: sums and means
// from the daily rows over days 150 to 250, and the days of August (213 to
// 243) and of the new year's turn (335 to 31) that counted a shortfall or a
// count, from the figures of runs that end before and after each window.
// Cases run their own per-day tables, some the same one; a window that the
// run never reaches gives a sum of 0 and NaN otherwise.
class BatchWindows : public ::testing::TestWithParam<tds::Isolation> {};

TEST_P(BatchWindows, ReduceTheDaysOfTheirWindowsAsTheRunAloneHasThem) {
  const Site& s = site();
  const std::size_t level = s.value("waterTank_B1_Food_P1_Crop");
  using Src = Reduction::Source;
  using Op = Reduction::Op;
  tds::BatchOptions o;
  o.isolation = GetParam();
  o.jobs = 2;
  o.snapshot = s.snapshot.get();
  o.reductions = {
      {level, Op::Sum, Src::Value, 150, 250},    {level, Op::Mean, Src::Value, 150, 250},
      {level, Op::Final, Src::Value, 150, 250},  {level, Op::Min, Src::Value, 335, 31},
      {0, Op::Sum, Src::AnyShortfall, 213, 243}, {0, Op::Sum, Src::Shortfall, 213, 243},
      {1, Op::Sum, Src::Shortfall, 335, 31},     {0, Op::Sum, Src::Count, 335, 31},
      {level, Op::Sum, Src::Value, 0, 0}};
  const auto dry = recorded_year(0.5, 1.4), dull = recorded_year(0.7, 1.0);
  std::vector<BatchCase> cases(5);
  const long long days[] = {730, 365, 100, 400, 365};
  const std::shared_ptr<const tds::DailyInputs> inputs[] = {dry, dull, dry, nullptr, dry};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    cases[i].days = days[i];
    cases[i].input = inputs[i];
  }
  std::vector<CaseOutcome> got;
  tds::run_batch(*s.model, *s.plan, *s.scenario, cases, o,
                 [&](std::size_t, CaseOutcome&& r) { got.push_back(std::move(r)); });
  ASSERT_EQ(got.size(), cases.size());

  const auto in = [](long long day, int from, int to) {
    const long long d = (day - 1) % 365 + 1;
    return from <= to ? d >= from && d <= to : d >= from || d <= to;
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const CaseOutcome& r = got[i];
    ASSERT_EQ(r.status, CaseOutcome::Status::Ok) << r.reason;
    ASSERT_EQ(r.reduced.size(), o.reductions.size());
    const tds::DailyInputs* table = inputs[i].get();
    std::string csv;
    const tds::RunResult whole = alone_on(table, days[i], {level}, csv);
    EXPECT_EQ(r.figures.shortfall_days, whole.shortfall_days);
    EXPECT_EQ(r.figures.counted, whole.counted);
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    double sum = 0, all = 0, last = 0, low = INFINITY;
    long long n = 0;
    for (long long day = 1; std::getline(lines, line); ++day) {
      const double x = std::stod(line.substr(line.find(',') + 1));
      all += x;
      if (in(day, 150, 250)) {
        sum += x;
        last = x;
        ++n;
      }
      if (in(day, 335, 31)) low = std::min(low, x);
    }
    EXPECT_EQ(r.reduced[0], sum);
    EXPECT_EQ(r.reduced[8], all);
    if (n == 0) {
      EXPECT_TRUE(std::isnan(r.reduced[1]) && std::isnan(r.reduced[2])) << r.reduced[1];
    } else {
      EXPECT_EQ(r.reduced[1], sum / static_cast<double>(n));
      EXPECT_EQ(r.reduced[2], last);
    }
    EXPECT_EQ(r.reduced[3], low);
    // What a window's days counted: the figures after its last day less
    // those before its first, in every year the run reaches.
    const auto counted = [&](int from, int to,
                             const std::function<long long(const tds::RunResult&)>& f) {
      const auto upto = [&](long long d) {
        if (d <= 0) return 0LL;
        std::string ignored;
        return f(alone_on(table, std::min(d, days[i]), {}, ignored));
      };
      long long total = 0;
      for (long long start = 0; start < days[i]; start += 365) {
        if (from <= to) {
          total += upto(start + to) - upto(start + from - 1);
        } else {
          total += upto(start + to) - upto(start) + upto(start + 365) - upto(start + from - 1);
        }
      }
      return static_cast<double>(total);
    };
    EXPECT_EQ(r.reduced[4],
              counted(213, 243, [](const tds::RunResult& x) { return x.shortfall_days; }));
    EXPECT_EQ(r.reduced[5],
              counted(213, 243, [](const tds::RunResult& x) { return x.shortfall_each[0]; }));
    EXPECT_EQ(r.reduced[6],
              counted(335, 31, [](const tds::RunResult& x) { return x.shortfall_each[1]; }));
    EXPECT_EQ(r.reduced[7], counted(335, 31, [](const tds::RunResult& x) { return x.counted[0]; }));
  }
  // The dry year's August has shortfalls that the test can see.
  EXPECT_GT(got[0].reduced[4], 0.0);
  EXPECT_NE(got[0].reduced[0], got[1].reduced[0]);
}

INSTANTIATE_TEST_SUITE_P(Isolations, BatchWindows,
                         ::testing::Values(tds::Isolation::Snapshot, tds::Isolation::Process));

TEST(BatchWindows, RefusesWhatNoRunHas) {
  const Site& s = site();
  using Src = Reduction::Source;
  const std::size_t level = s.value("waterTank_B1_Food_P1_Crop");
  const std::size_t text = s.description.values().size();
  for (const Reduction& r : std::vector<Reduction>{{level, Reduction::Op::Sum, Src::Value, 366, 2},
                                                   {level, Reduction::Op::Sum, Src::Value, 5, 0},
                                                   {level, Reduction::Op::Sum, Src::Value, -1, 3},
                                                   {text, Reduction::Op::Sum, Src::Value, 0, 0},
                                                   {2, Reduction::Op::Sum, Src::Count, 0, 0},
                                                   {3, Reduction::Op::Sum, Src::Shortfall, 0, 0}}) {
    tds::BatchOptions o;
    o.reductions = {r};
    EXPECT_THROW(tds::BatchSession(*s.model, *s.plan, *s.scenario, o), tds::InputError)
        << r.value << " " << r.from << ".." << r.to;
  }
}

}  // namespace
