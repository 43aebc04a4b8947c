import QtQuick 2.5
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 400
    height: 400

    Component {
        id: gaugeComponent
        ImpGauge {
            width: 320
            height: 320
            inputIndicator: InputIndicator {}
        }
    }

    // The needle as the gauge drew it before it was turned by the renderer: the
    // whole dial repainted by script for the value shown.
    Component {
        id: fullDialNeedle
        Canvas {
            property Item gauge
            property int paintCount: 0
            anchors.fill: parent
            antialiasing: true
            onPaint: {
                var ctx = getContext("2d")
                ctx.globalCompositeOperation = "source-over"
                ctx.reset()
                gauge.drawNeedle(ctx)
                paintCount++
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

    // Sets a work flag at every poll, as the main window does while a detector works.
    Timer {
        id: workFeeder
        property var indicator: null
        property string flag: ""
        interval: 20
        repeat: true
        onTriggered: indicator[flag] = true
    }

    SignalSpy { id: ticks; signalName: "triggered" }
    SignalSpy { id: flips }

    TestCase {
        name: "ImpGauge"
        when: windowShown

        readonly property string tomato: "#ff6347"
        // Texts out of tolerance or range in colours that can be read on the dial.
        readonly property string red: "#c62828"
        readonly property string black: "#000000"
        readonly property string cyan: "#006064"
        readonly property string lightYellow: "#ffffe0"
        readonly property real degPerDivision: 150 / 51
        // The vertical channel as the main window configures it.
        readonly property var vertical: ({ unitPoint: 0.4, lowLimit: -6, highLimit: 6, accuracy: 1 })
        readonly property var horizontal: ({ unitPoint: 0.4, lowLimit: -8, highLimit: 8, accuracy: 1 })

        function cleanup() {
            workFeeder.stop()
        }

        // A gauge of the given height on an indicator with the given properties, set in their order.
        function makeGauge(settings, size) {
            var gauge = createTemporaryObject(gaugeComponent, root, size ? { width: size, height: size } : {})
            verify(gauge !== null)
            for (var name in settings)
                gauge.inputIndicator[name] = settings[name]
            return gauge
        }

        function setValue(gauge, value) {
            gauge.inputIndicator.mess = value
            tryCompare(gauge.inputIndicator, "mess", value, 3000)
        }

        function part(gauge, name) {
            var item = findChild(gauge, name)
            verify(item !== null, "no part named " + name)
            return item
        }

        function marker(gauge, output) {
            return part(gauge, "rpMarkers").itemAt(output + 51)
        }

        // Canvas repaints asked for before this are done when it returns.
        function renderOneFrame() {
            frameTrigger.color = Qt.colorEqual(frameTrigger.color, "red") ? "blue" : "red"
            verify(waitForRendering(frameTrigger, 3000), "no frame rendered")
        }

        function test_round10_data() {
            return [
                { tag: "whole number gets its decimal", num: 3, accur: 1, text: "3.0" },
                { tag: "half rounds up", num: 2.25, accur: 1, text: "2.3" },
                { tag: "negative half rounds towards plus infinity", num: -2.25, accur: 1, text: "-2.2" },
                { tag: "negative value rounded to zero has no sign", num: -0.04, accur: 1, text: "0.0" },
                { tag: "no decimals", num: 7.5, accur: 0, text: "8" },
                { tag: "padded to two decimals", num: 1.5, accur: 2, text: "1.50" },
            ]
        }

        function test_round10(data) {
            compare(makeGauge().round10(data.num, data.accur), data.text)
        }

        // The needle is alone on its canvas, which holds it unturned: a covered
        // pixel of the canvas where its transform puts the dial's pixel halfway
        // out along the ray at deg (clockwise from 12 o'clock) is needle there.
        function needleAt(gauge, canvas, deg) {
            var r = gauge.outerRadius
            var a = deg * Math.PI / 180
            var x = Math.round(r + r / 2 * Math.sin(a))
            var y = Math.round(r - r / 2 * Math.cos(a))
            var p = canvas.mapFromItem(gauge, x + 0.5, y + 0.5)
            var cx = Math.floor(p.x), cy = Math.floor(p.y)
            if (cx < 0 || cy < 0 || cx >= canvas.width || cy >= canvas.height)
                return false
            return canvas.getContext("2d").getImageData(cx, cy, 1, 1).data[3] > 128
        }

        function test_needle_data() {
            return [
                { tag: "zero points up", unit: 1, value: 0, clockwise: 0 },
                { tag: "upper limit of the vertical channel on mark 15", unit: 0.4, value: 6, clockwise: 15 },
                { tag: "lower limit on mark -15", unit: 0.4, value: -6, clockwise: -15 },
                { tag: "over range held one division past the end mark", unit: 1, value: 100, clockwise: 52 },
                { tag: "under range held likewise", unit: 1, value: -100, clockwise: -52 },
            ]
        }

        // The turn is counter-clockwise positive; the drawing shows a needle
        // mirrored or turned the wrong way, which the turn alone would not.
        function test_needle(data) {
            var gauge = makeGauge({ unitPoint: data.unit })
            var deg = data.clockwise * degPerDivision
            fuzzyCompare(gauge.valueToDegForGauge(data.value), -deg, 1e-9)
            var canvas = part(gauge, "canvasGauge")
            setValue(gauge, data.value)
            tryVerify(function () { return canvas.paintCount > 0 }, 3000, "the needle was not drawn")
            verify(needleAt(gauge, canvas, deg), "no needle at " + deg.toFixed(1) + " degrees")
            verify(!needleAt(gauge, canvas, deg - 30) && !needleAt(gauge, canvas, deg + 30), "needle off its angle")
        }

        function test_needlePicture_data() {
            return [
                { tag: "zero", ind: vertical, value: 0 },
                { tag: "inside", ind: vertical, value: 2.3 },
                { tag: "on the upper limit", ind: vertical, value: 6 },
                { tag: "on the lower limit of the horizontal channel", ind: horizontal, value: -8 },
                { tag: "beyond a limit", ind: vertical, value: 7.9 },
                { tag: "negative beyond a limit", ind: horizontal, value: -13.7 },
                { tag: "on the end mark", ind: vertical, value: 20.4 },
                { tag: "over range held past the end mark", ind: vertical, value: 35 },
                { tag: "under range held past the end mark", ind: horizontal, value: -100 },
                { tag: "with a zero shift", ind: vertical, value: 3.1, shift: -5.5 },
                { tag: "odd size, centre below the middle", ind: vertical, value: -4.4, size: 301 },
            ]
        }

        // The needle turned by the renderer looks as the needle drawn turned on
        // the whole dial did.
        function test_needlePicture(data) {
            var gauge = makeGauge(data.ind, data.size || 240)
            gauge.inputIndicator.zeroShift = data.shift || 0
            setValue(gauge, data.value)
            var canvas = part(gauge, "canvasGauge")
            // The reference needle is added last; the lamps stay on top of either.
            part(gauge, "rowLamps").z = 1
            tryVerify(function () { return canvas.paintCount > 0 }, 3000)
            renderOneFrame()
            var turned = itemPictures.grab(gauge)

            var reference = createTemporaryObject(fullDialNeedle, gauge, { gauge: gauge })
            canvas.visible = false
            tryVerify(function () { return reference.paintCount > 0 }, 3000)
            renderOneFrame()
            var drawn = itemPictures.grab(gauge)
            // Resampling the turned needle shifts its anti-aliased edges by a
            // fraction of the contrast between needle and dial (230 of 255): a few
            // pixels of its thin tip by up to a third of it. A needle half a pixel
            // off its place or a quarter of a degree off its angle differs by more.
            compare(itemPictures.pixelsDiffering(turned, drawn, 96), 0)
            verify(itemPictures.pixelsDiffering(turned, drawn, 64) <= 8, "the needle differs beyond its tip")

            // The comparison sees a needle at all.
            reference.visible = false
            renderOneFrame()
            verify(itemPictures.pixelsDiffering(drawn, itemPictures.grab(gauge), 96) > 100, "no needle in the picture")
        }

        function test_scaleColours_data() {
            return [
                { tag: "vertical channel", ind: vertical, lastBlackBelow: -15, lastBlackAbove: 15,
                  tomatoLabels: ["M50", "M40", "M30", "M20", "P20", "P30", "P40", "P50"] },
                { tag: "mark and label on uneven limits stay black", ind: { unitPoint: 0.4, lowLimit: -2, highLimit: 8 },
                  lastBlackBelow: -5, lastBlackAbove: 20, tomatoLabels: ["M50", "M40", "M30", "M20", "M10", "P30", "P40", "P50"] },
                { tag: "limit between marks", ind: { unitPoint: 1, lowLimit: -7, highLimit: 2.5 }, lastBlackBelow: -7,
                  lastBlackAbove: 2, tomatoLabels: ["M50", "M40", "M30", "M20", "M10", "P10", "P20", "P30", "P40", "P50"] },
            ]
        }

        function test_scaleColours(data) {
            var gauge = makeGauge(data.ind)
            for (var output = -51; output <= 51; output++) {
                var expected = (output < data.lastBlackBelow || output > data.lastBlackAbove) ? tomato : black
                compare(marker(gauge, output).colorMark.toString(), expected, "mark " + output)
            }
            var labels = ["M50", "M40", "M30", "M20", "M10", "0", "P10", "P20", "P30", "P40", "P50"]
            for (var i = 0; i < labels.length; i++) {
                expected = data.tomatoLabels.indexOf(labels[i]) >= 0 ? red : black
                compare(part(gauge, "txScale" + labels[i]).color.toString(), expected, "label " + labels[i])
            }
        }

        function test_markPlacement_data() {
            return [
                { tag: "left end mark", output: -51, factor: 1 },
                { tag: "medium mark left", output: -45, factor: 1.333333 },
                { tag: "long mark left", output: -20, factor: 1.666667 },
                { tag: "zero mark", output: 0, factor: 1.666667 },
                { tag: "short mark right", output: 3, factor: 1 },
                { tag: "medium mark right", output: 15, factor: 1.333333 },
            ]
        }

        // A mark's outer end lies on the dial circle at its angle, its inner end
        // its length nearer the centre.
        function test_markPlacement(data) {
            var gauge = makeGauge({}, 320)
            var r = gauge.outerRadius
            var bar = findChild(marker(gauge, data.output), "rectMark")
            var ends = [bar.mapToItem(gauge, 0, bar.height / 2), bar.mapToItem(gauge, bar.width, bar.height / 2)]
            var dist = ends.map(function (p) { return Math.hypot(p.x - r, p.y - r) })
            var outer = dist[0] > dist[1] ? ends[0] : ends[1]
            fuzzyCompare(Math.max(dist[0], dist[1]), r, 0.01)
            fuzzyCompare(Math.min(dist[0], dist[1]), r - 0.07 * r * data.factor, 0.01)
            fuzzyCompare(Math.atan2(outer.x - r, r - outer.y) * 180 / Math.PI, data.output * degPerDivision, 0.01)
        }

        function test_labelDecimals_data() {
            return [
                { tag: "accurDivision 0", accurDivision: 0, m50: "-20", p20: "8" },
                { tag: "accurDivision 1", accurDivision: 1, m50: "-20", p20: "8" },
                { tag: "accurDivision 2", accurDivision: 2, m50: "-20.0", p20: "8.0" },
                { tag: "accurDivision 3", accurDivision: 3, m50: "-20.00", p20: "8.00" },
            ]
        }

        function test_labelDecimals(data) {
            var gauge = makeGauge({ unitPoint: 0.4, accurDivision: data.accurDivision })
            compare(part(gauge, "txScaleM50").text, data.m50)
            compare(part(gauge, "txScaleP20").text, data.p20)
            compare(part(gauge, "txScale0").text, "0")
        }

        function test_valueText_data() {
            return [
                { tag: "inside", value: 5.9, text: "5.9", colour: black },
                { tag: "on the upper limit", value: 6, text: "6.0", colour: red },
                { tag: "inside below", value: -5.9, text: "-5.9", colour: black },
                { tag: "on the lower limit", value: -6, text: "-6.0", colour: red },
                { tag: "shift reaches the limit", value: 5, shift: 1, text: "6.0", colour: red },
                { tag: "over range 1 beyond a limit", value: 8, or1: true, text: "8.0", colour: cyan },
                { tag: "over range 2", value: 0, or2: true, text: "0.0", colour: cyan },
            ]
        }

        // The shift is set last and checked at once: it is not smoothed.
        function test_valueText(data) {
            var gauge = makeGauge(vertical)
            gauge.inputIndicator.blOverRange1 = data.or1 === true
            gauge.inputIndicator.blOverRange2 = data.or2 === true
            setValue(gauge, data.value)
            gauge.inputIndicator.zeroShift = data.shift || 0
            compare(part(gauge, "messText").text, data.text)
            compare(part(gauge, "messText").color.toString(), data.colour)
        }

        function test_geometry_data() {
            return [
                { tag: "height 301", size: 301, radius: 150, inset: 6, needle: 142.5 },
                { tag: "height 320", size: 320, radius: 160, inset: 6, needle: 152.5 },
            ]
        }

        function test_geometry(data) {
            var gauge = makeGauge({}, data.size)
            compare(gauge.outerRadius, data.radius)
            compare(gauge.tickmarkInset, data.inset)
            compare(gauge.needleLength, data.needle)
            compare(part(gauge, "rectBackground").color.toString(), lightYellow)
        }

        // Only the needle is drawn by script, and only when its size changed; a
        // change of what it shows turns it, at once and as far as the value says.
        function test_needleRepaints_data() {
            return [
                { tag: "new value", turns: true, mess: 3, change: function (ind) { ind.mess = 3 } },
                { tag: "zero shift", turns: true, change: function (ind) { ind.zeroShift = 1 } },
                { tag: "limit", turns: false, change: function (ind) { ind.highLimit = 7 } },
                { tag: "scale unit", turns: true, change: function (ind) { ind.unitPoint = 0.5 } },
                { tag: "same value again", turns: false, change: function (ind) { ind.mess = ind.mess } },
                { tag: "unit text", turns: false, change: function (ind) { ind.messUnit = "см" } },
                { tag: "size", turns: false, repaint: true,
                  change: function (ind, gauge) { gauge.width = 360; gauge.height = 360 } },
            ]
        }

        function test_needleRepaints(data) {
            var gauge = makeGauge(vertical)
            gauge.inputIndicator.mess = 1
            tryCompare(gauge.inputIndicator, "mess", 1, 3000)
            var canvas = part(gauge, "canvasGauge")
            var turn = part(gauge, "needleTurn")
            tryVerify(function () { return canvas.paintCount > 0 }, 3000)
            renderOneFrame()
            var before = canvas.paintCount
            var turnBefore = turn.angle
            data.change(gauge.inputIndicator, gauge)
            tryCompare(gauge.inputIndicator, "mess", data.mess || 1, 3000)
            if (data.repaint) {
                tryVerify(function () { return canvas.paintCount > before }, 3000)
            } else {
                // A repaint asked for now would be done before the next frame.
                renderOneFrame()
                compare(canvas.paintCount, before)
            }
            fuzzyCompare(turn.angle, -gauge.valueToDegForGauge(gauge.impGaugevalue), 1e-9)
            compare(turn.angle !== turnBefore, data.turns)
        }

        // While another page of the window is shown the dial does not change; it
        // shows the current value as soon as it is shown again.
        function test_hiddenGaugeHoldsItsPicture() {
            var gauge = makeGauge(vertical)
            setValue(gauge, 2)
            var turn = part(gauge, "needleTurn")
            var text = part(gauge, "messText")
            var held = [turn.angle, text.text, text.color.toString()]
            gauge.visible = false
            setValue(gauge, 7)
            compare([turn.angle, text.text, text.color.toString()], held)
            gauge.visible = true
            fuzzyCompare(turn.angle, -gauge.valueToDegForGauge(7), 1e-9)
            compare([text.text, text.color.toString()], ["7.0", red])
        }

        function test_lamp_data() {
            return [
                { tag: "lamp 1 alone", n: 1, enabled: [true, false], spacer: "" },
                { tag: "lamp 2 alone", n: 2, enabled: [false, true], spacer: "" },
                { tag: "lamp 2 beside lamp 1", n: 2, enabled: [true, true], spacer: "  " },
            ]
        }

        // Only enabled lamps take room in the row. Lamp n starts black, blinks
        // while its work flag is set at every poll, and stops when it is not.
        function test_lamp(data) {
            var gauge = makeGauge({ blDetect1EnableInput: data.enabled[0], blDetect2EnableInput: data.enabled[1] })
            var lamps = [part(gauge, "rectLamp1"), part(gauge, "rectLamp2")]
            var spacer = part(gauge, "txLampSpacer")
            compare([lamps[0].visible, lamps[1].visible], data.enabled)
            compare(spacer.text, data.spacer)
            tryCompare(part(gauge, "rowLamps"), "width",
                       (data.enabled[0] ? lamps[0].width : 0) + (data.enabled[1] ? lamps[1].width : 0) + spacer.width)

            var lamp = lamps[data.n - 1]
            var digit = part(gauge, "txtD" + data.n)
            var phase = "blRect" + data.n + "Color"
            compare(lamp.color.toString(), black)
            ticks.target = part(gauge, "timerLamp")
            // Half a second a step: one full blink a second while the detector works.
            compare(ticks.target.interval, 500)
            compare(ticks.target.repeat, true)
            flips.target = gauge
            flips.signalName = phase + "Changed"
            ticks.clear()
            flips.clear()
            workFeeder.indicator = gauge.inputIndicator
            workFeeder.flag = "blDetect" + data.n + "WorkInput"
            workFeeder.start()
            for (var k = 1; k <= 3; k++) {
                tryVerify(function () { return flips.count >= k }, 5000, "the lamp did not blink")
                compare(lamp.color.toString(), gauge[phase] ? lightYellow : black)
                compare(digit.color.toString(), gauge[phase] ? black : lightYellow)
            }
            verify(flips.count <= ticks.count, "more than one phase change per lamp step")

            workFeeder.stop()
            tryCompare(gauge.inputIndicator, workFeeder.flag, false, 3000)
            var flipsBefore = flips.count
            var ticksBefore = ticks.count
            tryVerify(function () { return ticks.count >= ticksBefore + 2 }, 5000)
            compare(flips.count, flipsBefore, "the lamp kept blinking")
        }
    }
}
