import QtQuick 2.5
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 400
    height: 400

    Component {
        id: rigComponent
        Item {
            property alias indicator: ind
            property alias gauge: gauge
            width: 320
            height: 320

            InputIndicator {
                id: ind
            }
            ImpGauge {
                id: gauge
                width: parent.width
                height: parent.height
                inputIndicator: ind
            }
        }
    }

    // Something to change when a test needs one more frame rendered.
    Rectangle {
        id: frameTrigger
        x: 330
        width: 10
        height: 10
    }

    Timer {
        id: workFeeder
        property var indicator: null
        property string flag: ""
        interval: 20
        repeat: true
        onTriggered: indicator[flag] = true
    }

    TestCase {
        name: "ImpGauge"
        when: windowShown

        readonly property string tomato: "#ff6347"
        readonly property string black: "#000000"
        readonly property string cyan: "#00ffff"
        readonly property string lightYellow: "#ffffe0"
        readonly property real degPerDivision: 150 / 51

        function cleanup() {
            workFeeder.stop()
        }

        function makeRig(size) {
            var rig = createTemporaryObject(rigComponent, root, size ? { width: size, height: size } : {})
            verify(rig !== null)
            return rig
        }

        // The vertical channel as the main window configures it.
        function makeVerticalRig(size) {
            var rig = makeRig(size)
            var ind = rig.indicator
            ind.unitPoint = 0.4
            ind.lowLimit = -6
            ind.highLimit = 6
            ind.accuracy = 1
            ind.messUnit = "мм"
            return rig
        }

        function setValue(rig, value) {
            rig.indicator.mess = value
            tryCompare(rig.indicator, "mess", value, 3000)
        }

        // Canvas repaints asked for before this are done when it returns.
        function renderOneFrame() {
            frameTrigger.color = Qt.colorEqual(frameTrigger.color, "red") ? "blue" : "red"
            verify(waitForRendering(frameTrigger, 3000), "no frame rendered")
        }

        function part(rig, name) {
            var item = findChild(rig.gauge, name)
            verify(item !== null, "no part named " + name)
            return item
        }

        function marker(rig, output) {
            var m = part(rig, "rpMarkers").itemAt(output + 51)
            verify(m !== null)
            compare(m.output, output)
            return m
        }

        function test_round10_data() {
            return [
                { tag: "whole number gets its decimal", num: 3, accur: 1, text: "3.0" },
                { tag: "half rounds up", num: 2.25, accur: 1, text: "2.3" },
                { tag: "negative half rounds towards plus infinity", num: -2.25, accur: 1, text: "-2.2" },
                { tag: "negative value rounded to zero has no sign", num: -0.04, accur: 1, text: "0.0" },
                { tag: "no decimals", num: 7.5, accur: 0, text: "8" },
                { tag: "negative half without decimals", num: -22.5, accur: 0, text: "-22" },
                { tag: "padded to two decimals", num: 1.5, accur: 2, text: "1.50" },
            ]
        }

        function test_round10(data) {
            var rig = makeRig()
            compare(rig.gauge.round10(data.num, data.accur), data.text)
        }

        function test_needleTurn_data() {
            return [
                { tag: "zero points up", unit: 1, value: 0, deg: 0 },
                { tag: "positive turns clockwise", unit: 0.4, value: 6, deg: -15 * 150 / 51 },
                { tag: "negative turns counter-clockwise", unit: 0.4, value: -6, deg: 15 * 150 / 51 },
                { tag: "end mark", unit: 1, value: 51, deg: -150 },
                { tag: "one division past the end mark", unit: 1, value: 52, deg: -(150 + 150 / 51) },
                { tag: "over range clamped", unit: 1, value: 100, deg: -(150 + 150 / 51) },
                { tag: "under range clamped", unit: 1, value: -100, deg: 150 + 150 / 51 },
            ]
        }

        function test_needleTurn(data) {
            var rig = makeRig()
            rig.indicator.unitPoint = data.unit
            fuzzyCompare(rig.gauge.valueToDegForGauge(data.value), data.deg, 1e-9)
        }

        function test_needleStandsOnMarkFifteen() {
            var rig = makeVerticalRig()
            setValue(rig, 6)
            var turn = rig.gauge.valueToDegForGauge(rig.gauge.impGaugevalue)
            fuzzyCompare(-turn, marker(rig, 15).angleMark, 1e-9)
        }

        // The needle is the only thing on its canvas: a covered pixel is needle.
        function needleCovers(canvas, p) {
            return canvas.getContext("2d").getImageData(p.x, p.y, 1, 1).data[3] > 128
        }

        // Pixels along a ray from the dial's centre, clockwise from 12 o'clock.
        function pointAt(rig, deg, fraction) {
            var r = rig.gauge.outerRadius
            var a = deg * Math.PI / 180
            return { x: Math.round(r + fraction * r * Math.sin(a)), y: Math.round(r - fraction * r * Math.cos(a)) }
        }

        function test_needleIsDrawnWhereItPoints_data() {
            return [
                { tag: "zero", value: 0 },
                { tag: "upper limit", value: 6 },
                { tag: "lower limit", value: -6 },
            ]
        }

        // Catches a needle mirrored or turned the wrong way, which the turn alone
        // would not show.
        function test_needleIsDrawnWhereItPoints(data) {
            var rig = makeVerticalRig()
            var canvas = part(rig, "canvasGauge")
            var painted = { value: NaN }
            canvas.paint.connect(function () { painted.value = rig.gauge.impGaugevalue })
            setValue(rig, data.value)
            tryVerify(function () { return painted.value === data.value }, 3000, "the needle was not drawn")
            var deg = data.value / 0.4 * degPerDivision
            verify(needleCovers(canvas, pointAt(rig, deg, 0.5)), "no needle at " + deg.toFixed(1) + " degrees")
            var sides = [deg - 30, deg + 30]
            for (var i = 0; i < sides.length; i++) {
                verify(!needleCovers(canvas, pointAt(rig, sides[i], 0.5)),
                       "needle found at " + sides[i].toFixed(1) + " degrees")
            }
        }

        function test_markColours_data() {
            return [
                { tag: "vertical channel", unit: 0.4, low: -6, high: 6, lastBlackBelow: -15, lastBlackAbove: 15 },
                { tag: "mark on an uneven limit stays black", unit: 0.4, low: -2, high: 8, lastBlackBelow: -5, lastBlackAbove: 20 },
                { tag: "limit between marks", unit: 1, low: -7, high: 2.5, lastBlackBelow: -7, lastBlackAbove: 2 },
            ]
        }

        function test_markColours(data) {
            var rig = makeRig()
            var ind = rig.indicator
            ind.unitPoint = data.unit
            ind.lowLimit = data.low
            ind.highLimit = data.high
            for (var output = -51; output <= 51; output++) {
                var expected = (output < data.lastBlackBelow || output > data.lastBlackAbove) ? tomato : black
                compare(marker(rig, output).colorMark.toString(), expected, "mark " + output)
            }
        }

        function test_markPlacement_data() {
            return [
                { tag: "left end mark", output: -51, factor: 1 },
                { tag: "medium mark left", output: -45, factor: 1.333333 },
                { tag: "long mark left", output: -20, factor: 1.666667 },
                { tag: "short mark left", output: -1, factor: 1 },
                { tag: "zero mark", output: 0, factor: 1.666667 },
                { tag: "short mark right", output: 3, factor: 1 },
                { tag: "medium mark right", output: 15, factor: 1.333333 },
                { tag: "long mark right", output: 50, factor: 1.666667 },
            ]
        }

        // Each mark has one end on the dial circle at its angle and points to the centre.
        function test_markPlacement(data) {
            var rig = makeRig(320)
            var r = rig.gauge.outerRadius
            var m = marker(rig, data.output)
            fuzzyCompare(m.lengthMark, 0.07 * r * data.factor, 1e-9)
            fuzzyCompare(m.angleMark, data.output * degPerDivision, 1e-9)
            var bar = findChild(m, "rectMark")
            var a = bar.mapToItem(rig.gauge, 0, bar.height / 2)
            var b = bar.mapToItem(rig.gauge, bar.width, bar.height / 2)
            var da = Math.sqrt(Math.pow(a.x - r, 2) + Math.pow(a.y - r, 2))
            var db = Math.sqrt(Math.pow(b.x - r, 2) + Math.pow(b.y - r, 2))
            var outer = da > db ? a : b
            fuzzyCompare(Math.max(da, db), r, 0.01)
            fuzzyCompare(Math.min(da, db), r - m.lengthMark, 0.01)
            var outerDeg = Math.atan2(outer.x - r, r - outer.y) * 180 / Math.PI
            fuzzyCompare(outerDeg, m.angleMark, 0.01)
        }

        function test_labelColours_data() {
            return [
                { tag: "vertical channel", high: 6,
                  tomatoLabels: ["M50", "M40", "M30", "M20", "P20", "P30", "P40", "P50"],
                  blackLabels: ["M10", "0", "P10"] },
                { tag: "label on a limit stays black", high: 8,
                  tomatoLabels: ["M50", "M40", "M30", "M20", "P30", "P40", "P50"],
                  blackLabels: ["M10", "0", "P10", "P20"] },
            ]
        }

        function test_labelColours(data) {
            var rig = makeVerticalRig()
            rig.indicator.highLimit = data.high
            var i
            for (i = 0; i < data.tomatoLabels.length; i++)
                compare(part(rig, "txScale" + data.tomatoLabels[i]).color.toString(), tomato, data.tomatoLabels[i])
            for (i = 0; i < data.blackLabels.length; i++)
                compare(part(rig, "txScale" + data.blackLabels[i]).color.toString(), black, data.blackLabels[i])
        }

        function test_labelDecimals_data() {
            return [
                { tag: "accurDivision 0", accurDivision: 0, m50: "-20", p20: "8", p30: "12" },
                { tag: "accurDivision 1", accurDivision: 1, m50: "-20", p20: "8", p30: "12" },
                { tag: "accurDivision 2", accurDivision: 2, m50: "-20.0", p20: "8.0", p30: "12.0" },
                { tag: "accurDivision 3", accurDivision: 3, m50: "-20.00", p20: "8.00", p30: "12.00" },
            ]
        }

        function test_labelDecimals(data) {
            var rig = makeVerticalRig()
            rig.indicator.accurDivision = data.accurDivision
            compare(part(rig, "txScaleM50").text, data.m50)
            compare(part(rig, "txScaleP20").text, data.p20)
            compare(part(rig, "txScaleP30").text, data.p30)
            compare(part(rig, "txScale0").text, "0")
        }

        function test_valueText_data() {
            return [
                { tag: "inside", value: 5.9, shift: 0, or1: false, or2: false, text: "5.9", colour: black },
                { tag: "on the upper limit", value: 6, shift: 0, or1: false, or2: false, text: "6.0", colour: tomato },
                { tag: "above", value: 6.1, shift: 0, or1: false, or2: false, text: "6.1", colour: tomato },
                { tag: "on the lower limit", value: -6, shift: 0, or1: false, or2: false, text: "-6.0", colour: tomato },
                { tag: "inside below", value: -5.9, shift: 0, or1: false, or2: false, text: "-5.9", colour: black },
                { tag: "shift reaches the limit", value: 5, shift: 1, or1: false, or2: false, text: "6.0", colour: tomato },
                { tag: "over range 1", value: 0, shift: 0, or1: true, or2: false, text: "0.0", colour: cyan },
                { tag: "over range 2", value: 0, shift: 0, or1: false, or2: true, text: "0.0", colour: cyan },
                { tag: "over range beyond a limit", value: 8, shift: 0, or1: true, or2: false, text: "8.0", colour: cyan },
            ]
        }

        function test_valueText(data) {
            var rig = makeVerticalRig()
            var ind = rig.indicator
            ind.zeroShift = data.shift
            ind.blOverRange1 = data.or1
            ind.blOverRange2 = data.or2
            setValue(rig, data.value)
            var text = part(rig, "messText")
            compare(text.text, data.text)
            compare(text.color.toString(), data.colour)
        }

        // The shift is not smoothed: the users of mess + zeroShift see it at once.
        function test_shiftShowsAtOnce() {
            var rig = makeVerticalRig()
            rig.indicator.zeroShift = 6
            compare(rig.indicator.mess, 0)
            compare(part(rig, "messText").text, "6.0")
            compare(part(rig, "messText").color.toString(), tomato)
            compare(rig.gauge.impGaugevalue, 6)
        }

        function test_geometry_data() {
            return [
                { tag: "height 301", size: 301, radius: 150, inset: 6, needle: 142.5 },
                { tag: "height 320", size: 320, radius: 160, inset: 6, needle: 152.5 },
            ]
        }

        function test_geometry(data) {
            var rig = makeRig(data.size)
            compare(rig.gauge.outerRadius, data.radius)
            compare(rig.gauge.tickmarkInset, data.inset)
            compare(rig.gauge.needleLength, data.needle)
            compare(part(rig, "rectBackground").color.toString(), lightYellow)
        }

        // Only the needle is drawn by script, and only when what it shows changed.
        function test_needleRepaints_data() {
            return [
                { tag: "new value", repaint: true, change: function (ind) { ind.mess = 3 } },
                { tag: "zero shift", repaint: true, change: function (ind) { ind.zeroShift = 1 } },
                { tag: "limit", repaint: true, change: function (ind) { ind.highLimit = 7 } },
                { tag: "scale unit", repaint: true, change: function (ind) { ind.unitPoint = 0.5 } },
                { tag: "same value again", repaint: false, change: function (ind) { ind.mess = ind.mess } },
                { tag: "unit text", repaint: false, change: function (ind) { ind.messUnit = "см" } },
                { tag: "over range", repaint: false, change: function (ind) { ind.blOverRange1 = true } },
            ]
        }

        function test_needleRepaints(data) {
            var rig = makeVerticalRig()
            var canvas = part(rig, "canvasGauge")
            tryVerify(function () { return canvas.paintCount > 0 }, 3000)
            renderOneFrame()
            var before = canvas.paintCount
            data.change(rig.indicator)
            if (data.repaint) {
                tryVerify(function () { return canvas.paintCount > before }, 3000)
            } else {
                // A repaint asked for now would be done before the next frame.
                renderOneFrame()
                compare(canvas.paintCount, before)
            }
        }

        function test_lampBlinksWhileWorkFlagIsSet_data() {
            return [
                { tag: "lamp 1", enable: "blDetect1EnableInput", work: "blDetect1WorkInput",
                  phase: "blRect1Color", lamp: "rectLamp1", digit: "txtD1" },
                { tag: "lamp 2", enable: "blDetect2EnableInput", work: "blDetect2WorkInput",
                  phase: "blRect2Color", lamp: "rectLamp2", digit: "txtD2" },
            ]
        }

        function test_lampBlinksWhileWorkFlagIsSet(data) {
            var rig = makeRig()
            var ind = rig.indicator
            var gauge = rig.gauge
            ind[data.enable] = true
            var lamp = part(rig, data.lamp)
            var digit = part(rig, data.digit)
            var ticks = createTemporaryObject(spyComponent, root, { target: part(rig, "timerLamp"), signalName: "triggered" })
            var flips = createTemporaryObject(spyComponent, root, { target: gauge, signalName: data.phase + "Changed" })
            verify(ticks.valid && flips.valid)

            // The window sets the flag at every poll, as the detectors report work.
            workFeeder.indicator = ind
            workFeeder.flag = data.work
            workFeeder.start()
            tryVerify(function () { return flips.count >= 3 }, 10000, "the lamp did not blink")
            // One phase change per lamp step, never two.
            verify(flips.count <= ticks.count)
            compare(lamp.color.toString(), gauge[data.phase] ? lightYellow : black)
            compare(digit.color.toString(), gauge[data.phase] ? black : lightYellow)

            workFeeder.stop()
            tryCompare(ind, data.work, false, 3000)
            var phase = gauge[data.phase]
            var flipsBefore = flips.count
            var ticksBefore = ticks.count
            tryVerify(function () { return ticks.count >= ticksBefore + 2 }, 5000)
            compare(flips.count, flipsBefore, "the lamp kept blinking")
            compare(gauge[data.phase], phase)
        }

        function test_lampRow_data() {
            return [
                { tag: "no lamp", one: false, two: false, spacer: "" },
                { tag: "lamp 1 only", one: true, two: false, spacer: "" },
                { tag: "lamp 2 only", one: false, two: true, spacer: "" },
                { tag: "both lamps", one: true, two: true, spacer: "  " },
            ]
        }

        function test_lampRow(data) {
            var rig = makeRig()
            rig.indicator.blDetect1EnableInput = data.one
            rig.indicator.blDetect2EnableInput = data.two
            var lamp1 = part(rig, "rectLamp1")
            var lamp2 = part(rig, "rectLamp2")
            var spacer = part(rig, "txLampSpacer")
            compare(lamp1.visible, data.one)
            compare(lamp2.visible, data.two)
            compare(spacer.text, data.spacer)
            // Lamps start black with light-yellow digits.
            compare(lamp1.color.toString(), black)
            compare(part(rig, "txtD1").color.toString(), lightYellow)
            var row = part(rig, "rowLamps")
            var expectedWidth = (data.one ? lamp1.width : 0) + (data.two ? lamp2.width : 0)
                    + (data.one && data.two ? spacer.width : 0)
            tryCompare(row, "width", expectedWidth)
            if (data.one && data.two)
                verify(spacer.width > 0)
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }
}
