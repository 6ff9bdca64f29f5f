// A design study driven from JavaScript, for the page and the tests: a
// leader (the program's study driver, see StudyLeader in engine.js, or the
// page's worker speaking for one) hands out batches of points; evaluate
// answers their evaluations, in the order of the points, however many
// instances share the work; the leader is told them, until the study is
// done; then its tables. Every call may answer a value or a promise.

// Answers {files: [[name, text]], summary}, or null when stopped() became
// true; throws the program's message when a call fails.
export async function runStudy(leader, evaluate, { progress = () => {}, stopped = () => false } = {}) {
  const checked = (answer) => {
    if (!answer.ok) throw new Error(answer.error);
    return answer;
  };
  for (;;) {
    const batch = checked(await leader.next());
    if (batch.done) break;
    const evaluations = await evaluate(batch.points, (done) => progress(batch.first + done, batch.phase));
    if (stopped()) return null;
    checked(await leader.tell(evaluations));
  }
  return checked(await leader.tables());
}
