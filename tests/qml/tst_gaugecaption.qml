import QtQuick 2.5
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 1000
    height: 400

    // The vertical channel's panel and dial, sharing one indicator as in the window.
    Component {
        id: rigComponent
        Item {
            property alias indicator: ind
            property alias caption: caption
            property alias gauge: gauge
            anchors.fill: parent

            InputIndicator {
                id: ind
                unitPoint: 0.4
                accuracy: 1
                lowLimit: -6
                highLimit: 6
            }
            GaugeCaption {
                id: caption
                width: 700
                height: 300
                capName: "Настройка индикатора\n          вертикали"
                inputIndicator: ind
            }
            ImpGauge {
                id: gauge
                x: 700
                width: 300
                height: 300
                inputIndicator: ind
            }
        }
    }

    TestCase {
        name: "GaugeCaption"
        when: windowShown

        function makeRig() {
            var rig = createTemporaryObject(rigComponent, root)
            verify(rig !== null)
            return rig
        }

        function part(rig, name) {
            var item = findChild(rig.caption, name)
            verify(item !== null, "no part named " + name)
            return item
        }

        function typeInto(field, keys) {
            field.forceActiveFocus()
            verify(field.activeFocus)
            field.selectAll()
            for (var i = 0; i < keys.length; i++)
                keyClick(keys[i])
        }

        function test_limitEdit_data() {
            return [
                { tag: "upper, Return", field: "tfHiLimit", other: "tfLoLimit", limit: "highLimit",
                  keys: "7", finish: "return", expected: 7 },
                { tag: "upper, Enter", field: "tfHiLimit", other: "tfLoLimit", limit: "highLimit",
                  keys: "7", finish: "enter", expected: 7 },
                { tag: "upper, focus to the other field", field: "tfHiLimit", other: "tfLoLimit", limit: "highLimit",
                  keys: "7", finish: "focus", expected: 7 },
                { tag: "lower, negative", field: "tfLoLimit", other: "tfHiLimit", limit: "lowLimit",
                  keys: "-8", finish: "return", expected: -8 },
                { tag: "lower, focus to the other field", field: "tfLoLimit", other: "tfHiLimit", limit: "lowLimit",
                  keys: "-3", finish: "focus", expected: -3 },
                { tag: "lower above upper accepted", field: "tfLoLimit", other: "tfHiLimit", limit: "lowLimit",
                  keys: "10", finish: "return", expected: 10 },
                { tag: "range end", field: "tfHiLimit", other: "tfLoLimit", limit: "highLimit",
                  keys: "20", finish: "return", expected: 20 },
            ]
        }

        function test_limitEdit(data) {
            var rig = makeRig()
            var ind = rig.indicator
            var field = part(rig, data.field)
            var before = ind[data.limit]
            compare(field.text, String(before))

            typeInto(field, data.keys)
            compare(field.text, data.keys)
            compare(ind[data.limit], before, "an unfinished edit reached the indicator")

            if (data.finish === "return")
                keyClick(Qt.Key_Return)
            else if (data.finish === "enter")
                keyClick(Qt.Key_Enter)
            else
                part(rig, data.other).forceActiveFocus()
            compare(ind[data.limit], data.expected)
            compare(typeof ind[data.limit], "number")
            compare(field.text, String(data.expected))
        }

        function test_outOfRangeLimitIsRejected_data() {
            return [
                { tag: "above, Return", field: "tfHiLimit", other: "tfLoLimit", limit: "highLimit",
                  keys: "25", shown: "25", finish: "return", expected: 6 },
                { tag: "above, focus to the other field", field: "tfHiLimit", other: "tfLoLimit", limit: "highLimit",
                  keys: "25", shown: "25", finish: "focus", expected: 6 },
                { tag: "below, last digit refused", field: "tfLoLimit", other: "tfHiLimit", limit: "lowLimit",
                  keys: "-21", shown: "-2", finish: "return", expected: -2 },
            ]
        }

        // Such a text may stand in the field while typing but never completes.
        function test_outOfRangeLimitIsRejected(data) {
            var rig = makeRig()
            var field = part(rig, data.field)
            typeInto(field, data.keys)
            compare(field.text, data.shown)
            if (data.finish === "return")
                keyClick(Qt.Key_Return)
            else
                part(rig, data.other).forceActiveFocus()
            compare(rig.indicator[data.limit], data.expected)
        }

        // The dial follows a finished edit at once: 6.0 is no longer on the limit.
        function test_finishedEditRecoloursDial() {
            var rig = makeRig()
            var messText = findChild(rig.gauge, "messText")
            rig.indicator.mess = 6
            tryCompare(rig.indicator, "mess", 6, 3000)
            compare(messText.color.toString(), "#ff6347")

            typeInto(part(rig, "tfHiLimit"), "7")
            keyClick(Qt.Key_Return)
            compare(messText.color.toString(), "#000000")
            rig.indicator.mess = 7
            tryCompare(rig.indicator, "mess", 7, 3000)
            compare(messText.text, "7.0")
            compare(messText.color.toString(), "#ff6347")
        }

        // The tone's length must be set before the sound is switched on: record
        // what `longPlay` held at each switch of `audioEnable`.
        function test_soundSelector() {
            var rig = makeRig()
            var caption = rig.caption
            var selector = part(rig, "cbSound")
            var seen = []
            caption.audioEnableChanged.connect(function () {
                seen.push({ audio: caption.audioEnable, long: caption.longPlay })
            })
            compare(selector.currentIndex, 0)
            compare(selector.displayText, "Выключено")
            compare(caption.audioEnable, false)
            compare(caption.longPlay, false)

            var steps = [
                { index: 2, audio: true, long: true, seen: [{ audio: true, long: true }] },
                { index: 0, audio: false, long: true, seen: [{ audio: false, long: true }] },
                { index: 1, audio: true, long: false, seen: [{ audio: true, long: false }] },
                { index: 2, audio: true, long: true, seen: [] },
                { index: -1, audio: true, long: true, seen: [] },
            ]
            for (var i = 0; i < steps.length; i++) {
                var step = steps[i]
                seen.length = 0
                selector.currentIndex = step.index
                compare(caption.audioEnable, step.audio, "index " + step.index)
                compare(caption.longPlay, step.long, "index " + step.index)
                compare(seen.length, step.seen.length, "index " + step.index)
                for (var j = 0; j < seen.length; j++) {
                    compare(seen[j].audio, step.seen[j].audio)
                    compare(seen[j].long, step.seen[j].long, "the length changed after the sound was switched")
                }
            }
        }
    }
}
