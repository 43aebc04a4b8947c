import QtQuick 2.5
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 100
    height: 100

    // Logs every value `mess` passes through with the time it was seen.
    Component {
        id: indicatorComponent
        InputIndicator {
            property var log: []
            onMessChanged: log.push({ t: Date.now(), v: mess })
        }
    }

    TestCase {
        name: "InputIndicator"
        when: windowShown

        // The nominal run of one smoothing step.
        readonly property real runMs: 200

        function makeIndicator() {
            var ind = createTemporaryObject(indicatorComponent, root)
            verify(ind !== null)
            return ind
        }

        function easeInOutQuad(p) {
            p = Math.max(0, Math.min(1, p))
            return p < 0.5 ? 2 * p * p : 1 - 2 * (1 - p) * (1 - p)
        }

        // Writes 5 to a fresh indicator. With `interrupt`, 2 once the value
        // passed 0.5, within a run of the 5, which must be taken at once; then,
        // once no value came for a run, 4, which must be smoothed again. Gives
        // the last run: its start value, target, write time, end time and
        // samples; null when a stalled machine ended a run in one step or
        // before it could be interrupted.
        function observeRun(interrupt) {
            var ind = makeIndicator()
            var stream = findChild(ind, "timerStream")
            var run = { from: 0, to: 5, t0: Date.now() }
            var armed = interrupt
            var jumped = null
            ind.messChanged.connect(function () {
                if (!armed || ind.mess < 0.5 || ind.mess >= 5)
                    return
                armed = false
                // Outside the change handler of the running animation.
                Qt.callLater(function () {
                    if (ind.mess < 5 && stream.running) {
                        ind.mess = 2
                        jumped = ind.mess === 2
                    }
                })
            })
            ind.mess = 5
            compare(ind.mess, 0, "a new value is not taken at once")
            if (interrupt) {
                tryVerify(function () { return jumped !== null || ind.mess === 5 }, 3000)
                if (jumped === null)
                    return null
                verify(jumped, "a value within a run of the one before was not taken at once")
                tryVerify(function () { return !stream.running }, 3000)
                run = { from: 2, to: 4, t0: Date.now() }
                ind.log.length = 0
                ind.mess = 4
                compare(ind.mess, 2, "a value after a quiet run is not taken at once")
            }
            tryVerify(function () { return ind.mess === run.to }, 3000)
            run.log = ind.log
            run.tEnd = run.log[run.log.length - 1].t
            run.between = run.log.filter(function (s) {
                return Math.min(run.from, run.to) < s.v && s.v < Math.max(run.from, run.to)
            })
            return run.between.length > 0 ? run : null
        }

        function test_smoothing_data() {
            return [
                { tag: "one run, near halfway at half the time", interrupt: false },
                { tag: "values faster than a run taken as they come, smoothed again after a quiet run",
                  interrupt: true },
            ]
        }

        function test_smoothing(data) {
            var run = null
            for (var attempt = 0; attempt < 5 && run === null; attempt++)
                run = observeRun(data.interrupt)
            verify(run !== null, "no run could be observed")
            verify(run.tEnd - run.t0 >= runMs - 10, "the run took only " + (run.tEnd - run.t0) + " ms")

            // The run's own clock started at some unknown moment c. The samples
            // bound it: the last intermediate value came less than a run after c,
            // the end value at least a run after c, and the animation clock never
            // leads the write by more than the 50 ms Qt lets a first step take.
            // A busy machine only widens that window, and with it the tolerance.
            // Every value must lie on the in-out curve from the start value
            // shifted within the window, which puts it near halfway at half the
            // time and catches a run started from elsewhere.
            var cLo = Math.max(run.t0 - 50, run.between[run.between.length - 1].t - runMs) - 1
            var cHi = run.tEnd - runMs + 1
            for (var i = 0; i < run.log.length; i++) {
                var s = run.log[i]
                var a = run.from + (run.to - run.from) * easeInOutQuad((s.t - cHi) / runMs)
                var b = run.from + (run.to - run.from) * easeInOutQuad((s.t - cLo) / runMs)
                verify(Math.min(a, b) - 0.01 <= s.v && s.v <= Math.max(a, b) + 0.01,
                       "at " + (s.t - run.t0) + " ms the value was " + s.v.toFixed(3) + ", expected "
                       + Math.min(a, b).toFixed(3) + " to " + Math.max(a, b).toFixed(3))
            }
        }

        // `mess` follows input x convertation, smoothed, also after a direct
        // write (the main window's) has ended its binding.
        function test_followsInput_data() {
            return [
                { tag: "through the binding", direct: false, changes: [["input", 4]], expected: 4 },
                { tag: "input changes last after a direct write", direct: true,
                  changes: [["convertation", 2], ["input", 3]], expected: 6 },
                { tag: "convertation changes last after a direct write", direct: true,
                  changes: [["input", 3], ["convertation", 2]], expected: 6 },
            ]
        }

        function test_followsInput(data) {
            var ind = makeIndicator()
            var stream = findChild(ind, "timerStream")
            if (data.direct) {
                ind.mess = 1
                tryCompare(ind, "mess", 1, 3000)
                tryCompare(stream, "running", false, 3000)
            }
            var before = ind.mess
            ind[data.changes[0][0]] = data.changes[0][1]
            compare(ind.mess, before, "the new value was taken at once")
            for (var i = 1; i < data.changes.length; i++)
                ind[data.changes[i][0]] = data.changes[i][1]
            tryCompare(ind, "mess", data.expected, 3000)
        }
    }
}
