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

        // The nominal run of one smoothing step, and the steepest slope of the
        // in-out quadratic ease relative to a linear run (2x at the middle).
        readonly property real runMs: 200
        readonly property real maxSlopeFactor: 2

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
                var run = { t0: t0, tEnd: Date.now(), log: log }
                run.between = log.filter(function (s) { return s.v > 0 && s.v < 5 })
                if (run.between.length > 0)
                    return run
            }
            fail("no run showed an intermediate value")
        }

        function test_smoothingPassesThroughIntermediateValues() {
            var run = runFromZeroToFive()
            verify(run.tEnd - run.t0 >= runMs - 10, "the run took only " + (run.tEnd - run.t0) + " ms")
            verifyMonotonic(run.log, 0, 5)

            // Halfway through the time the value is near halfway. A run that started
            // late (a loaded machine) shifts the curve by at most the time the run
            // took beyond its nominal length, so the tolerance grows with that lag
            // and with the distance of the nearest sample from the nominal midpoint.
            var lag = Math.max(0, run.tEnd - run.t0 - runMs) + 17
            var mid = run.t0 + runMs / 2
            var nearest = run.between[0]
            for (var i = 1; i < run.between.length; i++) {
                if (Math.abs(run.between[i].t - mid) < Math.abs(nearest.t - mid))
                    nearest = run.between[i]
            }
            var slope = 5 / runMs * maxSlopeFactor
            var tolerance = 0.4 + slope * (Math.abs(nearest.t - mid) + lag)
            verify(Math.abs(nearest.v - 2.5) <= tolerance,
                   "at " + (nearest.t - run.t0) + " ms the value was " + nearest.v
                   + " (tolerance " + tolerance.toFixed(2) + ")")
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
