import QtQuick 2.5
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 100
    height: 100

    Component {
        id: indicatorComponent
        InputIndicator {}
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

        // Records every value `mess` passes through with the time it was seen.
        function recordMess(ind) {
            var log = []
            ind.messChanged.connect(function () { log.push({ t: Date.now(), v: ind.mess }) })
            return log
        }

        function verifyMonotonic(samples, from, to) {
            for (var i = 0; i < samples.length; i++) {
                var v = samples[i].v
                verify(Math.min(from, to) <= v && v <= Math.max(from, to),
                       "value " + v + " outside the run from " + from + " to " + to)
                if (i > 0) {
                    var step = v - samples[i - 1].v
                    verify(to > from ? step >= 0 : step <= 0, "the run turned back at " + v)
                }
            }
        }

        // One run from 0 to 5; a run that a stalled machine finished in one step
        // shows no intermediate value and is tried again.
        function runFromZeroToFive() {
            for (var attempt = 0; attempt < 5; attempt++) {
                var ind = makeIndicator()
                var log = recordMess(ind)
                var t0 = Date.now()
                ind.mess = 5
                compare(ind.mess, 0, "a new value is not taken at once")
                tryCompare(ind, "mess", 5, 3000)
                // The time the end value was set, not the time the wait noticed it.
                var run = { t0: t0, tEnd: log[log.length - 1].t, log: log }
                run.between = log.filter(function (s) { return s.v > 0 && s.v < 5 })
                if (run.between.length > 0)
                    return run
            }
            fail("no run showed an intermediate value")
        }

        function easeInOutQuad(p) {
            p = Math.max(0, Math.min(1, p))
            return p < 0.5 ? 2 * p * p : 1 - 2 * (1 - p) * (1 - p)
        }

        function test_smoothingPassesThroughIntermediateValues() {
            var run = runFromZeroToFive()
            verify(run.tEnd - run.t0 >= runMs - 10, "the run took only " + (run.tEnd - run.t0) + " ms")
            verifyMonotonic(run.log, 0, 5)

            // The run's own clock started at some unknown moment c. The samples
            // bound it: the last intermediate value came less than a run after c,
            // the end value at least a run after c, and the animation clock never
            // leads the write by more than the 50 ms Qt lets a first step take.
            // A busy machine only widens that window, and with it the tolerance.
            // Every value must lie on the in-out curve shifted within the window,
            // which puts it near halfway at half the time.
            var lastBetween = run.between[run.between.length - 1].t
            var cLo = Math.max(run.t0 - 50, lastBetween - runMs) - 1
            var cHi = run.tEnd - runMs + 1
            for (var i = 0; i < run.between.length; i++) {
                var sample = run.between[i]
                var low = 5 * easeInOutQuad((sample.t - cHi) / runMs) - 0.01
                var high = 5 * easeInOutQuad((sample.t - cLo) / runMs) + 0.01
                verify(low <= sample.v && sample.v <= high,
                       "at " + (sample.t - run.t0) + " ms the value was " + sample.v.toFixed(3)
                       + ", expected " + low.toFixed(3) + " to " + high.toFixed(3))
            }
        }

        // Interrupts a run from 0 to 5 with a write of 2 once the value passed 0.5;
        // null when a stalled machine ended the first run before that.
        function interruptedRun() {
            var ind = makeIndicator()
            var run = { reached: NaN, secondWriteAt: 0, log: recordMess(ind) }
            var armed = true
            ind.messChanged.connect(function () {
                if (armed && ind.mess >= 0.5 && ind.mess < 5) {
                    armed = false
                    // Outside the change handler of the running animation.
                    Qt.callLater(function () {
                        if (ind.mess < 5) {
                            run.reached = ind.mess
                            run.secondWriteAt = Date.now()
                            run.log.length = 0
                            ind.mess = 2
                        }
                    })
                }
            })
            ind.mess = 5
            tryVerify(function () { return run.secondWriteAt > 0 || ind.mess === 5 }, 3000)
            if (run.secondWriteAt === 0)
                return null
            tryCompare(ind, "mess", 2, 3000)
            run.tEnd = Date.now()
            return run
        }

        // The second write must start from the value reached, not from the old
        // start and not from the old target, and take the full time again.
        function test_newValueRestartsFromReachedValue() {
            var run = null
            for (var attempt = 0; attempt < 5 && run === null; attempt++)
                run = interruptedRun()
            verify(run !== null, "no run could be interrupted")
            verify(run.reached > 0 && run.reached < 5, "reached " + run.reached)
            verify(run.tEnd - run.secondWriteAt >= runMs - 10,
                   "the second run took only " + (run.tEnd - run.secondWriteAt) + " ms")
            verify(run.log.length >= 1)
            verifyMonotonic(run.log, run.reached, 2)
        }

        function test_followsInputAfterDirectWrite_data() {
            return [
                { tag: "input changes last", first: "convertation", second: "input" },
                { tag: "convertation changes last", first: "input", second: "convertation" },
            ]
        }

        function test_followsInputAfterDirectWrite(data) {
            var ind = makeIndicator()
            ind.mess = 1
            tryCompare(ind, "mess", 1, 3000)
            var values = { input: 3, convertation: 2 }
            ind[data.first] = values[data.first]
            ind[data.second] = values[data.second]
            tryCompare(ind, "mess", 6, 3000)
        }

        function test_followsInputThroughBinding() {
            var ind = makeIndicator()
            ind.input = 4
            compare(ind.mess, 0, "the input was taken at once")
            tryCompare(ind, "mess", 4, 3000)
        }
    }
}
